// SPDX-License-Identifier: MIT
#include "app/pictures.h"

#include <QImage>
#include <QString>
#include <QtDebug>

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
    // The reader infers this from "@2x" in the name; say it rather than rely on that.
    pixmap.setDevicePixelRatio(hiDpi ? 2.0 : 1.0);
    return Picture{id, pixmap};
}

}  // namespace

Pictures::Pictures(qreal devicePixelRatio) {
    const bool hiDpi = devicePixelRatio > 1.0;
    const QString names[] = {QStringLiteral("switch_start"), QStringLiteral("switch_push"),
                             QStringLiteral("switch_stop"), QStringLiteral("lamp_dark"),
                             QStringLiteral("lamp_lit")};
    for (int n = 0; n < kPictures; ++n) {
        const QString name = n < kFaces ? QStringLiteral("face%1").arg(n, 2, 10, QLatin1Char('0'))
                                        : names[n - kFaces];
        m_pictures.at(static_cast<std::size_t>(n)) = load(static_cast<PictureId>(n), name, hiDpi);
    }
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
