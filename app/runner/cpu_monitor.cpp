#include "app/runner/cpu_monitor.h"

#include <unistd.h>

#include <charconv>
#include <fstream>
#include <iterator>
#include <vector>

namespace velk::runner {
namespace {

std::string_view nextLine(std::string_view& text) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    return line;
}

// The numbers after the line's first word.
std::vector<uint64_t> fields(std::string_view line) {
    std::vector<uint64_t> values;
    size_t pos = line.find(' ');
    while (pos != std::string_view::npos && pos < line.size()) {
        pos = line.find_first_not_of(' ', pos);
        if (pos == std::string_view::npos) break;
        uint64_t v = 0;
        auto [end, ec] = std::from_chars(line.data() + pos, line.data() + line.size(), v);
        if (ec != std::errc()) break;
        values.push_back(v);
        pos = size_t(end - line.data());
    }
    return values;
}

}  // namespace

CpuTimes CpuMonitor::parse(std::string_view procStat) {
    CpuTimes t;
    while (!procStat.empty()) {
        std::string_view line = nextLine(procStat);
        if (line.starts_with("cpu ")) {
            // user nice system idle iowait irq softirq steal (guest time is
            // already counted in user and nice).
            const std::vector<uint64_t> v = fields(line);
            if (v.size() < 4) return CpuTimes{};
            for (size_t i = 0; i < v.size() && i < 8; ++i) t.total += v[i];
            t.idle = v[3] + (v.size() > 4 ? v[4] : 0);
            t.valid = true;
        } else if (line.starts_with("cpu")) {
            ++t.processors;
        }
    }
    if (t.processors == 0) t.processors = 1;
    return t;
}

double CpuMonitor::load(const CpuTimes& from, const CpuTimes& to, int64_t ticksPerSecond) {
    if (!from.valid || !to.valid || to.total < from.total || to.idle < from.idle) return 0;
    const uint64_t passed = to.total - from.total;
    // Wall time is the sum over all processors divided by their number.
    if (ticksPerSecond <= 0 || double(passed) / to.processors < double(ticksPerSecond) / 10.0)
        return 0;
    const uint64_t idle = to.idle - from.idle;
    return 100.0 - double(idle) / double(passed) * 100.0;
}

CpuTimes CpuMonitor::read() const {
    std::ifstream in(m_path, std::ios::binary);
    if (!in) return CpuTimes{};
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return parse(text);
}

void CpuMonitor::start() {
    m_start = read();
}

double CpuMonitor::average() {
    const CpuTimes now = read();
    const int64_t ticks = sysconf(_SC_CLK_TCK);
    const double result = load(m_start, now, ticks);
    // A measurement too short to count goes on from the same start.
    if (now.valid && m_start.valid && now.total >= m_start.total &&
        double(now.total - m_start.total) / now.processors >= double(ticks) / 10.0)
        m_start = now;
    return result;
}

}  // namespace velk::runner
