#pragma once
// What a test server's script does on one connection: send bytes (at once, trickled
// or in a full response), pause, stall, close or reset.  Every call ends when the
// server stops.  Used by the connection's own thread only.
#include <functional>
#include <string>
#include <string_view>

#include "support/peer_stream.h"

namespace velk::test {

class Responder {
public:
    // Bytes read through the responder (stall, receiveMore) are passed to onReceived
    // so the server's record of the connection stays complete.
    Responder(PeerStream& stream, std::function<void(std::string_view)> onReceived);

    // Longest a single send may wait for the client to take bytes.
    static constexpr int kSendTimeoutMs = 10000;
    // Longest stall(), in case a test forgets to stop its server.
    static constexpr int kMaxStallMs = 300000;

    // Raw bytes now; false when the client has gone or the server stops.
    bool send(std::string_view bytes);
    // A complete response with Content-Length (see httpResponse).
    bool respond(int status, std::string_view body, std::string_view extraHeaders = "",
                 std::string_view version = "HTTP/1.1");
    // bytes in pieces of pieceSize with delayMs between them.
    bool trickle(std::string_view bytes, size_t pieceSize, int delayMs);
    // Waits ms; false when the server stops first.
    bool pause(int ms);
    // Sends nothing more until the client closes or the server stops; what the
    // client sends meanwhile is still recorded.  Then the connection ends.
    void stall();
    // Exactly n more bytes from the client (e.g. a body sent after 100 Continue).
    std::string receiveMore(size_t n, int timeoutMs);
    // Orderly close now (FIN); the server reads no further request.
    void close();
    // Abortive close now (RST).
    void reset();

    // True once the connection has ended through this responder.
    bool finished() const { return m_finished; }

private:
    PeerStream& m_stream;
    std::function<void(std::string_view)> m_onReceived;
    bool m_finished = false;
};

}  // namespace velk::test
