#pragma once
// The stack of one coroutine: an anonymous mapping with a PROT_NONE guard page
// below it, so that an overflow faults instead of overwriting a neighbour.  The
// pages are reserved, not committed (MAP_NORESERVE): only the pages a coroutine
// touches become resident.  Move-only; the mapping is released when the owner
// goes.  Not shared between threads while in use.
#include <cstddef>

namespace velk::loop {

// Virtual size of a coroutine stack when the caller names none.
inline constexpr size_t kDefaultStackBytes = 64 * 1024;

class CoroutineStack {
public:
    CoroutineStack() = default;
    ~CoroutineStack();
    CoroutineStack(CoroutineStack&& other) noexcept;
    CoroutineStack& operator=(CoroutineStack&& other) noexcept;
    CoroutineStack(const CoroutineStack&) = delete;
    CoroutineStack& operator=(const CoroutineStack&) = delete;

    // Maps a stack of at least usableBytes (rounded up to whole pages) plus the
    // guard page; an empty stack when the system refuses.
    static CoroutineStack map(size_t usableBytes);

    bool valid() const { return m_mapping != nullptr; }
    // Lowest usable address (just above the guard page) and usable size.
    void* bottom() const;
    size_t size() const { return m_usable; }
    // One past the highest usable address: where a stack growing down starts.
    void* top() const;
    // Gives the system back the pages wholly below here (an address in use on
    // this stack, less room for the calls still to come): a deep moment (a
    // script's start, a pattern match) leaves its pages resident otherwise, and
    // a user waiting needs only what it is in.  They come back zeroed when
    // touched again.
    void releaseBelow(const void* here);

private:
    void release();

    void* m_mapping = nullptr;  // the guard page's address
    size_t m_mapped = 0;
    size_t m_usable = 0;
};

}  // namespace velk::loop
