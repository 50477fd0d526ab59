#include "http/response_budget.h"

#include <unistd.h>

#include <algorithm>

namespace velk {

size_t ResponseBudget::defaultBytes() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return size_t(1) << 30;
    return std::max(size_t(pages) / 4 * size_t(pageSize), size_t(256) << 20);
}

size_t ResponseBudget::take(size_t bytes) {
    int64_t left = m_left.load(std::memory_order_relaxed);
    for (;;) {
        const int64_t granted = std::min<int64_t>(std::max<int64_t>(left, 0), int64_t(bytes));
        if (granted == 0) return 0;
        if (m_left.compare_exchange_weak(left, left - granted, std::memory_order_relaxed))
            return size_t(granted);
    }
}

}  // namespace velk
