#pragma once
// Test > Verify Scenario: plays the open scenario once with one user (see
// app/runner/scenario_verify.h) while a busy dialog shows, then lists per
// request the recorded and replayed status, redirect target, title and size,
// differing rows marked.
//
// User-interface thread only; the run itself is on a thread of its own.
#include <QDialog>

#include "app/runner/scenario_verify.h"

class QLabel;
class QTreeWidget;

namespace velk::scenario {
class CScenario;
}  // namespace velk::scenario

namespace velk::recorder {

class VerifyDialog : public QDialog {
    Q_OBJECT
public:
    explicit VerifyDialog(const runner::VerifyReport& report, QWidget* parent = nullptr);

    QTreeWidget* table() const { return m_table; }
    QLabel* summary() const { return m_summary; }

private:
    QTreeWidget* m_table = nullptr;
    QLabel* m_summary = nullptr;
};

// Plays the scenario and shows the dialog (or a message saying why it could
// not be played).  The dialog is shown with exec(); shown, when given, is
// called with it first (tests answer it).
void verifyScenario(QWidget* parent, const scenario::CScenario& scenario,
                    const std::function<void(QDialog*)>& shown = {});

}  // namespace velk::recorder
