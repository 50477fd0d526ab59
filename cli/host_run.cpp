#include "cli/host_run.h"

#include <utility>

namespace velk::cli {
namespace {

// Passes the runner's events on, and stops the run at a pass's start when a
// signal came before the runner could take it.
class SignalledEvents : public runner::RunnerEvents {
public:
    SignalledEvents(PassEvents& host, const InterruptWatcher& watcher, runner::Runner& runner)
        : m_host(host), m_watcher(watcher), m_runner(runner) {}

    void progress(int32_t position, int32_t range, const std::string& label) override {
        m_host.progress(position, range, label);
    }
    void firstBatchPassCollected() override { m_host.firstBatchPassCollected(); }
    void runFinished(bool stopped) override { m_host.runFinished(stopped); }
    void beep() override { m_host.beep(); }
    void passStarting(TestSet* set) override {
        if (m_watcher.signalNumber() != 0) m_runner.requestStop();
        m_host.passStarting(set);
    }
    void passEnded(TestSet* set, const runner::PassEnd& end) override {
        m_host.passEnded(set, end);
    }

private:
    PassEvents& m_host;
    const InterruptWatcher& m_watcher;
    runner::Runner& m_runner;
};

}  // namespace

void runOnThisThread(TestSetPtr set, const std::string& name, const runner::CycleSettings& cycle,
                     PassEvents& events, InterruptWatcher& watcher,
                     runner::Runner::OutputSink sink) {
    runner::Runner runner;
    runner.initialize(runner::Runner::kHostEngine);
    if (sink) runner.setOutputTarget(std::move(sink), nullptr);
    SignalledEvents signalled(events, watcher, runner);
    watcher.setStop([&runner] { runner.requestStop(); });
    runner.run(set.release(), name, cycle, &signalled);
    // The runner frees the set when it goes: nothing may stop it after that.
    watcher.setStop(nullptr);
}

}  // namespace velk::cli
