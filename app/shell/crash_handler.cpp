#include "app/shell/crash_handler.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "app/shell/signal_safe_writer.h"

namespace velk::shell {
namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];
constexpr int kMaxFrames = 200;
constexpr int kDumpWords = 50;
constexpr size_t kTextSize = 1024;
constexpr int kMaxArgs = 8;

// Everything the handler reads, prepared by install().
struct State {
    char reportPath[kTextSize] = {};
    char osText[kTextSize] = {};
    char module[kTextSize] = {};
    char offerStorage[kMaxArgs][kTextSize] = {};
    char* offerArgs[kMaxArgs + 1] = {};
    int probe[2] = {-1, -1};  // a pipe whose write() tells readable memory from not
    struct sigaction previous[kSignalCount] = {};
    bool installed = false;
};
State g_state;
volatile sig_atomic_t g_inHandler = 0;
alignas(16) char g_altStack[64 * 1024];

void copyText(char* to, const std::string& from) {
    const size_t n = from.size() < kTextSize - 1 ? from.size() : kTextSize - 1;
    std::memcpy(to, from.data(), n);
    to[n] = '\0';
}

const char* signalName(int sig) {
    switch (sig) {
        case SIGSEGV:
            return "SIGSEGV";
        case SIGBUS:
            return "SIGBUS";
        case SIGILL:
            return "SIGILL";
        case SIGFPE:
            return "SIGFPE";
        case SIGABRT:
            return "SIGABRT";
        default:
            return "";
    }
}

const char* codeName(int sig, int code) {
    switch (code) {
        case SI_USER:
            return "SI_USER";
        case SI_KERNEL:
            return "SI_KERNEL";
        case SI_QUEUE:
            return "SI_QUEUE";
        case SI_TKILL:
            return "SI_TKILL";
        default:
            break;
    }
    if (sig == SIGSEGV) {
        if (code == SEGV_MAPERR) return "SEGV_MAPERR";
        if (code == SEGV_ACCERR) return "SEGV_ACCERR";
    } else if (sig == SIGBUS) {
        if (code == BUS_ADRALN) return "BUS_ADRALN";
        if (code == BUS_ADRERR) return "BUS_ADRERR";
        if (code == BUS_OBJERR) return "BUS_OBJERR";
    } else if (sig == SIGFPE) {
        static const char* const kNames[] = {"",           "FPE_INTDIV", "FPE_INTOVF",
                                             "FPE_FLTDIV", "FPE_FLTOVF", "FPE_FLTUND",
                                             "FPE_FLTRES", "FPE_FLTINV", "FPE_FLTSUB"};
        if (code > 0 && code <= 8) return kNames[code];
    } else if (sig == SIGILL) {
        static const char* const kNames[] = {"",           "ILL_ILLOPC", "ILL_ILLOPN",
                                             "ILL_ILLADR", "ILL_ILLTRP", "ILL_PRVOPC",
                                             "ILL_PRVREG", "ILL_COPROC", "ILL_BADSTK"};
        if (code > 0 && code <= 8) return kNames[code];
    }
    return "";
}

// Reads one 8-byte word when it is readable, byte by byte (code and stack
// words need not be aligned) and past the sanitizers, whose red zones on the
// stack are exactly what the dumps look at.
__attribute__((no_sanitize("address", "undefined"))) bool readWord(uintptr_t address,
                                                                   uint64_t& word) {
    if (!CrashHandler::readable(address, sizeof word)) return false;
    word = 0;
    const auto* bytes = reinterpret_cast<const volatile unsigned char*>(address);
    for (int i = 7; i >= 0; --i) word = word << 8 | bytes[i];
    return true;
}

uint64_t parseHex(const char*& p, const char* end) {
    uint64_t v = 0;
    for (; p < end; ++p) {
        const char c = *p;
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            break;
        v = v << 4 | uint64_t(d);
    }
    return v;
}

// The module holding address and the address's offset in that file, from one
// line of /proc/self/maps: "start-end perms offset dev inode path".
bool moduleFromLine(const char* line, const char* end, uintptr_t address, uint64_t& offset,
                    const char*& path, size_t& pathLength) {
    const char* p = line;
    const uint64_t start = parseHex(p, end);
    if (p >= end || *p != '-') return false;
    ++p;
    const uint64_t stop = parseHex(p, end);
    if (address < start || address >= stop) return false;
    for (int field = 0; field < 2 && p < end; ++field) {  // perms, then the offset
        while (p < end && *p == ' ') ++p;
        if (field == 0) {
            while (p < end && *p != ' ') ++p;
        } else {
            offset = parseHex(p, end) + (address - start);
        }
    }
    for (int field = 0; field < 2 && p < end; ++field) {  // dev, inode
        while (p < end && *p == ' ') ++p;
        while (p < end && *p != ' ') ++p;
    }
    while (p < end && *p == ' ') ++p;
    path = p;
    pathLength = size_t(end - p);
    return true;
}

