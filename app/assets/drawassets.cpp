// SPDX-License-Identifier: MIT
// Draws every picture the program shows, and its icon, into the folder given as the only
// argument: tavo_drawassets OUTDIR. The PNG files it writes are kept as source files.
//
// Every shape is described in a 32-unit design square and sampled at pixel centres, so the
// 64 px files are the same drawing at twice the resolution rather than an upscale. The faces
// and switches are sampled once per pixel (no antialiasing): their listed colours must appear
// exactly, and the output does not depend on which fonts happen to be installed.

#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QString>
#include <QtMath>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include "app/assets/palette.h"

namespace {

constexpr double kUnits = 32.0;
constexpr double kMid = kUnits / 2.0;

// Colour at a point of the design square.
using Shader = std::function<QRgb(double x, double y)>;

QImage render(int size, const Shader& shade, int samples = 1) {
    QImage img(size, size, QImage::Format_ARGB32);
    const double unit = kUnits / size;
    const double step = unit / samples;
    for (int py = 0; py < size; ++py) {
        for (int px = 0; px < size; ++px) {
            int r = 0, g = 0, b = 0;
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    const QRgb c =
                        shade(px * unit + (sx + 0.5) * step, py * unit + (sy + 0.5) * step);
                    r += qRed(c);
                    g += qGreen(c);
                    b += qBlue(c);
                }
            }
            const int n = samples * samples;
            img.setPixel(px, py, qRgb((r + n / 2) / n, (g + n / 2) / n, (b + n / 2) / n));
        }
    }
    return img;
}

double radius(double x, double y) {
    return std::hypot(x - kMid, y - kMid);
}

// --- Digits: centre lines of strokes with round ends, in a unit box (0..1 across and down).

struct Pt {
    double x, y;
};
using Stroke = std::vector<Pt>;
using Glyph = std::vector<Stroke>;

// s with an elliptic arc appended; angles in degrees, counter-clockwise, 0 pointing right.
Stroke arc(Stroke s, double cx, double cy, double rx, double ry, double from, double to) {
    const int steps = std::max(2, static_cast<int>(std::ceil(std::abs(to - from) / 8.0)));
    for (int i = 0; i <= steps; ++i) {
        const double a = qDegreesToRadians(from + (to - from) * i / steps);
        s.push_back({cx + rx * std::cos(a), cy - ry * std::sin(a)});
    }
    return s;
}

Stroke ellipse(double cx, double cy, double rx, double ry) {
    return arc({}, cx, cy, rx, ry, 0, 360);
}

Glyph six() {
    Stroke tail = arc({}, 0.5, 0.5, 0.5, 0.5, 55, 180);
    tail.push_back({0.0, 0.68});
    return {ellipse(0.5, 0.68, 0.5, 0.32), tail};
}

Glyph glyph(int digit) {
    switch (digit) {
        case 0:
            return {ellipse(0.5, 0.5, 0.5, 0.5)};
        case 1:
            return {{{0.12, 0.26}, {0.55, 0.0}, {0.55, 1.0}}, {{0.1, 1.0}, {1.0, 1.0}}};
        case 2: {
            Stroke s = arc({}, 0.5, 0.28, 0.5, 0.28, 160, -40);
            s.insert(s.end(), {{0.0, 1.0}, {1.0, 1.0}});
            return {s};
        }
        case 3:
            return {arc(arc({}, 0.5, 0.25, 0.46, 0.25, 155, -90), 0.5, 0.72, 0.5, 0.28, 90, -155)};
        case 4:
            return {{{0.72, 1.0}, {0.72, 0.0}, {0.0, 0.68}, {1.0, 0.68}}};
        case 5:
            return {arc({{0.95, 0.0}, {0.1, 0.0}, {0.05, 0.47}}, 0.5, 0.68, 0.5, 0.32, 140, -155)};
        case 6:
            return six();
        case 7:
            return {{{0.0, 0.0}, {1.0, 0.0}, {0.3, 1.0}}};
        case 8:
            return {ellipse(0.5, 0.24, 0.42, 0.24), ellipse(0.5, 0.72, 0.5, 0.28)};
        default: {
            // A nine is a six turned upside down.
            Glyph g = six();
            for (Stroke& s : g) {
                for (Pt& p : s) {
                    p = {1.0 - p.x, 1.0 - p.y};
                }
            }
            return g;
        }
    }
}

