// SPDX-License-Identifier: MIT
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QRect>
#include <QtTest>
#include <cmath>
#include <stdexcept>

#include "app/pictures.h"

namespace {

constexpr QRgb kCream = qRgb(255, 255, 212);
constexpr QRgb kGrey = qRgb(158, 158, 158);
constexpr QRgb kBlack = qRgb(0, 0, 0);

QString faceName(int n) {
    return QStringLiteral("face%1").arg(n, 2, 10, QLatin1Char('0'));
}

const QStringList& switchNames() {
    static const QStringList names{QStringLiteral("switch_start"), QStringLiteral("switch_push"),
                                   QStringLiteral("switch_stop"), QStringLiteral("lamp_lit"),
                                   QStringLiteral("lamp_dark")};
    return names;
}

QString resourcePath(const QString& name, int scale) {
    return QStringLiteral(":/assets/%1%2.png")
        .arg(name, scale == 2 ? QStringLiteral("@2x") : QString());
}

// Pixels compared as opaque RGB; the loaded format may differ from file to file.
QImage loadRgb(const QString& name, int scale) {
    return QImage(resourcePath(name, scale)).convertToFormat(QImage::Format_ARGB32);
}

int countColour(const QImage& img, QRgb colour) {
    int n = 0;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            n += (img.pixel(x, y) | 0xff000000u) == (colour | 0xff000000u) ? 1 : 0;
        }
    }
    return n;
}

// Bounding box of the pixels of one colour.
QRect boundsOf(const QImage& img, QRgb colour) {
    QRect box;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if (img.pixel(x, y) == colour) {
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    return box;
}

struct Family {
    QRgb ball, core, digit;
};

Family familyOf(int n) {
    if (n < 10) {
        return {qRgb(255, 170, 0), qRgb(128, 128, 0), qRgb(166, 202, 240)};
    }
    if (n < 20) {
        return {qRgb(255, 255, 177), qRgb(254, 254, 0), qRgb(37, 37, 255)};
    }
    if (n < 30) {
        return {qRgb(255, 199, 177), qRgb(255, 115, 72), qRgb(86, 86, 86)};
    }
    if (n < 40) {
        return {qRgb(142, 171, 255), qRgb(72, 115, 255), qRgb(255, 255, 255)};
    }
    return {qRgb(72, 255, 72), qRgb(0, 220, 0), qRgb(255, 255, 255)};
}

double distanceFromCentre(int x, int y, int size) {
    const double c = size / 2.0;
    return std::hypot(x + 0.5 - c, y + 0.5 - c);
}

QRgb centreColour(const QImage& img) {
    return img.pixel(img.width() / 2, img.height() / 2);
}

}  // namespace

class TestPictures : public QObject {
    Q_OBJECT

private slots:
    void everyFile_data();
    void everyFile();
    void blankFaceIsCream_data();
    void blankFaceIsCream();
    void ballColours_data();
    void ballColours();
    void doubleSizeIsRedrawnNotUpscaled_data();
    void doubleSizeIsRedrawnNotUpscaled();
    void facesAllDiffer_data();
    void facesAllDiffer();
    void switchesDifferOnlyInCentre_data();
    void switchesDifferOnlyInCentre();
    void pressedSwitchHasDashedRing_data();
    void pressedSwitchHasDashedRing();
    void loadsAtEachPixelRatio_data();
    void loadsAtEachPixelRatio();
    void eachIdShowsItsPicture();
    void byIdRoundTrips();
    void byIdRejectsUnknownId();
    void iconIsIndexedAndHasBothSizes();
};

void TestPictures::everyFile_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("scale");
    QStringList names;
    for (int n = 0; n < Pictures::kFaces; ++n) {
        names << faceName(n);
    }
    names << switchNames();
    for (const QString& name : names) {
        for (int scale : {1, 2}) {
            QTest::addRow("%s@%d", qPrintable(name), scale) << name << scale;
        }
    }
}

