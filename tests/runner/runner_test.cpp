// The runner controller against the real engine and a loopback server: single
// passes in both result forms, cycling with its exact messages, stops during a
// pass and during a pause, a script that does not parse, the CPU-load formula.
#include "app/runner/runner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "app/runner/cpu_monitor.h"
#include "support/test_http_server.h"

namespace velk::runner {
namespace {

using namespace std::chrono_literals;

// Records what the runner tells the window and lets a test wait for the end.
class EventLog : public RunnerEvents {
public:
    void progress(int32_t position, int32_t range, const std::string& label) override {
        std::lock_guard lock(m_mutex);
        m_progress.push_back(std::to_string(position) + "/" + std::to_string(range) + " " + label);
    }
    void firstBatchPassCollected() override {
        std::lock_guard lock(m_mutex);
        ++m_firstPasses;
    }
    void runFinished(bool stopped) override {
        std::lock_guard lock(m_mutex);
        m_finished.push_back(stopped);
        m_changed.notify_all();
    }
    void passStarting(TestSet*) override {
        std::lock_guard lock(m_mutex);
        m_passes.push_back("start");
        if (stopAtStart) stopAtStart();
    }
    void passEnded(TestSet* set, const PassEnd& end) override {
        std::lock_guard lock(m_mutex);
        m_passes.push_back(end.title + " result=" + std::to_string(end.result) +
                           (end.stopped ? " stopped" : "") + (end.last ? " last" : "") +
                           (end.cycle ? " value=" + std::to_string(end.cycle->value) : "") +
                           (GetResults(set, 0) != nullptr ? " results" : ""));
    }
    std::vector<std::string> passes() const {
        std::lock_guard lock(m_mutex);
        return m_passes;
    }
    std::function<void()> stopAtStart;
    void output(int32_t level, std::string_view text) {
        std::lock_guard lock(m_mutex);
        m_lines.push_back(std::to_string(level) + " " + std::string(text));
        m_changed.notify_all();
    }
    // Bounded: a run that never ends fails the test instead of hanging it.
    bool waitFinished() {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, 120s, [this] { return !m_finished.empty(); });
    }
    bool waitForLine(const std::string& line) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, 60s, [&] {
            return std::find(m_lines.begin(), m_lines.end(), line) != m_lines.end();
        });
    }
    // The runner's own messages, without the engine's.
    std::vector<std::string> runnerLines() const {
        static const char* const kOwn[] = {"Cycling:",       "Running...",   "Finished",
                                           "Waiting",        "All tasks",    "Process was",
                                           "Errors occured", "Failed to set"};
        std::lock_guard lock(m_mutex);
        std::vector<std::string> own;
        for (const std::string& line : m_lines)
            for (const char* prefix : kOwn)
                if (line.compare(2, std::string_view(prefix).size(), prefix) == 0)
                    own.push_back(line);
        return own;
    }
    std::vector<bool> finished() const {
        std::lock_guard lock(m_mutex);
        return m_finished;
    }
    int firstPasses() const {
        std::lock_guard lock(m_mutex);
        return m_firstPasses;
    }
    std::vector<std::string> progressSeen() const {
        std::lock_guard lock(m_mutex);
        return m_progress;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_lines, m_progress, m_passes;
    int m_firstPasses = 0;
    std::vector<bool> m_finished;
};

class RunnerTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_runner.initialize();
        m_runner.setOutputTarget(
            [this](int32_t level, std::string_view text) { m_events.output(level, text); },
            nullptr);
    }
    std::string script(const std::string& extra = "") const {
        return "[general]\nclients=2\nrequests=3\nserver=127.0.0.1\nport=" +
               std::to_string(m_server.port()) + "\ndelaystart=0\n" + extra + "\n[home]\n$uri=/\n";
    }

    velk::test::TestHttpServer m_server;
    EventLog m_events;
    Runner m_runner;
};

