#pragma once
// LivePanel: the runner page's view of a run in progress: elapsed and
// remaining time, requests made of expected, the recent rate, errors by class
// with their share ("no answer yet" until something answers), users running of all, the pass of a
// batch run, and two charts of the pass so far (requests and errors per second; response time per
// second at the 50th, 95th and 99th percentiles).
//
// It shows what the runner bridge's live figures hold, redrawn on the
// bridge's once-a-second liveChanged signal.  User-interface thread only.
#include <QWidget>

class QFormLayout;
class QLabel;

namespace velk::results {
class ChartView;
}

namespace velk::runner {

class LiveFigures;

class LivePanel : public QWidget {
    Q_OBJECT
public:
    explicit LivePanel(QWidget* parent = nullptr);

    // Shows figures (the bridge's, after a new reading).
    void showFigures(const LiveFigures& figures);

    velk::results::ChartView* rateChart() const { return m_rateChart; }
    velk::results::ChartView* timeChart() const { return m_timeChart; }
    // The value shown beside a caption, by the caption's object name
    // ("elapsed", "remaining", "requests", "rate", "errors", "users", "pass").
    QString figureText(const char* name) const;

private:
    QLabel* addFigure(QFormLayout* form, const char* caption, const char* name);

    QLabel* m_pass = nullptr;
    QLabel *m_elapsed, *m_remaining, *m_requests, *m_rate, *m_errors, *m_users;
    velk::results::ChartView* m_rateChart = nullptr;
    velk::results::ChartView* m_timeChart = nullptr;
};

}  // namespace velk::runner
