// SPDX-License-Identifier: MIT
#include "print/fitting.h"

#include <cmath>
#include <initializer_list>
#include <limits>

namespace {

// One division as the fitting stores it (single precision), with the status an IEEE unit would
// raise for it. The test is explicit rather than read from <cfenv>, since the compiler may move
// or fold floating-point operations around a status read.
FitError divide(double numerator, double denominator, float& quotient) {
    if (std::isnan(numerator) || std::isnan(denominator) || (numerator == 0 && denominator == 0) ||
        (std::isinf(numerator) && std::isinf(denominator))) {
        return FitError::InvalidOperation;
    }
    if (denominator == 0) {
        return FitError::DivisionByZero;
    }
    const double q = numerator / denominator;
    if (!std::isfinite(q) || std::fabs(q) > std::numeric_limits<float>::max()) {
        return FitError::Overflow;
    }
    quotient = static_cast<float>(q);
    return FitError::None;
}

}  // namespace

PictureFit fitPicture(qint32 widthHmm, qint32 heightHmm, float printableWidth,
                      float printableHeight, const PrinterUnit& unit) {
    PictureFit fit;
    float aspect = 0;
    if ((fit.error = divide(widthHmm, heightHmm, aspect)) != FitError::None) {
        return fit;
    }
    const float pageWidthHmm = unit.toHundredthsMmX(printableWidth);
    float heightOnPaper = 0;
    if ((fit.error = divide(pageWidthHmm, aspect, heightOnPaper)) != FitError::None) {
        return fit;
    }
    const float printedHeight = unit.fromHundredthsMmY(heightOnPaper);
    const float printedWidth = unit.fromHundredthsMmX(pageWidthHmm);
    float left = 0, top = 0;
    if ((fit.error = divide(printableWidth - printedWidth, 2, left)) != FitError::None ||
        (fit.error = divide(printableHeight - printedHeight, 2, top)) != FitError::None) {
        return fit;
    }
    // A conversion can overflow too, on a unit of absurd size; nothing is drawn then either.
    for (const float v : {pageWidthHmm, printedWidth, printedHeight, left, top}) {
        if (!std::isfinite(v)) {
            fit.error = FitError::Overflow;
            return fit;
        }
    }
    fit.left = left;
    fit.top = top;
    fit.width = printedWidth;
    fit.height = printedHeight;
    return fit;
}

qint32 pixelsToHundredthsMm(int pixels, double dotsPerMetre) {
    if (!(dotsPerMetre > 0)) {
        return 0;
    }
    const double hmm = std::round(pixels / dotsPerMetre * 100000.0);
    if (!(std::fabs(hmm) <= std::numeric_limits<qint32>::max())) {
        return 0;
    }
    return static_cast<qint32>(hmm);
}
