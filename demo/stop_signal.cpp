#include "stop_signal.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace velk::demo {

StopSignal::StopSignal() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!m_fd.valid()) throw std::system_error(errno, std::generic_category(), "eventfd");
}

void StopSignal::trigger() {
    const uint64_t one = 1;
    // Nobody reads the counter, so it stays readable; a full counter is still readable.
    [[maybe_unused]] ssize_t n = ::write(m_fd.get(), &one, sizeof one);
}

bool StopSignal::triggered() const {
    pollfd p{m_fd.get(), POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

bool StopSignal::sleepFor(std::chrono::milliseconds time) const {
    const auto deadline = std::chrono::steady_clock::now() + time;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return true;
        pollfd p{m_fd.get(), POLLIN, 0};
        const int r = ::poll(&p, 1, static_cast<int>(left.count()));
        if (r > 0) return false;
        if (r < 0 && errno != EINTR) return false;
    }
}

}  // namespace velk::demo
