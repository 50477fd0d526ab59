#pragma once
// SignalSafeWriter: formats text, hexadecimal and decimal numbers into a fixed
// buffer and writes it with write(2), so that a signal handler can produce a
// report without the C library's formatting or allocation.  Every call is
// async-signal-safe.
#include <cstddef>
#include <cstdint>

namespace velk::shell {

class SignalSafeWriter {
public:
    explicit SignalSafeWriter(int fd) : m_fd(fd) {}
    ~SignalSafeWriter() { flush(); }
    SignalSafeWriter(const SignalSafeWriter&) = delete;
    SignalSafeWriter& operator=(const SignalSafeWriter&) = delete;

    SignalSafeWriter& text(const char* s);
    SignalSafeWriter& text(const char* s, size_t n);
    // Upper-case digits, zero-padded to width.
    SignalSafeWriter& hex(uint64_t value, int width);
    SignalSafeWriter& dec(int64_t value);
    // Writes what is buffered; the report is written piece by piece so that a
    // second fault leaves what came before it in the file.
    void flush();

private:
    int m_fd;
    char m_buffer[512];
    size_t m_length = 0;
};

}  // namespace velk::shell
