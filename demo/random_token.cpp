#include "random_token.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace velk::demo {

std::string randomToken() {
    uint8_t bytes[16];
    size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw std::system_error(errno, std::generic_category(), "getrandom");
        }
        got += static_cast<size_t>(n);
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * sizeof bytes);
    for (uint8_t b : bytes) {
        out += kHex[b >> 4];
        out += kHex[b & 0xf];
    }
    return out;
}

}  // namespace velk::demo
