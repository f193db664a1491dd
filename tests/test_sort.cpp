// SPDX-License-Identifier: MIT
// Sorting: the selection sort of one row, and the sort of a whole sheet on the model, numbers
// and reels alike; the button on the real window.
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "app/mainwindow.h"
#include "app/picturecontrol.h"
#include "draw/blockdraw.h"
#include "model/tavomodel.h"
#include "results/sort.h"
#include "support/fakeplatform.h"

using Row = std::array<QString, Sheet::kPositions>;

namespace {

Row row(const QStringList& captions) {
    Row r;
    for (int i = 0; i < Sheet::kPositions; ++i) {
        r.at(static_cast<std::size_t>(i)) = captions.value(i);
    }
    return r;
}

QStringList list(const Row& r) {
    return QStringList(r.begin(), r.end());
}

const QStringList kTakenRow{u"44"_qs, u"44"_qs, u"44"_qs, u"44"_qs, u"44"_qs, u"44"_qs};
const QStringList kEmptyRow{QString(), QString(), QString(), QString(), QString(), QString()};

// Reel pictures that no sort would give, so a reel that was left alone is told apart from one
// that was set.
PictureId marker(int cell) {
    return cell % 2 ? PictureId::Push : PictureId::BusyLit;
}

// Everything a sort may touch.
struct Snapshot {
    std::array<QString, Sheet::kCells> data;
    Row work, result;
    std::array<PictureId, Sheet::kCells> reels{};
    bool operator==(const Snapshot& o) const {
        return data == o.data && work == o.work && result == o.result && reels == o.reels;
    }
};

Snapshot snapshot(TavoModel& w) {
    Snapshot s{w.sheet().LabelData, w.sheet().LabelS, w.sheet().NumberLabelS, {}};
    for (int i = 0; i < Sheet::kCells; ++i) {
        s.reels.at(static_cast<std::size_t>(i)) = w.reelPicture(i);
    }
    return s;
}

// Puts captions into block b as a draw would leave them: each numbered cell's reel shows its
// ball, each empty cell's reel a marker.
void setBlock(TavoModel& w, int b, const QStringList& captions) {
    for (int p = 0; p < Sheet::kPositions; ++p) {
        const int k = Sheet::cell(b, p);
        const QString caption = captions.value(p);
        w.sheet().LabelData.at(static_cast<std::size_t>(k)) = caption;
        w.setReelPicture(k, caption.isEmpty() ? marker(k) : faceId(caption.toInt()));
    }
}

QStringList block(TavoModel& w, int b) {
    QStringList out;
    for (int p = 0; p < Sheet::kPositions; ++p) {
        out << w.sheet().LabelData.at(static_cast<std::size_t>(Sheet::cell(b, p)));
    }
    return out;
}

// What each reel of block b must show after a sort: its ball, or the picture it had before.
void verifyReels(TavoModel& w, int b, const Snapshot& before) {
    for (int p = 0; p < Sheet::kPositions; ++p) {
        const int k = Sheet::cell(b, p);
        const QString caption = w.sheet().LabelData.at(static_cast<std::size_t>(k));
        const PictureId want = caption.isEmpty() ? before.reels.at(static_cast<std::size_t>(k))
                                                 : faceId(caption.toInt());
        if (w.reelPicture(k) != want) {
            QFAIL(qPrintable(u"reel %1 shows picture %2, expected %3"_qs.arg(k)
                                 .arg(static_cast<int>(w.reelPicture(k)))
                                 .arg(static_cast<int>(want))));
        }
    }
}

}  // namespace

