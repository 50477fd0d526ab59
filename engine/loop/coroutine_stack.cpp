#include "loop/coroutine_stack.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <utility>

namespace velk::loop {

CoroutineStack::~CoroutineStack() {
    release();
}

CoroutineStack::CoroutineStack(CoroutineStack&& other) noexcept
    : m_mapping(std::exchange(other.m_mapping, nullptr)),
      m_mapped(std::exchange(other.m_mapped, 0)),
      m_usable(std::exchange(other.m_usable, 0)) {}

CoroutineStack& CoroutineStack::operator=(CoroutineStack&& other) noexcept {
    if (this != &other) {
        release();
        m_mapping = std::exchange(other.m_mapping, nullptr);
        m_mapped = std::exchange(other.m_mapped, 0);
        m_usable = std::exchange(other.m_usable, 0);
    }
    return *this;
}

CoroutineStack CoroutineStack::map(size_t usableBytes) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t usable = (usableBytes + page - 1) / page * page;
    if (usable == 0 || usable > (size_t{1} << 30)) return {};
    const size_t mapped = usable + page;
    void* mapping = mmap(nullptr, mapped, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
    if (mapping == MAP_FAILED) return {};
    if (mprotect(mapping, page, PROT_NONE) != 0) {
        munmap(mapping, mapped);
        return {};
    }
    CoroutineStack stack;
    stack.m_mapping = mapping;
    stack.m_mapped = mapped;
    stack.m_usable = usable;
    return stack;
}

void* CoroutineStack::bottom() const {
    return static_cast<char*>(m_mapping) + (m_mapped - m_usable);
}

void* CoroutineStack::top() const {
    return static_cast<char*>(m_mapping) + m_mapped;
}

void CoroutineStack::releaseBelow(const void* here) {
    // Room for the frames the caller has yet to push before it is parked.
    constexpr uintptr_t kRoom = 1024;
    const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto low = reinterpret_cast<uintptr_t>(bottom());
    const auto at = reinterpret_cast<uintptr_t>(here);
    if (m_mapping == nullptr || at < low + kRoom || at > reinterpret_cast<uintptr_t>(top())) return;
    const uintptr_t end = (at - kRoom) & ~(page - 1);
    if (end > low) madvise(reinterpret_cast<void*>(low), end - low, MADV_DONTNEED);
}

void CoroutineStack::release() {
    if (m_mapping != nullptr) munmap(m_mapping, m_mapped);
    m_mapping = nullptr;
    m_mapped = m_usable = 0;
}

}  // namespace velk::loop
