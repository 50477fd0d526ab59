#include "app/shell/progress_geometry.h"

namespace velk::shell {

BarRect progressBarRect(const BarRect& pane, bool hasLabel, int labelWidth, int blanksWidth,
                        int widthPercent) {
    BarRect bar;
    bar.left = pane.left + (hasLabel ? labelWidth + blanksWidth : 0);
    if (bar.left > pane.right) bar.left = pane.right;
    const int span = pane.right - bar.left;
    bar.right = pane.right - span * (100 - widthPercent) / 100;
    if (bar.right < bar.left) bar.right = bar.left;
    const int trim = pane.height() / 10;
    bar.top = pane.top + trim;
    bar.bottom = pane.bottom - trim;
    return bar;
}

}  // namespace velk::shell
