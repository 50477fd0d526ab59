#include "support/stop_signal.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <stdexcept>

namespace velk::test {

StopSignal::StopSignal() : m_fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (m_fd < 0) throw std::runtime_error("eventfd failed");
}

StopSignal::~StopSignal() {
    ::close(m_fd);
}

void StopSignal::trigger() {
    uint64_t one = 1;
    // Never read back, so it stays readable for every poller.
    [[maybe_unused]] ssize_t n = ::write(m_fd, &one, sizeof one);
}

bool StopSignal::triggered() const {
    pollfd p{m_fd, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

bool StopSignal::sleepFor(int ms) const {
    pollfd p{m_fd, POLLIN, 0};
    return ::poll(&p, 1, ms < 0 ? 0 : ms) == 0;
}

}  // namespace velk::test
