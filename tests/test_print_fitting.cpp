// SPDX-License-Identifier: MIT
#include <QtTest>
#include <cmath>
#include <limits>

#include "print/fitting.h"

Q_DECLARE_METATYPE(PrinterUnit)
Q_DECLARE_METATYPE(FitError)

namespace {

// A4 with 10 mm margins, and the window's snapshot (450 x 413 pixels at 96 dpi), in 0.01 mm.
constexpr double kPrintableW = 19000;
constexpr double kPrintableH = 27700;
constexpr qint32 kPictureW = 11906;
constexpr qint32 kPictureH = 10927;

bool near(double actual, double expected, double tolerance) {
    return std::fabs(actual - expected) <= tolerance;
}

}  // namespace

class TestPrintFitting : public QObject {
    Q_OBJECT
private slots:
    void samePlacementInEveryUnit_data();
    void samePlacementInEveryUnit();
    void landscapePageOverhangsEqually();
    void flaggedFailures_data();
    void flaggedFailures();
    void pixelsToHundredthsMm_data();
    void pixelsToHundredthsMm();
};

void TestPrintFitting::samePlacementInEveryUnit_data() {
    QTest::addColumn<PrinterUnit>("unit");
    QTest::newRow("0.01 mm") << PrinterUnit::dots(2540, 2540);
    QTest::newRow("points") << PrinterUnit::dots(72, 72);
    QTest::newRow("twips") << PrinterUnit::dots(1440, 1440);
    QTest::newRow("character cells") << PrinterUnit::dots(12, 6);
    QTest::newRow("1200 dpi") << PrinterUnit::dots(1200, 1200);
    QTest::newRow("600 x 300 dpi") << PrinterUnit::dots(600, 300);
}

void TestPrintFitting::samePlacementInEveryUnit() {
    QFETCH(PrinterUnit, unit);
    const auto printableW = static_cast<float>(kPrintableW / unit.hundredthsMmX);
    const auto printableH = static_cast<float>(kPrintableH / unit.hundredthsMmY);

    const PictureFit fit = fitPicture(kPictureW, kPictureH, printableW, printableH, unit);
    QCOMPARE(fit.error, FitError::None);

    // Back on paper, in 0.01 mm: the full printable width, the picture's own proportions, and
    // equal blank bands above and below.
    const double left = fit.left * unit.hundredthsMmX;
    const double top = fit.top * unit.hundredthsMmY;
    const double width = fit.width * unit.hundredthsMmX;
    const double height = fit.height * unit.hundredthsMmY;
    const double expectedHeight = kPrintableW * kPictureH / kPictureW;  // 17437.3
    QVERIFY2(near(left, 0, 0.05), qPrintable(QString::number(left)));
    QVERIFY2(near(width, kPrintableW, 0.05), qPrintable(QString::number(width)));
    QVERIFY2(near(height, expectedHeight, 0.05), qPrintable(QString::number(height)));
    QVERIFY2(near(top, (kPrintableH - expectedHeight) / 2, 0.05), qPrintable(QString::number(top)));
    QVERIFY(near(kPrintableH - (top + height), top, 0.1));
}

void TestPrintFitting::landscapePageOverhangsEqually() {
    // A landscape A4 printable area in points; the picture is less wide in proportion, so at full
    // width it is taller than the area and overhangs top and bottom alike.
    const PrinterUnit unit = PrinterUnit::dots(72, 72);
    const float printableW = 785.2f;
    const float printableH = 538.6f;
    const PictureFit fit = fitPicture(kPictureW, kPictureH, printableW, printableH, unit);
    QCOMPARE(fit.error, FitError::None);
    const double expectedHeight = 785.2 * kPictureH / kPictureW;  // 720.6 > 538.6
    QVERIFY(near(fit.left, 0, 1e-3));
    QVERIFY(near(fit.width, printableW, 1e-3));
    QVERIFY(near(fit.height, expectedHeight, 1e-2));
    QVERIFY(fit.top < 0);
    QVERIFY(near(fit.top, (538.6 - expectedHeight) / 2, 1e-2));
    QVERIFY(near(-fit.top, fit.top + fit.height - printableH, 1e-2));
}

void TestPrintFitting::flaggedFailures_data() {
    QTest::addColumn<qint32>("w");
    QTest::addColumn<qint32>("h");
    QTest::addColumn<float>("printableW");
    QTest::addColumn<float>("printableH");
    QTest::addColumn<FitError>("expected");
    const float pw = 539.0f;
    const float ph = 785.0f;
    QTest::newRow("no picture: 0 / 0") << 0 << 0 << pw << ph << FitError::InvalidOperation;
    QTest::newRow("height 0") << kPictureW << 0 << pw << ph << FitError::DivisionByZero;
    QTest::newRow("width 0: aspect 0 divides the page width")
        << 0 << kPictureH << pw << ph << FitError::DivisionByZero;
    QTest::newRow("height on paper beyond single precision")
        << 1 << std::numeric_limits<qint32>::max() << 1e30f << ph << FitError::Overflow;
    QTest::newRow("printable width not a number")
        << kPictureW << kPictureH << std::numeric_limits<float>::quiet_NaN() << ph
        << FitError::InvalidOperation;
    QTest::newRow("printable height not a number")
        << kPictureW << kPictureH << pw << std::numeric_limits<float>::quiet_NaN()
        << FitError::InvalidOperation;
    QTest::newRow("a normal picture") << kPictureW << kPictureH << pw << ph << FitError::None;
}

void TestPrintFitting::flaggedFailures() {
    QFETCH(qint32, w);
    QFETCH(qint32, h);
    QFETCH(float, printableW);
    QFETCH(float, printableH);
    QFETCH(FitError, expected);
    const PictureFit fit = fitPicture(w, h, printableW, printableH, PrinterUnit::dots(72, 72));
    QCOMPARE(fit.error, expected);
    if (expected == FitError::None) {
        QVERIFY(std::isfinite(fit.top) && std::isfinite(fit.height));
    }
}

void TestPrintFitting::pixelsToHundredthsMm_data() {
    QTest::addColumn<int>("pixels");
    QTest::addColumn<double>("dotsPerMetre");
    QTest::addColumn<qint32>("expected");
    QTest::newRow("450 px at 96 dpi") << 450 << 96 / 0.0254 << 11906;
    QTest::newRow("413 px at 96 dpi") << 413 << 96 / 0.0254 << 10927;
    QTest::newRow("72 px at 72 dpi is an inch") << 72 << 72 / 0.0254 << 2540;
    QTest::newRow("no pixels") << 0 << 96 / 0.0254 << 0;
    QTest::newRow("no density") << 450 << 0.0 << 0;
    QTest::newRow("beyond 32 bits") << 2000000000 << 1.0 << 0;
}

void TestPrintFitting::pixelsToHundredthsMm() {
    QFETCH(int, pixels);
    QFETCH(double, dotsPerMetre);
    QFETCH(qint32, expected);
    QCOMPARE(::pixelsToHundredthsMm(pixels, dotsPerMetre), expected);
}

QTEST_MAIN(TestPrintFitting)
#include "test_print_fitting.moc"
