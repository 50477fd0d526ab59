#include "app/editor/from_to_rule.h"

#include <algorithm>

namespace velk::editor {

FromToRule::Result FromToRule::fromChanged(int64_t from, int32_t to) {
    Result r{static_cast<int32_t>(std::clamp<int64_t>(from, 0, INT32_MAX)), to, false};
    if (r.from > to) {
        r.from = to;
        r.refused = true;
    }
    return r;
}

FromToRule::Result FromToRule::toChanged(int32_t from, int64_t to) {
    Result r{from, static_cast<int32_t>(std::clamp<int64_t>(to, 0, INT32_MAX)), false};
    if (to < from) {
        r.to = from;
        r.refused = true;
    }
    return r;
}

}  // namespace velk::editor
