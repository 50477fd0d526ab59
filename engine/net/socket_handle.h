#pragma once
// Owns one socket descriptor and closes it when dropped.  Move-only; not safe for
// concurrent use (it belongs to whoever owns the connection).

namespace velk::net {

class SocketHandle {
public:
    SocketHandle() = default;
    explicit SocketHandle(int fd) : m_fd(fd) {}
    ~SocketHandle() { reset(); }
    SocketHandle(SocketHandle&& other) noexcept : m_fd(other.release()) {}
    SocketHandle& operator=(SocketHandle&& other) noexcept;
    SocketHandle(const SocketHandle&) = delete;
    SocketHandle& operator=(const SocketHandle&) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closes the current descriptor (if any) and takes fd.
    void reset(int fd = -1);
    // Gives up ownership without closing.
    int release();

private:
    int m_fd = -1;
};

}  // namespace velk::net
