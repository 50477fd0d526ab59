// RunnerPage: moving the run section between the scenario and the
// controls, and the Run Test and Stop Test commands.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QMessageBox>
#include <QRadioButton>
#include <algorithm>
#include <climits>

#include "app/runner/reach_check.h"
#include "app/runner/report_name_pattern.h"
#include "app/runner/run_field_rules.h"
#include "app/runner/run_preconditions.h"
#include "app/scenario/scenario_checks.h"
#include "gui/runner/number_edit.h"
#include "gui/runner/output_box.h"
#include "gui/runner/runner_bridge.h"
#include "gui/runner/runner_page.h"
#include "gui/shell/main_window.h"
#include "velkcore.h"

namespace velk::runner {
namespace {

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

void RunnerPage::activatePage() {
    loadFromScenario();
}

void RunnerPage::deactivatePage() {
    saveToScenario();
}

void RunnerPage::resetPage() {
    m_document.scenario().outputLog().clear();
    m_output->clearLog();
    refreshOutput();
    loadFromScenario();
}

void RunnerPage::loadFromScenario() {
    const velk::scenario::CRunSection& r = m_document.scenario().run();
    m_loading = true;
    (r.cycling ? m_batch : m_single)->setChecked(true);
    m_users->setNumber(r.clients);
    m_iterations->setNumber(r.requestsPerUser);
    m_batchBy->setCurrentIndex(r.cycleByIterations ? 1 : 0);
    m_from = r.cycleFrom;
    m_to = r.cycleTo;
    m_step = r.cycleStep;
    m_from_->setNumber(r.cycleFrom);
    m_to_->setNumber(r.cycleTo);
    m_step_->setNumber(r.cycleStep);
    m_pauseCheck->setChecked(r.pauseBetweenPasses);
    m_pauseSeconds->setNumber(r.pauseSeconds);
    m_timeLimitCheck->setChecked(r.useTimeLimit);
    m_timeLimit->setNumber(r.timeLimit);
    m_requestLimitCheck->setChecked(r.useRequestLimit);
    m_requestLimit->setNumber(r.requestLimit);
    (r.rateMode == 1 ? m_loadLevel : m_maxLoad)->setChecked(true);
    m_rate->setNumber(r.rateValue);
    m_writeLog->setChecked(r.writeLog);
    m_logDir->setText(text(r.logDirectory));
    m_useReportDir->setChecked(r.useReportDirectory);
    m_reportDir->setText(text(r.reportDirectory));
    m_pattern->setText(text(r.outputFileTemplate));
    m_description->setText(text(r.description));
    m_details->setChecked(r.details);
    m_timingsKind->setCurrentIndex(r.timeStamps ? 1 : 0);
    m_useSequence[0]->setChecked(r.useInitialSequence);
    m_useSequence[1]->setChecked(r.useMainSequence);
    m_useSequence[2]->setChecked(r.useFinalSequence);
    (r.useStartDelay ? m_startDelayed : m_startTogether)->setChecked(true);
    m_delay->setNumber(r.startDelay);
    m_timing[r.timingMode >= 0 && r.timingMode < 3 ? r.timingMode : 0]->setChecked(true);
    m_rounding->setCurrentIndex(r.rounding >= 0 && r.rounding < 3 ? r.rounding : 0);
    m_timeoutCheck->setChecked(r.timeoutCheck);
    m_loading = false;
    rebuildGlobalVariables();
    refreshOutput();
    applyEnabling();
}

bool RunnerPage::readNumber(NumberEdit* field, int64_t min, int64_t max, int32_t& value,
                            Save when) {
    if (field->text().isEmpty()) {
        // Being typed into: the saved value stays until there is a number.
        if (when == Save::kWhileTyping) return true;
        // A field the user cannot reach shows its saved value again.
        if (!field->isEnabled()) {
            field->setNumber(value);
            return true;
        }
    }
    const std::optional<int64_t> v = parseInteger(field->text().toStdString());
    if (!v || *v < min || *v > max) {
        refuse(field, text(rangeMessage({min, max})));
        return false;
    }
    value = int32_t(*v);
    return true;
}

std::vector<RunnerPage::NumberField> RunnerPage::numberFields() const {
    using R = velk::scenario::CRunSection;
    return {{m_users, 0, 999999, &R::clients},
            {m_iterations, 0, 9999999, &R::requestsPerUser},
            {m_pauseSeconds, 0, 9999999, &R::pauseSeconds},
            {m_timeLimit, 0, 9999999, &R::timeLimit},
            {m_requestLimit, 0, 9999999, &R::requestLimit},
            {m_rate, 1, 9999999, &R::rateValue},
            {m_delay, 0, 3600000, &R::startDelay}};
}

bool RunnerPage::refuseEmptiedNumber() {
    for (const NumberField& f : numberFields()) {
        if (f.field->isEnabled() && f.field->text().isEmpty()) {
            emit pageWanted(velk::shell::MainWindow::kRunnerPage);
            refuse(f.field, text(rangeMessage({f.min, f.max})));
            return true;
        }
    }
    return false;
}

bool RunnerPage::readText(QLineEdit* field, int limit, std::string& value) {
    if (field->text().size() > limit) {
        refuse(field, text(lengthMessage(limit)));
        return false;
    }
    value = field->text().toStdString();
    return true;
}

bool RunnerPage::saveToScenario(Save when) {
    velk::scenario::CRunSection r = m_document.scenario().run();
    for (const NumberField& f : numberFields())
        if (!readNumber(f.field, f.min, f.max, r.*f.member, when)) return false;
    if (!readText(m_logDir, 270, r.logDirectory) ||
        !readText(m_reportDir, 270, r.reportDirectory) ||
        !readText(m_pattern, 270, r.outputFileTemplate) ||
        !readText(m_description, 1024, r.description))
        return false;
    r.cycling = m_batch->isChecked();
    r.cycleByIterations = m_batchBy->currentIndex() == 1;
    r.cycleFrom = m_from;
    r.cycleTo = m_to;
    r.cycleStep = m_step;
    r.pauseBetweenPasses = m_pauseCheck->isChecked();
    r.useTimeLimit = m_timeLimitCheck->isChecked();
    r.useRequestLimit = m_requestLimitCheck->isChecked();
    r.rateMode = m_loadLevel->isChecked() ? 1 : 0;
    r.writeLog = m_writeLog->isChecked();
    r.useReportDirectory = m_useReportDir->isChecked();
    r.details = m_details->isChecked();
    r.timeStamps = m_timingsKind->currentIndex() == 1;
    r.useInitialSequence = m_useSequence[0]->isChecked();
    r.useMainSequence = m_useSequence[1]->isChecked();
    r.useFinalSequence = m_useSequence[2]->isChecked();
    r.useStartDelay = m_startDelayed->isChecked();
    for (int i = 0; i < 3; ++i)
        if (m_timing[i]->isChecked()) r.timingMode = i;
    r.rounding = m_rounding->currentIndex();
    r.timeoutCheck = m_timeoutCheck->isChecked();
    m_document.scenario().run() = std::move(r);
    return true;
}

bool RunnerPage::runTest() {
    if (m_bridge.running()) return false;
    // Every change is saved as it is typed, except an emptied number field:
    // what the page shows is what runs, so that stops the run.
    if (isVisible() && refuseEmptiedNumber()) return false;
    velk::scenario::CScenario& scenario = m_document.scenario();
    if (scenario.requests().count() == 0) {
        showMessage(QString::fromLatin1(kNoRequestsMessage));
        return false;
    }
    velk::scenario::CRunSection& run = scenario.run();
    const struct {
        bool on;
        const std::string& path;
        QLineEdit* field;
    } directories[] = {{run.writeLog, run.logDirectory, m_logDir},
                       {run.useReportDirectory, run.reportDirectory, m_reportDir}};
    for (const auto& d : directories) {
        if (d.on && !ensureDirectory(d.path)) {
            emit pageWanted(velk::shell::MainWindow::kRunnerPage);
            refuse(d.field, text(cannotCreateDirectoryMessage(d.path)));
            return false;
        }
    }
    if (hasForbiddenFileNameChar(run.outputFileTemplate)) {
        emit pageWanted(velk::shell::MainWindow::kRunnerPage);
        refuse(m_pattern, text(forbiddenFileNameMessage()));
        return false;
    }
    scenario.general().projectName = m_document.title();
    // Values the engine would refuse are named here rather than failing the parse.
    if (const velk::Status checked = velk::scenario::checkScenarioForRun(scenario); !checked) {
        showMessage(text(checked.message()));
        return false;
    }
    const velk::settings::GlobalSettings& settings = velk::settings::GlobalSettings::shared();
    velk::StatusOr<std::string> script = scenario.generateScript(settings);
    if (run.details && script &&
        timingsTooLarge(Calculate3DArrayMemoryAmount(script->c_str()), availablePhysicalMemory())) {
        const QString question = QString::fromLatin1(kTooManyRequestsQuestion);
        const bool yes = m_question ? m_question(question)
                                    : QMessageBox::question(this, QApplication::applicationName(),
                                                            question) == QMessageBox::Yes;
        if (!yes) return false;
        run.details = false;
        m_document.setModified(true);
        loadFromScenario();
    }
    script = scenario.generateScript(settings);
    if (!script) {
        showMessage(text(script.status().message()));
        return false;
    }
    // The global variables' values, given to the engine as velkrun gives
    // "-name=value" arguments: before the script is parsed.
    const std::vector<std::string> arguments =
        globalVariableArguments(globalVariablesUsed(*script), scenario.globalValues());
    m_bridge.runner().setTestSetHooks(
        [arguments](TestSet* set) {
            if (arguments.empty()) return true;
            // The engine cuts each argument at its "=": it gets copies.
            std::vector<std::string> copies = arguments;
            std::string program = "velk";
            std::vector<char*> argv{program.data()};
            for (std::string& a : copies) argv.push_back(a.data());
            argv.push_back(nullptr);
            return ParseCommandLine(set, int32_t(argv.size() - 1), argv.data()) == 1;
        },
        {});
    m_bridge.resetProgress();
    m_bridge.runner().setRequestLimit(run.useRequestLimit ? run.requestLimit : 0);
    m_bridge.runner().setReachTargets(reachTargets(scenario, settings));
    // Minutes up to 9999999: the seconds are capped, not overflowed.
    m_bridge.setLiveTimeLimit(
        run.useTimeLimit ? int32_t(std::min<int64_t>(int64_t(run.timeLimit) * 60, INT32_MAX)) : 0);
    emit pageWanted(velk::shell::MainWindow::kRunnerPage);
    const CycleSettings cycle{run.cycling,   run.cycleByIterations,  run.cycleFrom,   run.cycleTo,
                              run.cycleStep, run.pauseBetweenPasses, run.pauseSeconds};
    return m_bridge.start(*script, scenario.general().projectName, cycle);
}

void RunnerPage::stopTest() {
    m_bridge.stop(this);
    m_bridge.resetProgress();
}

}  // namespace velk::runner
