// SPDX-License-Identifier: MIT
#include "app/windowframe.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QResizeEvent>
#include <QWindow>
#include <algorithm>
#include <utility>

#include "app/waylandshell.h"
#include "model/timer.h"

namespace {

constexpr int kBorder = 1;
constexpr int kIconSize = 16;
constexpr int kPadding = 4;

// The platform's colours, not the window's yellow.
struct FrameColours {
    QColor bar, text, border;
};

FrameColours frameColours(bool active) {
    const QPalette p = QGuiApplication::palette();
    const QColor highlight = p.color(QPalette::Active, QPalette::Highlight);
    return active ? FrameColours{highlight, p.color(QPalette::Active, QPalette::HighlightedText),
                                 highlight.darker(150)}
                  : FrameColours{p.color(QPalette::Inactive, QPalette::Button),
                                 p.color(QPalette::Disabled, QPalette::WindowText),
                                 p.color(QPalette::Inactive, QPalette::Dark)};
}

class CloseBox : public QAbstractButton {
public:
    explicit CloseBox(QWidget* parent) : QAbstractButton(parent) {
        setObjectName(QStringLiteral("CloseBox"));
        // Tab runs through the window's controls alone, as where the window manager draws the
        // frame; assistive technology still finds the button and its Press action.
        setFocusPolicy(Qt::NoFocus);
        setAccessibleName(QStringLiteral("閉じる"));
        setToolTip(QStringLiteral("閉じる"));
        setAttribute(Qt::WA_Hover);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QColor ink = frameColours(isActiveWindow()).text;
        if (isDown() || underMouse()) {
            QColor shade = ink;
            shade.setAlpha(isDown() ? 96 : 48);
            painter.fillRect(rect(), shade);
        }
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(ink, 1.5));
        const qreal arm = width() / 4.0;
        const QPointF centre = QRectF(rect()).center();
        painter.drawLine(centre + QPointF(-arm, -arm), centre + QPointF(arm, arm));
        painter.drawLine(centre + QPointF(-arm, arm), centre + QPointF(arm, -arm));
    }
};

// The border and the title bar, under the window's contents, over the whole window.
class WindowFrame : public QWidget {
public:
    WindowFrame(QWidget* window, int barHeight, const QFont& titleFont)
        : QWidget(window), m_barHeight(barHeight), m_titleFont(titleFont) {
        setObjectName(QStringLiteral("WindowFrame"));
        setCursor(Qt::ArrowCursor);
        // The same path as any close: the window's own close handling decides.
        connect(m_close, &QAbstractButton::clicked, window, &QWidget::close);
        fit(window->size());
        window->installEventFilter(this);
    }

protected:
    // Qt repaints on activation only where the palette's active and inactive colours differ;
    // the frame's colours differ anyway.
    bool eventFilter(QObject*, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type == QEvent::WindowTitleChange || type == QEvent::WindowIconChange ||
            type == QEvent::WindowActivate || type == QEvent::WindowDeactivate) {
            update();
        } else if (type == QEvent::Resize) {
            // A note takes its size from its text when it shows.
            fit(static_cast<QResizeEvent*>(event)->size());
        }
        return false;
    }

    void mousePressEvent(QMouseEvent* event) override {
        QWindow* handle = window()->windowHandle();
        const QPoint at = event->position().toPoint();
        if (handle != nullptr && m_bar.contains(at)) {
            if (event->button() == Qt::LeftButton) {
                handle->startSystemMove();
            } else if (event->button() == Qt::RightButton) {
                waylandshell::showWindowMenu(handle, mapTo(window(), at));
            }
        }
        event->accept();
    }

    // A double-click on a title bar would maximise; this window keeps its size.
    void mouseDoubleClickEvent(QMouseEvent* event) override { event->accept(); }

    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const bool active = isActiveWindow();
        const FrameColours colours = frameColours(active);
        painter.setPen(colours.border);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
        painter.fillRect(m_bar, colours.bar);

        const QRect icon(m_bar.left() + kPadding, m_bar.top() + (m_bar.height() - kIconSize) / 2,
                         kIconSize, kIconSize);
        window()->windowIcon().paint(&painter, icon, Qt::AlignCenter,
                                     active ? QIcon::Normal : QIcon::Disabled);
        // Centred on the bar, clear of the icon and the close box.
        const int margin = std::max(icon.right() + 1, m_bar.right() + 1 - m_close->x()) + kPadding;
        const QRect room = m_bar.adjusted(margin, 0, -margin, 0);
        painter.setFont(m_titleFont);
        painter.setPen(colours.text);
        const QString title =
            QFontMetrics(m_titleFont)
                .elidedText(window()->windowTitle(), Qt::ElideRight, room.width());
        painter.drawText(room, Qt::AlignCenter, title);
    }

private:
    void fit(const QSize& whole) {
        setGeometry(QRect(QPoint(), whole));
        m_bar = QRect(kBorder, kBorder, whole.width() - 2 * kBorder, m_barHeight);
        const int inset = kPadding / 2;
        const int side = m_barHeight - 2 * inset;
        m_close->setGeometry(m_bar.right() + 1 - inset - side, m_bar.top() + inset, side, side);
    }

    int m_barHeight;
    QRect m_bar;
    QFont m_titleFont;
    CloseBox* m_close = new CloseBox(this);
};

