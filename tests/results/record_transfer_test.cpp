// Shard results are files from other machines: damaged or hostile bytes are
// refused before anything is allocated for them, and no figure a run cannot
// make (negative counts, impossible years) gets through to the statistics.
#include "results/record_transfer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "results/saturating.h"

namespace velk {
namespace {

constexpr TransferShape kShape{2, 2, 3, ResultMode::Detailed, false};

// Offsets in the bytes of recordsOfOneUser(): the run's head, then user 0's block.
constexpr size_t kPositions = 16, kIterations = 20, kWallStart = 32, kWallEnd = 40, kDuration = 48,
                 kHttpRequests = 56, kNetworkErrors = 68;
constexpr size_t kUser = 92;  // no status codes: the block's length is at 88
constexpr size_t kStartTick = kUser + 4, kEndTick = kUser + 12, kRequestsMade = kUser + 20,
                 kBytesSent = kUser + 32, kSendTime = kUser + 48, kStarted = kUser + 64,
                 kFirstCell = kUser + 65;

// distinctTimes: response times of position 0, each in a bucket of its own.
std::string recordsOfOneUser(int distinctTimes = 0) {
    UserRecord user;
    user.startTick = 1000;
    user.endTick = 3000;
    user.requestsMade = 6;
    user.sentAtEnd = 6;
    user.bytesSent = 600;
    user.started = true;
    user.results.prepare(ResultMode::Detailed, kShape.positions, kShape.iterations, false);
    for (int32_t k = 0; k < kShape.positions; ++k)
        for (int32_t i = 0; i < kShape.iterations; ++i) user.results.setCell(k, i, 1000 + i);
    user.latency.resize(size_t(kShape.positions));
    for (int i = 0; i < distinctTimes; ++i)
        user.latency[0].record(1000 + 37 * i, 1000 + 37 * i, 0, 0, false);
    RunTimes times{1765000000, 1765000002, 900, 2000};
    HttpCounters counters;
    counters.httpRequests = 6;
    ErrorCounters errors;
    return encodeRecords(kShape, times, counters, errors, {{0, &user}});
}

template <class T>
std::string patched(std::string bytes, size_t at, T value) {
    bytes.replace(at, sizeof value, reinterpret_cast<const char*>(&value), sizeof value);
    return bytes;
}

TEST(RecordTransfer, FiguresNoRunMakesAreRefusedAsDamage) {
    const std::string good = recordsOfOneUser();
    DecodedRecords out;
    std::string error;
    ASSERT_TRUE(decodeRecords(good, out, error, &kShape)) << error;
    ASSERT_EQ(out.users.size(), 1u);
    EXPECT_EQ(out.users[0].second->results.cell(1, 2), 1002);
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"negative duration", patched(good, kDuration, int64_t(-5))},
        {"year 33658", patched(good, kWallEnd, int64_t(1000000000000))},
        {"year before 1970", patched(good, kWallStart, int64_t(-1000000000000))},
        {"negative requests", patched(good, kHttpRequests, int64_t(-1))},
        {"too many requests", patched(good, kHttpRequests, INT64_MAX)},
        {"negative error count", patched(good, kNetworkErrors, int32_t(INT32_MIN))},
        {"tick far away", patched(good, kStartTick, INT64_MIN)},
        {"ends before it starts", patched(good, kEndTick, int64_t(-7000))},
        {"negative requests made", patched(good, kRequestsMade, int32_t(-3))},
        {"-9.2e18 bytes", patched(good, kBytesSent, uint64_t(INT64_MIN))},
        {"negative send time", patched(good, kSendTime, -1.0)},
        {"send time not a number", patched(good, kSendTime, std::nan(""))},
        {"a result code that does not exist", patched(good, kFirstCell, int32_t(-77))},
    };
    for (const auto& c : cases) {
        std::string why;
        EXPECT_FALSE(decodeRecords(c.bytes, out, why, &kShape)) << c.what;
        EXPECT_FALSE(why.empty()) << c.what;
        EXPECT_TRUE(out.users.empty()) << c.what;
    }
    // A user that never started writes minus the run's start as its ticks: kept.
    std::string unstarted = patched(patched(good, kStarted, uint8_t(0)), kStartTick, int64_t(-900));
    unstarted = patched(unstarted, kEndTick, int64_t(-900));
    EXPECT_TRUE(decodeRecords(unstarted, out, error, &kShape)) << error;
}

// 173 bytes that once asked for one pointer per position of 2^31 positions in
// every user: the shape is compared first, and the bytes bound what is made.
TEST(RecordTransfer, ATinyInputCannotAskForHugeAllocations) {
    std::string tiny = patched(recordsOfOneUser(), kPositions, int32_t(INT32_MAX));
    tiny = patched(tiny, kIterations, int32_t(0));
    DecodedRecords out;
    std::string error;
    EXPECT_FALSE(decodeRecords(tiny, out, error, &kShape));
    EXPECT_NE(error.find("another test"), std::string::npos) << error;
    // Without a test to compare with, the bytes alone refuse it.
    EXPECT_FALSE(decodeRecords(tiny, out, error));
    EXPECT_TRUE(out.users.empty());
}

// Measured times spread over many buckets; their histogram comes through whole.
TEST(RecordTransfer, AHistogramOfManyBucketsIsNotTakenForDamage) {
    DecodedRecords out;
    std::string error;
    ASSERT_TRUE(decodeRecords(recordsOfOneUser(2000), out, error, &kShape)) << error;
    ASSERT_EQ(out.users.size(), 1u);
    EXPECT_EQ(out.users[0].second->latency[0].times().count(), 2000);
}

TEST(RecordTransfer, SumsSaturateInsteadOfWrapping) {
    EXPECT_EQ(addSaturated32(INT32_MAX, INT32_MAX), INT32_MAX);
    EXPECT_EQ(addSaturated32(INT32_MIN, -1), INT32_MIN);
    EXPECT_EQ(addSaturated(INT64_MAX, int64_t(1)), INT64_MAX);
    EXPECT_EQ(addSaturated(uint64_t(-2), uint64_t(5)), UINT64_MAX);
    EXPECT_EQ(addSaturated(int64_t(40), int64_t(2)), 42);
}

}  // namespace
}  // namespace velk
