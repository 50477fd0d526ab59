#pragma once
// A finished run built by hand: options, times, shared counters and users, from
// which a ReportInput is made; plus a writer that collects the report text.
#include <stdlib.h>
#include <time.h>

#include <memory>
#include <string>
#include <vector>

#include "results/report_input.h"
#include "results/report_writer.h"

namespace velk::test {

struct RunFixture {
    GeneralOptions options;
    RunTimes times;
    HttpCounters counters;
    ErrorCounters errors;
    std::vector<std::string> names;
    std::vector<std::unique_ptr<UserRecord>> users;
    std::string currentServer = "localhost";
    bool scriptDriven = false;

    RunFixture() { options.reportinfo = 0; }

    UserRecord& addUser(ResultMode mode) {
        auto user = std::make_unique<UserRecord>();
        user->results.prepare(mode, int32_t(names.size()), options.requests,
                              options.timestamp == 1);
        users.push_back(std::move(user));
        return *users.back();
    }

    ReportInput input() const {
        std::vector<const UserRecord*> pointers;
        for (const auto& u : users) pointers.push_back(u.get());
        return ReportInput{options, options.projectname, names,       pointers, times, counters,
                           errors,  currentServer,       scriptDriven};
    }
};

// Collects every piece the report hands to its writer.
struct TextSink {
    std::string text;
    int pieces = 0;
    static void write(void* self, const char* piece) {
        auto* sink = static_cast<TextSink*>(self);
        sink->text += piece;
        ++sink->pieces;
    }
};

// Clock times in the report are local; tests read them in UTC.
inline void useUtc() {
    setenv("TZ", "UTC", 1);
    tzset();
}

}  // namespace velk::test
