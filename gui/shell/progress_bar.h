#pragma once
// ProgressBar: the run's progress, a bar laid over the status bar's first pane
// with a label written as that pane's text.  The bar is hidden until a position
// is set; reset hides it and puts "Ready" back.  Its geometry follows the pane
// (progress_geometry.h) whenever the label or the pane's size changes.
//
// User-interface thread only; the runner's progress reaches it through queued
// signals.
#include <QObject>
#include <QString>

class QLabel;
class QProgressBar;

namespace velk::shell {

class ProgressBar : public QObject {
    Q_OBJECT
public:
    // pane: the status bar's first pane, which shows "Ready" when idle.
    explicit ProgressBar(QLabel* pane);

    // The bar widget, for tests and accessibility.
    QProgressBar* bar() const { return m_bar; }
    QString label() const { return m_label; }

public slots:
    void setRange(int max);
    // Also shows the bar.
    void setPos(int pos);
    void setLabel(const QString& label);
    // Hides the bar and shows "Ready" in the pane.
    void reset();
    // Progress as the runner reports it: range, position and label at once.
    void setProgress(int range, int pos, const QString& label);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void layout();

    QLabel* m_pane;
    QProgressBar* m_bar;
    QString m_label;
};

}  // namespace velk::shell
