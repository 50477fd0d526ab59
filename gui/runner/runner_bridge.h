#pragma once
// RunnerBridge: the runner as the window sees it.  The engine's and the
// worker's reports (progress, a page to show, the end of a run, new output,
// a changed results list) arrive here on their threads and leave as queued
// signals on the user-interface thread, coalesced: a run that prints a line
// per user repaints the output a few times a second, not once per line.
//
// Lives on the user-interface thread; notifyOutput() and the events are safe
// from any thread.  Destroying it stops and joins a run it started, as the
// run reports to it; shut the runner down first to keep the wait out of the
// destructor.
#include <QObject>
#include <QString>
#include <atomic>
#include <mutex>

#include "app/runner/runner.h"

class QTimer;
class QWidget;

namespace velk::runner {

class RunnerBridge : public QObject {
    Q_OBJECT
public:
    // Output refreshes are at most this often.
    static constexpr int kOutputRefreshMs = 100;

    explicit RunnerBridge(Runner& runner, QObject* parent = nullptr);
    ~RunnerBridge() override;

    Runner& runner() { return m_runner; }
    bool running() const { return m_running; }

    // Starts a run (see Runner::start) with this bridge as its events.
    bool start(const std::string& script, const std::string& runName, const CycleSettings& cycle);
    // Stops a run, showing "Please, wait a run stopping..." over parent until
    // the worker has ended.
    void stop(QWidget* parent);

    // The progress bar back to its rest (a run command, a stop).
    void resetProgress() { emit progressReset(); }

    // For the runner's output target: something was appended (any thread).
    void notifyOutput();

    // The live panel's figures: a reading of the run is added once a second
    // while a run is in progress (a timer on this thread reading the runner's
    // atomics; nothing is posted per request).  The time limit in seconds
    // (0 for none) is for the remaining time.
    static constexpr int kLiveRefreshMs = 1000;
    const LiveFigures& liveFigures() const { return m_live; }
    void setLiveTimeLimit(int32_t seconds) { m_liveTimeLimit = seconds; }
    // Takes a reading now (the timer's work; tests call it to skip the wait).
    void sampleLive();

signals:
    void progress(int range, int pos, QString label);
    // The progress bar goes back to its rest: a run command, a stop, the end.
    void progressReset();
    // The first pass of a batch run has its results.
    void firstBatchPassCollected();
    void runFinished(bool stopped);
    void outputChanged();
    void runningChanged(bool running);
    // The results list changed (a pass collected, cleared, loaded).
    void resultsChanged();
    // A new reading is in liveFigures().
    void liveChanged();

private:
    class Events;
    void flushProgress();
    void finished(bool stopped);
    void setRunning(bool running);

    Runner& m_runner;
    std::unique_ptr<Events> m_events;
    QTimer* m_outputTimer = nullptr;
    QTimer* m_liveTimer = nullptr;
    LiveFigures m_live;
    int32_t m_liveTimeLimit = 0;
    std::atomic<bool> m_outputPending{false};
    bool m_running = false;

    std::mutex m_progressMutex;
    bool m_progressPending = false;  // guarded by m_progressMutex
    int m_progressPos = 0;           // guarded by m_progressMutex
    int m_progressRange = 0;         // guarded by m_progressMutex
    QString m_progressLabel;         // guarded by m_progressMutex
};

}  // namespace velk::runner