constexpr double kStroke = 2.3;  // bold, yet the loops of 8 and 9 stay open at 32 px
constexpr double kDigitW = 8.0;  // cell of one digit, stroke included; a lone digit gets 9
constexpr double kDigitH = 14.0;
constexpr double kDigitGap = 1.0;

// The strokes of a number laid out across the centre of the design square.
std::vector<Stroke> numberStrokes(int n) {
    const QByteArray text = QByteArray::number(n);
    const double cell = text.size() == 1 ? kDigitW + 1.0 : kDigitW;
    const double width = text.size() * cell + (text.size() - 1) * kDigitGap;
    double left = kMid - width / 2.0;
    const double top = kMid - kDigitH / 2.0;
    const double inset = kStroke / 2.0;
    std::vector<Stroke> out;
    for (char ch : text) {
        for (const Stroke& s : glyph(ch - '0')) {
            Stroke placed;
            for (const Pt& p : s) {
                placed.push_back({left + inset + p.x * (cell - kStroke),
                                  top + inset + p.y * (kDigitH - kStroke)});
            }
            out.push_back(placed);
        }
        left += cell + kDigitGap;
    }
    return out;
}

double segmentDistance(Pt p, Pt a, Pt b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double len2 = dx * dx + dy * dy;
    const double t =
        len2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / len2, 0.0, 1.0) : 0.0;
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

bool onStroke(const std::vector<Stroke>& strokes, double x, double y) {
    for (const Stroke& s : strokes) {
        for (std::size_t i = 0; i + 1 < s.size(); ++i) {
            if (segmentDistance({x, y}, s[i], s[i + 1]) <= kStroke / 2.0) {
                return true;
            }
        }
    }
    return false;
}

// --- Balls

// The edge of a ball is a darker shade of it: the pale balls would vanish into the cream.
QRgb shadeOf(QRgb c) {
    return qRgb(qRed(c) * 3 / 5, qGreen(c) * 3 / 5, qBlue(c) * 3 / 5);
}

constexpr double kBallR = 15.75;
constexpr double kBallEdge = 1.0;
constexpr double kCoreR = 11.5;

Shader ball(int n) {
    const Family f = familyOf(n);
    const std::vector<Stroke> strokes = numberStrokes(n);
    return [f, strokes](double x, double y) {
        const double r = radius(x, y);
        if (r > kBallR) {
            return kCream;
        }
        if (r > kBallR - kBallEdge) {
            return shadeOf(f.ball);
        }
        if (onStroke(strokes, x, y)) {
            return f.digit;
        }
        return r > kCoreR ? f.ball : f.core;
    };
}

// --- Switches and lamps: one button whose centre changes.

constexpr double kOuterR = 15.5;
constexpr double kLine = 1.0;
constexpr double kInnerR = 10.5;

Shader button(QRgb centre, bool dashed) {
    return [centre, dashed](double x, double y) {
        const double r = radius(x, y);
        if (r > kOuterR) {
            return kCream;
        }
        if (r > kOuterR - kLine) {
            return kBlack;
        }
        if (r > kInnerR) {
            return kGrey;
        }
        if (r > kInnerR - kLine) {
            return kBlack;
        }
        if (dashed && r > 5.5 && r <= 6.75) {
            const double turn = std::atan2(y - kMid, x - kMid) / (2 * M_PI) + 0.5;
            if (static_cast<int>(std::floor(turn * 24)) % 2 == 0) {
                return kBlack;
            }
        }
        return centre;
    };
}

// --- The icon: three balls of different families, overlapping.

struct Disc {
    double cx, cy, r;
    Family f;
};

