#include "app/shell/window_placement.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace velk::shell {
namespace {

constexpr int kLimit = 1 << 20;  // no screen is a million pixels wide
// The part of the title bar that must stay on the screen to move the window.
constexpr int kGrip = 48;

bool parseInt(std::string_view& text, int& value) {
    const char* end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || value < -kLimit || value > kLimit) return false;
    text.remove_prefix(size_t(p - text.data()));
    return true;
}

}  // namespace

std::string formatWindowRect(const PlacementRect& r) {
    char text[64];
    std::snprintf(text, sizeof text, "%d,%d,%d,%d", r.left, r.top, r.right, r.bottom);
    return text;
}

std::optional<PlacementRect> parseWindowRect(std::string_view text) {
    int v[4] = {};
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (text.empty() || text.front() != ',') return std::nullopt;
            text.remove_prefix(1);
        }
        if (!parseInt(text, v[i])) return std::nullopt;
    }
    if (!text.empty()) return std::nullopt;
    const PlacementRect r{v[0], v[1], v[2], v[3]};
    if (r.width() <= 0 || r.height() <= 0) return std::nullopt;
    return r;
}

ShowState restoredShowState(int saved) {
    return saved == kShowMaximized ? kShowMaximized : kShowNormal;
}

PlacementRect fitOntoScreen(PlacementRect r, const PlacementRect& screen, int minWidth,
                            int minHeight) {
    const int width = std::min(std::max(r.width(), minWidth), std::max(screen.width(), minWidth));
    const int height =
        std::min(std::max(r.height(), minHeight), std::max(screen.height(), minHeight));
    r.right = r.left + width;
    r.bottom = r.top + height;
    const bool reachable = r.right - kGrip >= screen.left && r.left + kGrip <= screen.right &&
                           r.top >= screen.top && r.top + kGrip <= screen.bottom;
    if (reachable) return r;
    const int left = std::clamp(r.left, screen.left, std::max(screen.left, screen.right - width));
    const int top = std::clamp(r.top, screen.top, std::max(screen.top, screen.bottom - height));
    return {left, top, left + width, top + height};
}

PlacementRect centred(const PlacementRect& screen, int width, int height) {
    const int left = std::max(0, screen.left + (screen.width() - width) / 2);
    const int top = std::max(0, screen.top + (screen.height() - height) / 2);
    return {left, top, left + width, top + height};
}

}  // namespace velk::shell