class TestSort : public QObject {
    Q_OBJECT
private slots:
    void sortRow_data() {
        QTest::addColumn<QStringList>("input");
        QTest::addColumn<QStringList>("sorted");
        QTest::newRow("draw order")
            << QStringList{u"31"_qs, u"5"_qs, u"17"_qs, u"2"_qs, u"43"_qs, u"9"_qs}
            << QStringList{u"2"_qs, u"5"_qs, u"9"_qs, u"17"_qs, u"31"_qs, u"43"_qs};
        QTest::newRow("numbers, not texts")
            << QStringList{u"10"_qs, u"9"_qs, u"1"_qs, u"30"_qs, u"2"_qs, u"20"_qs}
            << QStringList{u"1"_qs, u"2"_qs, u"9"_qs, u"10"_qs, u"20"_qs, u"30"_qs};
        QTest::newRow("already sorted")
            << QStringList{u"1"_qs, u"2"_qs, u"3"_qs, u"41"_qs, u"42"_qs, u"43"_qs}
            << QStringList{u"1"_qs, u"2"_qs, u"3"_qs, u"41"_qs, u"42"_qs, u"43"_qs};
        QTest::newRow("descending")
            << QStringList{u"43"_qs, u"42"_qs, u"30"_qs, u"12"_qs, u"7"_qs, u"1"_qs}
            << QStringList{u"1"_qs, u"7"_qs, u"12"_qs, u"30"_qs, u"42"_qs, u"43"_qs};
        QTest::newRow("ties") << QStringList{u"5"_qs, u"3"_qs, u"5"_qs, u"1"_qs, u"3"_qs, u"5"_qs}
                              << QStringList{u"1"_qs, u"3"_qs, u"3"_qs, u"5"_qs, u"5"_qs, u"5"_qs};
        QTest::newRow("empty") << kEmptyRow << kEmptyRow;
        QTest::newRow("mixed: empty cells first, still empty")
            << QStringList{u"40"_qs, QString(), u"3"_qs, QString(), u"12"_qs, QString()}
            << QStringList{QString(), QString(), QString(), u"3"_qs, u"12"_qs, u"40"_qs};
        QTest::newRow("one number last")
            << QStringList{QString(), QString(), QString(), QString(), QString(), u"43"_qs}
            << QStringList{QString(), QString(), QString(), QString(), QString(), u"43"_qs};
        QTest::newRow("text that is no number counts as empty")
            << QStringList{u"x"_qs, u"8"_qs, u"4"_qs, QString(), u"7"_qs, u"6"_qs}
            << QStringList{QString(), QString(), u"4"_qs, u"6"_qs, u"7"_qs, u"8"_qs};
    }
    void sortRow() {
        QFETCH(QStringList, input);
        QFETCH(QStringList, sorted);
        Sheet sheet;
        sheet.LabelS = row(input);
        SortRow(sheet);
        QCOMPARE(list(sheet.NumberLabelS), sorted);
        QCOMPARE(list(sheet.LabelS), kTakenRow);
    }

