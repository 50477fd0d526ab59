// How a connection's socket is waited for is chosen once, by where it opens: a
// task on an event loop parks, a thread blocks in slices.
#include "net/socket_waiter.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "loop/loop_group.h"
#include "net/read_ahead.h"
#include "net/socket_handle.h"
#include "platform/clock.h"

namespace velk::net {
namespace {

struct SocketPair {
    SocketPair() {
        int fds[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
        near.reset(fds[0]);
        far.reset(fds[1]);
    }
    SocketHandle near, far;
};

bool isNonBlocking(int fd) {
    return (fcntl(fd, F_GETFL, 0) & O_NONBLOCK) != 0;
}

int64_t inMillis(int ms) {
    return platform::tickMillis() + ms;
}

// The same waits, asked on a thread and on a task: time-out, readiness, abort.
void expectWaitsEndAsAsked(const SocketWaiter& waiter, SocketPair& pair) {
    EXPECT_EQ(waiter.ready(Readiness::kRead, inMillis(50), nullptr), StatusCode::kTimeout);
    EXPECT_EQ(waiter.ready(Readiness::kWrite, inMillis(50), nullptr), StatusCode::kOk);
    std::atomic<int32_t> flag{1};
    AbortWatch aborted;
    aborted.watch(&flag);
    EXPECT_EQ(waiter.ready(Readiness::kRead, inMillis(5000), &aborted), StatusCode::kAborted);
    ASSERT_EQ(::write(pair.far.get(), "x", 1), 1);
    EXPECT_EQ(waiter.ready(Readiness::kRead, inMillis(5000), nullptr), StatusCode::kOk);
}

TEST(SocketWaiter, OnAThreadTheSocketBlocksInSlices) {
    SocketPair pair;
    ASSERT_EQ(fcntl(pair.near.get(), F_SETFL, O_NONBLOCK), 0);
    SocketWaiter waiter;
    ASSERT_TRUE(waiter.choose(pair.near.get()));
    EXPECT_EQ(waiter.mode(), SocketWaiter::Mode::kSlices);
    EXPECT_TRUE(waiter.callsWait());
    EXPECT_FALSE(isNonBlocking(pair.near.get()));
    // A receive with nothing there comes back after one slice, not never.
    const auto started = std::chrono::steady_clock::now();
    char byte;
    EXPECT_LT(::recv(pair.near.get(), &byte, 1, 0), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    expectWaitsEndAsAsked(waiter, pair);
}

TEST(SocketWaiter, OnATaskTheSocketStaysNonBlockingAndWaitsPark) {
    SocketPair pair;
    loop::LoopGroup group(1);
    ASSERT_TRUE(group.started());
    std::atomic<bool> done{false};
    ASSERT_EQ(fcntl(pair.near.get(), F_SETFL, O_NONBLOCK), 0);
    group.spawn([&] {
        SocketWaiter waiter;
        ASSERT_TRUE(waiter.choose(pair.near.get()));
        EXPECT_EQ(waiter.mode(), SocketWaiter::Mode::kLoop);
        EXPECT_TRUE(isNonBlocking(pair.near.get()));
        expectWaitsEndAsAsked(waiter, pair);
        // Parking before a retry trusts the loop's edge: the byte left unread
        // still counts as ready.
        EXPECT_EQ(waiter.beforeRetry(Readiness::kRead, inMillis(5000), nullptr), StatusCode::kOk);
        pair.near.reset();  // the loop lets go of the descriptor first
        done = true;
    });
    group.finishWhenIdle();
    group.join();
    EXPECT_TRUE(done.load());
}

TEST(ReadAhead, PooledStorageGoesBackOnceReadEmptyAndServesTheNextConnection) {
    ReadAhead first, second;
    first.setPooled(true);
    second.setPooled(true);
    char* storage = first.hold();
    std::memcpy(storage, "abcdef", 6);
    first.filled(6);
    char out[4];
    EXPECT_EQ(first.take(out, 4), 4);
    EXPECT_EQ(first.bytes(), "ef");
    EXPECT_EQ(first.take(out, 4), 2);
    EXPECT_TRUE(first.empty());
    // An idle connection holds none: the next receive anywhere on this thread
    // gets the same storage back.
    EXPECT_EQ(second.storage(), storage);
}

}  // namespace
}  // namespace velk::net
