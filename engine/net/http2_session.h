#pragma once
// HTTP/2 over one Connection: libnghttp2 does the framing, HPACK and flow
// control; this class moves its bytes through the connection's transports (plain
// or TLS, also inside a proxy tunnel) with the connection's waits, so on an event
// loop a user waiting for its stream parks like any other wait, under the timeout
// option, the abort and the bandwidth limit.
//
// A user sends one request at a time: each exchange() is one stream on the
// session, and the session lives as long as the stream the connection opened it
// on (the connection's openCount()).  After a reconnect, a GOAWAY or a protocol
// error the next exchange starts a fresh session on the fresh stream.
//
// A hostile server cannot hold the user or its memory: every wait is bounded by
// the timeout, the decoded header list of a response is bounded
// (kMaxHeaderListBytes, whatever HPACK's compression), header blocks may not be
// split into more than kMaxContinuations CONTINUATION frames, and more than
// kMaxControlFrames SETTINGS, PING, PRIORITY, empty DATA, idle WINDOW_UPDATE or
// unknown frames during one exchange end it as a flood.  Each ends the exchange
// with kNetwork (kTimeout when a wait ran out) and a line for the log as the
// status's message.
//
// Belongs to one user, like its connection; not safe for concurrent use.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "base/status.h"

struct nghttp2_session;

namespace velk::net {

class Connection;

struct Http2Header {
    std::string_view name;  // lower case; pseudo-headers (":method") first
    std::string_view value;
};

// Where a response goes as it arrives.
class Http2ResponseSink {
public:
    virtual ~Http2ResponseSink() = default;
    // The last frame of the request went out.
    virtual void requestSent() {}
    // The first frame of the response arrived.
    virtual void responseStarted() {}
    // One field of a header block, ":status" first; a block of status 1xx is
    // interim and another block follows.  Trailers come as a block without
    // ":status".
    virtual void header(std::string_view name, std::string_view value) = 0;
    virtual void headerBlockEnd() = 0;
    virtual void data(std::string_view bytes) = 0;
};

class Http2Session {
public:
    static constexpr size_t kMaxHeaderListBytes = size_t(256) << 10;
    static constexpr int kMaxContinuations = 16;
    static constexpr int kMaxControlFrames = 1000;
    // Our receive window per stream and for the connection.
    static constexpr int32_t kWindowBytes = int32_t(1) << 20;

    explicit Http2Session(Connection& connection);
    ~Http2Session();
    Http2Session(const Http2Session&) = delete;
    Http2Session& operator=(const Http2Session&) = delete;

    // Sends one request as a stream (body: "" for none) and delivers its
    // response to sink until the stream ends.  Ok when the stream ended normally;
    // kTimeout when a wait ran out; kNetwork otherwise; a failure's message is a
    // line for the user's log saying why.  Starts a new session when the
    // connection's stream is not the one the last session ran on.
    Status exchange(std::span<const Http2Header> headers, std::string_view body,
                    Http2ResponseSink& sink);
    // Whether another stream may follow on this session (no GOAWAY, no error,
    // the connection still open on the same stream).
    bool reusable() const;
    // Whether the last exchange failed because the server refused its stream
    // (REFUSED_STREAM, or a GOAWAY below it) before answering anything, on a
    // session that had already served a stream: the server went away between
    // requests, and the request, never processed, may go again on a new
    // connection.
    bool refusedOnReuse() const { return m_refusedOnReuse; }
    // Whether the server reset the last exchange's stream (with any code).
    bool streamReset() const { return m_closeCode != 0; }
    // Between requests: takes in what the server sent meanwhile (a GOAWAY before
    // it closed an idle connection, PINGs, SETTINGS) without waiting for more, and
    // answers it; then reusable().  So a session the server ended is replaced
    // before a request is lost on it.
    bool refresh();
    // Whether the session ran on conn's present stream.
    bool hasRun(const Connection& conn) const;
    // Sends GOAWAY without waiting (best effort) and drops the session; the
    // connection is left to the caller.
    void close();

    // Bytes written and received on the wire by the last exchange.
    uint64_t bytesSent() const { return m_bytesSent; }
    uint64_t bytesReceived() const { return m_bytesReceived; }

private:
    struct Callbacks;
    // A fresh session on the connection's present stream, its SETTINGS queued.
    Status start();
    // Writes what nghttp2 has to send; kNetwork with the reason when it cannot.
    Status flush();
    // Waits for and feeds one piece of input: ok, or why it failed.
    Status receive();
    // Ends the session for good and says why, as exchange() reports it.
    Status fail(StatusCode code, std::string why);
    // The request moved on (a frame of its stream either way, or room for its
    // body): its time-out counts afresh from now.
    void progressed();
    bool goawayNamesOurStream() const;
    std::string goawayText() const;
    // Why the session ended before the response: a line for the log.
    std::string endingCause() const;

    Connection& m_connection;
    nghttp2_session* m_session = nullptr;
    // The connection's stream the last session ran on (0: none yet; streams count
    // from 1).
    uint64_t m_openCount = 0;
    bool m_broken = false;  // GOAWAY or a fatal error: no new stream
    bool m_goawaySeen = false;
    uint32_t m_goawayCode = 0;
    int32_t m_goawayLastStream = 0;
    bool m_firstInput = true;  // nothing received yet on this session
    uint64_t m_nextYield = 0;
    // What the GOAWAY the library sent for a server's fault said (code, text).
    std::string m_ownGoaway;

    // The exchange under way.
    Http2ResponseSink* m_sink = nullptr;
    int32_t m_streamId = -1;
    bool m_streamClosed = false;
    uint32_t m_closeCode = 0;
    bool m_sawResponse = false;
    int m_streamsServed = 0;  // streams of this session that ended normally
    bool m_refusedOnReuse = false;
    bool m_bodySent = false;
    size_t m_headerListBytes = 0;
    int m_controlFrames = 0;
    int m_continuations = 0;
    std::string m_callbackError;  // set by a callback that stopped the session
    std::string_view m_body;
    size_t m_bodyOffset = 0;

    uint64_t m_bytesSent = 0;
    // Frames on their way out, gathered into as few writes as they fit.
    static constexpr size_t kMaxGatheredBytes = size_t(64) << 10;
    std::string m_outgoing;
    uint64_t m_bytesReceived = 0;
};

}  // namespace velk::net
