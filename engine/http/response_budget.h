#pragma once
// The memory a run may spend on stored responses, across all its users.  Each
// user already keeps at most kMaxStoredResponse of one response; with many users
// and hostile servers that alone could take the machine's memory.  A user takes
// from the budget as its response buffer grows past what it holds, and gives
// everything back when it ends; a user that is refused keeps reading and
// counting the bytes but stores only what fits.
//
// Shared by the users of a run: take is atomic; reset only between runs.
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace velk {

class ResponseBudget {
public:
    // A quarter of the machine's physical memory (at least 256 MiB; 1 GiB when
    // the system does not say).
    static size_t defaultBytes();

    explicit ResponseBudget(size_t bytes = defaultBytes()) : m_left(int64_t(bytes)) {}

    void reset(size_t bytes = defaultBytes()) { m_left.store(int64_t(bytes)); }
    // Takes up to bytes; the number taken (0 when the budget is spent).
    size_t take(size_t bytes);

private:
    std::atomic<int64_t> m_left;
};

}  // namespace velk
