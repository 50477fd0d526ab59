#pragma once
// Serves one accepted connection on its own thread: reads requests (pipelined ones
// too), answers each through the site, and keeps the connection for the next
// request unless the client asked to close, spoke HTTP/1.0, or sent something the
// parser refused (then it answers 4xx/5xx and closes).  Every wait is bounded by
// the idle timeout and ends early when the server stops.  Not safe for concurrent
// use: one thread owns it.
#include <string>
#include <string_view>

#include "demo_site.h"
#include "request_parser.h"
#include "server_limits.h"
#include "stop_signal.h"
#include "unique_fd.h"

namespace velk::demo {

class ClientConnection {
public:
    ClientConnection(UniqueFd socket, DemoSite& site, const ServerLimits& limits,
                     const StopSignal& stop);
    ClientConnection(const ClientConnection&) = delete;
    ClientConnection& operator=(const ClientConnection&) = delete;

    // Returns when the connection is done; the socket is closed then.
    void run();

private:
    enum class Wait { Ready, TimedOut, Stopped };
    Wait waitFor(short events, int timeoutMs);
    // Appends what has arrived; false on end of stream, error, idle time-out or stop.
    bool readMore();
    bool sendAll(std::string_view bytes);
    // Half-closes and reads what the client still sends for a moment, so that closing
    // with unread data does not reset the connection before the client read our answer.
    void closeGracefully();

    UniqueFd m_socket;
    DemoSite& m_site;
    const ServerLimits& m_limits;
    const StopSignal& m_stop;
    RequestParser m_parser;
    std::string m_buffer;  // received, not yet consumed
};

}  // namespace velk::demo
