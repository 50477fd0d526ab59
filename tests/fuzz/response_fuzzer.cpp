// libFuzzer target: the response reader on arbitrary bytes from the server,
// delivered over a real socket pair and followed by the end of the stream.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "http/current_target.h"
#include "http/http_counters.h"
#include "http/http_session.h"
#include "http/response_reader.h"
#include "script/general_options.h"

namespace {

// Keeps each input within what the socket buffer takes at once.
constexpr size_t kMaxInput = 96 * 1024;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kMaxInput || size == 0) return 0;
    static velk::GeneralOptions options;
    static std::vector<std::string> headers;
    static velk::CurrentTarget target;
    static velk::HttpCounters counters;
    // The first byte picks the timing mode and keep-alive, so each path is reached.
    options.timingmode = data[0] % 3;
    options.timeout = 1;
    const bool keepAliveIn = (data[0] & 4) != 0;
    ++data;
    --size;

    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return 0;
    int buffer = int(kMaxInput * 2);
    setsockopt(fds[1], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    setsockopt(fds[0], SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    size_t sent = 0;
    while (sent < size) {
        ssize_t n = send(fds[1], data + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n <= 0) break;
        sent += size_t(n);
    }
    shutdown(fds[1], SHUT_WR);

    velk::HttpSession session(options, headers, target, counters);
    // A socket the connection refuses leaves it closed: the read below then fails.
    static_cast<void>(session.connection.attach(fds[0], options.timeout));
    velk::readResponse(session, session.connection, "GET / HTTP/1.1\r\n\r\n", keepAliveIn);
    session.connection.close();
    close(fds[1]);
    return 0;
}
