#pragma once
// CrashHandler: when the program dies of SIGSEGV, SIGBUS, SIGILL, SIGFPE or
// SIGABRT, appends a plain-text crash report ("\r\n" line ends) to the report
// file, starts a fresh process that offers to mail it, and then lets the
// signal take its default action (or the handler installed before), so exit
// status and core dumps are as without VELK.
//
// The report: headings, operating system, program, signal with its si_code,
// fault address with module and offset (from /proc/self/maps), the x86-64
// registers, stack and code dumps, and the call stack walked through the
// frame-pointer chain, each frame checked against readable memory; the walk
// ends at an unreadable or misaligned frame or one that does not lie above
// the frame before it, and after 200 frames with "Stack Overflow.".
//
// The handler runs on its own alternate stack and uses only async-signal-safe
// calls (open, write, read, close, sigaction, raise, and a raw clone + execve
// for the mail offer).  Everything it needs is computed at install().  One
// handler per process; install() and uninstall() from the main thread.
#include <cstdint>
#include <string>
#include <vector>

namespace velk::shell {

class CrashHandler {
public:
    struct Options {
        std::string reportPath;  // appended to, made when missing
        std::string osText;      // "Linux 6.1.0 (Debian GNU/Linux 12 (bookworm))"
        // The program started after the report is written, with these
        // arguments (argv[0] first); none when empty.
        std::vector<std::string> offerCommand;
    };

    // Installs the handlers on an alternate stack; false when a handler could
    // not be installed.
    static bool install(const Options& options);
    // Puts back the handlers that were there before install().
    static void uninstall();

    // The call-stack part of the report for a frame chain starting at ip and
    // fp, written to fd (the report's own walk, usable on any chain).
    static void writeCallStack(int fd, uintptr_t ip, uintptr_t fp);
    // Whether size bytes at address can be read, without touching them.
    static bool readable(uintptr_t address, size_t size);
};

}  // namespace velk::shell