TEST_F(RunnerTest, SinglePassIsCollectedInBothForms) {
    std::weak_ptr<const velk::results::CResultsStore> earlier;
    for (const bool summary : {false, true}) {
        EventLog events;
        m_runner.setOutputTarget(
            [&](int32_t level, std::string_view text) { events.output(level, text); }, nullptr);
        ASSERT_TRUE(m_runner.start(script(summary ? "nodetails=1" : ""), "shop", {}, &events));
        ASSERT_TRUE(events.waitFinished());
        m_runner.stop();
        EXPECT_EQ(events.finished(), std::vector<bool>{false});
        EXPECT_EQ(events.runnerLines(),
                  (std::vector<std::string>{"0 Running...", "0 Finished \"shop\"",
                                            "0 All tasks finished\r\n"}));
        EXPECT_EQ(events.firstPasses(), 0);
        EXPECT_EQ(events.progressSeen().at(0), "0/0 Running...");
        EXPECT_FALSE(m_runner.isRunning());

        ASSERT_EQ(m_runner.results().count(), 1);
        const auto record = m_runner.results().get(0);
        EXPECT_EQ(record->runNumber, summary ? 2 : 1);
        // The second run's worker released the first run's pass.
        if (summary) {
            EXPECT_TRUE(earlier.expired());
        }
        earlier = record;
        EXPECT_EQ(record->title.substr(5), " - shop");
        EXPECT_EQ(record->sequenceLength, 1);
        EXPECT_EQ(record->entryNames, std::vector<std::string>{"home"});
        EXPECT_EQ(record->totalRequests, 6);
        EXPECT_EQ(record->batchNumber, 0);
        EXPECT_NE(record->report.find("\r\n"), std::string::npos);
        for (size_t i = 0; i < record->report.size(); ++i) {
            if (record->report[i] == '\n') {
                ASSERT_EQ(record->report[i - 1], '\r');
            }
        }
        if (summary) {
            EXPECT_EQ(record->summaryForm, 1);
            EXPECT_EQ(record->users, 1);
            ASSERT_EQ(record->timings.size(), 1u);
            ASSERT_EQ(record->timings[0].size(), 1u);
            ASSERT_EQ(record->timings[0][0].size(), 5u);
            EXPECT_EQ(record->timings[0][0][2], 6);  // the count of the entry's requests
            EXPECT_EQ(record->timings[0][0][4], 0);
        } else {
            EXPECT_EQ(record->users, 2);
            EXPECT_EQ(record->iterations, 3);
            ASSERT_EQ(record->timings.size(), 2u);
            for (const auto& row : record->timings) {
                ASSERT_EQ(row.size(), 1u);
                ASSERT_EQ(row[0].size(), 3u);
                for (int32_t v : row[0]) EXPECT_GE(v, 0);
            }
        }
    }
}

TEST_F(RunnerTest, CyclingRunsEveryPassWithItsMessages) {
    struct Case {
        int32_t from, to, step;
        bool byIterations, pause;
        std::vector<int32_t> values;
    };
    const Case cases[] = {
        {1, 3, 1, false, true, {1, 2, 3}},
        {10, 1, -3, true, false, {10, 7, 4, 1}},
        {1, 10, -1, false, false, {1}},
        {2, 9, 0, false, false, {2}},
    };
    m_runner.setPauseSliceMs(20);
    for (const Case& c : cases) {
        EventLog events;
        m_runner.setOutputTarget(
            [&](int32_t level, std::string_view text) { events.output(level, text); }, nullptr);
        const int32_t batch = m_runner.batchNumber();
        CycleSettings cycle{true, c.byIterations, c.from, c.to, c.step, c.pause, 1};
        ASSERT_TRUE(m_runner.start(script(), "shop", cycle, &events));
        ASSERT_TRUE(events.waitFinished());
        m_runner.stop();
        const std::string label = c.byIterations ? "Iterations" : "Virtual users";
        std::vector<std::string> expected;
        for (size_t i = 0; i < c.values.size(); ++i) {
            const std::string value = label + "=" + std::to_string(c.values[i]);
            expected.push_back("0 Cycling: " + value);
            if (i > 0 && c.pause) expected.push_back("0 Waiting 1 second...");
            expected.push_back("0 Running...");
            expected.push_back("0 Finished \"shop - " + value + "\"");
        }
        expected.push_back("0 All tasks finished\r\n");
        EXPECT_EQ(events.runnerLines(), expected) << c.from << ".." << c.to;
        EXPECT_EQ(events.finished(), std::vector<bool>{false});
        EXPECT_EQ(events.firstPasses(), 1);
        EXPECT_EQ(m_runner.batchNumber(), batch + 1);

        ASSERT_EQ(m_runner.results().count(), int32_t(c.values.size()));
        for (size_t i = 0; i < c.values.size(); ++i) {
            const auto r = m_runner.results().get(int32_t(i));
            EXPECT_EQ(r->cycleValue, c.values[i]);
            EXPECT_EQ(r->cycleLabel, label);
            EXPECT_EQ(r->batchNumber, batch + 1);
            EXPECT_EQ(c.byIterations ? r->iterations : r->users, c.values[i]);
        }
    }
}

