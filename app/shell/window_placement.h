#pragma once
// The main window's saved placement: the show state ("CmdShow": 1 normal,
// 2 minimized, 3 maximized) and the normal rectangle ("WindowRect", the text
// "left,top,right,bottom").  Parsing is strict because the value comes from a
// file the user can edit; a rectangle that lies off every screen (a monitor
// that is gone) is moved back onto the screen.
#include <optional>
#include <string>
#include <string_view>

namespace velk::shell {

struct PlacementRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const PlacementRect&) const = default;
};

enum ShowState { kShowNormal = 1, kShowMinimized = 2, kShowMaximized = 3 };

std::string formatWindowRect(const PlacementRect& r);
// Nothing when the text is not four whole numbers separated by commas or the
// rectangle is empty or absurdly large.
std::optional<PlacementRect> parseWindowRect(std::string_view text);

// The show state to restore: maximized stays, everything else (minimized
// included) becomes normal.
ShowState restoredShowState(int saved);

// The rectangle at least minWidth x minHeight and, where it fits, inside the
// screen's work area; a rectangle that does not overlap the work area by a
// usable amount is moved into it (its size kept as far as the screen allows).
PlacementRect fitOntoScreen(PlacementRect rect, const PlacementRect& screen, int minWidth,
                            int minHeight);

// The default placement: the size centred in the work area, clamped at 0.
PlacementRect centred(const PlacementRect& screen, int width, int height);

}  // namespace velk::shell
