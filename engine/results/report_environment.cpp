#include "results/report_environment.h"

#include <pwd.h>
#include <unistd.h>

#include <ctime>
#include <vector>

namespace velk {
namespace {

// Names longer than this are cut, as the report has always done.
constexpr size_t kNameLimit = 511;

}  // namespace

LocalClock localClock(int64_t seconds) {
    time_t t = time_t(seconds);
    std::tm tm{};
    LocalClock c;
    if (!localtime_r(&t, &tm)) return c;
    c.year = tm.tm_year + 1900;
    c.month = tm.tm_mon + 1;
    c.day = tm.tm_mday;
    c.hour = tm.tm_hour;
    c.minute = tm.tm_min;
    c.second = tm.tm_sec;
    return c;
}

std::string ctimeText(int64_t seconds) {
    time_t t = time_t(seconds);
    char buffer[64];  // ctime_r needs 26
    if (!ctime_r(&t, buffer)) return "\n";
    return buffer;
}

std::string currentUserName() {
    long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(hint > 0 ? size_t(hint) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->pw_name)
        return {};
    std::string name = found->pw_name;
    if (name.size() > kNameLimit) name.resize(kNameLimit);
    return name;
}

std::string hostName() {
    char buffer[kNameLimit + 1] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0) return {};
    return buffer;
}

int64_t wallClockNow() {
    return int64_t(std::time(nullptr));
}

}  // namespace velk