    // Every block sorted on its own, the stamps left alone; blocks left empty, and cells left
    // empty inside a block: the reels of empty cells keep what they showed, whichever cell's
    // number moved away from them.
    void sortsEveryBlockOnItsOwn_data() {
        QTest::addColumn<QList<QStringList>>("blocks");
        QTest::addColumn<QList<QStringList>>("sorted");
        QTest::newRow("every block drawn")
            << QList<QStringList>{{u"31"_qs, u"5"_qs, u"17"_qs, u"2"_qs, u"43"_qs, u"9"_qs},
                                  {u"40"_qs, u"39"_qs, u"38"_qs, u"1"_qs, u"2"_qs, u"3"_qs},
                                  {u"8"_qs, u"16"_qs, u"24"_qs, u"32"_qs, u"40"_qs, u"4"_qs},
                                  {u"11"_qs, u"22"_qs, u"33"_qs, u"10"_qs, u"20"_qs, u"30"_qs},
                                  {u"43"_qs, u"42"_qs, u"41"_qs, u"7"_qs, u"6"_qs, u"5"_qs}}
            << QList<QStringList>{{u"2"_qs, u"5"_qs, u"9"_qs, u"17"_qs, u"31"_qs, u"43"_qs},
                                  {u"1"_qs, u"2"_qs, u"3"_qs, u"38"_qs, u"39"_qs, u"40"_qs},
                                  {u"4"_qs, u"8"_qs, u"16"_qs, u"24"_qs, u"32"_qs, u"40"_qs},
                                  {u"10"_qs, u"11"_qs, u"20"_qs, u"22"_qs, u"30"_qs, u"33"_qs},
                                  {u"5"_qs, u"6"_qs, u"7"_qs, u"41"_qs, u"42"_qs, u"43"_qs}};
        QTest::newRow("nothing drawn")
            << QList<QStringList>(5, kEmptyRow) << QList<QStringList>(5, kEmptyRow);
        const QStringList a{u"12"_qs, u"3"_qs, u"30"_qs, u"21"_qs, u"1"_qs, u"9"_qs};
        const QStringList aSorted{u"1"_qs, u"3"_qs, u"9"_qs, u"12"_qs, u"21"_qs, u"30"_qs};
        const QStringList c{u"43"_qs, u"15"_qs, u"16"_qs, u"14"_qs, u"2"_qs, u"25"_qs};
        const QStringList cSorted{u"2"_qs, u"14"_qs, u"15"_qs, u"16"_qs, u"25"_qs, u"43"_qs};
        QTest::newRow("A and C drawn")
            << QList<QStringList>{a, kEmptyRow, c, kEmptyRow, kEmptyRow}
            << QList<QStringList>{aSorted, kEmptyRow, cSorted, kEmptyRow, kEmptyRow};
        QList<QStringList> mixed(5, kEmptyRow);
        QList<QStringList> mixedSorted(5, kEmptyRow);
        mixed[4] = {u"40"_qs, QString(), u"3"_qs, QString(), u"12"_qs, QString()};
        mixedSorted[4] = {QString(), QString(), QString(), u"3"_qs, u"12"_qs, u"40"_qs};
        QTest::newRow("mixed cells in E") << mixed << mixedSorted;
    }
    void sortsEveryBlockOnItsOwn() {
        QFETCH(QList<QStringList>, blocks);
        QFETCH(QList<QStringList>, sorted);
        TavoModel w;
        for (int b = 0; b < Sheet::kBlocks; ++b) {
            setBlock(w, b, blocks.at(b));
        }
        w.sheet().LabelFN.fill(u"2024/03/09,14:05:07"_qs);
        w.sheet().LabelFileName0 = u"240309_1405.csv"_qs;
        w.setSheetStamp(u"2024/03/09,14:05"_qs);
        const Snapshot before = snapshot(w);
        sortSheet(w);
        for (int b = 0; b < Sheet::kBlocks; ++b) {
            QCOMPARE(block(w, b), sorted.at(b));
            verifyReels(w, b, before);
        }
        QCOMPARE(list(w.sheet().LabelS), kTakenRow);
        // The result row is left with block E, sorted: its design-time captions are gone.
        QCOMPARE(list(w.sheet().NumberLabelS), sorted.at(4));
        // The stamps are not the sort's business.
        QCOMPARE(QStringList(w.sheet().LabelFN.begin(), w.sheet().LabelFN.end()),
                 QStringList(Sheet::kBlocks, u"2024/03/09,14:05:07"_qs));
        QCOMPARE(w.sheet().LabelFileName0, u"240309_1405.csv"_qs);
        QCOMPARE(w.sheetStamp(), u"2024/03/09,14:05"_qs);
    }

    void sortingTwiceIsSortingOnce() {
        TavoModel w;
        setBlock(w, 1, {u"31"_qs, u"5"_qs, u"17"_qs, u"2"_qs, u"43"_qs, u"9"_qs});
        setBlock(w, 3, {u"40"_qs, QString(), u"3"_qs, QString(), u"12"_qs, QString()});
        sortSheet(w);
        const Snapshot once = snapshot(w);
        sortSheet(w);
        QVERIFY(snapshot(w) == once);
    }

    // The button sorts, and the window's reels show what the model's reels show.
    void theButtonSorts() {
        FakePlatform platform;
        MainWindow w(platform);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        TavoModel& m = w.model();
        setBlock(m, 2, {u"31"_qs, u"5"_qs, u"17"_qs, u"2"_qs, u"43"_qs, u"9"_qs});
        const Snapshot before = snapshot(m);
        QTest::mouseClick(w.CommandSort(), Qt::LeftButton);
        QCOMPARE(block(m, 2),
                 (QStringList{u"2"_qs, u"5"_qs, u"9"_qs, u"17"_qs, u"31"_qs, u"43"_qs}));
        verifyReels(m, 2, before);
        // The reels show the sorted faces, not only hold them.
        const Pictures pictures;
        for (int k = 0; k < Sheet::kCells; ++k) {
            QCOMPARE(w.ImageWin(k)->grab().toImage().convertToFormat(QImage::Format_RGB32),
                     pictures.byId(m.reelPicture(k)).pixmap.toImage());
        }
    }
};

QTEST_MAIN(TestSort)
#include "test_sort.moc"
