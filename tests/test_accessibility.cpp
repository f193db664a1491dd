// SPDX-License-Identifier: MIT
// A draw from the keyboard and from assistive technology: the shortcuts and the queued Press
// action run the same protocol as clicks, the reels are named only when a number stands, the
// focus follows a draw that the keyboard started, and none of it changes a pixel.
#include <QAccessible>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "app/accessible.h"
#include "app/mainwindow.h"
#include "app/picturecontrol.h"
#include "draw/blockdraw.h"
#include "support/fakeplatform.h"

namespace {

enum Source { Mouse, Keyboard, Action };

QAccessibleInterface* iface(QWidget* w) {
    return QAccessible::queryAccessibleInterface(w);
}

// Every change of a reel's or switch's accessible name, sampled far faster than the 50 ms of
// a reel tick: a name that followed the spinning pictures would show up hundreds of times.
struct NameRecorder {
    QHash<QWidget*, QStringList> changes;
    QHash<QWidget*, QString> last;
    QTimer timer;
    explicit NameRecorder(MainWindow& w) {
        for (int i = 0; i < Sheet::kCells; ++i) {
            last[w.ImageWin(i)] = w.ImageWin(i)->accessibleName();
        }
        for (int k = 0; k < Sheet::kBlocks; ++k) {
            last[w.ImageSwitch(k)] = w.ImageSwitch(k)->accessibleName();
        }
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(2);
        QObject::connect(&timer, &QTimer::timeout, [this] { sample(); });
        timer.start();
    }
    void sample() {
        for (auto it = last.begin(); it != last.end(); ++it) {
            const QString now = it.key()->accessibleName();
            if (now != it.value()) {
                changes[it.key()] << now;
                it.value() = now;
            }
        }
    }
};

// What the window shows, so that a window that never drew can be made to show the same.
struct Look {
    std::array<PictureId, Sheet::kCells> reels{};
    std::array<PictureId, Sheet::kBlocks> switches{};
    std::array<TavoModel::Phase, Sheet::kBlocks> phases{};
    QString stamp;
    QImage grab;
};

Look look(MainWindow& w) {
    Look l;
    for (int i = 0; i < Sheet::kCells; ++i) {
        l.reels.at(i) = w.model().reelPicture(i);
    }
    for (int k = 0; k < Sheet::kBlocks; ++k) {
        l.switches.at(k) = w.model().switchPicture(k);
        l.phases.at(k) = w.model().phase(k);
    }
    l.stamp = w.LabelFileName()->text();
    l.grab = w.grab().toImage();
    return l;
}

QImage lookAlike(MainWindow& ref, const Look& l) {
    for (int i = 0; i < Sheet::kCells; ++i) {
        ref.model().setReelPicture(i, l.reels.at(i));
    }
    for (int k = 0; k < Sheet::kBlocks; ++k) {
        ref.model().setSwitchPicture(k, l.switches.at(k));
        ref.model().setPhase(k, l.phases.at(k));
    }
    MainWindow::setAutoSizeCaption(ref.LabelFileName(), l.stamp);
    return ref.grab().toImage();
}

const QDateTime kMarch9(QDate(2010, 3, 9), QTime(14, 5, 7));

}  // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT
private slots:
    // Block B drawn three ways. Each time: the second press releases, a third during the draw
    // does nothing, each reel is renamed twice, the commands and the other switches say they are
    // unavailable while it runs, and the window looks exactly as one that never spoke to
    // assistive technology. Only a draw started without the mouse moves the focus.
    void draw_data() {
        QTest::addColumn<int>("source");
        QTest::newRow("mouse") << int(Mouse);
        QTest::newRow("Alt+B") << int(Keyboard);
        QTest::newRow("Press action") << int(Action);
    }
    void draw() {
        QFETCH(int, source);
        FakePlatform platform;
        platform.clock = [] { return kMarch9; };
        auto w = std::make_unique<MainWindow>(platform);
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        BlockDraw& d = *w->findChild<BlockDraw*>();
        QWidget* const focusBefore = QApplication::focusWidget();
        QCOMPARE(focusBefore, w->OptionPrn(0));
        QList<QWidget*> focusSeen;
        QObject::connect(qApp, &QApplication::focusChanged, w.get(),
                         [&focusSeen](QWidget*, QWidget* now) { focusSeen << now; });
        NameRecorder names(*w);

        auto press = [&](int k) {
            if (source == Mouse) {
                QTest::mouseClick(w->ImageSwitch(k), Qt::LeftButton);
            } else if (source == Keyboard) {
                QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(Qt::Key_A + k),
                                Qt::AltModifier);
            } else {
                iface(w->ImageSwitch(k))
                    ->actionInterface()
                    ->doAction(QAccessibleActionInterface::pressAction());
            }
        };
        QList<QWidget*> unavailableWhenArmed;
        QList<QWidget*> unavailableWhenDrawing;
        auto unavailable = [&w] {
            QList<QWidget*> found;
            for (QWidget* c : w->findChildren<QWidget*>()) {
                if (QAccessibleInterface* i = iface(c); i != nullptr && i->state().disabled) {
                    found << c;
                }
            }
            return found;
        };
        std::vector<Look> looks;
        bool pressReturned = false;
        bool armedInsidePress = false;
        int armings = 0;
        QObject::connect(&d, &BlockDraw::blockArmed, w.get(), [&] {
            ++armings;
            armedInsidePress = !pressReturned;
        });
        QTimer::singleShot(600, w.get(), [&] {
            unavailableWhenArmed = unavailable();
            looks.push_back(look(*w));
            press(1);  // the release
        });
        QObject::connect(&d, &BlockDraw::numberDrawn, w.get(), [&](int, int position, int) {
            if (position == 3) {
                unavailableWhenDrawing = unavailable();
                looks.push_back(look(*w));
                press(1);  // after the release: nothing
                press(3);
            }
        });
        QSignalSpy finished(&d, &BlockDraw::drawFinished);
        press(1);
        pressReturned = true;
        // From the keyboard or a screen reader the press only queues: the caller is free at once.
        QCOMPARE(finished.count(), source == Mouse ? 1 : 0);
        QCOMPARE(w->model().ActiveBlock, 0);
        QVERIFY(finished.count() == 1 || finished.wait(20000));
        QTest::qWait(20);
        names.sample();
        looks.push_back(look(*w));

        QCOMPARE(finished.count(), 1);
        QCOMPARE(armings, 1);
        QCOMPARE(armedInsidePress, source == Mouse);
        QCOMPARE(platform.beeps, 9);
        QCOMPARE(w->model().ActiveBlock, 0);

        // Each reel of the block: spinning, then its number; no other reel is renamed.
        QSet<int> distinct;
        for (int i = 0; i < Sheet::kCells; ++i) {
            PictureControl* reel = w->ImageWin(i);
            if (i / Sheet::kPositions != 1) {
                QVERIFY(!names.changes.contains(reel));
                continue;
            }
            const QString n = w->sheet().LabelData.at(i);
            distinct << n.toInt();
            const QString label = QStringLiteral("ブロックB リール%1: ").arg(i % 6 + 1);
            QCOMPARE(names.changes.value(reel),
                     QStringList({label + QStringLiteral("回転中"), label + n}));
            // (Its number alone while the focus the draw gave is still on the switch.)
            QCOMPARE(iface(reel)->text(QAccessible::Name), source == Mouse ? label + n : n);
        }
        QCOMPARE(distinct.size(), 6);
        QStringList numbers;
        for (int p = 0; p < 6; ++p) {
            numbers << w->sheet().LabelData.at(Sheet::cell(1, p));
        }
        // A draw from the keyboard leaves the focus on the switch, which says only that it is
        // ready again and the numbers until the focus moves on.
        const QString result = QStringLiteral("開始 結果 ") + numbers.join(u' ');
        const QString switchName =
            QStringLiteral("ブロックB スイッチ: 開始、結果: ") + numbers.join(u", ");
        QCOMPARE(iface(w->ImageSwitch(1))->text(QAccessible::Name),
                 source == Mouse ? switchName : result);
        QCOMPARE(iface(w->LabelStat(1))->text(QAccessible::Name),
                 QStringLiteral("ブロックB 状態: 開始"));

        // Unavailable: the commands and the other switches from the start, the block's own
        // switch once released; all available again at the end.
        QList<QWidget*> idleOnly = {w->CommandSave(),  w->CommandClr(),   w->CommandSort(),
                                    w->CommandPrn(),   w->ImageSwitch(0), w->ImageSwitch(2),
                                    w->ImageSwitch(3), w->ImageSwitch(4)};
        auto sorted = [](QList<QWidget*> l) {
            std::sort(l.begin(), l.end());
            return l;
        };
        QCOMPARE(sorted(unavailableWhenArmed), sorted(idleOnly));
        QCOMPARE(sorted(unavailableWhenDrawing),
                 sorted(idleOnly + QList{static_cast<QWidget*>(w->ImageSwitch(1))}));
        QVERIFY(unavailable().isEmpty());
        for (QWidget* c : idleOnly) {
            QVERIFY(c->isEnabled());
        }

        if (source == Mouse) {
            QVERIFY2(focusSeen.isEmpty(), "a draw by the mouse moves no focus");
            QCOMPARE(QApplication::focusWidget(), focusBefore);
        } else {
            // The switch as the reels spin, each reel as it stops, the switch with the numbers;
            // each says only what changed, without its help, while the draw holds it there.
            QList<QWidget*> expected = {w->ImageSwitch(1)};
            for (int p = 0; p < 6; ++p) {
                expected << w->ImageWin(Sheet::cell(1, p));
            }
            expected << w->ImageSwitch(1);
            // Moves are spaced: the last may come a moment after the draw has ended.
            QTRY_COMPARE(focusSeen, expected);
            QVERIFY(iface(w->ImageSwitch(1))->state().focused);
            QCOMPARE(iface(w->ImageSwitch(1))->text(QAccessible::Description), QString());
            QCOMPARE(iface(w->ImageWin(6))->text(QAccessible::Description), QString());
            // Tab from there goes on through the cycle as laid out, and only through it.
            const QList<QWidget*> cycle = {w->OptionPrn(0), w->CommandPrn(), w->CommandClr(),
                                           w->CommandSave(), w->CommandSort()};
            QList<QWidget*> visited;
            for (int i = 0; i < 6; ++i) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                visited << QApplication::focusWidget();
            }
            const qsizetype first = cycle.indexOf(visited.first());
            QVERIFY(first >= 0);
            for (int i = 0; i < visited.size(); ++i) {
                QCOMPARE(visited.at(i), cycle.at((first + i) % cycle.size()));
            }
            QVERIFY(!iface(w->ImageSwitch(1))->text(QAccessible::Description).isEmpty());
            // The focus moved on, the switch and the reels take back their full names.
            QCOMPARE(iface(w->ImageSwitch(1))->text(QAccessible::Name), switchName);
            for (int p = 0; p < Sheet::kPositions; ++p) {
                QAccessibleInterface* reel = iface(w->ImageWin(Sheet::cell(1, p)));
                QCOMPARE(reel->text(QAccessible::Name),
                         QStringLiteral("ブロックB リール%1: ").arg(p + 1) + numbers[p]);
                QVERIFY(!reel->text(QAccessible::Description).isEmpty());
            }
        }

        // Every pixel as on a window that never drew, shown in the same state.
        w->hide();
        MainWindow ref(platform);
        ref.show();
        QVERIFY(QTest::qWaitForWindowActive(&ref));
        QCOMPARE(looks.size(), std::size_t(3));
        for (const Look& l : looks) {
            QVERIFY(lookAlike(ref, l) == l.grab);
        }
    }

    // A switch as assistive technology sees it: a push button with the block's key, whose Press
    // returns before the press runs; a reel an animation with no action. Return or Space on a
    // focused switch press it; Return on a focused button presses it.
    void interfaces() {
        FakePlatform platform;
        MainWindow w(platform);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QAccessibleInterface* sw = iface(w.ImageSwitch(2));
        QCOMPARE(sw->role(), QAccessible::Button);
        QAccessibleActionInterface* actions = sw->actionInterface();
        QVERIFY(actions != nullptr);
        QCOMPARE(actions->actionNames(), QStringList(QAccessibleActionInterface::pressAction()));
        QCOMPARE(actions->keyBindingsForAction(QAccessibleActionInterface::pressAction()),
                 QStringList(QStringLiteral("Alt+C")));
        QAccessibleInterface* reel = iface(w.ImageWin(14));
        QCOMPARE(reel->role(), QAccessible::Animation);
        QVERIFY(reel->actionInterface() == nullptr ||
                reel->actionInterface()->actionNames().isEmpty());

        // Another block "drawing": presses reach the protocol and are ignored there.
        w.model().ActiveBlock = 4;
        QSignalSpy triggered(w.ImageSwitch(2), &PictureControl::triggered);
        actions->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(triggered.count(), 0);
        QVERIFY(triggered.wait(1000));
        w.ImageSwitch(2)->setFocus(Qt::OtherFocusReason);
        QTest::keyClick(w.ImageSwitch(2), Qt::Key_Return);
        QTest::keyClick(w.ImageSwitch(2), Qt::Key_Space);
        QTest::keyClick(w.ImageSwitch(2), Qt::Key_A);
        QTRY_COMPARE(triggered.count(), 3);
        QCOMPARE(w.model().switchPicture(2), PictureId::Start);
        w.model().ActiveBlock = 0;

        QAccessibleInterface* save = iface(w.CommandSave());
        QCOMPARE(save->role(), QAccessible::Button);
        QCOMPARE(save->text(QAccessible::Name), QStringLiteral("\u3000ファイルに   保存"));
        QVERIFY(save->actionInterface()->actionNames().contains(
            QAccessibleActionInterface::pressAction()));
        // The sort's tip has an arrow that speech drops; its description says it in words.
        QVERIFY(!iface(w.CommandSort())->text(QAccessible::Description).contains(u'→'));

        w.CommandClr()->setFocus(Qt::TabFocusReason);
        for (const auto& [key, modifier] : {std::pair{Qt::Key_Return, Qt::NoModifier},
                                            std::pair{Qt::Key_Enter, Qt::KeypadModifier}}) {
            w.sheet().LabelData.at(3) = QStringLiteral("17");
            QTest::keyClick(w.CommandClr(), key, modifier);
            QVERIFY(w.sheet().LabelData.at(3).isEmpty());
        }
    }

    // After a sort the reel names follow the sorted numbers; after a clear they say blank.
    // A sort, a clear and a save that work are each told as one notification, which a screen
    // reader speaks; a save that fails is told by its note alone.
    void sortClearAndSave() {
        FakePlatform platform;
        MainWindow w(platform);
        QTemporaryDir folder;
        w.model().AppFolder.path = folder.path() + u'/';
        // What the window last told as a notification (the real bus test hears each one).
        const auto told = [&w] {
            for (QObject* child : w.children()) {
                QAccessibleInterface* i = QAccessible::queryAccessibleInterface(child);
                if (i != nullptr && i->role() == QAccessible::Notification) {
                    return i->text(QAccessible::Name);
                }
            }
            return QString();
        };
        const int drawn[] = {30, 4, 17, 41, 9, 22};
        for (int p = 0; p < 6; ++p) {
            w.sheet().LabelData.at(Sheet::cell(3, p)) = QString::number(drawn[p]);
            w.model().setReelPicture(Sheet::cell(3, p), faceId(drawn[p]));
        }
        // A picture alone does not rename a reel: only the window's announcement does.
        QCOMPARE(iface(w.ImageWin(Sheet::cell(3, 0)))->text(QAccessible::Name),
                 QStringLiteral("ブロックD リール1: 空白"));
        w.CommandSort_Click();
        const int sorted[] = {4, 9, 17, 22, 30, 41};
        for (int p = 0; p < 6; ++p) {
            QCOMPARE(iface(w.ImageWin(Sheet::cell(3, p)))->text(QAccessible::Name),
                     QStringLiteral("ブロックD リール%1: %2").arg(p + 1).arg(sorted[p]));
        }
        QCOMPARE(iface(w.ImageSwitch(3))->text(QAccessible::Name),
                 QStringLiteral("ブロックD スイッチ: 開始、結果: 4, 9, 17, 22, 30, 41"));
        QCOMPARE(told(), QStringLiteral("並べ替えました"));
        w.sheet().LabelFN.at(3) = QStringLiteral("2010/03/09,14:05");
        const QString folderPath = w.model().AppFolder.path;
        w.model().AppFolder.path = folder.filePath(QStringLiteral("missing/"));
        w.CommandSave_Click();
        QCOMPARE(platform.messageKinds, QList<NoteKind>{NoteKind::Warning});
        QCOMPARE(told(), QStringLiteral("並べ替えました"));
        w.model().AppFolder.path = folderPath;
        w.CommandSave_Click();
        QCOMPARE(told(), QStringLiteral("保存しました"));
        QCOMPARE(platform.messageKinds.size(), 1);
        w.CommandClr_Click();
        QCOMPARE(told(), QStringLiteral("表示をクリアしました"));
        QCOMPARE(iface(w.ImageWin(Sheet::cell(3, 2)))->text(QAccessible::Name),
                 QStringLiteral("ブロックD リール3: 空白"));
        QCOMPARE(iface(w.ImageSwitch(3))->text(QAccessible::Name),
                 QStringLiteral("ブロックD スイッチ: 開始"));
    }
};

QTEST_MAIN(AccessibilityTest)
#include "test_accessibility.moc"
