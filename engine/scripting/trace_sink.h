#pragma once
// Developer traces of the script host: every operation of the host and of the
// velk object, and every failure of the host, as text lines.  They go to
// standard error only when the environment variable VELK_TRACE is set, and
// nowhere otherwise.
//
// Safe from any thread; a line is written with one call, so lines of different
// users do not mix within a line.
namespace velk {

class TraceSink {
public:
    // True when VELK_TRACE is set (read once per process).
    static bool enabled();
    // Writes text as given (callers end it with "\n").
    static void write(const char* text);
};

}  // namespace velk