// Looks the address up in /proc/self/maps with open and read only.
void writeModule(SignalSafeWriter& out, uintptr_t address) {
    uint64_t offset = 0;
    char path[kTextSize];
    size_t pathLength = 0;
    bool found = false;
    const int fd = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        char buffer[4096];
        size_t have = 0;
        for (;;) {
            const ssize_t n = ::read(fd, buffer + have, sizeof buffer - have);
            if (n <= 0 && have == 0) break;
            if (n > 0) have += size_t(n);
            size_t lineStart = 0;
            for (size_t i = 0; i < have; ++i) {
                if (buffer[i] != '\n' && !(n <= 0 && i + 1 == have)) continue;
                const char* p = nullptr;
                size_t length = 0;
                const size_t lineEnd = buffer[i] == '\n' ? i : i + 1;
                if (moduleFromLine(buffer + lineStart, buffer + lineEnd, address, offset, p,
                                   length)) {
                    pathLength = length < sizeof path ? length : sizeof path - 1;
                    std::memcpy(path, p, pathLength);
                    found = true;
                    break;
                }
                lineStart = i + 1;
            }
            if (found || n <= 0) break;
            // Keep the unfinished line; a line longer than the buffer is dropped.
            if (lineStart == 0 && have == sizeof buffer) lineStart = have;
            std::memmove(buffer, buffer + lineStart, have - lineStart);
            have -= lineStart;
        }
        ::close(fd);
    }
    if (found) {
        out.hex(offset, 16).text(" ").text(path, pathLength);
    } else {
        out.hex(0, 16).text(" ");
    }
}

void writeDump(SignalSafeWriter& out, uintptr_t from, bool swap) {
    for (int i = 0; i < kDumpWords; ++i) {
        uint64_t word = 0;
        if (!readWord(from + uintptr_t(i) * 8, word)) break;
        if (swap) word = __builtin_bswap64(word);
        out.text("0x").hex(word, 16).text(" ");
    }
}

void writeReport(int fd, int sig, const siginfo_t* info, const ucontext_t* context) {
    SignalSafeWriter out(fd);
    out.text("=========================================================\r\n");
    out.text("===============VELK 2.0=Crash=Report============\r\n");
    out.text("=========================================================\r\n\r\n");
    out.text("OS : ").text(g_state.osText).text("\r\n");
    out.text("Module : ").text(g_state.module).text("\r\n");
    out.text("Built on Dec 27 2002\r\n");
    out.text("Signal: ").dec(sig).text(" ").text(signalName(sig));
    out.text(" (si_code ").dec(info ? info->si_code : 0).text(" ");
    out.text(info ? codeName(sig, info->si_code) : "").text(")\r\n");
    const greg_t* r = context ? context->uc_mcontext.gregs : nullptr;
    const uintptr_t ip = r ? uintptr_t(r[REG_RIP]) : 0;
    const uintptr_t sp = r ? uintptr_t(r[REG_RSP]) : 0;
    const uintptr_t fp = r ? uintptr_t(r[REG_RBP]) : 0;
    out.text("Fault address:  ").hex(ip, 16).text(" ");
    writeModule(out, ip);
    out.text("\r\n");
    if (info && info->si_code > 0 && (sig == SIGSEGV || sig == SIGBUS))
        out.text("Access address: ").hex(uintptr_t(info->si_addr), 16).text("\r\n");
    out.flush();
    if (r) {
        out.text("\r\nRegisters:\r\n");
        static const struct {
            const char* name;
            int reg;
        } kRegs[] = {{"RAX", REG_RAX}, {"RBX", REG_RBX}, {"RCX", REG_RCX}, {"RDX", REG_RDX},
                     {"RSI", REG_RSI}, {"RDI", REG_RDI}, {"R8", REG_R8},   {"R9", REG_R9},
                     {"R10", REG_R10}, {"R11", REG_R11}, {"R12", REG_R12}, {"R13", REG_R13},
                     {"R14", REG_R14}, {"R15", REG_R15}};
        for (const auto& reg : kRegs)
            out.text(reg.name).text(":").hex(uint64_t(r[reg.reg]), 16).text("\r\n");
        const uint64_t segments = uint64_t(r[REG_CSGSFS]);
        out.text("CS:RIP:").hex(segments & 0xFFFF, 4).text(":").hex(ip, 16).text("\r\n");
        out.text("RSP:").hex(sp, 16).text("  RBP:").hex(fp, 16).text("\r\n");
        out.text("FS:").hex((segments >> 32) & 0xFFFF, 4);
        out.text("  GS:").hex((segments >> 16) & 0xFFFF, 4).text("\r\n");
        out.text("Flags:").hex(uint64_t(r[REG_EFL]), 8).text("\r\n");
        out.text("\r\nRSP dump:\r\n");
        writeDump(out, sp, false);
        out.text("\r\n\r\nRBP dump:\r\n");
        writeDump(out, fp, false);
        out.text("\r\n");
        out.text("\r\nIP dump:\r\n");
        writeDump(out, ip, true);
        out.text("\r\n");
        out.flush();
    }
    CrashHandler::writeCallStack(fd, ip, fp);
    out.text("\r\n");
}