void TestPictures::everyFile() {
    QFETCH(QString, name);
    QFETCH(int, scale);
    const QString path = resourcePath(name, scale);
    QVERIFY2(QFile::exists(path), qPrintable(path));
    const QImage img = loadRgb(name, scale);
    QVERIFY(!img.isNull());
    QCOMPARE(img.size(), QSize(32 * scale, 32 * scale));
    int translucent = 0;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            translucent += qAlpha(img.pixel(x, y)) != 255 ? 1 : 0;
        }
    }
    QCOMPARE(translucent, 0);
    // The whole corner, not just its first pixel, lies outside every round shape.
    const int last = img.width() - 1;
    for (int dy = 0; dy < 2 * scale; ++dy) {
        for (int dx = 0; dx < 2 * scale; ++dx) {
            QCOMPARE(img.pixel(dx, dy), kCream);
            QCOMPARE(img.pixel(last - dx, dy), kCream);
            QCOMPARE(img.pixel(dx, last - dy), kCream);
            QCOMPARE(img.pixel(last - dx, last - dy), kCream);
        }
    }
}

void TestPictures::blankFaceIsCream_data() {
    QTest::addColumn<int>("scale");
    QTest::newRow("32") << 1;
    QTest::newRow("64") << 2;
}

void TestPictures::blankFaceIsCream() {
    QFETCH(int, scale);
    const QImage img = loadRgb(faceName(0), scale);
    QCOMPARE(countColour(img, kCream), img.width() * img.height());
}

void TestPictures::ballColours_data() {
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("scale");
    for (int n = 1; n < Pictures::kFaces; ++n) {
        for (int scale : {1, 2}) {
            QTest::addRow("%d@%d", n, scale) << n << scale;
        }
    }
}

void TestPictures::ballColours() {
    QFETCH(int, n);
    QFETCH(int, scale);
    const QImage img = loadRgb(faceName(n), scale);
    const Family f = familyOf(n);
    const int area = scale * scale;
    // Large flat areas of the listed colours, not a stray pixel each.
    QVERIFY2(countColour(img, f.ball) >= 40 * area, "ball or rim colour");
    QVERIFY2(countColour(img, f.core) >= 40 * area, "core colour");
    QVERIFY2(countColour(img, f.digit) >= 12 * area, "digit colour");
    // No colour of a neighbouring family slipped in.
    for (int other : {5, 15, 25, 35, 42}) {
        if (familyOf(other).core != f.core) {
            QCOMPARE(countColour(img, familyOf(other).core), 0);
        }
    }

    // The ball fills the square: it reaches the middle of each edge.
    const int size = img.width();
    const int mid = size / 2;
    QVERIFY(img.pixel(mid, scale) != kCream);
    QVERIFY(img.pixel(scale, mid) != kCream);
    QVERIFY(img.pixel(mid, size - 1 - scale) != kCream);
    QVERIFY(img.pixel(size - 1 - scale, mid) != kCream);

    // The number sits across the centre, inside the core, and two digits are wider than one.
    const QRect digits = boundsOf(img, f.digit);
    QVERIFY(std::abs(digits.center().x() + 0.5 - size / 2.0) <= 1.5 * scale);
    QVERIFY(std::abs(digits.center().y() + 0.5 - size / 2.0) <= 1.5 * scale);
    QVERIFY(digits.height() >= 10 * scale);
    QVERIFY(digits.width() >= (n < 10 ? 4 : 12) * scale);
    QVERIFY(digits.width() <= (n < 10 ? 11 : 20) * scale);
}

void TestPictures::doubleSizeIsRedrawnNotUpscaled_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("face08") << faceName(8);
    QTest::newRow("face27") << faceName(27);
    QTest::newRow("switch_push") << QStringLiteral("switch_push");
    QTest::newRow("lamp_lit") << QStringLiteral("lamp_lit");
}

