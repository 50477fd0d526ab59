// The live progress line as a pure function of the run's figures and the width.
#include "cli/live_line.h"

#include <gtest/gtest.h>

#include "cli/test_loader.h"

namespace velk::cli {
namespace {

bool has(const std::string& line, const std::string& part) {
    return line.find(part) != std::string::npos;
}

// The parts of "a|b|c".
std::vector<std::string> parts(const std::string& text) {
    std::vector<std::string> list;
    for (size_t start = 0, bar; !text.empty() && start <= text.size(); start = bar + 1) {
        bar = std::min(text.find('|', start), text.size());
        list.push_back(text.substr(start, bar - start));
    }
    return list;
}

TEST(LiveLine, ShowsWhatTheFiguresSayAndFitsTheWidth) {
    LiveFigures half;  // 10 users, 180 of 360 requests in 9 s at 20 per second
    half.elapsedMs = 9400;
    half.made = 180;
    half.total = 360;
    half.users = 10;
    half.rate = 20;
    LiveFigures script = half;  // a script drives the test: no total
    script.total = -1;
    LiveFigures stalled = half;  // nothing answered of late
    stalled.rate = 0;
    LiveFigures timed = half;  // bounded by 12 s: time ends it before the requests
    timed.maxtime = 12;
    LiveFigures later = half;  // 1.5 s after the last report
    later.reportAgeMs = 1500;
    LiveFigures starting = half;  // no progress report yet
    starting.made = 0;
    starting.rate = -1;
    LiveFigures counted = half;  // the engine's live counters are known
    counted.active = 7;
    counted.errors[0] = 1;
    counted.errors[1] = 3;
    counted.errors[2] = counted.errors[3] = 0;
    LiveFigures clean = counted;
    clean.errors[0] = clean.errors[1] = 0;
    LiveFigures hours = script;
    hours.elapsedMs = (3 * 3600 + 5 * 60 + 7) * 1000;
    struct Case {
        const char* name;
        LiveFigures figures;
        int width;
        const char *shown, *absent;  // parts separated by "|"
    } cases[] = {
        {"full", half, 120,
         "[#|--]| 50%|180/360 test-sequence requests  20.0/s|0:09 elapsed|0:09 left|10 users",
         "req/s"},
        {"narrow keeps the most telling", half, 50, " 50%|0:09 left|20.0 test-sequence req/s",
         "users|elapsed|[|requests"},
        {"narrower drops the estimate before the rate", half, 40, " 50%  20.0 test-sequence req/s",
         "left"},
        {"middle drops users and elapsed", half, 70,
         "[|180/360 test-sequence requests  20.0/s|0:09 left", "users|elapsed"},
        {"unknown total", script, 120, "180 script requests  20.0/s|10 users", "[|%|left"},
        {"unknown total, narrow", script, 30, "180 script requests  20.0/s", "users|elapsed"},
        {"zero rate has no estimate", stalled, 120, " 50%|requests  0.0/s", "left"},
        {"the estimate goes down between reports", later, 120, "0:08 left|0:09 elapsed", ""},
        {"time limit ends it first", timed, 120, " 78%|0:03 left", ""},
        {"before the first report", starting, 120, "  0%|0/360 test-sequence requests  --/s",
         "left"},
        {"hours", hours, 120, "3:05:07 elapsed", ""},
        {"no bar in plain lines", half, 0, " 50%|10 users|0:09 left", "[|]"},
        {"errors by class with their share", counted, 0,
         "4 errors (2.2%: network 1, HTTP 3)|7/10 users", "failed|time-out"},
        {"no errors", clean, 120, "0 errors|7/10 users", "("},
        {"errors outlast users and elapsed time", counted, 80, "4 errors|20.0 test-sequence req/s",
         "users|elapsed"},
    };
    for (const Case& c : cases) {
        const std::string line = renderLiveLine(c.figures, c.width, c.width > 0);
        for (const std::string& part : parts(c.shown))
            EXPECT_TRUE(has(line, part)) << c.name << ": " << part << " in " << line;
        for (const std::string& part : parts(c.absent))
            EXPECT_FALSE(has(line, part)) << c.name << ": " << part << " in " << line;
        if (c.width > 0) {
            EXPECT_LT(int(line.size()), c.width) << c.name << ": " << line;
        }
        EXPECT_EQ(line.find_first_of("\r\n\033"), std::string::npos) << c.name;
    }
}

TEST(LiveLine, TheBarFollowsTheFractionAndNeverOverflows) {
    LiveFigures f;
    f.total = 100;
    f.users = 1;
    for (int64_t made : {0, 50, 100, 250}) {
        f.made = made;
        const std::string line = renderLiveLine(f, 80, true);
        const size_t open = line.find('['), close = line.find(']');
        ASSERT_NE(close, std::string::npos) << line;
        const std::string inside = line.substr(open + 1, close - open - 1);
        const size_t filled = inside.find_first_not_of('#') == std::string::npos
                                  ? inside.size()
                                  : inside.find_first_not_of('#');
        EXPECT_EQ(int(filled), int(inside.size() * std::min<int64_t>(made, 100) / 100)) << line;
    }
    EXPECT_TRUE(has(renderLiveLine(f, 80, true), "100%"));
    // A terminal narrower than the shortest line gets none (a cut line would wrap);
    // from that width on the line always fits.
    int shortest = 0;
    for (int width = 1; width <= 80; ++width) {
        const std::string line = renderLiveLine(f, width, true);
        EXPECT_LT(int(line.size()), width) << width;
        if (!line.empty() && shortest == 0) shortest = width;
        if (shortest != 0) {
            EXPECT_FALSE(line.empty()) << width;
        }
    }
    EXPECT_GT(shortest, 1);
    EXPECT_TRUE(renderLiveLine(f, 3, true).empty());
}

// The time limit the progress bar counts towards, read as the engine reads it.
TEST(LiveLine, TheTimeLimitIsReadFromTheScriptAndSet) {
    struct Case {
        const char* script;
        std::vector<std::string> settings;
        int32_t maxtime;
    } cases[] = {
        {"clients=2\nmaxtime=90\n[a]\n", {}, 90}, {"[general]\nMaxTime=30s\n", {}, 30},
        {"maxtime=30\n[a]\nmaxtime=5\n", {}, 30}, {"maxtime=30\n", {"maxtime=45"}, 45},
        {"maxtime=$gvar(t,10)\n", {}, 0},         {"maxtime=99999999999\n", {}, INT32_MAX},
        {"requests=3\n", {"maxtimes=5"}, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(literalIntegerOption(c.script, c.settings, "maxtime"), c.maxtime) << c.script;
}

}  // namespace
}  // namespace velk::cli
