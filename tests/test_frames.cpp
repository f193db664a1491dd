// SPDX-License-Identifier: MIT
// What the window draws itself, whatever the Qt style and the scale: the group frames (exact
// background, an etched border through the caption's middle and above every control inside)
// and the two-line save caption, centred line by line. Run at scale 1 and, as a second test,
// at QT_SCALE_FACTOR=2.
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QtTest>

#include "app/groupframe.h"
#include "app/mainwindow.h"
#include "support/fakeplatform.h"

namespace {

// Physical pixel rows or columns [from, to) of a logical span at the given scale.
QRect physical(const QRect& logical, int s) {
    return {logical.x() * s, logical.y() * s, logical.width() * s, logical.height() * s};
}

// The frame's own painting alone, without the controls inside it, at the window's scale.
QImage ownPainting(QWidget* frame, int s) {
    QImage image(frame->size() * s, QImage::Format_RGB32);
    image.setDevicePixelRatio(s);
    image.fill(Qt::magenta);
    frame->render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    return image;
}

}  // namespace

class FramesTest : public QObject {
    Q_OBJECT
private:
    FakePlatform m_platform;

    std::unique_ptr<MainWindow> openWindow() {
        QFETCH(QString, style);
        QApplication::setStyle(style);
        m_platform.clock = [] { return QDateTime(QDate(2026, 12, 9), QTime(18, 30, 0)); };
        auto w = std::make_unique<MainWindow>(m_platform);
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get())) {
            qFatal("window not exposed");
        }
        return w;
    }

    static void styles() {
        QTest::addColumn<QString>("style");
        QTest::newRow("Fusion") << QStringLiteral("Fusion");
        QTest::newRow("Windows") << QStringLiteral("Windows");
    }

