// The repair window's icon: a spanner on a blue disc, drawn in code in the two
// sizes a window icon comes in (32 x 32 and 16 x 16 pixels) and held to the 16
// standard colours, with a transparent surround.
#pragma once

#include <QIcon>
#include <QImage>
#include <QRgb>
#include <array>

namespace repairicon {

// The 16 standard colours, in their customary order (black ... white).
const std::array<QRgb, 16>& standardColours();

// The picture at `size` x `size` pixels (ARGB32): every pixel is either fully
// transparent or opaque in one of the standard colours.
QImage picture(int size);

// Both sizes in one icon.
QIcon icon();

}  // namespace repairicon
