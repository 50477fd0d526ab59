// HTTP/2 servers that misbehave, on loopback: each answer ends the request in
// the right result class with a line in the user's log, within the timeout, and
// neither hangs the user nor grows its memory without bound.
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "http/http_fixture.h"
#include "http2/h2_test_server.h"
#include "support/peer_stream.h"

namespace velk::test {
namespace {

using F = H2TestServer;
constexpr uint8_t kData = 0, kHeaders = 1, kRstStream = 3, kSettings = 4, kPushPromise = 5,
                  kPing = 6, kGoaway = 7, kWindowUpdate = 8, kContinuation = 9;
constexpr uint8_t kEndStream = 1, kAck = 1, kEndHeaders = 4, kPadded = 8;

std::string u32(uint32_t v) {
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

// An HPACK integer with an n-bit prefix whose upper bits are first.
std::string hpackInteger(uint8_t first, int prefixBits, size_t value) {
    const size_t max = (size_t(1) << prefixBits) - 1;
    if (value < max) return {char(first | value)};
    std::string out{char(first | max)};
    for (value -= max; value >= 128; value /= 128) out.push_back(char(0x80 | (value % 128)));
    out.push_back(char(value));
    return out;
}

const std::string kServerSettings = F::frame(kSettings, 0, 0, "");
const std::string kStatus200 = "\x88";  // ":status: 200", static table entry 8

// Keeps the connection until the client has closed it (bounded), so the
// client reads every frame before any reset from this side.
void holdUntilClientCloses(PeerStream& stream) {
    char buffer[4096];
    for (int i = 0; i < 300; ++i) {
        const int n = stream.receive(buffer, sizeof buffer, 100);
        if (n == 0 || n == -1 || stream.stopSignal().triggered()) return;
    }
}

F::RawSession answer(std::string bytes) {
    return [bytes = std::move(bytes)](PeerStream& stream, const std::string&) {
        stream.sendAll(bytes, 10000);
        holdUntilClientCloses(stream);
    };
}

std::string repeated(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

std::string hpackBomb() {
    // One 3,000-byte field into the dynamic table, then thousands of one-byte
    // references to it: 15 KB on the wire, tens of megabytes decoded.
    std::string block = kStatus200 + hpackInteger(0x40, 6, 0) + hpackInteger(0, 7, 6) + "x-bomb" +
                        hpackInteger(0, 7, 3000) + std::string(3000, 'z');
    block += std::string(12000, char(0xbe));  // index 62: the newest dynamic entry
    return kServerSettings + F::frame(kHeaders, kEndHeaders | kEndStream, 1, block);
}

struct HostileCase {
    const char* name;
    F::RawSession session;
    int32_t result;
    const char* logged;  // a piece of the user's log
};

std::vector<HostileCase> hostileCases() {
    return {
        {"GOAWAY below the request's stream",
         answer(kServerSettings + F::frame(kGoaway, 0, 0, u32(0) + u32(0))), kResultNetwork,
         "REFUSED_STREAM"},
        {"RST_STREAM with INTERNAL_ERROR",
         answer(kServerSettings + F::frame(kRstStream, 0, 1, u32(2))), kResultNetwork,
         "INTERNAL_ERROR"},
        {"refused stream", answer(kServerSettings + F::frame(kRstStream, 0, 1, u32(7))),
         kResultNetwork, "REFUSED_STREAM"},
        {"SETTINGS flood", answer(kServerSettings + repeated(kServerSettings, 3000)),
         kResultNetwork, "(a flood)"},
        {"PING flood",
         answer(kServerSettings + repeated(F::frame(kPing, 0, 0, u32(1) + u32(2)), 3000)),
         kResultNetwork, "(a flood)"},
        {"empty DATA flood",
         answer(kServerSettings + F::frame(kHeaders, kEndHeaders, 1, kStatus200) +
                repeated(F::frame(kData, 0, 1, ""), 3000)),
         kResultNetwork, "(a flood)"},
        {"CONTINUATION flood",
         answer(kServerSettings + F::frame(kHeaders, 0, 1, kStatus200) +
                repeated(F::frame(kContinuation, 0, 1, F::literal("x-a", "b")), 2000)),
         kResultNetwork, "CONTINUATION frames"},
        {"HPACK bomb", answer(hpackBomb()), kResultNetwork, "header list decodes to more than"},
        {"connection window overflow",
         answer(kServerSettings + repeated(F::frame(kWindowUpdate, 0, 0, u32(0x7fffffff)), 2)),
         kResultNetwork, "HTTP/2"},
        {"DATA beyond content-length",
         answer(kServerSettings +
                F::frame(kHeaders, kEndHeaders, 1, kStatus200 + F::literal("content-length", "2")) +
                F::frame(kData, kEndStream, 1, "hello")),
         kResultNetwork, "PROTOCOL_ERROR"},
        {"frame above the largest size",
         answer(kServerSettings + F::frame(kHeaders, kEndHeaders, 1, kStatus200) +
                F::frame(kData, kEndStream, 1, std::string(20000, 'd'))),
         kResultNetwork, "broke the protocol (FRAME_SIZE_ERROR, too large frame size)"},
        {"an HTTP/1.1 answer", answer("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"),
         kResultNetwork, "answered in HTTP/1.x (\"HTTP/1.1 200 OK\")"},
        {"GOAWAY naming the request's stream, connection left open",
         answer(kServerSettings + F::frame(kGoaway, 0, 0, u32(1) + u32(0))), kResultNetwork,
         "went away (GOAWAY NO_ERROR, last stream 1) and left stream 1 unanswered"},
        {"GOAWAY with an error naming the request's stream",
         answer(kServerSettings + F::frame(kGoaway, 0, 0, u32(1) + u32(2))), kResultNetwork,
         "went away (GOAWAY INTERNAL_ERROR, last stream 1) before the response"},
        {"PUSH_PROMISE though push is off",
         answer(kServerSettings + F::frame(kSettings, kAck, 0, "") +
                F::frame(kPushPromise, kEndHeaders, 1, u32(2) + "\x82\x86\x84\x41\x01h")),
         kResultNetwork, "broke the protocol (PROTOCOL_ERROR, PUSH_PROMISE: push disabled)"},
        {"padding longer than the frame",
         answer(kServerSettings + F::frame(kHeaders, kEndHeaders, 1, kStatus200) +
                F::frame(kData, kPadded | kEndStream, 1,
                         "\x05"
                         "ab")),
         kResultNetwork, "broke the protocol (PROTOCOL_ERROR, DATA: invalid padding)"},
        {"HPACK index beyond the tables",
         answer(kServerSettings + F::frame(kHeaders, kEndHeaders | kEndStream, 1, "\xbf")),
         kResultNetwork, "(COMPRESSION_ERROR, a header block that does not decode (HPACK))"},
        {"closed after the preface", [](PeerStream&, const std::string&) {}, kResultNetwork,
         "HTTP/2"},
        {"silent", [](PeerStream& stream, const std::string&) { holdUntilClientCloses(stream); },
         kResultTimeout, "no answer within the timeout"},
    };
}

class Http2Hostile : public HttpFixture {};

TEST_F(Http2Hostile, EachMisbehaviourEndsInItsResultClassWithoutHangingTheUser) {
    for (HostileCase& c : hostileCases()) {
        SCOPED_TRACE(c.name);
        H2TestServer server({}, std::move(c.session));
        load("http2=2\ntimeout=2\nkeepalive=1\n[a]\n", 0, server.port());
        EXPECT_EQ(run("a"), c.result);
        const std::string log = logText();
        EXPECT_NE(log.find(c.logged), std::string::npos) << log;
        // The broken connection is not reused for the next request.
        EXPECT_FALSE(m_session->connection.isOpen());
    }
}

TEST_F(Http2Hostile, GoawayAfterTheResponseSendsTheNextRequestOnANewConnection) {
    const std::string served = kServerSettings + F::frame(kHeaders, kEndHeaders, 1, kStatus200) +
                               F::frame(kData, kEndStream, 1, "one") +
                               F::frame(kGoaway, 0, 0, u32(1) + u32(0));
    H2TestServer server({}, answer(served));
    load("http2=2\ntimeout=5\nkeepalive=1\n[a]\n[b]\n", 0, server.port());
    EXPECT_GE(run("a"), 0) << logText();
    EXPECT_EQ(body(), "one");
    EXPECT_GE(run("b"), 0) << logText();
    EXPECT_EQ(server.acceptedConnections(), 2);
}

TEST_F(Http2Hostile, GoawayOnAnIdleConnectionIsSeenBeforeTheNextRequestGoesOut) {
    const std::string served = kServerSettings + F::frame(kHeaders, kEndHeaders, 1, kStatus200) +
                               F::frame(kData, kEndStream, 1, "one");
    H2TestServer server({}, [served](PeerStream& stream, const std::string&) {
        stream.sendAll(served, 10000);
        // The server's idle time-out: a goodbye, then the connection closes.
        stream.stopSignal().sleepFor(200);
        stream.sendAll(F::frame(kGoaway, 0, 0, u32(1) + u32(0)), 10000);
        stream.closeOrderly();
    });
    load("http2=2\ntimeout=5\nkeepalive=1\n[a]\n[b]\n", 0, server.port());
    EXPECT_GE(run("a"), 0) << logText();
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    EXPECT_GE(run("b"), 0) << logText();
    EXPECT_EQ(body(), "one");
    EXPECT_EQ(server.acceptedConnections(), 2);
}

// Reads frames after the client's preface until a HEADERS frame of stream id
// comes (bounded); false when the client went first.
bool waitForHeaders(PeerStream& stream, std::string received, uint32_t id) {
    char buffer[4096];
    for (int turn = 0; turn < 100; ++turn) {
        for (size_t at = 24; at + 9 <= received.size();) {
            const auto byte = [&](size_t i) { return uint32_t(uint8_t(received[at + i])); };
            const uint32_t length = byte(0) << 16 | byte(1) << 8 | byte(2);
            const uint32_t streamId =
                (byte(5) & 0x7f) << 24 | byte(6) << 16 | byte(7) << 8 | byte(8);
            if (byte(3) == kHeaders && streamId == id) return true;
            at += 9 + length;
        }
        const int n = stream.receive(buffer, sizeof buffer, 100);
        if (n == 0 || n == -1) return false;
        if (n > 0) received.append(buffer, size_t(n));
    }
    return false;
}

TEST_F(Http2Hostile, AStreamRefusedOnAKeptConnectionGoesOnceMoreOnANewOne) {
    auto connections = std::make_shared<std::atomic<int>>(0);
    const std::string settings = kServerSettings;
    H2TestServer server({}, [connections, settings](PeerStream& stream, const std::string& got) {
        const int index = connections->fetch_add(1);
        const std::string body = index == 0 ? "one" : "two";
        stream.sendAll(settings + F::frame(kHeaders, kEndHeaders, 1, kStatus200) +
                           F::frame(kData, kEndStream, 1, body),
                       10000);
        // The first connection refuses the next stream, as a server going away does.
        if (index == 0 && waitForHeaders(stream, got, 3))
            stream.sendAll(F::frame(kRstStream, 0, 3, u32(7)), 10000);
        holdUntilClientCloses(stream);
    });
    load("http2=2\ntimeout=5\nkeepalive=1\n[a]\n[b]\n", 0, server.port());
    EXPECT_GE(run("a"), 0) << logText();
    EXPECT_EQ(body(), "one");
    EXPECT_GE(run("b"), 0) << logText();
    EXPECT_EQ(body(), "two");
    EXPECT_EQ(server.acceptedConnections(), 2);
    EXPECT_NE(logText().find("sending the refused request again"), std::string::npos);
}

// What a server does with one send of a request.
enum class Answer { kWhole, kCloseUnanswered, kCloseAfterStatusLine, kRefuseStream, kResetStream };

// Answers stream id of an HTTP/2 connection as told.
void answerStream(PeerStream& stream, uint32_t id, Answer answer, const std::string& body) {
    if (answer == Answer::kWhole)
        stream.sendAll(
            F::frame(kHeaders, kEndHeaders, id, kStatus200) + F::frame(kData, kEndStream, id, body),
            10000);
    else if (answer == Answer::kRefuseStream)
        stream.sendAll(F::frame(kRstStream, 0, id, u32(7)), 10000);
    else if (answer == Answer::kResetStream)
        stream.sendAll(F::frame(kRstStream, 0, id, u32(2)), 10000);
}

using Resend = HttpFixture;

// The first request is answered whole; the second meets the row's answers, one per send.
TEST_F(Resend, AKeptConnectionThatFailsUnansweredIsResentOnceAndNeverTwice) {
    using A = Answer;
    struct Row {
        const char* what;
        bool http2;
        bool keepAlive;
        std::vector<Answer> answers;  // the last one repeats
        bool succeeds;
        int sends;
        const char* logged;  // the resend's line in the user's log, "" for none
    };
    const Row rows[] = {
        {"HTTP/1.1 closed unanswered, then answered",
         false,
         true,
         {A::kCloseUnanswered, A::kWhole},
         true,
         2,
         "closed the kept-alive connection"},
        {"HTTP/1.1 closed unanswered twice",
         false,
         true,
         {A::kCloseUnanswered},
         false,
         2,
         "closed the kept-alive connection"},
        {"HTTP/1.1 closed after the status line",
         false,
         true,
         {A::kCloseAfterStatusLine, A::kWhole},
         false,
         1,
         ""},
        {"HTTP/1.1 closed unanswered on a new connection",
         false,
         false,
         {A::kCloseUnanswered, A::kWhole},
         false,
         1,
         ""},
        {"HTTP/2 refused, then answered",
         true,
         true,
         {A::kRefuseStream, A::kWhole},
         true,
         2,
         "sending the refused request again"},
        {"HTTP/2 refused on the kept and on the new connection",
         true,
         true,
         {A::kRefuseStream},
         false,
         2,
         "sending the refused request again"},
        {"HTTP/2 closed unanswered, then answered",
         true,
         true,
         {A::kCloseUnanswered, A::kWhole},
         true,
         2,
         "closed the kept-alive connection"},
        {"HTTP/2 reset with INTERNAL_ERROR",
         true,
         true,
         {A::kResetStream, A::kWhole},
         false,
         1,
         ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::vector<Answer> answers = row.answers;
        auto nth = [answers](int send) {
            return answers[std::min(size_t(send), answers.size() - 1)];
        };
        std::unique_ptr<H2TestServer> h2;
        TestHttpServer h1;
        if (row.http2) {
            auto connections = std::make_shared<std::atomic<int>>(0);
            h2 = std::make_unique<H2TestServer>(
                H2TestServer::Options{},
                [connections, nth](PeerStream& stream, const std::string& got) {
                    stream.sendAll(kServerSettings, 10000);
                    const int index = connections->fetch_add(1);
                    // The first connection answers the first request (stream 1) and
                    // carries the second's first send (stream 3).
                    if (index == 0) answerStream(stream, 1, A::kWhole, "one");
                    const uint32_t id = index == 0 ? 3 : 1;
                    if (!waitForHeaders(stream, got, id)) return;
                    const Answer a = nth(index);
                    answerStream(stream, id, a, "two");
                    if (a == A::kCloseUnanswered) {
                        stream.closeOrderly();
                        return;
                    }
                    holdUntilClientCloses(stream);
                });
        } else {
            h1.setHandler([nth](const ReceivedRequest& request, Responder& r) {
                const Answer a = request.sequence == 0 ? A::kWhole : nth(request.sequence - 1);
                if (a == A::kWhole) {
                    r.respond(200, request.sequence == 0 ? "one" : "two");
                    return;
                }
                if (a == A::kCloseAfterStatusLine) r.send("HTTP/1.1 200 OK\r\n");
                r.close();
            });
        }
        load(std::string(row.http2 ? "http2=2\n" : "") +
                 "timeout=5\nkeepalive=" + (row.keepAlive ? "1" : "0") + "\n[a]\n[b]\n",
             0, h2 ? h2->port() : h1.port());
        EXPECT_GE(run("a"), 0) << logText();
        const bool succeeded = run("b") >= 0;
        const std::string log = logText();
        EXPECT_EQ(succeeded, row.succeeds) << log;
        if (row.succeeds) {
            EXPECT_EQ(body(), "two");
        }
        EXPECT_EQ(h2 ? h2->acceptedConnections() : h1.requestCount() - 1, row.sends) << log;
        const bool resent = log.find("refused request again") != std::string::npos ||
                            log.find("connection: reconnecting") != std::string::npos;
        EXPECT_EQ(resent, *row.logged != '\0') << log;
        if (*row.logged) {
            EXPECT_NE(log.find(row.logged), std::string::npos) << log;
        }
        m_session.reset();  // closes the connections the servers hold
    }
}

}  // namespace
}  // namespace velk::test
