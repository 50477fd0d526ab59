#pragma once
// Text colours that stay readable on a given background: the contrast ratio of
// two sRGB colours as the accessibility guidelines define it (1:1 to 21:1),
// and black or white, whichever stands out more.  For any background one of
// the two reaches at least 4.58:1, above the 4.5:1 asked of normal text.
// Pure functions, safe from any thread.
#include <cstdint>

namespace velk::shell {

struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
    bool operator==(const Rgb&) const = default;
};

// The relative luminance of the colour, 0 (black) to 1 (white).
double relativeLuminance(Rgb color);
// (lighter + 0.05) / (darker + 0.05).
double contrastRatio(Rgb a, Rgb b);
// Black or white, whichever contrasts more with background.
Rgb readableTextOn(Rgb background);
// top drawn with alpha (0..255) over bottom.
Rgb blend(Rgb bottom, Rgb top, int alpha);

}  // namespace velk::shell