// velkrun's way: the host parsed the set, owns the engine's callbacks, keeps
// its own records and runs the passes on its own thread.
TEST_F(RunnerTest, AHostsParsedSetRunsOnTheCallersThreadAndTheHostHearsEachPass) {
    for (const bool stopFirst : {false, true}) {
        Runner host;
        host.initialize(Runner::kHostEngine);
        EventLog events;
        host.setOutputTarget(
            [&](int32_t level, std::string_view text) { events.output(level, text); }, nullptr);
        if (stopFirst) events.stopAtStart = [&host] { host.requestStop(); };
        TestSet* set = CreateTestSet();
        ASSERT_TRUE(ParseTest(set, "host", script().c_str()));
        const CycleSettings cycle{true, false, 1, 2, 1, false, 0};
        ASSERT_TRUE(host.run(set, "shop", cycle, &events));
        // run() returns once the run has ended.
        EXPECT_EQ(events.finished(), std::vector<bool>{stopFirst});
        EXPECT_FALSE(host.isRunning());
        EXPECT_EQ(host.results().count(), 0);
        const std::vector<std::string> expected =
            stopFirst ? std::vector<std::string>{"start",
                                                 "shop - Virtual users=1 result=0 "
                                                 "stopped last value=1"}
                      : std::vector<std::string>{
                            "start", "shop - Virtual users=1 result=1 value=1 results", "start",
                            "shop - Virtual users=2 result=1 last value=2 results"};
        EXPECT_EQ(events.passes(), expected);
        EXPECT_EQ(events.runnerLines().back(), "0 All tasks finished\r\n");
    }
}

TEST_F(RunnerTest, StopDuringAPassEndsAsStoppedWithoutResults) {
    // Shared with the server's threads, which may still answer after the test.
    struct Gate {
        std::mutex mutex;
        std::condition_variable released;
        bool release = false;
    };
    const auto gate = std::make_shared<Gate>();
    m_server.setHandler([gate](const velk::test::ReceivedRequest&, velk::test::Responder& r) {
        std::unique_lock lock(gate->mutex);
        // Answers late, whether or not the engine ends its wait at the abort.
        gate->released.wait_for(lock, 1500ms, [&] { return gate->release; });
        r.respond(200, "late", "");
    });
    ASSERT_TRUE(m_runner.start(script(), "shop", {}, &m_events));
    ASSERT_TRUE(m_server.waitForRequests(1, 30000));
    m_runner.stop();
    {
        std::lock_guard lock(gate->mutex);
        gate->release = true;
    }
    gate->released.notify_all();
    EXPECT_FALSE(m_runner.isRunning());
    EXPECT_EQ(m_events.finished(), std::vector<bool>{true});
    const auto lines = m_events.runnerLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "1 Process was terminated by user"), 1);
    EXPECT_EQ(lines.back(), "0 All tasks finished\r\n");
    EXPECT_EQ(m_runner.results().count(), 0);
}

TEST_F(RunnerTest, StopDuringThePauseKeepsTheFinishedPasses) {
    CycleSettings cycle{true, false, 1, 5, 1, true, 600};
    ASSERT_TRUE(m_runner.start(script(), "shop", cycle, &m_events));
    ASSERT_TRUE(m_events.waitForLine("0 Waiting 600 seconds..."));
    m_runner.stop();
    EXPECT_EQ(m_events.finished(), std::vector<bool>{false});
    const auto lines = m_events.runnerLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "1 Process was terminated by user"), 1);
    EXPECT_EQ(m_runner.results().count(), 1);
}

