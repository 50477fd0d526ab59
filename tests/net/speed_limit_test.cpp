#include "net/speed_limit.h"

#include <gtest/gtest.h>

#include <string>

#include "net/connection.h"
#include "net_test_helpers.h"
#include "support/test_http_server.h"

namespace velk::net {
namespace {

using testing::countOf;
using testing::Stopwatch;

struct PauseCase {
    int64_t bytes;
    int32_t bytesPerSecond;
    int64_t elapsedMs;
    int64_t pauseMs;
};

TEST(SpeedLimitPause, FollowsTheRoundingAndRangeRules) {
    const PauseCase cases[] = {
        {105, 1000, 0, 110},                        // 105 ms rounds up to the next multiple of 10
        {100, 1000, 0, 100},                        // multiples of 10 stay
        {100, 1000, 30, 70},                        // time spent moving the bytes counts
        {105, 1000, 3, 110},                        // 102 -> 110
        {10, 1000, 15, 10},                         // -5 rounds to 10 before the range check
        {0, 1000, 50, 0},                           // negative pauses are not taken
        {10, 1000, 100, 0},   {120, 1, 0, 120000},  // the longest pause still taken
        {121, 1, 0, 0},                             // above 120000 ms: no pause at all
        {200000, 1000, 0, 0}, {4096, 0, 0, 0},      // no limit
    };
    for (const PauseCase& c : cases) {
        EXPECT_EQ(speedLimitPauseMillis(c.bytes, c.bytesPerSecond, c.elapsedMs), c.pauseMs)
            << c.bytes << " bytes at " << c.bytesPerSecond << " B/s after " << c.elapsedMs;
    }
}

// 2000 bytes at 4000 B/s must take at least half a second however they arrive;
// without the limit the same read is near instant.
TEST(SpeedLimit, LimitedReadsTakeAsLongAsTheLimitSays) {
    const std::string body(2000, 'b');
    test::TestHttpServer server;
    server.setAcceptHandler([&](test::Responder& r) { r.send(body); });

    auto timedRead = [&](int32_t bytesPerSecond) {
        Connection conn;
        EXPECT_TRUE(conn.init("127.0.0.1", server.port(), false, 1, 10).isOk());
        EXPECT_TRUE(conn.connect().isOk());
        conn.setSpeedLimit(bytesPerSecond);
        Stopwatch watch;
        size_t got = 0;
        char piece[500];
        for (int i = 0; i < 100 && got < body.size(); ++i) {
            if (!conn.waitReadable().isOk()) break;
            const int n = countOf(conn.read(piece, sizeof piece));
            if (n <= 0) break;
            got += size_t(n);
        }
        EXPECT_EQ(got, body.size());
        return watch.elapsedMs();
    };
    const double unlimited = timedRead(0);
    const double limited = timedRead(4000);
    EXPECT_GE(limited, 450.0);
    EXPECT_LT(limited, 30000.0);
    EXPECT_GT(limited, unlimited + 300.0);
}

TEST(SpeedLimit, LimitedWritesArePacedToo) {
    test::TestHttpServer server;
    server.setAcceptHandler([](test::Responder& r) { r.stall(); });
    Connection conn;
    ASSERT_TRUE(conn.init("127.0.0.1", server.port(), false, 1, 10).isOk());
    ASSERT_TRUE(conn.connect().isOk());
    conn.setSpeedLimit(4000);
    const std::string piece(500, 'w');
    Stopwatch watch;
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(countOf(conn.write(piece.data(), int(piece.size()))), 500);
    EXPECT_GE(watch.elapsedMs(), 450.0);
}

}  // namespace
}  // namespace velk::net