void TestPictures::doubleSizeIsRedrawnNotUpscaled() {
    QFETCH(QString, name);
    const QImage small = loadRgb(name, 1);
    const QImage large = loadRgb(name, 2);
    QVERIFY(large != small.scaled(64, 64, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    // Still the same drawing: most pixels agree with the 32 px one.
    int same = 0;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            same += large.pixel(2 * x, 2 * y) == small.pixel(x, y) ? 1 : 0;
        }
    }
    QVERIFY2(same >= 32 * 32 * 3 / 4, qPrintable(QString::number(same)));
}

void TestPictures::facesAllDiffer_data() {
    blankFaceIsCream_data();
}

void TestPictures::facesAllDiffer() {
    QFETCH(int, scale);
    QList<QImage> faces;
    for (int n = 0; n < Pictures::kFaces; ++n) {
        faces << loadRgb(faceName(n), scale);
    }
    for (int a = 0; a < faces.size(); ++a) {
        for (int b = a + 1; b < faces.size(); ++b) {
            QVERIFY2(faces[a] != faces[b], qPrintable(QStringLiteral("%1 == %2").arg(a).arg(b)));
        }
    }
}

void TestPictures::switchesDifferOnlyInCentre_data() {
    blankFaceIsCream_data();
}

void TestPictures::switchesDifferOnlyInCentre() {
    QFETCH(int, scale);
    const QImage start = loadRgb(switchNames().first(), scale);
    const int size = start.width();
    const QList<QRgb> centres{qRgb(0, 0, 254), qRgb(255, 251, 240), qRgb(255, 0, 0),
                              qRgb(0, 255, 0), qRgb(49, 150, 0)};
    for (int i = 0; i < switchNames().size(); ++i) {
        const QString name = switchNames().at(i);
        const QImage img = loadRgb(name, scale);
        QVERIFY2(countColour(img, kGrey) >= 150 * scale * scale, qPrintable(name));
        QVERIFY2(countColour(img, kBlack) >= 60 * scale * scale, qPrintable(name));
        QVERIFY2(countColour(img, centres.at(i)) >= 120 * scale * scale, qPrintable(name));
        QCOMPARE(centreColour(img), centres.at(i));
        int differing = 0;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                if (img.pixel(x, y) != start.pixel(x, y)) {
                    ++differing;
                    // Inside the inner black outline of the ring (radius ~10 of 16).
                    QVERIFY2(distanceFromCentre(x, y, size) < 10.5 * scale,
                             qPrintable(QStringLiteral("%1 at %2,%3").arg(name).arg(x).arg(y)));
                }
            }
        }
        QCOMPARE(differing > 0, i > 0);
    }
}

void TestPictures::pressedSwitchHasDashedRing_data() {
    blankFaceIsCream_data();
}

void TestPictures::pressedSwitchHasDashedRing() {
    QFETCH(int, scale);
    const QImage img = loadRgb(QStringLiteral("switch_push"), scale);
    const int size = img.width();
    // Within the band of the inner ring both black dashes and white gaps show: a solid
    // ring would leave no white there, a missing one no black.
    const QRgb white = qRgb(255, 251, 240);
    int black = 0, gaps = 0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const double d = distanceFromCentre(x, y, size) / scale;
            if (d > 5.6 && d < 6.6) {
                black += img.pixel(x, y) == kBlack ? 1 : 0;
                gaps += img.pixel(x, y) == white ? 1 : 0;
            }
        }
    }
    QVERIFY2(black >= 8 * scale && gaps >= 8 * scale,
             qPrintable(QStringLiteral("%1 black, %2 white").arg(black).arg(gaps)));
}

void TestPictures::loadsAtEachPixelRatio_data() {
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<int>("scale");
    QTest::newRow("1.0") << qreal(1.0) << 1;
    QTest::newRow("2.0") << qreal(2.0) << 2;
}

