#include "app/shell/label_contrast.h"

#include <algorithm>
#include <cmath>

namespace velk::shell {
namespace {

double linear(int channel) {
    const double c = std::clamp(channel, 0, 255) / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

}  // namespace

double relativeLuminance(Rgb color) {
    return 0.2126 * linear(color.red) + 0.7152 * linear(color.green) + 0.0722 * linear(color.blue);
}

double contrastRatio(Rgb a, Rgb b) {
    const double la = relativeLuminance(a), lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

Rgb readableTextOn(Rgb background) {
    const Rgb black{0, 0, 0}, white{255, 255, 255};
    return contrastRatio(black, background) >= contrastRatio(white, background) ? black : white;
}

Rgb blend(Rgb bottom, Rgb top, int alpha) {
    const int a = std::clamp(alpha, 0, 255);
    const auto mix = [a](int b, int t) { return (t * a + b * (255 - a) + 127) / 255; };
    return {mix(bottom.red, top.red), mix(bottom.green, top.green), mix(bottom.blue, top.blue)};
}

}  // namespace velk::shell
