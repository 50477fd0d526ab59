#pragma once
// ProposalsDialog: shown when recording stops.  It lists the recorded values
// that the server gave out on the page before and proposes the expression
// that fetches each one anew when the scenario is replayed (request,
// parameter, recorded value, replacement, where it came from), all ticked;
// then the values the page's scripts sent that an earlier answer gave out (a
// JSON field, a meta tag, a cookie), with the rule that chose each.
// Below the list: whether replayed requests are checked against what the
// server gave while recording, and whether the dialog is shown next time.
// OK applies the ticked proposals; Cancel applies none.
//
// User-interface thread only.
#include <QDialog>
#include <vector>

#include "app/recorder/correlation.h"
#include "app/recorder/script_values.h"

class QCheckBox;
class QTableWidget;

namespace velk::recorder {

class ProposalsDialog : public QDialog {
    Q_OBJECT
public:
    // A script-value proposal with the name of the request it changes.
    struct ScriptRow {
        ScriptValueProposal proposal;
        std::string requestName;
    };

    ProposalsDialog(std::vector<Proposal> proposals, int outcomes, bool checks, bool showAgain,
                    QWidget* parent = nullptr, std::vector<ScriptRow> scriptRows = {});

    // The proposals with the user's ticks.
    std::vector<Proposal> proposals() const;
    std::vector<ScriptValueProposal> scriptProposals() const;
    bool checksWanted() const;
    bool showAgain() const;

    QTableWidget* table() const { return m_table; }
    QCheckBox* checksBox() const { return m_checks; }
    QCheckBox* showAgainBox() const { return m_showAgain; }

private:
    std::vector<Proposal> m_proposals;
    std::vector<ScriptRow> m_scriptRows;
    QTableWidget* m_table = nullptr;
    QCheckBox* m_checks = nullptr;
    QCheckBox* m_showAgain = nullptr;
};

}  // namespace velk::recorder