void TestPictures::loadsAtEachPixelRatio() {
    QFETCH(qreal, ratio);
    QFETCH(int, scale);
    const Pictures pictures(ratio);
    QStringList names;
    for (int n = 0; n < Pictures::kFaces; ++n) {
        names << faceName(n);
    }
    names << switchNames();
    const QList<PictureId> switchIds{PictureId::Start, PictureId::Push, PictureId::Stop,
                                     PictureId::BusyLit, PictureId::BusyDark};
    for (int i = 0; i < names.size(); ++i) {
        const PictureId id = i < Pictures::kFaces ? faceId(i) : switchIds.at(i - Pictures::kFaces);
        const QPixmap& pm = pictures.byId(id).pixmap;
        QVERIFY2(!pm.isNull(), qPrintable(names.at(i)));
        QCOMPARE(pm.devicePixelRatio(), qreal(scale));
        QCOMPARE(pm.deviceIndependentSize(), QSizeF(32, 32));
        QCOMPARE(pm.size(), QSize(32 * scale, 32 * scale));
        // The picture's pixels are those of its own file, at the matching resolution.
        const QImage shown = pm.toImage().convertToFormat(QImage::Format_ARGB32);
        QVERIFY2(shown == loadRgb(names.at(i), scale), qPrintable(names.at(i)));
    }
}

void TestPictures::eachIdShowsItsPicture() {
    const Pictures pictures;
    const auto centre = [](const Picture& p) { return centreColour(p.pixmap.toImage()); };
    QCOMPARE(centre(pictures.byId(PictureId::Start)), qRgb(0, 0, 254));
    QCOMPARE(centre(pictures.byId(PictureId::Push)), qRgb(255, 251, 240));
    QCOMPARE(centre(pictures.byId(PictureId::Stop)), qRgb(255, 0, 0));
    QCOMPARE(centre(pictures.byId(PictureId::BusyLit)), qRgb(0, 255, 0));
    QCOMPARE(centre(pictures.byId(PictureId::BusyDark)), qRgb(49, 150, 0));
    for (int n = 0; n < Pictures::kFaces; ++n) {
        // Each face carries its own family's core (the blank face none of them).
        const QImage img = pictures.byId(faceId(n)).pixmap.toImage();
        QCOMPARE(countColour(img, familyOf(n).core) > 0, n > 0);
    }
}

void TestPictures::byIdRoundTrips() {
    const Pictures pictures;
    for (int i = 0; i <= static_cast<int>(PictureId::BusyLit); ++i) {
        const PictureId id = static_cast<PictureId>(i);
        const Picture& p = pictures.byId(id);
        QCOMPARE(p.id, id);
    }
}

void TestPictures::byIdRejectsUnknownId() {
    const Pictures pictures;
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, pictures.byId(static_cast<PictureId>(-1)));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, pictures.byId(static_cast<PictureId>(49)));
}

void TestPictures::iconIsIndexedAndHasBothSizes() {
    QImageReader reader(QStringLiteral(":/assets/icon.png"));
    const QImage icon = reader.read();
    QVERIFY2(!icon.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(icon.size(), QSize(32, 32));
    QCOMPARE(icon.format(), QImage::Format_Indexed8);
    QVERIFY(icon.colorCount() > 1 && icon.colorCount() <= 256);

    const QImage large(QStringLiteral(":/assets/icon@2x.png"));
    QCOMPARE(large.size(), QSize(64, 64));

    const QIcon windowIcon = Pictures::windowIcon();
    QVERIFY(!windowIcon.isNull());
    const QList<QSize> sizes = windowIcon.availableSizes();
    QVERIFY(sizes.contains(QSize(32, 32)));
    QVERIFY(sizes.contains(QSize(64, 64)));
    QCOMPARE(windowIcon.pixmap(QSize(64, 64)).size(), QSize(64, 64));
}

QTEST_MAIN(TestPictures)
#include "test_pictures.moc"
