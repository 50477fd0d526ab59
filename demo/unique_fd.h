#pragma once
// Owns one file descriptor and closes it when dropped.  Move-only; not safe for
// concurrent use (it belongs to whoever owns the socket).

namespace velk::demo {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closes the current descriptor (if any) and takes fd.
    void reset(int fd = -1);
    int release();

private:
    int m_fd = -1;
};

}  // namespace velk::demo
