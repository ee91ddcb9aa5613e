// Twips and pixels, and the 16-bit rounding of window positions.
#include "app/Twips.h"

#include <QScreen>
#include <algorithm>
#include <cmath>

#include "platform/runtime/Numbers.h"

namespace twips {

Scale Scale::of(const QScreen* screen) {
    Scale s;
    if (!screen) return s;
    const double dpiX = screen->logicalDotsPerInchX();
    const double dpiY = screen->logicalDotsPerInchY();
    if (dpiX > 0) s.perPixelX = kPerInch / dpiX;
    if (dpiY > 0) s.perPixelY = kPerInch / dpiY;
    return s;
}

int Scale::toPixelsX(double tw) const { return int(std::lround(tw / perPixelX)); }
int Scale::toPixelsY(double tw) const { return int(std::lround(tw / perPixelY)); }

QRect Scale::toPixels(int left, int top, int width, int height) const {
    return QRect(toPixelsX(left), toPixelsY(top), toPixelsX(width), toPixelsY(height));
}

int16_t toInt16Clamped(double v) {
    // Rounding first keeps the run-time's rule inside the range; the clamp then
    // replaces the Overflow the run-time would raise beyond it.
    const double r = std::clamp(rt::roundHalfEven(v), -32768.0, 32767.0);
    return rt::toInt16Checked(r);
}

}  // namespace twips