private slots:
    void frames_data() { styles(); }
    void frames() {
        const QColor platformWindow = QApplication::palette().color(QPalette::Window);
        const auto w = openWindow();
        // The stamp as a draw sets it: a border through its digits would show.
        MainWindow::setAutoSizeCaption(w->LabelFileName(), QStringLiteral("2026/12/09,18:30"));
        const QImage shot = w->grab().toImage();
        const int s = qRound(shot.devicePixelRatio());
        QVERIFY(s >= 1);

        for (const char* name : {"FrameData", "FramePrn", "FrameBlock_0", "FrameBlock_1",
                                 "FrameBlock_2", "FrameBlock_3", "FrameBlock_4"}) {
            auto* frame = w->findChild<GroupFrame*>(QString::fromLatin1(name));
            QVERIFY2(frame != nullptr, name);
            const bool block = QByteArray(name).startsWith("FrameBlock");
            const QColor bg = block ? QColor(192, 255, 192) : platformWindow;
            const QImage own = ownPainting(frame, s);
            const int W = own.width();
            const int H = own.height();
            auto at = [&own](int x, int y) { return QColor(own.pixel(x, y)); };
            const auto kids = frame->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
            int childTop = frame->height();
            for (QWidget* child : kids) {
                childTop = qMin(childTop, child->y());
            }

            // The top border: the first non-background row, away from the caption; a dark line
            // over a light one, each one pixel, then the background again.
            int top = 0;
            while (top < H && at(W - 12 * s, top) == bg) {
                ++top;
            }
            const QString where =
                QStringLiteral("%1 border row %2").arg(QLatin1String(name)).arg(top);
            QVERIFY2(top + 2 * s < childTop * s, qPrintable(where));
            const QColor dark = at(W - 12 * s, top);
            const QColor light = at(W - 12 * s, top + s);
            QVERIFY2(dark.lightness() < bg.lightness(), qPrintable(where));
            QVERIFY2(light.lightness() > bg.lightness(), qPrintable(where));
            QCOMPARE(at(W - 12 * s, top + 2 * s), bg);
            // The same pair on the other three sides.
            const int mid = (top + H) / 2;
            for (const auto& [d, l] : {std::pair{QPoint(0, mid), QPoint(s, mid)},
                                       {QPoint(W - 2 * s, mid), QPoint(W - s, mid)},
                                       {QPoint(W / 2, H - 2 * s), QPoint(W / 2, H - s)}}) {
                QCOMPARE(at(d.x(), d.y()), dark);
                QCOMPARE(at(l.x(), l.y()), light);
            }

            // The caption's ink, left of the controls: inset from the left edge, the top border
            // row within its height, the border left open beside it.
            int inkTop = H, inkBottom = -1, inkLeft = W;
            for (int y = 0; y < childTop * s; ++y) {
                for (int x = 2 * s; x < W / 2; ++x) {
                    if (at(x, y) != bg && at(x, y) != dark && at(x, y) != light) {
                        inkTop = qMin(inkTop, y);
                        inkBottom = qMax(inkBottom, y);
                        inkLeft = qMin(inkLeft, x);
                    }
                }
            }
            QVERIFY2(
                inkTop <= top && top + s <= inkBottom,
                qPrintable(where +
                           QStringLiteral(", caption rows %1..%2").arg(inkTop).arg(inkBottom)));
            QVERIFY2(inkLeft >= 6 * s && inkLeft <= 10 * s, qPrintable(QString::number(inkLeft)));
            QCOMPARE(at(inkLeft - s, top), bg);

            // Under a control, the frame has drawn nothing but its background. Elsewhere, in the
            // window as shown, every pixel that is not the caption or the border is exactly the
            // background: no tint, no rounded panel.
            const QPoint origin = frame->mapTo(w.get(), QPoint(0, 0)) * s;
            const QRect caption = physical(frame->captionRect().adjusted(-2, 0, 2, 0), s);
            QString stray;
            for (int y = 0; y < H && stray.isEmpty(); ++y) {
                for (int x = 0; x < W && stray.isEmpty(); ++x) {
                    const bool border = y >= top && (y < top + 2 * s || y >= H - 2 * s ||
                                                     x < 2 * s || x >= W - 2 * s);
                    const bool underChild = std::any_of(kids.begin(), kids.end(), [&](QWidget* c) {
                        return physical(c->geometry(), s).contains(x, y);
                    });
                    const QColor seen =
                        underChild ? at(x, y) : QColor(shot.pixel(origin + QPoint(x, y)));
                    if (seen != bg && (underChild || !(border || caption.contains(x, y)))) {
                        stray = QStringLiteral("%1 at %2,%3").arg(seen.name()).arg(x).arg(y);
                    }
                }
            }
            QVERIFY2(stray.isEmpty(), qPrintable(QLatin1String(name) + QLatin1Char(' ') + stray));
        }
    }

    // Each line of "　ファイルに   保存" is centred on its letters, to a pixel.
    void saveCaption_data() { styles(); }
    void saveCaption() {
        const auto w = openWindow();
        const QImage button = w->CommandSave()->grab().toImage();
        const int s = qRound(button.devicePixelRatio());
        QList<QPair<int, int>> lines;  // ink columns, first and last, of each line
        bool inLine = false;
        for (int y = 0; y < button.height(); ++y) {
            int left = button.width(), right = -1;
            // Inside the button's edges, the caption is the only dark ink.
            for (int x = 4 * s; x < button.width() - 4 * s; ++x) {
                if (QColor(button.pixel(x, y)).lightness() < 100) {
                    left = qMin(left, x);
                    right = qMax(right, x);
                }
            }
            if (right < 0) {
                inLine = false;
                continue;
            }
            if (!inLine) {
                lines.append({left, right});
            }
            inLine = true;
            lines.last() = {qMin(lines.last().first, left), qMax(lines.last().second, right)};
        }
        QCOMPARE(lines.size(), 2);
        for (const auto& [left, right] : lines) {
            const double offset = (left + right + 1) / 2.0 - button.width() / 2.0;
            QVERIFY2(
                qAbs(offset) <= s,
                qPrintable(
                    QStringLiteral("ink %1..%2 of %3").arg(left).arg(right).arg(button.width())));
        }
    }
};

QTEST_MAIN(FramesTest)
#include "test_frames.moc"
