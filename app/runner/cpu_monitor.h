#pragma once
// CpuMonitor: the average load of the whole machine over a pass, from the
// idle and total times of /proc/stat.  Where /proc/stat cannot be read the
// load is 0 and never warns.
//
// Not thread-safe: the runner's worker owns its monitor.
#include <cstdint>
#include <string>
#include <string_view>

namespace velk::runner {

struct CpuTimes {
    bool valid = false;
    int32_t processors = 0;
    uint64_t total = 0;  // clock ticks of every state, all processors together
    uint64_t idle = 0;   // idle and waiting for input/output
};

class CpuMonitor {
public:
    // Loads above this are warned about.
    static constexpr double kWarningLoad = 95.0;

    // The readings of a /proc/stat text.
    static CpuTimes parse(std::string_view procStat);
    // Percent busy between two readings; 0 when less than 0.1 s passed or a
    // reading is missing.  ticksPerSecond is the kernel's clock-tick rate.
    static double load(const CpuTimes& from, const CpuTimes& to, int64_t ticksPerSecond);
    static bool isOverloaded(double load) { return load > kWarningLoad; }

    explicit CpuMonitor(std::string path = "/proc/stat") : m_path(std::move(path)) {}

    // The start of a measurement.
    void start();
    // The average load since the last start or average; its reading becomes
    // the start of the next measurement when it counted.
    double average();

private:
    CpuTimes read() const;

    std::string m_path;
    CpuTimes m_start;
};

}  // namespace velk::runner