// The live reading while a pass runs: server errors counted by class, users
// running of all, requests of the expected total; nothing once the run ends.
TEST_F(RunnerTest, LiveReadingFollowsARunningPass) {
    EXPECT_FALSE(m_runner.liveReading().running);
    m_server.setHandler([](const velk::test::ReceivedRequest&, velk::test::Responder& r) {
        std::this_thread::sleep_for(300ms);
        r.respond(500, "no", "");
    });
    // Errors do not end a user's pass: the run lasts about a second.
    ASSERT_TRUE(m_runner.start(script("ignoreerrors=1"), "shop", {}, &m_events));
    LiveReading seen;
    // Bounded: 600 looks 50 ms apart.
    for (int i = 0; i < 600 && m_runner.isRunning(); ++i) {
        const LiveReading r = m_runner.liveReading();
        if (r.running && r.made >= 1 && r.errors[1] >= 1) {
            seen = r;
            break;
        }
        std::this_thread::sleep_for(50ms);
    }
    ASSERT_TRUE(seen.running);
    EXPECT_EQ(seen.users, 2);
    EXPECT_EQ(seen.total, 6);
    EXPECT_LE(seen.usersActive, 2);
    EXPECT_EQ(seen.errors[0] + seen.errors[2] + seen.errors[3], 0);
    EXPECT_EQ(seen.pass, 0);
    EXPECT_GE(seen.elapsedMs, 0);
    ASSERT_TRUE(m_events.waitFinished());
    m_runner.stop();
    EXPECT_FALSE(m_runner.liveReading().running);
}

TEST_F(RunnerTest, LiveReadingNamesThePassAndTheNextBetweenPasses) {
    CycleSettings cycle{true, false, 1, 3, 1, true, 600};
    ASSERT_TRUE(m_runner.start(script(), "shop", cycle, &m_events));
    ASSERT_TRUE(m_events.waitForLine("0 Waiting 600 seconds..."));
    const LiveReading r = m_runner.liveReading();
    EXPECT_TRUE(r.running);
    EXPECT_TRUE(r.pausing);
    EXPECT_EQ(r.pass, 1);
    EXPECT_EQ(r.passValue, 1);
    EXPECT_EQ(r.nextValue, 2);
    m_runner.stop();
}

TEST_F(RunnerTest, ScriptThatDoesNotParseStartsNothing) {
    m_runner.results().add(std::make_shared<velk::results::CResultsStore>());
    EXPECT_FALSE(
        m_runner.start("[general]\nclients=2\n[home]\n$fail=(unclosed\n", "bad", {}, &m_events));
    EXPECT_FALSE(m_runner.isRunning());
    EXPECT_TRUE(m_events.finished().empty());
    EXPECT_TRUE(m_events.runnerLines().empty());
    EXPECT_EQ(m_server.requestCount(), 0);
    // The list of the last run stays.
    EXPECT_EQ(m_runner.results().count(), 1);
    // And the next run starts as usual.
    ASSERT_TRUE(m_runner.start(script(), "shop", {}, &m_events));
    ASSERT_TRUE(m_events.waitFinished());
}

// The expected count is every entry of the test sequence, for every user and
// iteration, from the pass's first moment (the engine reports progress only
// every two seconds), in single and batch runs, capped by the request limit.
TEST_F(RunnerTest, LiveTotalCountsEverySequenceEntryFromTheStart) {
    const std::string sequence = "[a]\n$uri=/a\n[b]\n$uri=/b\n[testseq]\nhome\na\nb\na\n";
    // Answers slow enough that the pass is still going when it is read.
    m_server.setHandler([](const velk::test::ReceivedRequest&, velk::test::Responder& r) {
        std::this_thread::sleep_for(100ms);
        r.respond(200, "ok", "");
    });
    const struct {
        const char* what;
        CycleSettings cycle;
        int64_t limit;
        int64_t total;
    } cases[] = {
        {"single", {}, 0, 2 * 3 * 4},
        {"batch, first pass of 1 user", {true, false, 1, 2, 1, false, 0}, 0, 1 * 3 * 4},
        {"request limit", {}, 10, 10},
    };
    for (const auto& c : cases) {
        EventLog events;
        m_runner.setRequestLimit(c.limit);
        ASSERT_TRUE(m_runner.start(script() + sequence, "shop", c.cycle, &events)) << c.what;
        const LiveReading first = m_runner.liveReading();
        ASSERT_TRUE(events.waitFinished()) << c.what;
        m_runner.stop();
        EXPECT_TRUE(first.running) << c.what;
        EXPECT_EQ(first.total, c.total) << c.what;
    }
    m_runner.setRequestLimit(0);
}

