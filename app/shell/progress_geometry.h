#pragma once
// Where the status bar's progress bar lies inside its pane: after the label
// (its text width plus four blanks) when there is one, a given percentage of the
// remaining width, shortened by a tenth of the pane's height at the top and at
// the bottom.  Plain arithmetic, no state.
namespace velk::shell {

struct BarRect {
    int left = 0;
    int top = 0;
    int right = 0;  // exclusive, as the pane's own right edge
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const BarRect&) const = default;
};

// labelWidth and blanksWidth are the pixel widths of the label's text and of
// four blanks in the pane's font; an empty label puts the bar at the pane's left.
BarRect progressBarRect(const BarRect& pane, bool hasLabel, int labelWidth, int blanksWidth,
                        int widthPercent = 40);

}  // namespace velk::shell
