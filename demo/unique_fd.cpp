#include "unique_fd.h"

#include <unistd.h>

#include <utility>

namespace velk::demo {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
}

void UniqueFd::reset(int fd) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = fd;
}

int UniqueFd::release() {
    return std::exchange(m_fd, -1);
}

}  // namespace velk::demo
