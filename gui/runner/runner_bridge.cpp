#include "gui/runner/runner_bridge.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>

namespace velk::runner {

// The runner's events, turned into posts to the bridge's thread.
class RunnerBridge::Events : public RunnerEvents {
public:
    explicit Events(RunnerBridge& bridge) : m_bridge(bridge) {}
    void progress(int32_t position, int32_t range, const std::string& label) override {
        {
            std::lock_guard lock(m_bridge.m_progressMutex);
            m_bridge.m_progressPos = position;
            m_bridge.m_progressRange = range;
            m_bridge.m_progressLabel = QString::fromStdString(label);
            if (m_bridge.m_progressPending) return;
            m_bridge.m_progressPending = true;
        }
        QMetaObject::invokeMethod(
            &m_bridge, [b = &m_bridge] { b->flushProgress(); }, Qt::QueuedConnection);
    }
    void firstBatchPassCollected() override {
        QMetaObject::invokeMethod(
            &m_bridge, [b = &m_bridge] { emit b->firstBatchPassCollected(); },
            Qt::QueuedConnection);
    }
    void runFinished(bool stopped) override {
        QMetaObject::invokeMethod(
            &m_bridge, [b = &m_bridge, stopped] { b->finished(stopped); }, Qt::QueuedConnection);
    }
    void beep() override {
        QMetaObject::invokeMethod(
            &m_bridge, [] { QApplication::beep(); }, Qt::QueuedConnection);
    }

private:
    RunnerBridge& m_bridge;
};

RunnerBridge::RunnerBridge(Runner& runner, QObject* parent)
    : QObject(parent), m_runner(runner), m_events(std::make_unique<Events>(*this)) {
    m_outputTimer = new QTimer(this);
    m_outputTimer->setSingleShot(true);
    m_outputTimer->setInterval(kOutputRefreshMs);
    connect(m_outputTimer, &QTimer::timeout, this, [this] {
        // Cleared before the signal: lines appended while the view reads
        // bring another refresh.
        m_outputPending = false;
        emit outputChanged();
    });
    m_liveTimer = new QTimer(this);
    m_liveTimer->setInterval(kLiveRefreshMs);
    connect(m_liveTimer, &QTimer::timeout, this, &RunnerBridge::sampleLive);
    m_runner.results().setNotifier([this] {
        QMetaObject::invokeMethod(
            this, [this] { emit resultsChanged(); }, Qt::QueuedConnection);
    });
}

RunnerBridge::~RunnerBridge() {
    // The run's worker calls the events object this bridge owns: it must end
    // before they go, whatever order the owner destroys things in.
    m_runner.stop();
    m_runner.results().setNotifier(nullptr);
}

void RunnerBridge::notifyOutput() {
    if (m_outputPending.exchange(true)) return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!m_outputTimer->isActive()) m_outputTimer->start();
        },
        Qt::QueuedConnection);
}

void RunnerBridge::sampleLive() {
    LiveReading reading = m_runner.liveReading();
    if (!reading.running) return;
    reading.maxtimeSeconds = m_liveTimeLimit;
    m_live.add(reading);
    emit liveChanged();
}

void RunnerBridge::flushProgress() {
    int pos, range;
    QString label;
    {
        std::lock_guard lock(m_progressMutex);
        m_progressPending = false;
        pos = m_progressPos;
        range = m_progressRange;
        label = m_progressLabel;
    }
    emit progress(range, pos, label);
}

bool RunnerBridge::start(const std::string& script, const std::string& runName,
                         const CycleSettings& cycle) {
    if (!m_runner.start(script, runName, cycle, m_events.get())) return false;
    setRunning(true);
    return true;
}

void RunnerBridge::finished(bool stopped) {
    m_outputTimer->stop();
    m_outputPending = false;
    emit outputChanged();
    // The worker has ended or is about to: reap it.
    m_runner.stop();
    setRunning(false);
    emit progressReset();
    emit runFinished(stopped);
}

void RunnerBridge::setRunning(bool running) {
    if (m_running == running) return;
    m_running = running;
    if (running) {
        m_live.reset();
        m_liveTimer->start();
    } else {
        m_liveTimer->stop();
    }
    emit runningChanged(running);
}

void RunnerBridge::stop(QWidget* parent) {
    if (!m_runner.isRunning()) return;
    m_runner.requestStop();
    if (m_runner.isRunning()) {
        QDialog wait(parent);
        wait.setWindowTitle(QApplication::applicationName());
        wait.setWindowFlags(wait.windowFlags() & ~Qt::WindowCloseButtonHint);
        auto* layout = new QVBoxLayout(&wait);
        layout->addWidget(new QLabel(QStringLiteral("Please, wait a run stopping..."), &wait));
        QTimer poll;
        connect(&poll, &QTimer::timeout, &wait, [&] {
            if (!m_runner.isRunning()) wait.accept();
        });
        poll.start(500);
        wait.exec();
    }
    m_runner.waitForWorker();
}

}  // namespace velk::runner
