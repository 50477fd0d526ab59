// Servers that misbehave on purpose: every request still ends as a time or an
// error class within the time-out, the user goes on, and the report counts it.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "common/message_capture.h"
#include "support/http_text.h"
#include "support/test_http_server.h"
#include "velkcore.h"

namespace velk::test {
namespace {

void hostile(const ReceivedRequest& req, Responder& r) {
    const std::string& t = req.target;
    if (t == "/reset-header") {
        r.send("HTTP/1.1 200 OK\r\nContent-Le");
        r.reset();
    } else if (t == "/close-body") {
        r.send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly part");
        r.close();
    } else if (t == "/cut-chunk") {
        r.send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10\r\nshort");
        r.close();
    } else if (t == "/stall") {
        r.send("HTTP/1.1 200 OK\r\n");
        r.stall();
    } else if (t == "/trickle") {
        r.trickle(httpResponse(200, "slow", "Connection: close\r\n"), 1, 10);
        r.close();
    } else if (t == "/big-header") {
        // Far beyond any line buffer, yet read within the time-out even by a
        // sanitizer build on a loaded machine.
        r.send("HTTP/1.1 200 OK\r\nX-Big: " + std::string(4 << 20, 'b') +
               "\r\nContent-Length: 2\r\n\r\nok");
    } else if (t == "/chunk-size") {
        r.send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nffffffffffffffff\r\nxx");
        r.close();
    } else if (t == "/negative") {
        r.send("HTTP/1.1 200 OK\r\nContent-Length: -3\r\n\r\nabc");
        r.close();
    } else if (t == "/garbage") {
        r.send("\x16\x03\x01 nonsense\r\n\r\n");
        r.close();
    } else if (t == "/loop") {
        r.respond(302, "", "Location: /loop\r\n");
    } else {
        r.respond(200, "fine");
    }
}

TEST(HostileServer, EveryRequestEndsAsATimeOrItsClassAndTheUserGoesOn) {
    MessageCapture messages;
    SetOutFunc(&messages, MessageCapture::sink);
    SetProgressReporter(nullptr, nullptr);
    TestHttpServer server;
    server.setHandler(hostile);
    struct Entry {
        const char* name;
        const char* uri;
        int32_t expected;  // 0: any time
    } entries[] = {
        {"resetheader", "/reset-header", -1},
        {"ok1", "/ok", 0},
        {"closebody", "/close-body", -1},
        {"cutchunk", "/cut-chunk", -1},
        {"stall", "/stall", -4},
        {"ok2", "/ok", 0},
        {"trickle", "/trickle", 0},
        {"bigheader", "/big-header", 0},
        {"chunksize", "/chunk-size", -1},
        {"negative", "/negative", -1},
        {"garbage", "/garbage", -2},
        {"loop", "/loop", -2},
        {"ok3", "/ok", 0},
    };
    std::string script = "server=127.0.0.1\nport=" + std::to_string(server.port()) +
                         "\ntimeout=2\nkeepalive=1\ndelaystart=0\nrequests=2\nreportinfo=0\n";
    for (const Entry& e : entries) script += std::string("[") + e.name + "]\n$uri=" + e.uri + "\n";
    TestSet* set = CreateTestSet();
    ASSERT_EQ(ParseTest(set, "hostile", script.c_str()), 1);

    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(RunTest(set), 1);
    // Two stalls of two seconds each, plus slack for a slow machine.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));

    auto** rows = static_cast<int32_t**>(GetResults(set, 0));
    int errors = 0;
    for (size_t k = 0; k < std::size(entries); ++k)
        for (int i = 0; i < 2; ++i) {
            const int32_t cell = rows[k][i];
            if (entries[k].expected == 0) {
                EXPECT_GE(cell, 0) << entries[k].name << " " << i;
            } else {
                EXPECT_EQ(cell, entries[k].expected) << entries[k].name << " " << i;
                ++errors;
            }
        }
    std::string report;
    ASSERT_EQ(SaveResults(
                  set, &report,
                  [](void* sink, const char* text) { *static_cast<std::string*>(sink) += text; },
                  nullptr),
              0);
    EXPECT_NE(report.find("Total " + std::to_string(errors) + " errors!!!"), std::string::npos)
        << report;
    EXPECT_EQ(report.find("N/A"), std::string::npos);  // no request went unrecorded
    FreeTestSet(set);
    SetOutFunc(nullptr, nullptr);
}

}  // namespace
}  // namespace velk::test
