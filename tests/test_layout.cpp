// SPDX-License-Identifier: MIT
// The window as laid out: every visible control at its place, with its caption, tip, face,
// colours and pointer, the tab order and the start-up focus.
#include <QAccessible>
#include <QFontInfo>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "app/captionbutton.h"
#include "app/groupframe.h"
#include "app/mainwindow.h"
#include "app/picturecontrol.h"
#include "draw/blockdraw.h"
#include "support/fakeplatform.h"

namespace {

QRect twips(int l, int t, int w, int h) {
    return {l / 15, t / 15, w / 15, h / 15};
}

}  // namespace

class LayoutTest : public QObject {
    Q_OBJECT
private:
    FakePlatform m_platform;
    std::unique_ptr<MainWindow> m_window;

    template <typename T>
    T* find(const QString& name) {
        T* w = m_window->findChild<T*>(name);
        if (w == nullptr) {
            qFatal("no control named %s", qPrintable(name));
        }
        return w;
    }

private slots:
    void init() {
        m_platform.clock = [] { return QDateTime(QDate(2010, 3, 9), QTime(14, 5, 7)); };
        m_window = std::make_unique<MainWindow>(m_platform);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void cleanup() { m_window.reset(); }

    void window() {
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Tavo V1.1"));
        QCOMPARE(m_window->size(), QSize(448, 392));
        QCOMPARE(m_window->minimumSize(), QSize(448, 392));
        QCOMPARE(m_window->maximumSize(), QSize(448, 392));
        const Qt::WindowFlags flags = m_window->windowFlags();
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QCOMPARE(m_window->palette().color(QPalette::Window), QColor(255, 255, 192));
        QCOMPARE(m_window->cursor().shape(), Qt::CrossCursor);
        QVERIFY(!m_window->windowIcon().isNull());
    }

    // Fixed controls: geometry in the container, caption and tip exactly as stored.
    void controls_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("tip");
        auto row = [](const QString& name, const char* container, QRect g, const QString& caption,
                      const QString& tip) {
            QTest::newRow(qPrintable(name))
                << name << QString::fromLatin1(container) << g << caption << tip;
        };
        row(u"FrameData"_qs, "Form1", twips(120, 480, 1575, 3015), QStringLiteral("データの処理"),
            QString());
        row(u"CommandSave"_qs, "FrameData", twips(120, 600, 1335, 615),
            QStringLiteral("\u3000ファイルに   保存"), QStringLiteral("TavoLog.csvに保存"));
        row(u"CommandClr"_qs, "FrameData", twips(120, 1560, 1335, 615),
            QStringLiteral("表示をクリア"), QStringLiteral("表示内容を\uFF78\uFF98\uFF71"));
        row(u"CommandSort"_qs, "FrameData", twips(120, 2280, 1335, 615), QStringLiteral("並べ替え"),
            QStringLiteral("\uFF83\uFF9E\uFF70\uFF80を小→大"));
        row(u"FramePrn"_qs, "Form1", twips(120, 3600, 1575, 2175), QStringLiteral("印刷の設定"),
            QString());
        row(u"OptionPrn_0"_qs, "FramePrn", twips(240, 240, 1215, 375), QStringLiteral("文字印刷"),
            QStringLiteral("ﾃｷｽﾄ印刷"));
        row(u"OptionPrn_1"_qs, "FramePrn", twips(240, 600, 975, 375), QStringLiteral("イメージ"),
            QStringLiteral("ｳｲﾝﾄﾞｳｲﾒｰｼﾞ印刷"));
        row(u"OptionPrn_2"_qs, "FramePrn", twips(240, 960, 975, 375), QStringLiteral("フレーム"),
            QStringLiteral("ﾌﾚｰﾑ内部印刷"));
        row(u"CommandPrn"_qs, "FramePrn", twips(120, 1440, 1335, 615), QStringLiteral("印刷"),
            QStringLiteral("印刷実行"));
        for (int k = 0; k < 5; ++k) {
            row(QStringLiteral("FrameBlock_%1").arg(k), "Form1",
                twips(1920, 480 + 1080 * k, 3735, 975), QString(QLatin1Char('A' + k)), QString());
            row(QStringLiteral("ImageSwitch_%1").arg(k), "Form1",
                twips(6000, 840 + 1080 * k, 480, 480), QString(), QStringLiteral("ｽﾀｰﾄ/ｽﾄｯﾌﾟ"));
        }
    }
    void controls() {
        QFETCH(QString, name);
        QFETCH(QString, container);
        QFETCH(QRect, geometry);
        QFETCH(QString, caption);
        QFETCH(QString, tip);
        auto* w = find<QWidget>(name);
        QCOMPARE(w->parentWidget()->objectName(), container);
        QCOMPARE(w->geometry(), geometry);
        QCOMPARE(w->toolTip(), tip);
        if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            QCOMPARE(button->text(), caption);
            QCOMPARE(button->cursor().shape(), Qt::ArrowCursor);
        } else if (auto* frame = qobject_cast<GroupFrame*>(w)) {
            QCOMPARE(frame->title(), caption);
        } else {
            QCOMPARE(w->cursor().shape(), Qt::ArrowCursor);  // the switches
        }
        QVERIFY(w->isVisible());
    }

    void reels() {
        for (int k = 0; k < 5; ++k) {
            for (int j = 0; j < 6; ++j) {
                const int i = 6 * k + j;
                auto* reel = find<PictureControl>(QStringLiteral("ImageWin_%1").arg(i));
                QCOMPARE(reel->parentWidget()->objectName(),
                         QStringLiteral("FrameBlock_%1").arg(k));
                QCOMPARE(reel->geometry(), twips(120 + 600 * j, 360, 480, 480));
                QCOMPARE(m_window->model().reelPicture(i), PictureId::Blank);
                QCOMPARE(m_window->ImageWin(i), reel);
            }
            QCOMPARE(m_window->model().switchPicture(k), PictureId::Start);
        }
    }

    // Labels keep their top-left corner and size to their text.
    void labels() {
        for (const auto& [name, text, x] :
             {std::tuple{"Label1", QStringLiteral("システム時刻"), 24},
              std::tuple{"LabelDateTime", QStringLiteral("2010/03/09,14:05:07"), 128}}) {
            auto* label = find<QLabel>(QString::fromLatin1(name));
            QCOMPARE(label->text(), text);
            QCOMPARE(label->pos(), QPoint(x, 8));
            QCOMPARE(label->size(), label->sizeHint());
            QCOMPARE(label->cursor().shape(), Qt::CrossCursor);
        }

        auto* stamp = find<QLabel>(QStringLiteral("LabelFileName"));
        QCOMPARE(stamp->parentWidget()->objectName(), QStringLiteral("FrameData"));
        QCOMPARE(stamp->geometry(), twips(120, 240, 45, 165));
        QVERIFY(stamp->text().isEmpty());
        MainWindow::setAutoSizeCaption(stamp, QStringLiteral("2010/03/09,14:05"));
        QCOMPARE(stamp->pos(), QPoint(8, 16));
        QVERIFY(stamp->width() > 60);
        QVERIFY2(stamp->geometry().right() < stamp->parentWidget()->width(),
                 qPrintable(QString::number(stamp->width())));

        for (int k = 0; k < 5; ++k) {
            QLabel* status = m_window->LabelStat(k);
            QCOMPARE(status->objectName(), QStringLiteral("LabelStat_%1").arg(k));
            QCOMPARE(status->text(), QStringLiteral("開始"));
            QCOMPARE(status->pos(), QPoint(400, 40 + 72 * k));
            QCOMPARE(status->palette().color(QPalette::WindowText), QColor(0, 0, 255));
            QCOMPARE(status->palette().color(QPalette::Window), QColor(255, 255, 192));
            QCOMPARE(status->alignment(), Qt::AlignCenter);
            QCOMPARE(status->cursor().shape(), Qt::CrossCursor);
            // The longest caption still ends inside the client area.
            m_window->model().setPhase(k, TavoModel::Phase::Drawing);
            QCOMPARE(status->pos(), QPoint(400, 40 + 72 * k));
            QVERIFY2(status->geometry().right() < 448,
                     qPrintable(QString::number(status->width())));
            QCOMPARE(status->size(), status->sizeHint());
        }
    }

    void lines() {
        for (const auto& [name, y] : {std::pair{"Line1_1", 88}, std::pair{"Line1_0", 96}}) {
            auto* line = find<QWidget>(QString::fromLatin1(name));
            QCOMPARE(line->geometry(), QRect(8, y, 89, 1));
            QCOMPARE(line->palette().color(QPalette::Window), QColor(128, 128, 128));
        }
    }

    // Requested faces, sizes and weights; the substitutes must actually be the installed faces.
    void fonts_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("family");
        QTest::addColumn<qreal>("points");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<QString>("resolved");
        const QString pGothic = QStringLiteral("ＭＳ Ｐゴシック");
        auto row = [](const char* name, const QString& family, qreal points, bool bold,
                      const char* resolved) {
            QTest::newRow(name) << QString::fromLatin1(name) << family << points << bold
                                << QString::fromLatin1(resolved);
        };
        row("LabelDateTime", QStringLiteral("ＭＳ ゴシック"), 12.0, true, "IPAGothic");
        row("Label1", pGothic, 9.75, false, "IPAPGothic");
        row("LabelStat_2", pGothic, 11.25, false, "IPAPGothic");
        row("LabelFileName", pGothic, 8.25, false, "IPAPGothic");
        row("FrameBlock_4", QStringLiteral("ANGELA"), 14.25, true, "DejaVu Sans");
    }
    void fonts() {
        QFETCH(QString, name);
        QFETCH(QString, family);
        QFETCH(qreal, points);
        QFETCH(bool, bold);
        QFETCH(QString, resolved);
        const QFont font = find<QWidget>(name)->font();
        QCOMPARE(font.family(), family);
        QCOMPARE(font.pointSizeF(), points);
        QCOMPARE(font.bold(), bold);
        const QFontInfo info(font);
        QVERIFY2(info.family() == resolved ||
                     (resolved == QLatin1String("IPAGothic") && info.family() == u"IPAゴシック") ||
                     (resolved == QLatin1String("IPAPGothic") && info.family() == u"IPAPゴシック"),
                 qPrintable(info.family()));
    }

    void colours() {
        for (int k = 0; k < 5; ++k) {
            QCOMPARE(m_window->FrameBlock(k)->palette().color(QPalette::Window),
                     QColor(192, 255, 192));
            QVERIFY(m_window->FrameBlock(k)->autoFillBackground());
        }
        // The command frames keep the platform's colours, not the window's yellow.
        for (const char* name : {"FrameData", "FramePrn"}) {
            QCOMPARE(find<QWidget>(QString::fromLatin1(name))->palette().color(QPalette::Window),
                     QApplication::palette().color(QPalette::Window));
        }
        // A reel shows as a cream square on the green frame.
        const QImage shot = m_window->grab().toImage();
        const QPoint reelCorner = m_window->ImageWin(0)->mapTo(m_window.get(), QPoint(0, 0));
        QCOMPARE(QColor(shot.pixel(reelCorner)), QColor(255, 255, 212));
        QCOMPARE(QColor(shot.pixel(reelCorner - QPoint(2, 0))), QColor(192, 255, 192));
    }

    void focusAndTabOrder() {
        QCOMPARE(QApplication::focusWidget(), m_window->OptionPrn(0));
        QVERIFY(m_window->OptionPrn(0)->isChecked());
        QVERIFY(!m_window->OptionPrn(1)->isChecked());
        QVERIFY(!m_window->OptionPrn(2)->isChecked());
        // Only options and buttons take the focus.
        for (QWidget* w : m_window->findChildren<QWidget*>()) {
            const bool focusable = qobject_cast<QAbstractButton*>(w) != nullptr;
            QCOMPARE(w->focusPolicy() != Qt::NoFocus, focusable);
        }
        // Tab goes from the option group through the four buttons and back.
        QStringList visited;
        for (int i = 0; i < 6; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(visited,
                 QStringList({QStringLiteral("CommandPrn"), QStringLiteral("CommandClr"),
                              QStringLiteral("CommandSave"), QStringLiteral("CommandSort"),
                              QStringLiteral("OptionPrn_0"), QStringLiteral("CommandPrn")}));
        // Exactly one print mode stays selected.
        QTest::mouseClick(m_window->OptionPrn(2), Qt::LeftButton);
        QVERIFY(m_window->OptionPrn(2)->isChecked());
        QVERIFY(!m_window->OptionPrn(0)->isChecked());
    }

    // The save caption wraps at its spaces, never between two Japanese characters; the others
    // fit on one line.
    void captionWrap() {
        auto lines = [](QPushButton* b) {
            return CaptionButton::wrapAtSpaces(b->text(), b->fontMetrics(), b->width() - 8);
        };
        QCOMPARE(lines(m_window->CommandSave()),
                 QStringList({QStringLiteral("\u3000ファイルに"), QStringLiteral("保存")}));
        for (QPushButton* b :
             {m_window->CommandClr(), m_window->CommandSort(), m_window->CommandPrn()}) {
            QCOMPARE(lines(b), QStringList(b->text()));
        }
        const QFontMetrics fm(m_window->font());
        QCOMPARE(CaptionButton::wrapAtSpaces(QStringLiteral("ab  cd"), fm, 1000),
                 QStringList(QStringLiteral("ab  cd")));
        QCOMPARE(CaptionButton::wrapAtSpaces(QStringLiteral("ab  cd"), fm, 1),
                 QStringList({QStringLiteral("ab"), QStringLiteral("cd")}));
    }

    // A screen reader can tell every frame, reel, switch and status label: block, position,
    // what it shows, the phase.
    void accessibility() {
        QAccessibleInterface* frame =
            QAccessible::queryAccessibleInterface(m_window->FrameBlock(1));
        QCOMPARE(frame->role(), QAccessible::Grouping);
        QCOMPARE(frame->text(QAccessible::Name), QStringLiteral("B"));
        QAccessibleInterface* reel = QAccessible::queryAccessibleInterface(m_window->ImageWin(8));
        QVERIFY(reel != nullptr);
        QCOMPARE(reel->text(QAccessible::Name), QStringLiteral("ブロックB リール3: 空白"));
        QVERIFY(reel->text(QAccessible::Description).contains(QStringLiteral("ブロックB")));

        QAccessibleInterface* sw = QAccessible::queryAccessibleInterface(m_window->ImageSwitch(4));
        QCOMPARE(sw->text(QAccessible::Name), QStringLiteral("ブロックE スイッチ: 開始"));
        QVERIFY(!sw->text(QAccessible::Description).isEmpty());
        m_window->ImageSwitch(4)->setAccessibleDetail(QStringLiteral("結果: 1, 2"));
        using Phase = TavoModel::Phase;
        const std::pair<Phase, QString> phases[] = {
            {Phase::Pressed, QStringLiteral("押下")},
            {Phase::Armed, QStringLiteral("回転中、押すと停止")},
            {Phase::Drawing, QStringLiteral("抽選中")},
            {Phase::Ready, QStringLiteral("開始、結果: 1, 2")}};
        for (const auto& [phase, words] : phases) {
            m_window->model().setPhase(4, phase);
            QCOMPARE(sw->text(QAccessible::Name), QStringLiteral("ブロックE スイッチ: ") + words);
        }
        // The lamp's two pictures mean the same phase: a screen reader hears no change.
        m_window->model().setPhase(4, Phase::Drawing);
        m_window->model().setSwitchPicture(4, PictureId::BusyLit);
        m_window->model().setSwitchPicture(4, PictureId::BusyDark);
        QCOMPARE(sw->text(QAccessible::Name), QStringLiteral("ブロックE スイッチ: 抽選中"));
        m_window->model().setPhase(4, Phase::Ready);

        QAccessibleInterface* status =
            QAccessible::queryAccessibleInterface(m_window->LabelStat(0));
        QCOMPARE(status->text(QAccessible::Name), QStringLiteral("ブロックA 状態: 開始"));
        QVERIFY(!status->text(QAccessible::Description).isEmpty());
        m_window->model().setPhase(0, TavoModel::Phase::Drawing);
        QCOMPARE(status->text(QAccessible::Name), QStringLiteral("ブロックA 状態: 動作中"));
        QCOMPARE(status->text(QAccessible::Description), QStringLiteral("抽選中"));
    }

    // Nothing of the off-window state is a widget, so nothing of it can ever be seen.
    void noOffWindowControls() {
        for (QWidget* w : m_window->findChildren<QWidget*>()) {
            const QRect inWindow(w->mapTo(m_window.get(), QPoint(0, 0)), w->size());
            QVERIFY2(QRect(0, 0, 448, 392).contains(inWindow), qPrintable(w->objectName()));
        }
        for (const char* name : {"FrameDummy", "FrameS", "ImageFrame", "Picture1", "LabelFileName0",
                                 "LabelData_0", "LabelFN_0", "LabelS_0", "ImageDummy"}) {
            QVERIFY(m_window->findChild<QWidget*>(QString::fromLatin1(name)) == nullptr);
        }
    }
};

QTEST_MAIN(LayoutTest)
#include "test_layout.moc"