// A fresh process offers to mail the report: this one is in no state to show
// windows.  A raw clone runs no fork handlers, which may not be signal-safe.
void startOffer() {
    if (!g_state.offerArgs[0]) return;
    const long pid = ::syscall(SYS_clone, SIGCHLD, 0, 0, 0, 0);
    if (pid == 0) {
        ::execve(g_state.offerArgs[0], g_state.offerArgs, environ);
        ::_exit(127);
    }
}

void handleSignal(int sig, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    int index = 0;
    while (index < kSignalCount && kSignals[index] != sig) ++index;
    if (!g_inHandler) {
        g_inHandler = 1;
        const int fd =
            ::open(g_state.reportPath, O_WRONLY | O_CREAT | O_APPEND | O_SYNC | O_CLOEXEC, 0644);
        if (fd >= 0) {
            writeReport(fd, sig, info, static_cast<const ucontext_t*>(context));
            ::close(fd);
            startOffer();
        }
    }
    // Now what would have happened without us: the handler from before, or
    // the default action once this handler returns.
    // A fault the kernel reported happens again when this handler returns, and
    // reaches that handler with its real details; a sent signal is sent again.
    if (index < kSignalCount) ::sigaction(sig, &g_state.previous[index], nullptr);
    if (!info || info->si_code <= 0) ::raise(sig);
    errno = savedErrno;
}

}  // namespace

bool CrashHandler::readable(uintptr_t address, size_t size) {
    if (address == 0 || size == 0 || size > 64) return false;
    if (g_state.probe[1] < 0 && ::pipe2(g_state.probe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_state.probe[0] = g_state.probe[1] = -1;
        return false;
    }
    // The raw system call: the kernel checks the address, and no sanitizer's
    // interceptor looks at the bytes first.
    const long n = ::syscall(SYS_write, g_state.probe[1], address, size);
    if (n <= 0) return false;
    char sink[64];
    while (::read(g_state.probe[0], sink, sizeof sink) > 0) {
    }
    return size_t(n) == size;
}

void CrashHandler::writeCallStack(int fd, uintptr_t ip, uintptr_t fp) {
    SignalSafeWriter out(fd);
    out.text("\r\nCall stack:\r\n");
    out.text("Address           Frame             Logical addr      Module\r\n");
    for (int frame = 0;; ++frame) {
        if (frame == kMaxFrames) {
            out.text("Stack Overflow.").text("\r\n");
            break;
        }
        if (!readable(ip, 1) || !readable(fp, 16)) break;
        out.text(" ").hex(ip, 16).text(" ").hex(fp, 16).text("  ");
        writeModule(out, ip);
        out.text("\r\n");
        out.flush();
        uint64_t next = 0, returnAddress = 0;
        readWord(fp, next);
        readWord(fp + 8, returnAddress);
        // The stack grows downwards: a caller's frame lies above its callee's.
        // A frame that points at itself or below is a broken chain, not a
        // deep one.
        if (next <= uint64_t(fp) || next % 8 != 0 || !readable(uintptr_t(next), 16)) break;
        ip = uintptr_t(returnAddress);
        fp = uintptr_t(next);
    }
}

bool CrashHandler::install(const Options& options) {
    copyText(g_state.reportPath, options.reportPath);
    copyText(g_state.osText, options.osText);
    const ssize_t n = ::readlink("/proc/self/exe", g_state.module, kTextSize - 1);
    g_state.module[n > 0 ? n : 0] = '\0';
    int count = 0;
    for (const std::string& arg : options.offerCommand) {
        if (count == kMaxArgs) break;
        copyText(g_state.offerStorage[count], arg);
        g_state.offerArgs[count] = g_state.offerStorage[count];
        ++count;
    }
    g_state.offerArgs[count] = nullptr;
    if (g_state.probe[0] < 0 && ::pipe2(g_state.probe, O_CLOEXEC | O_NONBLOCK) != 0)
        g_state.probe[0] = g_state.probe[1] = -1;

    stack_t stack{};
    stack.ss_sp = g_altStack;
    stack.ss_size = sizeof g_altStack;
    ::sigaltstack(&stack, nullptr);
    struct sigaction action {};
    action.sa_sigaction = handleSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    ::sigemptyset(&action.sa_mask);
    bool ok = true;
    for (int i = 0; i < kSignalCount; ++i) {
        struct sigaction previous {};
        if (::sigaction(kSignals[i], &action, &previous) != 0) {
            ok = false;
            continue;
        }
        if (!g_state.installed) g_state.previous[i] = previous;
    }
    g_state.installed = true;
    return ok;
}

void CrashHandler::uninstall() {
    if (!g_state.installed) return;
    for (int i = 0; i < kSignalCount; ++i) ::sigaction(kSignals[i], &g_state.previous[i], nullptr);
    g_state.installed = false;
}

}  // namespace velk::shell
