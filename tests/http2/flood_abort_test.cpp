// A server that keeps the user's socket full never holds a run: an abort, the
// time limit and the request's time-out end it within the engine's bound,
// HTTP/1.1 and HTTP/2 alike.  The servers below send as fast as the client
// takes; only the client's run is timed.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>

#include "common/message_capture.h"
#include "http2/h2_test_server.h"
#include "support/peer_stream.h"
#include "support/test_http_server.h"
#include "velkcore.h"

namespace velk::test {
namespace {

using F = H2TestServer;
using Clock = std::chrono::steady_clock;
constexpr uint8_t kData = 0, kHeaders = 1, kSettings = 4, kPing = 6, kEndHeaders = 4;
const std::string kStatus200 = "\x88";  // static table entry 8
const std::string kStatus100 =
    "\x08\x03"
    "100";  // literal, name of entry 8

std::string repeated(const std::string& piece, size_t bytes) {
    std::string out;
    while (out.size() < bytes) out += piece;
    return out;
}

// Sends first, then block again and again while the client takes it (bounded),
// reading whatever the client sends meanwhile (HTTP/2 window updates).
void flood(PeerStream& stream, const std::string& first, const std::string& block) {
    if (!stream.sendAll(first, 10000)) return;
    char sink[4096];
    for (int i = 0; i < 100000 && !stream.stopSignal().triggered(); ++i) {
        while (stream.receive(sink, sizeof sink, 0) > 0) {
        }
        if (!stream.sendAll(block, 2000)) return;
    }
}

TestHttpServer::Handler h1Flood(std::string head, std::string piece) {
    return [head, piece](const ReceivedRequest&, Responder& r) {
        // The responder's stream is not at hand: send through it in blocks.
        const std::string block = repeated(piece, 64 << 10);
        if (!r.send(head)) return;
        for (int i = 0; i < 100000 && r.send(block); ++i) {
        }
    };
}

F::RawSession h2Flood(std::string head, std::string piece) {
    return [head, piece](PeerStream& stream, const std::string&) {
        flood(stream, F::frame(kSettings, 0, 0, "") + head, repeated(piece, 64 << 10));
    };
}

// PINGs every half second and nothing for the request's stream.
void pingEveryHalfSecond(PeerStream& stream, const std::string&) {
    if (!stream.sendAll(F::frame(kSettings, 0, 0, ""), 10000)) return;
    char sink[4096];
    for (int i = 0; i < 600; ++i) {
        while (stream.receive(sink, sizeof sink, 0) > 0) {
        }
        if (!stream.stopSignal().sleepFor(500)) return;
        if (!stream.sendAll(F::frame(kPing, 0, 0, std::string(8, 'p')), 2000)) return;
    }
}

// kAbortRunFinishingPass: abortseq=0, where a user finishes its pass after an
// abort, but within one time-out.
enum class Ending { kAbortRun, kAbortRunFinishingPass, kMaxtime, kTimeout };

struct FloodCase {
    const char* name;
    bool http2;
    Ending ending;
    TestHttpServer::Handler h1;
    F::RawSession h2;
};

class FloodAbort : public ::testing::Test {
protected:
    void SetUp() override {
        InitKS(0, 0);
        SetOutFunc(&m_messages, &MessageCapture::sink);
        SetProgressReporter(nullptr, nullptr);
    }
    void TearDown() override {
        SetOutFunc(nullptr, nullptr);
        CleanupKS();
    }
    MessageCapture m_messages;
};

TEST_F(FloodAbort, EveryEndingStopsAUserWhoseSocketIsKeptFull) {
    const std::string chunkHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    const std::string h2Data = F::frame(kData, 0, 1, "x");
    const std::string h2Interim = F::frame(kHeaders, kEndHeaders, 1, kStatus100);
    const std::string h2Ok = F::frame(kHeaders, kEndHeaders, 1, kStatus200);
    const FloodCase cases[] = {
        {"HTTP/1.1 1-byte chunks, AbortRun", false, Ending::kAbortRun,
         h1Flood(chunkHead, "1\r\nx\r\n"), nullptr},
        {"HTTP/1.1 1-byte chunks, maxtime", false, Ending::kMaxtime,
         h1Flood(chunkHead, "1\r\nx\r\n"), nullptr},
        {"HTTP/1.1 1-byte chunks, AbortRun with abortseq=0", false, Ending::kAbortRunFinishingPass,
         h1Flood(chunkHead, "1\r\nx\r\n"), nullptr},
        {"HTTP/1.1 endless 100 Continue, AbortRun", false, Ending::kAbortRun,
         h1Flood("", "HTTP/1.1 100 Continue\r\n\r\n"), nullptr},
        {"HTTP/2 1-byte DATA, AbortRun", true, Ending::kAbortRun, nullptr, h2Flood(h2Ok, h2Data)},
        {"HTTP/2 1-byte DATA, maxtime", true, Ending::kMaxtime, nullptr, h2Flood(h2Ok, h2Data)},
        {"HTTP/2 endless :status 100, AbortRun", true, Ending::kAbortRun, nullptr,
         h2Flood("", h2Interim)},
        {"HTTP/2 endless :status 100, maxtime", true, Ending::kMaxtime, nullptr,
         h2Flood("", h2Interim)},
        {"HTTP/2 PING every 0.5 s, timeout", true, Ending::kTimeout, nullptr, &pingEveryHalfSecond},
    };
    for (const FloodCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<TestHttpServer> h1;
        std::unique_ptr<H2TestServer> h2;
        if (c.http2) {
            h2 = std::make_unique<H2TestServer>(F::Options{}, c.h2);
        } else {
            h1 = std::make_unique<TestHttpServer>();
            h1->setHandler(c.h1);
        }
        const int port = c.http2 ? h2->port() : h1->port();
        const auto accepted = [&] {
            return (c.http2 ? h2->acceptedConnections() : h1->acceptedConnections()) >= 2;
        };
        std::string script = "server=127.0.0.1\nport=" + std::to_string(port) +
                             "\ndelaystart=0\nclients=2\nrequests=1\nreportinfo=0\n";
        script += c.http2 ? "http2=2\n" : "";
        const bool finishing = c.ending == Ending::kAbortRunFinishingPass;
        script += c.ending == Ending::kTimeout || finishing ? "timeout=2\n" : "timeout=300\n";
        script += finishing ? "abortseq=0\n" : "";
        script += c.ending == Ending::kMaxtime ? "maxtime=2\n" : "";
        TestSet* set = CreateTestSet();
        ASSERT_EQ(ParseTest(set, "flood", (script + "[a]\n").c_str()), 1) << m_messages.last();
        const Clock::time_point started = Clock::now();
        auto run = std::async(std::launch::async, [set] { return RunTest(set); });
        Clock::time_point deadline = started + std::chrono::seconds(2 + 3);
        if (c.ending == Ending::kAbortRun || finishing) {
            for (int i = 0; i < 400 && !accepted(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            ASSERT_TRUE(accepted());
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            AbortRun(set);
            deadline = Clock::now() + std::chrono::seconds(finishing ? 2 + 3 : 3);
        }
        // The servers would hold the users for ever; this bound only catches a hang.
        ASSERT_EQ(run.wait_for(std::chrono::seconds(120)), std::future_status::ready);
        run.get();
        const Clock::time_point ended = Clock::now();
        EXPECT_LT(ended, deadline)
            << "ended after " << std::chrono::duration<double>(ended - started).count() << " s";
        if (c.ending == Ending::kTimeout) {
            VelkLiveCounters counters{};
            GetLiveCounters(set, &counters);
            EXPECT_EQ(counters.timeouts, 2);
        }
        FreeTestSet(set);
    }
}

}  // namespace
}  // namespace velk::test
