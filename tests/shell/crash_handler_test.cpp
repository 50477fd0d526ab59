#include "app/shell/crash_handler.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>

#include "common/sanitizer.h"
#include "common/temp_dir.h"

namespace velk::shell {
namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

size_t count(const std::string& text, const std::string& piece) {
    size_t n = 0;
    for (size_t pos = text.find(piece); pos != std::string::npos; pos = text.find(piece, pos + 1))
        ++n;
    return n;
}

[[gnu::noinline]] __attribute__((no_sanitize("undefined"))) void writeThroughNull() {
    volatile int* volatile target = nullptr;
    *target = 1;
}

[[gnu::noinline]] __attribute__((no_sanitize("undefined"))) void divideByZero() {
    volatile int a = 1, b = 0;
    volatile int c = a / b;
    (void)c;
}

// Runs crash in a child with the handler installed; returns how it ended.
int crashInChild(const std::string& report, void (*crash)()) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const struct rlimit noCore { 0, 0 };
        ::setrlimit(RLIMIT_CORE, &noCore);
        CrashHandler::install({report, "TestOS 1.0", {}});
        crash();
        ::_exit(0);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

TEST(CrashHandler, ReportsARealFaultAndTheChildStillDiesOfIt) {
    struct Case {
        void (*crash)();
        int sig;
        const char* line;
    };
    const Case cases[] = {
        {writeThroughNull, SIGSEGV, "Signal: 11 SIGSEGV (si_code 1 SEGV_MAPERR)\r\n"},
        {divideByZero, SIGFPE, "Signal: 8 SIGFPE (si_code 1 FPE_INTDIV)\r\n"}};
    for (const Case& c : cases) {
        velk::test::TempDir dir;
        const std::string report = dir.file("CrashReport.txt");
        const int status = crashInChild(report, c.crash);
        if (velk::test::underAddressSanitizer()) {
            // The sanitizer's own handler came before ours and has the last word.
            EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        } else {
            ASSERT_TRUE(WIFSIGNALED(status)) << c.line << " status " << status;
            EXPECT_EQ(WTERMSIG(status), c.sig);
        }
        const std::string text = readAll(report);
        // The headings in their order.
        const char* const headings[] = {
            "=========================================================\r\n"
            "===============VELK 2.0=Crash=Report============\r\n"
            "=========================================================\r\n\r\n",
            "OS : TestOS 1.0\r\n",
            "Module : /",
            "Built on Dec 27 2002\r\n",
            c.line,
            "Fault address:  ",
            "\r\nRegisters:\r\nRAX:",
            "RIP:",
            "Flags:",
            "\r\nRSP dump:\r\n0x",
            "\r\n\r\nRBP dump:\r\n",
            "\r\nIP dump:\r\n0x",
            "\r\nCall stack:\r\n"};
        size_t at = 0;
        for (const char* heading : headings) {
            const size_t found = text.find(heading, at);
            ASSERT_NE(found, std::string::npos) << heading << "\n" << text;
            at = found;
        }
        EXPECT_EQ(text.find(headings[0]), 0u);
        // Every line ends in CR LF.
        EXPECT_EQ(count(text, "\n"), count(text, "\r\n"));
        // The walk found the crashing function's frame in this program.
        const std::string stack = text.substr(text.find("Call stack:"));
        EXPECT_GE(count(stack, "velk_shell_core_tests"), 2u) << stack;
    }
}

TEST(CrashHandler, TwoCrashesAppendTwoWholeReports) {
    velk::test::TempDir dir;
    const std::string report = dir.file("CrashReport.txt");
    crashInChild(report, writeThroughNull);
    const std::string first = readAll(report);
    crashInChild(report, divideByZero);
    const std::string both = readAll(report);
    ASSERT_EQ(both.substr(0, first.size()), first);
    const std::string second = both.substr(first.size());
    EXPECT_EQ(second.find("=========================================================\r\n"), 0u);
    EXPECT_NE(second.find("SIGFPE"), std::string::npos);
    EXPECT_EQ(count(both, "VELK 2.0=Crash=Report"), 2u);
    EXPECT_EQ(count(both, "Call stack:"), 2u);
}

// The walk over a made-up chain: frames are {saved frame pointer, return address}.
std::string walk(uintptr_t ip, uintptr_t fp) {
    int fds[2];
    EXPECT_EQ(::pipe(fds), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        CrashHandler::writeCallStack(fds[1], ip, fp);
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string out;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) out.append(buffer, size_t(n));
    ::close(fds[0]);
    ::waitpid(pid, nullptr, 0);
    return out;
}

size_t frameLines(const std::string& stack) {
    return count(stack, "\r\n ");
}

TEST(CrashHandler, CorruptFrameChainStopsTheWalk) {
    const auto code = reinterpret_cast<uintptr_t>(&writeThroughNull);
    void* page = ::mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(page, MAP_FAILED);
    alignas(16) static uint64_t frames[3][2];
    struct Case {
        uint64_t secondNext;  // where the second frame says the third is
        size_t lines;
    };
    const Case cases[] = {
        {uint64_t(reinterpret_cast<uintptr_t>(frames[2])), 3},      // sound: runs to the end
        {uint64_t(reinterpret_cast<uintptr_t>(frames[2])) + 4, 2},  // misaligned
        {uint64_t(reinterpret_cast<uintptr_t>(page)), 2},           // unreadable
        {uint64_t(reinterpret_cast<uintptr_t>(frames[1])), 2},      // points at itself
        {uint64_t(reinterpret_cast<uintptr_t>(frames[0])), 2},      // points downwards
    };
    for (const Case& c : cases) {
        frames[0][0] = uint64_t(reinterpret_cast<uintptr_t>(frames[1]));
        frames[0][1] = code;
        frames[1][0] = c.secondNext;
        frames[1][1] = code;
        frames[2][0] = 0;  // the end of the chain
        frames[2][1] = code;
        const std::string stack = walk(code, reinterpret_cast<uintptr_t>(frames[0]));
        EXPECT_EQ(frameLines(stack), c.lines) << stack;
        EXPECT_EQ(stack.find("Stack Overflow."), std::string::npos);
    }
    ::munmap(page, 4096);
}

TEST(CrashHandler, DeepChainEndsWithStackOverflowAfter200Frames) {
    const auto code = reinterpret_cast<uintptr_t>(&writeThroughNull);
    // Each frame lies above the one before it, as a real deep recursion's do.
    alignas(16) static uint64_t frames[250][2];
    for (size_t i = 0; i < 250; ++i) {
        frames[i][0] = i + 1 < 250 ? uint64_t(reinterpret_cast<uintptr_t>(frames[i + 1])) : 0;
        frames[i][1] = code;
    }
    const std::string stack = walk(code, reinterpret_cast<uintptr_t>(frames[0]));
    EXPECT_EQ(frameLines(stack), 200u);
    EXPECT_NE(stack.find("Stack Overflow.\r\n"), std::string::npos);
}

}  // namespace
}  // namespace velk::shell