// Verify Scenario runs a test set of its own through the process's progress
// callback: the window's progress bar is not the runner's to show it on.
TEST_F(RunnerTest, ProgressOfATestSetRunOutsideTheRunnerIsNotShown) {
    ASSERT_TRUE(m_runner.start(script(), "shop", {}, &m_events));
    ASSERT_TRUE(m_events.waitFinished());
    m_runner.stop();
    const size_t seen = m_events.progressSeen().size();
    TestSet* other = CreateTestSet();
    ASSERT_NE(other, nullptr);
    ASSERT_EQ(ParseTest(other, "verify", script().c_str()), 1);
    EXPECT_EQ(RunTest(other), 1);
    FreeTestSet(other);
    EXPECT_EQ(m_events.progressSeen().size(), seen);
}

// A pass that reached no server says why, for each place it sends to.
TEST_F(RunnerTest, APassThatReachesNoServerSaysWhy) {
    const std::string initial = "[login]\n$uri=/login\n[initseq]\nlogin\n";
    int32_t port = 0;
    {
        // A loopback port that nothing listens on any more.
        velk::test::TestHttpServer closed;
        port = closed.port();
    }
    std::string text = script(initial);
    text.replace(text.find("port=" + std::to_string(m_server.port())),
                 5 + std::to_string(m_server.port()).size(), "port=" + std::to_string(port));
    m_runner.setReachTargets({{"127.0.0.1", port, false}});
    ASSERT_TRUE(m_runner.start(text, "shop", {}, &m_events));
    ASSERT_TRUE(m_events.waitFinished());
    m_runner.stop();
    m_runner.setReachTargets({});
    EXPECT_TRUE(
        m_events.waitForLine("1 No request reached the server. Connection refused by "
                             "127.0.0.1:" +
                             std::to_string(port) + ": no server listens there."));
}

TEST(RunnerProgress, PositionNeverPassesTheTotal) {
    int32_t position = -1;
    EXPECT_EQ(Runner::progressLabel(150, 100, position), "Request: 100/100");
    EXPECT_EQ(position, 100);
    EXPECT_EQ(Runner::progressLabel(3, 100, position), "Request: 3/100");
    EXPECT_EQ(position, 3);
}

TEST(CpuMonitor, LoadOfTwoReadings) {
    const char* const first =
        "cpu  100 0 100 700 100 0 0 0 0 0\ncpu0 50 0 50 350 50 0 0 0 0 0\n"
        "cpu1 50 0 50 350 50 0 0 0 0 0\nintr 1 2 3\n";
    // 200 ticks pass on two processors (1 s at 100 ticks a second); 40 idle.
    const char* const second =
        "cpu  180 0 180 730 110 0 0 0 0 0\ncpu0 90 0 90 365 55 0 0 0 0 0\n"
        "cpu1 90 0 90 365 55 0 0 0 0 0\n";
    const CpuTimes a = CpuMonitor::parse(first), b = CpuMonitor::parse(second);
    EXPECT_EQ(a.processors, 2);
    EXPECT_DOUBLE_EQ(CpuMonitor::load(a, b, 100), 80.0);
    // Less than 0.1 s: 0.
    EXPECT_EQ(CpuMonitor::load(a, b, 2000), 0.0);
    EXPECT_EQ(CpuMonitor::load(CpuTimes{}, b, 100), 0.0);
    EXPECT_EQ(CpuMonitor::parse("garbage").valid, false);
    EXPECT_FALSE(CpuMonitor::isOverloaded(95.0));
    EXPECT_TRUE(CpuMonitor::isOverloaded(95.01));
}

}  // namespace
}  // namespace velk::runner
