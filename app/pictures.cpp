// SPDX-License-Identifier: MIT
#include "app/pictures.h"

#include <QImage>
#include <QString>
#include <QtDebug>
#include <stdexcept>

namespace {

// Loads one picture from the compiled-in resources; `name` without ".png".
Picture load(PictureId id, const QString& name, bool hiDpi) {
    const QString path =
        QStringLiteral(":/assets/%1%2.png").arg(name, hiDpi ? QStringLiteral("@2x") : QString());
    QImage image(path);
    if (image.isNull()) {
        // Only a broken build gets here; a cream square keeps the window usable.
        qWarning("missing picture %s", qPrintable(path));
        image = QImage(hiDpi ? 64 : 32, hiDpi ? 64 : 32, QImage::Format_RGB32);
        image.fill(qRgb(255, 255, 212));
    }
    // The drawings are opaque; saying so lets painting skip blending.
    QPixmap pixmap = QPixmap::fromImage(image.convertToFormat(QImage::Format_RGB32));
    if (hiDpi) {
        // The reader infers this from "@2x" in the name; say it rather than rely on that.
        pixmap.setDevicePixelRatio(2.0);
    }
    return Picture{id, pixmap};
}

}  // namespace

Pictures::Pictures(qreal devicePixelRatio) {
    const bool hiDpi = devicePixelRatio > 1.0;
    for (int n = 0; n < kFaces; ++n) {
        m_faces.at(static_cast<std::size_t>(n)) =
            load(faceId(n), QStringLiteral("face%1").arg(n, 2, 10, QLatin1Char('0')), hiDpi);
    }
    m_start = load(PictureId::Start, QStringLiteral("switch_start"), hiDpi);
    m_push = load(PictureId::Push, QStringLiteral("switch_push"), hiDpi);
    m_stop = load(PictureId::Stop, QStringLiteral("switch_stop"), hiDpi);
    m_busyDark = load(PictureId::BusyDark, QStringLiteral("lamp_dark"), hiDpi);
    m_busyLit = load(PictureId::BusyLit, QStringLiteral("lamp_lit"), hiDpi);
}

const Picture& Pictures::byId(PictureId id) const {
    switch (id) {
        case PictureId::Start:
            return m_start;
        case PictureId::Push:
            return m_push;
        case PictureId::Stop:
            return m_stop;
        case PictureId::BusyDark:
            return m_busyDark;
        case PictureId::BusyLit:
            return m_busyLit;
        default:
            break;
    }
    const int n = static_cast<int>(id);
    if (n < 0 || n >= kFaces) {
        throw std::out_of_range("no such picture");
    }
    return face(n);
}

QIcon Pictures::windowIcon() {
    QIcon icon;
    for (const QString& name : {QStringLiteral("icon"), QStringLiteral("icon@2x")}) {
        QImage image(QStringLiteral(":/assets/%1.png").arg(name));
        // The reader gives an "@2x" file ratio 2, so the icon would know only one 32 px size.
        image.setDevicePixelRatio(1.0);
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}
