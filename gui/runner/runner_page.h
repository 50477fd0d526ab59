#pragma once
// RunnerPage: the runner page (page 3): how the open scenario runs (its
// run section) and the output of runs.  Every change is written back into the
// scenario at once and marks the document modified; a value outside its range
// or a text over its length is refused with the framework's message and leaves
// the scenario unchanged.  Run Test's checks and the hand-over to the runner
// are here too, since they point the user at this page's fields.
//
// User-interface thread only.  Output arrives through the bridge's coalesced
// outputChanged signal.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/runner/global_variables.h"
#include "app/runner/runner.h"
#include "app/scenario/scenario_document.h"
#include "gui/shell/page.h"

class QButtonGroup;
class QFormLayout;
class QGridLayout;
class QGroupBox;
class QScrollArea;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace velk::runner {

class LivePanel;
class NumberEdit;
class OutputBox;
class RunnerBridge;

class RunnerPage : public velk::shell::Page {
    Q_OBJECT
public:
    RunnerPage(velk::scenario::ScenarioDocument& document, RunnerBridge& bridge,
               QWidget* parent = nullptr);
    ~RunnerPage() override;

    void activatePage() override;
    void deactivatePage() override;
    void resetPage() override;

    // The Run Test command: its checks, then the start.  False when no run
    // started.
    bool runTest();
    // The Stop Test command.
    void stopTest();

    // Message boxes and the Yes/No question go through these (tests replace them).
    void setMessageHandler(std::function<void(const QString&)> handler) {
        m_message = std::move(handler);
    }
    void setQuestionHandler(std::function<bool(const QString&)> handler) {
        m_question = std::move(handler);
    }
    // Directory and pattern dialogs (tests replace them): given the current
    // text, the new one, or an empty text for none.
    using Chooser = std::function<QString(const QString& title, const QString& current)>;
    void setDirectoryChooser(Chooser chooser) { m_chooseDirectory = std::move(chooser); }

    // Reads every field from the scenario; the output from its log.
    void loadFromScenario();
    // Checks and writes every field into the scenario; false (with the message
    // shown and the field focused and scrolled into view) when a check fails.
    // While the user types, an emptied number field keeps its saved value (it
    // is being typed into); when the page is left or a run starts it is
    // refused like any other value out of range.
    enum class Save { kWhileTyping, kFinal };
    bool saveToScenario(Save when = Save::kFinal);
    void refreshOutput();

    // The figures of a run in progress; hidden while none runs.
    LivePanel* livePanel() const { return m_live; }

signals:
    // The page to show (this page, before a run or a refused one).
    void pageWanted(int page);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildControls();
    QWidget* buildLayout();
    // Two columns where the page is wide enough, one where it is not, so that
    // nothing is cut off at the smallest window size.
    void arrangeColumns(bool wide);
    QGridLayout* m_columns = nullptr;
    QScrollArea* m_scroll = nullptr;
    QWidget* m_runsBox = nullptr;
    QWidget* m_filesBox = nullptr;
    QWidget* m_sequencesRow = nullptr;
    // The "$gvar" values the scenario's script reads: a field per name, kept
    // for the program run (not in the scenario file) and given to each run.
    QGroupBox* m_globalsBox = nullptr;
    QFormLayout* m_globalsForm = nullptr;
    std::map<std::string, std::string> m_globalValues;
    std::vector<GlobalVariableUse> m_globalUses;
    void rebuildGlobalVariables();
    int m_wide = -1;
    void connectChanges();
    void changed();
    void applyEnabling();
    void stepEdited(const QString& text);
    void boundEdited(NumberEdit* field, int32_t& previous, const QString& text);
    void chooseDirectory(QLineEdit* field, const QString& title);
    void editSequence(int which);
    void editPattern();
    void showMessage(const QString& text);
    void refuse(QLineEdit* field, const QString& text);
    bool readNumber(NumberEdit* field, int64_t min, int64_t max, int32_t& value, Save when);
    bool readText(QLineEdit* field, int limit, std::string& value);
    // The number fields with their ranges and the run section's member.
    struct NumberField {
        NumberEdit* field;
        int64_t min, max;
        int32_t velk::scenario::CRunSection::*member;
    };
    std::vector<NumberField> numberFields() const;
    // Refuses the first enabled number field left empty; true when one was.
    bool refuseEmptiedNumber();

    velk::scenario::ScenarioDocument& m_document;
    RunnerBridge& m_bridge;
    bool m_loading = false;
    int32_t m_step = 0, m_from = 0, m_to = 0;  // the cycle fields' last values
    std::function<void(const QString&)> m_message;
    std::function<bool(const QString&)> m_question;
    Chooser m_chooseDirectory;

    QRadioButton *m_single, *m_batch;
    NumberEdit *m_users, *m_iterations;
    QComboBox* m_batchBy;
    NumberEdit *m_from_, *m_to_, *m_step_;
    QWidget *m_fromLabel, *m_toLabel, *m_stepLabel, *m_secLabel;
    QCheckBox* m_pauseCheck;
    NumberEdit* m_pauseSeconds;
    QCheckBox *m_timeLimitCheck, *m_requestLimitCheck;
    NumberEdit *m_timeLimit, *m_requestLimit;
    QRadioButton *m_maxLoad, *m_loadLevel;
    NumberEdit* m_rate;
    QCheckBox* m_writeLog;
    QLineEdit* m_logDir;
    QPushButton* m_logBrowse;
    QCheckBox* m_useReportDir;
    QLineEdit* m_reportDir;
    QPushButton* m_reportBrowse;
    QLineEdit* m_pattern;
    QPushButton* m_patternEdit;
    QLineEdit* m_description;
    QCheckBox* m_details;
    QComboBox* m_timingsKind;
    QCheckBox* m_useSequence[3];
    QPushButton* m_editSequence[3];
    QRadioButton *m_startTogether, *m_startDelayed;
    NumberEdit* m_delay;
    QRadioButton* m_timing[3];
    QComboBox* m_rounding;
    QCheckBox* m_timeoutCheck;
    OutputBox* m_output;
    LivePanel* m_live = nullptr;
};

}  // namespace velk::runner