const std::vector<Disc> kIconDiscs{{11.0, 11.5, 9.0, familyOf(7)},
                                   {21.0, 12.5, 9.0, familyOf(31)},
                                   {16.0, 21.5, 9.0, familyOf(42)}};

QRgb iconShade(double x, double y) {
    // The last disc lies on top.
    for (auto it = kIconDiscs.rbegin(); it != kIconDiscs.rend(); ++it) {
        const double r = std::hypot(x - it->cx, y - it->cy);
        if (r <= it->r) {
            if (r > it->r - 1.0) {
                return shadeOf(it->f.ball);
            }
            return r > it->r * 0.62 ? it->f.ball : it->f.core;
        }
    }
    return kCream;
}

QByteArray iconSvg() {
    QString out = QStringLiteral(
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"32\" height=\"32\" "
                      "viewBox=\"0 0 32 32\">\n"
                      "  <rect width=\"32\" height=\"32\" fill=\"%1\"/>\n")
                      .arg(QColor(kCream).name());
    for (const Disc& d : kIconDiscs) {
        out += QStringLiteral(
                   "  <circle cx=\"%1\" cy=\"%2\" r=\"%3\" fill=\"%4\"/>\n"
                   "  <circle cx=\"%1\" cy=\"%2\" r=\"%5\" fill=\"%6\"/>\n"
                   "  <circle cx=\"%1\" cy=\"%2\" r=\"%7\" fill=\"%8\"/>\n")
                   .arg(d.cx)
                   .arg(d.cy)
                   .arg(d.r)
                   .arg(QColor(shadeOf(d.f.ball)).name())
                   .arg(d.r - 1.0)
                   .arg(QColor(d.f.ball).name())
                   .arg(d.r * 0.62)
                   .arg(QColor(d.f.core).name());
    }
    out += QStringLiteral("</svg>\n");
    return out.toUtf8();
}

bool save(const QImage& img, const QDir& dir, const QString& name) {
    const QString path = dir.filePath(name);
    if (!img.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// Writes NAME.png at 32 px and NAME@2x.png at 64 px.
bool savePair(const Shader& shade, const QDir& dir, const QString& name) {
    return save(render(32, shade), dir, name + QStringLiteral(".png")) &&
           save(render(64, shade), dir, name + QStringLiteral("@2x.png"));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(dir.path())) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }

    bool ok = savePair([](double, double) { return kCream; }, dir, QStringLiteral("face00"));
    for (int n = 1; n <= 43 && ok; ++n) {
        ok = savePair(ball(n), dir, QStringLiteral("face%1").arg(n, 2, 10, QLatin1Char('0')));
    }
    ok = ok && savePair(button(kStartCentre, false), dir, QStringLiteral("switch_start"));
    ok = ok && savePair(button(kPushCentre, true), dir, QStringLiteral("switch_push"));
    ok = ok && savePair(button(kStopCentre, false), dir, QStringLiteral("switch_stop"));
    ok = ok && savePair(button(kLampLitCentre, false), dir, QStringLiteral("lamp_lit"));
    ok = ok && savePair(button(kLampDarkCentre, false), dir, QStringLiteral("lamp_dark"));

    // The icon may be smooth; the 32 px one is stored with a 256-colour palette. Going through
    // RGB32 gives it an exact palette: from ARGB32 Qt always quantizes, with dithering noise.
    const QImage icon32 = render(32, iconShade, 4).convertToFormat(QImage::Format_RGB32);
    ok = ok &&
         save(icon32.convertToFormat(QImage::Format_Indexed8), dir, QStringLiteral("icon.png"));
    ok = ok && save(render(64, iconShade, 4), dir, QStringLiteral("icon@2x.png"));
    ok = ok && save(render(128, iconShade, 4), dir, QStringLiteral("icon128.png"));
    if (ok) {
        QFile svg(dir.filePath(QStringLiteral("icon.svg")));
        const QByteArray data = iconSvg();
        ok = svg.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
             svg.write(data) == data.size() && svg.flush();
        if (!ok) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(svg.fileName()));
        }
    }
    return ok ? 0 : 1;
}
