// SPDX-License-Identifier: MIT
#include "print/windowpicture.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <algorithm>

#include "model/waitms.h"
#include "print/platform.h"
#include "print/printjob.h"

namespace {

// Whether the screen shows the program its window's frame: only on X11 with a window manager
// around the window. Not on Wayland, where a program sees no screen, nor on the rootless
// Xwayland of a Wayland desktop, whose root window is never painted (a grab of it is black);
// Xwayland names its outputs XWAYLAND0, XWAYLAND1..., and a Wayland session's programs have
// WAYLAND_DISPLAY set.
bool screenShowsTheFrame(const QWidget& window) {
    const QScreen* screen = window.screen();
    return QGuiApplication::platformName() == QLatin1String("xcb") && screen != nullptr &&
           !screen->name().startsWith(QLatin1String("XWAYLAND")) &&
           !qEnvironmentVariableIsSet("WAYLAND_DISPLAY") &&
           window.frameGeometry() != window.geometry();
}

}  // namespace

QPixmap snapshotWindow(QWidget& window, CorePlatform& platform) {
    // The window's own drawing of itself: whatever covers it on the screen (a note, another of
    // our windows) stays out of the picture.
    const QPixmap drawn = window.grab();
    if (!screenShowsTheFrame(window)) {
        return drawn;
    }
    QScreen* screen = window.screen();
    const QRect frame = window.frameGeometry();
    // Our other windows over the frame step aside while the screen is read, long enough for the
    // window manager to draw what they covered (and the title bar as active, where one of them
    // had the focus).
    QList<QPointer<QWidget>> covering;
    for (QWidget* other : QApplication::topLevelWidgets()) {
        if (other != &window && other->isVisible() && other->frameGeometry().intersects(frame)) {
            covering << other;
            other->hide();
        }
    }
    if (!covering.isEmpty()) {
        window.activateWindow();
        WaitMs(kUncoverMs, platform);
    }
    const QRect onScreen = frame.translated(-screen->geometry().topLeft());
    QPixmap shot =
        screen->grabWindow(0, onScreen.x(), onScreen.y(), onScreen.width(), onScreen.height());
    for (const QPointer<QWidget>& other : covering) {
        if (other != nullptr && !platform.waitsCancelled()) {
            other->show();
        }
    }
    if (shot.isNull()) {
        return drawn;
    }
    QPainter painter(&shot);
    painter.drawPixmap(QPointF(window.geometry().topLeft() - frame.topLeft()), drawn);
    return shot;
}

void captureWindowPicture(QWidget& window, CorePlatform& platform, QPixmap& Picture1) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    // Emptied first, so no earlier picture can stand in for a snapshot that did not arrive.
    clipboard->clear();
    clipboard->setImage(snapshotWindow(window, platform).toImage());
    dispatchPendingEvents(platform);
    QImage picture;
    if (const QMimeData* data = clipboard->mimeData(); data != nullptr && data->hasImage()) {
        picture = qvariant_cast<QImage>(data->imageData());
    }
    Picture1 = QPixmap::fromImage(picture);
}

PictureSize pictureSizeHmm(const QImage& picture, double fallbackDotsPerInch) {
    const double fallback = fallbackDotsPerInch / 0.0254;
    const double dpmX = picture.dotsPerMeterX() > 0 ? picture.dotsPerMeterX() : fallback;
    const double dpmY = picture.dotsPerMeterY() > 0 ? picture.dotsPerMeterY() : fallback;
    return {pixelsToHundredthsMm(picture.width(), dpmX),
            pixelsToHundredthsMm(picture.height(), dpmY)};
}

namespace {

class WindowPicturePage : public PrintPage {
public:
    WindowPicturePage(QImage picture, PictureSize size)
        : m_picture(std::move(picture)), m_size(size) {
        // Drawn by its pixels, whatever screen it came from.
        m_picture.setDevicePixelRatio(1.0);
    }

    bool layOut(const QPagedPaintDevice& printer, QString& problem) override {
        // The painter measures in device dots from the printable area's corner.
        const QRectF printable = printableRect(printer);
        const PrinterUnit unit = PrinterUnit::dots(printer.logicalDpiX(), printer.logicalDpiY());
        m_fit = fitPicture(m_size.widthHmm, m_size.heightHmm, static_cast<float>(printable.width()),
                           static_cast<float>(printable.height()), unit);
        switch (m_fit.error) {
            case FitError::None:
                return true;
            case FitError::InvalidOperation:
            case FitError::DivisionByZero:
                problem = QStringLiteral(
                    "ウィンドウの画像を取り込めなかったため、印刷できませんでした。");
                return false;
            case FitError::Overflow:
                problem = QStringLiteral(
                    "ウィンドウの画像の大きさを扱えないため、印刷できませんでした。");
                return false;
        }
        return false;
    }

    void draw(QPainter& painter, QPagedPaintDevice&) override {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(m_fit.left, m_fit.top, m_fit.width, m_fit.height), m_picture);
    }

private:
    QImage m_picture;
    PictureSize m_size;
    PictureFit m_fit;
};

class ClientAreaPage : public PrintPage {
public:
    explicit ClientAreaPage(QWidget& window) : m_window(window) {}

    void draw(QPainter& painter, QPagedPaintDevice& printer) override {
        // The screen's size on paper; shrunk only where it would not fit the printable area.
        qreal sx = printer.logicalDpiX() / qreal(m_window.logicalDpiX());
        qreal sy = printer.logicalDpiY() / qreal(m_window.logicalDpiY());
        const QRectF printable = printableRect(printer);
        const qreal shrink = std::min({1.0, printable.width() / (m_window.width() * sx),
                                       printable.height() / (m_window.height() * sy)});
        sx *= shrink;
        sy *= shrink;
        painter.scale(sx, sy);
        m_window.render(&painter, QPoint(), QRegion(),
                        QWidget::DrawWindowBackground | QWidget::DrawChildren);
    }

private:
    QWidget& m_window;
};

}  // namespace

void printCapturedPicture(QWidget& window, const QPixmap& Picture1, const PrintTarget& target) {
    const QImage picture = Picture1.toImage();
    const double screenDpi = window.screen() ? window.screen()->logicalDotsPerInch() : 96.0;
    WindowPicturePage page(picture, pictureSizeHmm(picture, screenDpi));
    printPage(target, page);
}

void PrintWindowPicture(QWidget& window, QPixmap& Picture1, const PrintTarget& target) {
    captureWindowPicture(window, target.platform, Picture1);
    printCapturedPicture(window, Picture1, target);
}

void printClientArea(QWidget& inside, const PrintTarget& target) {
    ClientAreaPage page(inside);
    printPage(target, page);
}