// Where the compositor leaves the frame to the program, puts the window's own under its contents
// and returns the bar's height; 0 where the window manager or the compositor frames the window.
int frameOnWayland(QWidget* window, Qt::WindowType type) {
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland")) ||
        waylandshell::compositorDrawsFrames()) {
        return 0;
    }
    // Asked for no decoration, Qt draws none and asks the compositor for none; the size the
    // window declares is then its whole size. (Qt drops the frameless hint beside any button
    // hint, and the compositor hears of none of them.)
    window->setWindowFlags(type | Qt::FramelessWindowHint);
    QFont titleFont = window->font();
    titleFont.setBold(true);
    const int barHeight = std::max(kIconSize, QFontMetrics(titleFont).height()) + 2 * kPadding;
    // Under whatever the window holds already (a note's text and button).
    (new WindowFrame(window, barHeight, titleFont))->lower();
    return barHeight;
}

// The guard of keepOneSize().
class SizeGuard : public QObject {
public:
    SizeGuard(QWidget* window, std::unique_ptr<Timer> timeout)
        : QObject(window), m_window(window), m_timeout(std::move(timeout)) {
        m_timeout->setSingleShot(true);
        connect(m_timeout.get(), &Timer::timeout, this, &SizeGuard::release);
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if ((type == QEvent::Show || type == QEvent::WinIdChange) && watched == m_window &&
            m_window->windowHandle() != m_handle) {
            m_handle = m_window->windowHandle();
            if (m_handle != nullptr) {
                m_handle->installEventFilter(this);
                // The program's own request may come as this signal alone, with no event, from
                // inside the request itself.
                connect(m_handle, &QWindow::windowStateChanged, this, &SizeGuard::stateSignalled);
            }
        } else if (type == QEvent::WindowStateChange && watched == m_handle &&
                   event->spontaneous()) {
            // The compositor's or the window manager's word.
            stateChanged();
        } else if (m_held && (type == QEvent::UpdateRequest || type == QEvent::UpdateLater ||
                              type == QEvent::Expose)) {
            m_missed = true;
            return true;
        }
        return false;
    }

private:
    static constexpr Qt::WindowStates kGrown = Qt::WindowMaximized | Qt::WindowFullScreen;

    Qt::WindowStates states() const {
        return m_handle != nullptr ? m_handle->windowStates() : Qt::WindowNoState;
    }

    void stateChanged() {
        m_compositorMaximised = states() & Qt::WindowMaximized;
        if ((states() & kGrown) && !m_turnedBack) {
            m_turnedBack = true;
            holdOnWayland();
            turnBack();
        } else {
            // Said again after the return, the state stands; given up (or never insisted on), the
            // next request is turned back again.
            m_turnedBack = m_insisted = states() & kGrown;
            release();
        }
    }

    // Any grown state, the program's own too: on Wayland drawing is held before anything is
    // committed, and the compositor's answer turned back as it comes. A window manager that allows
    // no maximise never answers, and Qt takes the request for done: turned back once it returns.
    void stateSignalled() {
        if ((states() & kGrown) && !m_insisted && !holdOnWayland()) {
            QMetaObject::invokeMethod(this, &SizeGuard::turnBack, Qt::QueuedConnection);
        }
    }

    void turnBack() {
        if ((states() & kGrown) && !m_insisted) {
            m_handle->setWindowStates(states() & ~kGrown);
        }
    }

    // True on Wayland, where a maximised state holds drawing (a hold under way keeps its deadline).
    bool holdOnWayland() {
        if (QGuiApplication::platformName() != QLatin1String("wayland")) {
            return false;
        }
        if ((states() & Qt::WindowMaximized) && !m_held) {
            m_held = true;
            m_timeout->start(2000);
        }
        return true;
    }

    // Not while the compositor's last word is maximised (see keepOneSize()).
    void release() {
        if (m_compositorMaximised) {
            return;
        }
        m_timeout->stop();
        m_held = false;
        if (std::exchange(m_missed, false)) {
            m_window->repaint();
        }
    }

    QWidget* m_window;
    QPointer<QWindow> m_handle;
    std::unique_ptr<Timer> m_timeout;
    bool m_held = false;
    bool m_missed = false;
    bool m_turnedBack = false;           // the compositor's grown state was turned back
    bool m_insisted = false;             // and it said it again: its state stands
    bool m_compositorMaximised = false;  // the compositor's last word
};

}  // namespace

QWidget* layOutFixedWindow(QWidget* window, const QSize& inside) {
    window->setFixedSize(inside);
    const int barHeight = frameOnWayland(window, Qt::Window);
    if (barHeight == 0) {
        return window;
    }
    window->setFixedSize(inside.width() + 2 * kBorder, barHeight + inside.height() + 2 * kBorder);
    auto* client = new QWidget(window);
    client->setObjectName(QStringLiteral("ClientArea"));
    client->setGeometry(QRect(QPoint(kBorder, kBorder + barHeight), inside));
    return client;
}

void frameNote(QWidget* note) {
    const int barHeight = frameOnWayland(note, Qt::Dialog);
    if (barHeight > 0) {
        // Its layout sizes the note round its text, inside the frame.
        note->setContentsMargins(kBorder, kBorder + barHeight, kBorder, kBorder);
    }
}

void keepOneSize(QWidget* window, std::unique_ptr<Timer> holdTimer) {
    new SizeGuard(window, std::move(holdTimer));
}
