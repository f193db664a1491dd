// SPDX-License-Identifier: MIT
#include "print/windowpicture.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <algorithm>

#include "model/waitms.h"
#include "print/fitting.h"
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

// A snapshot of the window alone: where the screen shows the frame, the whole window from the
// screen, its inside drawn by the window itself; elsewhere the window's own drawing of itself
// (on Wayland with the title bar and border where it draws them, as mutter and weston have it).
// Our other windows over it are hidden for kUncoverMs while the window manager redraws.
constexpr int kUncoverMs = 200;
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

// Measured in 0.01 mm at the picture's own density, else at the screen's.
class WindowPicturePage : public PrintPage {
public:
    WindowPicturePage(QImage picture, double screenDpi) : m_picture(std::move(picture)) {
        const double fallback = screenDpi / 0.0254;
        const double dpmX = m_picture.dotsPerMeterX() > 0 ? m_picture.dotsPerMeterX() : fallback;
        const double dpmY = m_picture.dotsPerMeterY() > 0 ? m_picture.dotsPerMeterY() : fallback;
        m_widthHmm = pixelsToHundredthsMm(m_picture.width(), dpmX);
        m_heightHmm = pixelsToHundredthsMm(m_picture.height(), dpmY);
        // Drawn by its pixels, whatever screen it came from.
        m_picture.setDevicePixelRatio(1.0);
    }

    bool layOut(const QPagedPaintDevice& printer, QString& problem) override {
        // The painter measures in device dots from the printable area's corner.
        const QRectF printable = printableRect(printer);
        const PrinterUnit unit = PrinterUnit::dots(printer.logicalDpiX(), printer.logicalDpiY());
        m_fit = fitPicture(m_widthHmm, m_heightHmm, static_cast<float>(printable.width()),
                           static_cast<float>(printable.height()), unit);
        if (m_fit.error == FitError::None) {
            return true;
        }
        problem =
            m_fit.error == FitError::Overflow
                ? QStringLiteral("ウィンドウの画像の大きさを扱えないため、印刷できませんでした。")
                : QStringLiteral("ウィンドウの画像を取り込めなかったため、印刷できませんでした。");
        return false;
    }

    void draw(QPainter& painter, QPagedPaintDevice&) override {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(m_fit.left, m_fit.top, m_fit.width, m_fit.height), m_picture);
    }

private:
    QImage m_picture;
    qint32 m_widthHmm = 0;
    qint32 m_heightHmm = 0;
    PictureFit m_fit;
};

class ClientAreaPage : public PrintPage {
public:
    explicit ClientAreaPage(QWidget& window) : m_window(window) {}

    void draw(QPainter& painter, QPagedPaintDevice& printer) override {
        // The screen's size on paper; shrunk only where it would not fit the printable area.
        const qreal sx = printer.logicalDpiX() / qreal(m_window.logicalDpiX());
        const qreal sy = printer.logicalDpiY() / qreal(m_window.logicalDpiY());
        const QRectF printable = printableRect(printer);
        const qreal shrink = std::min({1.0, printable.width() / (m_window.width() * sx),
                                       printable.height() / (m_window.height() * sy)});
        painter.scale(sx * shrink, sy * shrink);
        m_window.render(&painter, QPoint(), QRegion(),
                        QWidget::DrawWindowBackground | QWidget::DrawChildren);
    }

private:
    QWidget& m_window;
};

}  // namespace

void printCapturedPicture(QWidget& window, const QPixmap& Picture1, const PrintTarget& target) {
    const double screenDpi = window.screen() ? window.screen()->logicalDotsPerInch() : 96.0;
    WindowPicturePage page(Picture1.toImage(), screenDpi);
    printPage(target, page);
}

void PrintWindowPicture(QWidget& window, QPixmap& Picture1, const PrintTarget& target) {
    // Through the clipboard, emptied first so no earlier picture can stand in for a snapshot
    // that did not arrive.
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setImage(snapshotWindow(window, target.platform).toImage());
    target.platform.dispatchEvents(false);
    QImage picture;
    if (const QMimeData* data = clipboard->mimeData(); data != nullptr && data->hasImage()) {
        picture = qvariant_cast<QImage>(data->imageData());
    }
    Picture1 = QPixmap::fromImage(picture);
    printCapturedPicture(window, Picture1, target);
}

void printClientArea(QWidget& inside, const PrintTarget& target) {
    ClientAreaPage page(inside);
    printPage(target, page);
}
