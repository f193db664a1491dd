// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

// Fitting a window picture onto the printable area: the full printable width, centred
// vertically, with the picture's physical proportions kept whatever unit the printer measures
// in. The picture's size comes in 0.01 mm, and the printable width goes through 0.01 mm and back,
// so units whose horizontal and vertical steps differ (character cells) keep the proportions.

// A printer unit, described by how many 0.01 mm one step of it is along each axis.
struct PrinterUnit {
    double hundredthsMmX = 1.0;
    double hundredthsMmY = 1.0;

    static constexpr PrinterUnit dots(double dpiX, double dpiY) {
        return {2540.0 / dpiX, 2540.0 / dpiY};
    }

    // The printer's conversions between this unit and 0.01 mm.
    float toHundredthsMmX(float v) const { return static_cast<float>(v * hundredthsMmX); }
    float fromHundredthsMmX(float v) const { return static_cast<float>(v / hundredthsMmX); }
    float fromHundredthsMmY(float v) const { return static_cast<float>(v / hundredthsMmY); }
};

// What the floating-point status would flag after one of the fitting's divisions.
enum class FitError {
    None,
    InvalidOperation,  // 0 / 0, or a NaN reached the division
    DivisionByZero,
    Overflow,  // the quotient does not fit a single-precision value
};

struct PictureFit {
    FitError error = FitError::None;
    // Where the picture goes, in the printer's unit, from the printable area's top-left corner.
    // Meaningful only without an error.
    float left = 0;
    float top = 0;
    float width = 0;
    float height = 0;
};

// widthHmm and heightHmm: the picture's size in 0.01 mm. printableWidth and printableHeight: the
// printable area in unit. On a page wider in proportion than the picture (a landscape page) the
// picture still spans the full width and overhangs the top and bottom by equal amounts.
PictureFit fitPicture(qint32 widthHmm, qint32 heightHmm, float printableWidth,
                      float printableHeight, const PrinterUnit& unit);

// A length in pixels as 0.01 mm at the given density; 0 when the density is not positive or the
// result does not fit 32 bits.
qint32 pixelsToHundredthsMm(int pixels, double dotsPerMetre);
