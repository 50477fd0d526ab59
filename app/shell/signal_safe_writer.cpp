#include "app/shell/signal_safe_writer.h"

#include <unistd.h>

#include <cerrno>

namespace velk::shell {

SignalSafeWriter& SignalSafeWriter::text(const char* s) {
    size_t n = 0;
    while (s && s[n]) ++n;
    return text(s, n);
}

SignalSafeWriter& SignalSafeWriter::text(const char* s, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (m_length == sizeof m_buffer) flush();
        m_buffer[m_length++] = s[i];
    }
    return *this;
}

SignalSafeWriter& SignalSafeWriter::hex(uint64_t value, int width) {
    char digits[16];
    int n = 0;
    do {
        digits[n++] = "0123456789ABCDEF"[value & 0xF];
        value >>= 4;
    } while (value != 0 && n < 16);
    char out[16];
    int len = 0;
    for (int pad = width - n; pad > 0 && len < 16 - n; --pad) out[len++] = '0';
    while (n > 0) out[len++] = digits[--n];
    return text(out, size_t(len));
}

SignalSafeWriter& SignalSafeWriter::dec(int64_t value) {
    char digits[24];
    int n = 0;
    const bool negative = value < 0;
    uint64_t magnitude = negative ? uint64_t(0) - uint64_t(value) : uint64_t(value);
    do {
        digits[n++] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative) digits[n++] = '-';
    char out[24];
    for (int i = 0; i < n; ++i) out[i] = digits[n - 1 - i];
    return text(out, size_t(n));
}

void SignalSafeWriter::flush() {
    size_t done = 0;
    while (done < m_length) {
        const ssize_t w = ::write(m_fd, m_buffer + done, m_length - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) break;
        done += size_t(w);
    }
    m_length = 0;
}

}  // namespace velk::shell
