// SPDX-License-Identifier: MIT
#pragma once

#include <QRgb>
#include <algorithm>

// The colours that tavo_drawassets paints, each listed once: the faces and switches are sampled
// without antialiasing, so every one of them appears in the pictures exactly.

constexpr QRgb kCream = qRgb(255, 255, 212);  // around the balls, and the blank face
constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr QRgb kGrey = qRgb(158, 158, 158);  // the switches' ring

// A ball's colours by its decade: the ball, its core and its digits.
struct Family {
    QRgb ball, core, digit;
};

inline Family familyOf(int n) {
    static constexpr Family kFamilies[] = {
        {qRgb(255, 170, 0), qRgb(128, 128, 0), qRgb(166, 202, 240)},     // 1..9
        {qRgb(255, 255, 177), qRgb(254, 254, 0), qRgb(37, 37, 255)},     // 10..19
        {qRgb(255, 199, 177), qRgb(255, 115, 72), qRgb(86, 86, 86)},     // 20..29
        {qRgb(142, 171, 255), qRgb(72, 115, 255), qRgb(255, 255, 255)},  // 30..39
        {qRgb(72, 255, 72), qRgb(0, 220, 0), qRgb(255, 255, 255)},       // 40..43
    };
    return kFamilies[std::clamp(n / 10, 0, 4)];
}

// The centre of each switch and lamp picture: all else of them is one drawing.
constexpr QRgb kStartCentre = qRgb(0, 0, 254);
constexpr QRgb kPushCentre = qRgb(255, 251, 240);
constexpr QRgb kStopCentre = qRgb(255, 0, 0);
constexpr QRgb kLampLitCentre = qRgb(0, 255, 0);
constexpr QRgb kLampDarkCentre = qRgb(49, 150, 0);
