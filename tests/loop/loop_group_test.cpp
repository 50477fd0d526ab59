#include "loop/loop_group.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "common/sanitizer.h"
#include "loop/loop_test_support.h"
#include "platform/resource_limits.h"

namespace velk::loop {
namespace {

using namespace std::chrono_literals;
using test::after;

// Reads exactly size bytes, waiting on the loop between tries.
bool readAll(EventLoop& loop, int fd, char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t got = recv(fd, data + done, size - done, 0);
        if (got > 0) {
            done += static_cast<size_t>(got);
        } else if (got < 0 && errno == EAGAIN) {
            if (loop.waitReadable(fd, after(30s)) != WaitResult::Ready) return false;
        } else {
            return false;
        }
    }
    return true;
}

bool writeAll(EventLoop& loop, int fd, const char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t sent = send(fd, data + done, size - done, MSG_NOSIGNAL);
        if (sent > 0) {
            done += static_cast<size_t>(sent);
        } else if (sent < 0 && errno == EAGAIN) {
            if (loop.waitWritable(fd, after(30s)) != WaitResult::Ready) return false;
        } else {
            return false;
        }
    }
    return true;
}

int listenOnLoopback(uint16_t& port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(fd, 256) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0) close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

// Server tasks on loop 0 echo what clients on loop 1 send over loopback TCP;
// payloads larger than the socket buffers make both sides wait for writability.
TEST(LoopGroup, EchoOverLoopbackBetweenTwoLoops) {
    LoopGroup group(2);
    ASSERT_TRUE(group.started());
    uint16_t port = 0;
    const int listener = listenOnLoopback(port);
    ASSERT_GE(listener, 0);
    constexpr int kClients = 20;
    constexpr size_t kPayload = 512 * 1024;
    std::atomic<int> echoed{0};
    std::atomic<int> served{0};
    EventLoop& serverLoop = group.loop(0);
    serverLoop.spawn([&] {
        for (int accepted = 0; accepted < kClients;) {
            const int fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno != EAGAIN ||
                    serverLoop.waitReadable(listener, after(30s)) != WaitResult::Ready)
                    break;
                continue;
            }
            ++accepted;
            serverLoop.spawn([&, fd] {
                std::string buffer(64 * 1024, '\0');
                for (;;) {
                    const ssize_t got = recv(fd, buffer.data(), buffer.size(), 0);
                    if (got > 0) {
                        if (!writeAll(serverLoop, fd, buffer.data(), static_cast<size_t>(got)))
                            break;
                    } else if (got < 0 && errno == EAGAIN) {
                        if (serverLoop.waitReadable(fd, after(30s)) != WaitResult::Ready) break;
                    } else {
                        break;
                    }
                }
                serverLoop.forget(fd);
                close(fd);
                ++served;
            });
        }
        serverLoop.forget(listener);
    });
    for (int client = 0; client < kClients; ++client) {
        EventLoop& clientLoop = group.loop(1);
        clientLoop.spawn([&, client] {
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            ASSERT_GE(fd, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(port);
            if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
                ASSERT_EQ(errno, EINPROGRESS);
                ASSERT_EQ(clientLoop.waitWritable(fd, after(30s)), WaitResult::Ready);
            }
            std::string sent(kPayload, static_cast<char>('a' + client % 26));
            std::string received(kPayload, '\0');
            // The reader runs beside the writer, so neither side's buffers fill up for good.
            std::atomic<bool> readOk{false};
            EventLoop::Task* writer = clientLoop.currentTask();
            bool readerDone = false;
            clientLoop.spawn([&] {
                readOk = readAll(clientLoop, fd, received.data(), received.size());
                readerDone = true;
                clientLoop.wake(writer);
            });
            EXPECT_TRUE(writeAll(clientLoop, fd, sent.data(), sent.size()));
            for (int i = 0; i < 100 && !readerDone; ++i) clientLoop.park(after(30s));
            EXPECT_TRUE(readOk.load());
            if (received == sent) ++echoed;
            clientLoop.forget(fd);
            close(fd);
        });
    }
    group.finishWhenIdle();
    std::thread watchdog([&] {
        for (int i = 0; i < 600 && served.load() < kClients; ++i)
            std::this_thread::sleep_for(100ms);
        group.stop();
    });
    group.join();
    watchdog.join();
    close(listener);
    EXPECT_EQ(echoed.load(), kClients);
    EXPECT_EQ(served.load(), kClients);
}

TEST(LoopGroup, PlacesTasksRoundRobin) {
    LoopGroup group(3);
    ASSERT_TRUE(group.started());
    EXPECT_EQ(group.size(), 3u);
    for (size_t i = 0; i < 7; ++i) EXPECT_EQ(group.spawn([] {}), i % 3);
    group.finishWhenIdle();
    group.join();
}

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

// Tasks parked on socket reads: what each costs in resident memory (stack
// pages touched, task record, watch).  The figure is printed; the bound is
// checked only in plain builds, as sanitizers add their own shadow memory.
TEST(LoopGroup, ResidentMemoryPerParkedTask) {
    constexpr int kTasks = test::kManyTasks;
    platform::raiseOpenFileLimit(kTasks + 256);
    std::vector<std::unique_ptr<test::SocketPair>> pairs;
    for (int i = 0; i < kTasks / 2; ++i) {
        pairs.push_back(std::make_unique<test::SocketPair>());
        if (pairs.back()->fds[0] < 0) GTEST_SKIP() << "not enough descriptors";
    }
    EventLoop loop;
    std::atomic<int> parked{0};
    long before = 0;
    long during = 0;
    std::thread runner([&] { loop.run(); });
    loop.post([&] { before = residentKiB(); });
    for (int i = 0; i < kTasks; ++i) {
        const int fd = pairs[static_cast<size_t>(i / 2)]->fds[i % 2];
        loop.spawn([&, fd] {
            char byte;
            ++parked;
            if (recv(fd, &byte, 1, 0) < 0) loop.waitReadable(fd);
        });
    }
    for (int i = 0; i < 6000 && parked.load() < kTasks; ++i) std::this_thread::sleep_for(10ms);
    std::atomic<bool> measured{false};
    loop.post([&] {
        during = residentKiB();
        measured = true;
    });
    for (int i = 0; i < 6000 && !measured.load(); ++i) std::this_thread::sleep_for(10ms);
    loop.stop();
    runner.join();
    ASSERT_EQ(parked.load(), kTasks);
    const double perTask = static_cast<double>(during - before) * 1024.0 / kTasks;
    std::printf("resident memory per parked task: %.0f bytes (%d tasks)\n", perTask, kTasks);
    RecordProperty("bytes_per_parked_task", static_cast<int>(perTask));
#if !defined(__SANITIZE_THREAD__)
    if (!velk::test::underAddressSanitizer()) {
        EXPECT_LE(perTask, 16.0 * 1024);
    }
#endif
}

}  // namespace
}  // namespace velk::loop
