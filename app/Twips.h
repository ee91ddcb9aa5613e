// Twips, the repair window's unit of position and size: 1/1440 of an inch.
//
// A screen's twips per pixel follow from its logical resolution (15 at 96 dots
// per inch). The window keeps positions in 16-bit fields of twips, so values
// are rounded the run-time's way (halves to the even neighbour) and held to the
// 16-bit range.
#pragma once

#include <QPoint>
#include <QRect>
#include <cstdint>

class QScreen;

namespace twips {

inline constexpr double kPerInch = 1440.0;

struct Scale {
    double perPixelX = 15.0;
    double perPixelY = 15.0;

    // The scale of `screen` (its logical dots per inch); 15 x 15 when null.
    static Scale of(const QScreen* screen);

    // Twips to whole pixels, to the nearest pixel.
    int toPixelsX(double tw) const;
    int toPixelsY(double tw) const;
    QRect toPixels(int left, int top, int width, int height) const;
    // Pixels to twips, exact (a single-precision value, as the toolkit reports it).
    float toTwipsX(double px) const { return float(px * perPixelX); }
    float toTwipsY(double px) const { return float(px * perPixelY); }
};

// Rounds `v` to the nearest whole number, halves to the even neighbour, and
// holds the result to -32768..32767 instead of failing with Overflow.
int16_t toInt16Clamped(double v);

}  // namespace twips
