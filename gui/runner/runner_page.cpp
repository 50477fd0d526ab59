#include "gui/runner/runner_page.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QScrollArea>
#include <QSplitter>
#include <QVBoxLayout>

#include "app/runner/run_field_rules.h"
#include "app/settings/global_settings.h"
#include "gui/runner/edit_pattern_dialog.h"
#include "gui/runner/live_panel.h"
#include "gui/runner/number_edit.h"
#include "gui/runner/output_box.h"
#include "gui/runner/runner_bridge.h"
#include "gui/runner/sequence_editor_dialog.h"

namespace velk::runner {
namespace {

template <typename W>
W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel* buddyLabel(const char* text, QWidget* buddy) {
    auto* label = new QLabel(QString::fromLatin1(text));
    label->setBuddy(buddy);
    return label;
}

QWidget* row(std::initializer_list<QWidget*> widgets) {
    auto* box = new QWidget;
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QWidget* w : widgets) layout->addWidget(w);
    layout->addStretch();
    return box;
}

const char* const kSequenceCaptions[3] = {
    "&Initial sequence:", "&Main sequence:", "&Final sequence:"};

}  // namespace

RunnerPage::RunnerPage(velk::scenario::ScenarioDocument& document, RunnerBridge& bridge,
                       QWidget* parent)
    : Page(parent), m_document(document), m_bridge(bridge) {
    buildControls();
    auto* split = new QSplitter(Qt::Vertical, this);
    m_scroll = new QScrollArea;
    m_scroll->setWidgetResizable(true);
    m_scroll->setWidget(buildLayout());
    split->addWidget(m_scroll);
    // The run in progress above its output; the fields scroll meanwhile.
    m_live = new LivePanel;
    m_live->hide();
    split->addWidget(m_live);
    split->addWidget(m_output);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 3);
    split->setStretchFactor(2, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(split);
    connectChanges();
    connect(&m_bridge, &RunnerBridge::outputChanged, this, &RunnerPage::refreshOutput);
    connect(&m_bridge, &RunnerBridge::liveChanged, this,
            [this] { m_live->showFigures(m_bridge.liveFigures()); });
    connect(&m_bridge, &RunnerBridge::runningChanged, this, [this](bool running) {
        if (running) m_live->showFigures(m_bridge.liveFigures());
        m_live->setVisible(running);
    });
    m_bridge.runner().setOutputTarget(
        [log = &m_document.scenario().outputLog()](int32_t level, std::string_view text) {
            log->append(level, text);
        },
        [bridge = &m_bridge] { bridge->notifyOutput(); });
    loadFromScenario();
}

RunnerPage::~RunnerPage() {
    // Fields that lose the focus while the page goes would call back into it.
    for (QObject* child : findChildren<QObject*>()) child->disconnect(this);
}

void RunnerPage::buildControls() {
    m_single = named(new QRadioButton(QStringLiteral("&Single run")), "single");
    m_batch = named(new QRadioButton(QStringLiteral("&Batch run by")), "batch");
    m_users = named(new NumberEdit(0, 999999), "users");
    m_iterations = named(new NumberEdit(0, 9999999), "iterations");
    m_batchBy = named(new QComboBox, "batchBy");
    m_batchBy->addItems({QStringLiteral("Users"), QStringLiteral("Iterations")});
    m_from_ = named(new NumberEdit(0, 9999999), "from");
    m_to_ = named(new NumberEdit(0, 9999999), "to");
    m_step_ = named(new NumberEdit(-999, 999), "step");
    m_fromLabel = buddyLabel("from", m_from_);
    m_toLabel = buddyLabel("to", m_to_);
    m_stepLabel = buddyLabel("step", m_step_);
    m_pauseCheck = named(new QCheckBox(QStringLiteral("Interval bet&ween runs:")), "pauseCheck");
    m_pauseSeconds = named(new NumberEdit(0, 9999999), "pauseSeconds");
    m_secLabel = new QLabel(QStringLiteral("sec"));
    m_timeLimitCheck = named(new QCheckBox(QStringLiteral("&Run for:")), "timeLimitCheck");
    m_timeLimit = named(new NumberEdit(1, 9999999), "timeLimit");
    m_requestLimitCheck = named(new QCheckBox(QStringLiteral("Perf&orm")), "requestLimitCheck");
    m_requestLimit = named(new NumberEdit(1, 9999999), "requestLimit");
    m_maxLoad = named(new QRadioButton(QStringLiteral("Maximum loa&d")), "maxLoad");
    m_loadLevel = named(new QRadioButton(QStringLiteral("&Load level up to")), "loadLevel");
    m_rate = named(new NumberEdit(1, 9999999), "rate");
    m_writeLog = named(new QCheckBox(QStringLiteral("Save f&ull log to:")), "writeLog");
    m_logDir = named(new QLineEdit, "logDirectory");
    m_logBrowse = named(new QPushButton(QStringLiteral("...")), "logBrowse");
    m_useReportDir =
        named(new QCheckBox(QStringLiteral("Sa&ve reports to:")), "useReportDirectory");
    m_reportDir = named(new QLineEdit, "reportDirectory");
    m_reportBrowse = named(new QPushButton(QStringLiteral("...")), "reportBrowse");
    m_pattern = named(new QLineEdit, "pattern");
    m_patternEdit = named(new QPushButton(QStringLiteral("Edit")), "patternEdit");
    m_description = named(new QLineEdit, "description");
    m_logDir->setMaxLength(270);
    m_reportDir->setMaxLength(270);
    m_pattern->setMaxLength(270);
    m_description->setMaxLength(1024);
    m_details = named(new QCheckBox(QStringLiteral("Save requests t&imings:")), "details");
    m_timingsKind = named(new QComboBox, "timingsKind");
    m_timingsKind->addItems({QStringLiteral("Duration"), QStringLiteral("Duration and timings")});
    const char* const sequenceNames[3] = {"I&nitial", "M&ain", "&Final"};
    for (int i = 0; i < 3; ++i) {
        m_useSequence[i] = new QCheckBox(QString::fromLatin1(sequenceNames[i]));
        m_useSequence[i]->setObjectName(QStringLiteral("useSequence%1").arg(i));
        m_editSequence[i] = new QPushButton(QStringLiteral("Edit"));
        m_editSequence[i]->setObjectName(QStringLiteral("editSequence%1").arg(i));
    }
    m_startTogether =
        named(new QRadioButton(QStringLiteral("S&tart all users simultaneously")), "startTogether");
    m_startDelayed =
        named(new QRadioButton(QStringLiteral("Dela&y between users:")), "startDelayed");
    m_delay = named(new NumberEdit(0, 3600000), "startDelay");
    const char* const timingNames[3] = {"Web transa&ction", "Res&ponse time", "Re&quest time"};
    auto* timingGroup = new QButtonGroup(this);
    for (int i = 0; i < 3; ++i) {
        m_timing[i] = new QRadioButton(QString::fromLatin1(timingNames[i]));
        m_timing[i]->setObjectName(QStringLiteral("timing%1").arg(i));
        timingGroup->addButton(m_timing[i], i);
    }
    m_rounding = named(new QComboBox, "rounding");
    m_rounding->addItems(
        {QStringLiteral("0.01 ms"), QStringLiteral("0.1 ms"), QStringLiteral("1 ms")});
    m_timeoutCheck = named(new QCheckBox(QStringLiteral("Timeout c&heck")), "timeoutCheck");
    m_output = named(new OutputBox, "output");
    // Radio pairs in separate groups do not exclude each other.
    for (auto pair : {std::pair{m_single, m_batch}, std::pair{m_maxLoad, m_loadLevel},
                      std::pair{m_startTogether, m_startDelayed}}) {
        auto* group = new QButtonGroup(this);
        group->addButton(pair.first);
        group->addButton(pair.second);
    }
}

QWidget* RunnerPage::buildLayout() {
    auto* runs = new QGroupBox(QStringLiteral("Test run"));
    auto* g = new QGridLayout(runs);
    g->addWidget(m_single, 0, 0);
    g->addWidget(row({buddyLabel("Users:", m_users), m_users,
                      buddyLabel("Iterations:", m_iterations), m_iterations}),
                 0, 1);
    g->addWidget(m_batch, 1, 0);
    g->addWidget(row({m_batchBy, m_fromLabel, m_from_, m_toLabel, m_to_, m_stepLabel, m_step_}), 1,
                 1);
    g->addWidget(m_pauseCheck, 2, 0);
    g->addWidget(row({m_pauseSeconds, m_secLabel}), 2, 1);
    g->addWidget(m_timeLimitCheck, 3, 0);
    g->addWidget(row({m_timeLimit, new QLabel(QStringLiteral("min"))}), 3, 1);
    g->addWidget(m_requestLimitCheck, 4, 0);
    g->addWidget(row({m_requestLimit, new QLabel(QStringLiteral("requests"))}), 4, 1);
    g->addWidget(m_maxLoad, 5, 0);
    g->addWidget(m_loadLevel, 6, 0);
    g->addWidget(row({m_rate, new QLabel(QStringLiteral("requests/sec"))}), 6, 1);
    g->addWidget(m_startTogether, 7, 0);
    g->addWidget(m_startDelayed, 8, 0);
    g->addWidget(row({m_delay, new QLabel(QStringLiteral("ms"))}), 8, 1);
    g->setRowStretch(9, 1);

    auto* files = new QGroupBox(QStringLiteral("Logs and reports"));
    auto* f = new QGridLayout(files);
    f->addWidget(m_writeLog, 0, 0);
    f->addWidget(m_logDir, 0, 1);
    f->addWidget(m_logBrowse, 0, 2);
    f->addWidget(m_useReportDir, 1, 0);
    f->addWidget(m_reportDir, 1, 1);
    f->addWidget(m_reportBrowse, 1, 2);
    f->addWidget(buddyLabel("R&eports names pattern:", m_pattern), 2, 0);
    f->addWidget(m_pattern, 2, 1);
    f->addWidget(m_patternEdit, 2, 2);
    f->addWidget(buddyLabel("Test run com&ment:", m_description), 3, 0);
    f->addWidget(m_description, 3, 1, 1, 2);
    f->addWidget(m_details, 4, 0);
    f->addWidget(m_timingsKind, 4, 1);
    f->setRowStretch(5, 1);
    m_logBrowse->setFixedWidth(36);
    m_reportBrowse->setFixedWidth(36);

    auto* sequences = new QGroupBox(QStringLiteral("Sequences"));
    auto* s = new QGridLayout(sequences);
    for (int i = 0; i < 3; ++i) {
        s->addWidget(m_useSequence[i], i, 0);
        s->addWidget(m_editSequence[i], i, 1);
    }
    auto* timing = new QGroupBox(QStringLiteral("Timing"));
    auto* t = new QGridLayout(timing);
    for (int i = 0; i < 3; ++i) t->addWidget(m_timing[i], i, 0);
    t->addWidget(buddyLabel("Timin&g rounding:", m_rounding), 3, 0);
    t->addWidget(m_rounding, 3, 1);
    t->addWidget(m_timeoutCheck, 4, 0);
    t->setRowStretch(5, 1);
    s->setRowStretch(3, 1);

    m_globalsBox = named(new QGroupBox(QStringLiteral("Global variables")), "globals");
    m_globalsForm = new QFormLayout(m_globalsBox);
    m_globalsBox->hide();

    auto* content = new QWidget;
    m_columns = new QGridLayout(content);
    m_runsBox = runs;
    m_filesBox = files;
    m_sequencesRow = new QWidget;
    auto* right = new QHBoxLayout(m_sequencesRow);
    right->setContentsMargins(0, 0, 0, 0);
    right->addWidget(sequences);
    right->addWidget(timing);
    arrangeColumns(true);
    return content;
}

void RunnerPage::arrangeColumns(bool wide) {
    if (int(wide) == m_wide) return;
    m_wide = int(wide);
    for (QWidget* w : {m_runsBox, m_filesBox, m_sequencesRow, static_cast<QWidget*>(m_globalsBox)})
        m_columns->removeWidget(w);
    if (wide) {
        m_columns->addWidget(m_runsBox, 0, 0, 2, 1);
        m_columns->addWidget(m_filesBox, 0, 1);
        m_columns->addWidget(m_sequencesRow, 1, 1);
        m_columns->addWidget(m_globalsBox, 2, 0, 1, 2);
        m_columns->setColumnStretch(1, 1);
    } else {
        m_columns->addWidget(m_runsBox, 0, 0);
        m_columns->addWidget(m_filesBox, 1, 0);
        m_columns->addWidget(m_sequencesRow, 2, 0);
        m_columns->addWidget(m_globalsBox, 3, 0);
        m_columns->setColumnStretch(1, 0);
    }
}

void RunnerPage::resizeEvent(QResizeEvent* event) {
    // Both columns need about 900 pixels side by side.
    arrangeColumns(width() >= 900);
    velk::shell::Page::resizeEvent(event);
}

void RunnerPage::connectChanges() {
    for (QAbstractButton* b : findChildren<QAbstractButton*>()) {
        if (qobject_cast<QCheckBox*>(b) || qobject_cast<QRadioButton*>(b))
            connect(b, &QAbstractButton::clicked, this, &RunnerPage::changed);
    }
    for (QComboBox* c : {m_batchBy, m_timingsKind, m_rounding})
        connect(c, &QComboBox::activated, this, &RunnerPage::changed);
    for (QLineEdit* e :
         {static_cast<QLineEdit*>(m_users), static_cast<QLineEdit*>(m_iterations),
          static_cast<QLineEdit*>(m_pauseSeconds), static_cast<QLineEdit*>(m_timeLimit),
          static_cast<QLineEdit*>(m_requestLimit), static_cast<QLineEdit*>(m_rate),
          static_cast<QLineEdit*>(m_delay), m_logDir, m_reportDir, m_pattern, m_description})
        connect(e, &QLineEdit::textEdited, this, &RunnerPage::changed);
    connect(m_step_, &QLineEdit::textEdited, this, &RunnerPage::stepEdited);
    connect(m_step_, &QLineEdit::editingFinished, this, [this] {
        m_step_->setText(QString::fromStdString(leaveStep(m_step_->text().toStdString(), m_step)));
    });
    connect(m_from_, &QLineEdit::textEdited, this,
            [this](const QString& text) { boundEdited(m_from_, m_from, text); });
    connect(m_to_, &QLineEdit::textEdited, this,
            [this](const QString& text) { boundEdited(m_to_, m_to, text); });
    connect(m_logBrowse, &QPushButton::clicked, this,
            [this] { chooseDirectory(m_logDir, QStringLiteral("Select log directory")); });
    connect(m_reportBrowse, &QPushButton::clicked, this,
            [this] { chooseDirectory(m_reportDir, QStringLiteral("Select report directory")); });
    connect(m_patternEdit, &QPushButton::clicked, this, &RunnerPage::editPattern);
    for (int i = 0; i < 3; ++i)
        connect(m_editSequence[i], &QPushButton::clicked, this, [this, i] { editSequence(i); });
}

void RunnerPage::stepEdited(const QString& text) {
    const StepEdit edit = editStep(text.toStdString(), m_step);
    if (QString::fromStdString(edit.text) != text)
        m_step_->setText(QString::fromStdString(edit.text));
    if (edit.swapFromTo) {
        std::swap(m_from, m_to);
        const QString from = m_from_->text();
        m_from_->setText(m_to_->text());
        m_to_->setText(from);
    }
    m_step = edit.value;
    changed();
}

void RunnerPage::boundEdited(NumberEdit* field, int32_t& previous, const QString& text) {
    const BoundEdit edit = editCycleBound(text.toStdString(), previous);
    if (QString::fromStdString(edit.text) != text)
        field->setText(QString::fromStdString(edit.text));
    previous = edit.value;
    changed();
}

void RunnerPage::changed() {
    if (m_loading) return;
    applyEnabling();
    if (saveToScenario(Save::kWhileTyping)) m_document.setModified(true);
}

void RunnerPage::applyEnabling() {
    const bool batch = m_batch->isChecked();
    const bool byIterations = batch && m_batchBy->currentIndex() == 1;
    m_users->setEnabled(!batch || byIterations);
    m_iterations->setEnabled(
        !(byIterations || m_requestLimitCheck->isChecked() || m_timeLimitCheck->isChecked()));
    for (QWidget* w : {static_cast<QWidget*>(m_batchBy), static_cast<QWidget*>(m_from_),
                       static_cast<QWidget*>(m_to_), static_cast<QWidget*>(m_step_), m_fromLabel,
                       m_toLabel, m_stepLabel, static_cast<QWidget*>(m_pauseCheck)})
        w->setEnabled(batch);
    m_pauseSeconds->setEnabled(batch && m_pauseCheck->isChecked());
    m_secLabel->setEnabled(batch && m_pauseCheck->isChecked());
    m_timeLimitCheck->setEnabled(!byIterations);
    m_requestLimitCheck->setEnabled(!byIterations);
    m_timeLimit->setEnabled(m_timeLimitCheck->isChecked() && !byIterations);
    m_requestLimit->setEnabled(m_requestLimitCheck->isChecked() && !byIterations);
    m_rate->setEnabled(m_loadLevel->isChecked());
    m_logDir->setEnabled(m_writeLog->isChecked());
    m_logBrowse->setEnabled(m_writeLog->isChecked());
    for (QWidget* w : {static_cast<QWidget*>(m_reportDir), static_cast<QWidget*>(m_reportBrowse),
                       static_cast<QWidget*>(m_pattern), static_cast<QWidget*>(m_patternEdit)})
        w->setEnabled(m_useReportDir->isChecked());
    m_timingsKind->setEnabled(m_details->isChecked());
    for (int i = 0; i < 3; ++i) m_editSequence[i]->setEnabled(m_useSequence[i]->isChecked());
    m_delay->setEnabled(m_startDelayed->isChecked());
}

void RunnerPage::chooseDirectory(QLineEdit* field, const QString& title) {
    const QString chosen = m_chooseDirectory
                               ? m_chooseDirectory(title, field->text())
                               : QFileDialog::getExistingDirectory(this, title, field->text());
    if (chosen.isEmpty()) return;
    field->setText(chosen);
    changed();
}

void RunnerPage::editSequence(int which) {
    std::vector<std::string> requests;
    {
        auto& container = m_document.scenario().requests();
        std::lock_guard lock(container);
        for (const auto& node : container.roots()) requests.push_back(node->request->getName());
    }
    auto& run = m_document.scenario().run();
    std::vector<std::string>* sequences[3] = {&run.initialSequence, &run.mainSequence,
                                              &run.finalSequence};
    SequenceEditorDialog dialog(QString::fromLatin1(kSequenceCaptions[which]), requests,
                                *sequences[which], this);
    if (dialog.exec() != QDialog::Accepted) return;
    *sequences[which] = dialog.sequence();
    m_document.setModified(true);
}

void RunnerPage::editPattern() {
    std::string name = m_document.title();
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    EditPatternDialog dialog(m_pattern->text(), name, m_users->text().toInt(),
                             m_iterations->text().toInt(), this);
    if (m_message) dialog.setMessageHandler(m_message);
    if (dialog.exec() != QDialog::Accepted) return;
    m_pattern->setText(dialog.pattern());
    changed();
}

void RunnerPage::rebuildGlobalVariables() {
    m_globalUses.clear();
    const velk::StatusOr<std::string> script =
        m_document.scenario().generateScript(velk::settings::GlobalSettings::shared());
    if (script) m_globalUses = globalVariablesUsed(*script);
    while (m_globalsForm->rowCount() > 0) m_globalsForm->removeRow(0);
    for (const GlobalVariableUse& use : m_globalUses) {
        const QString name = QString::fromStdString(use.name);
        const auto& values = m_document.scenario().globalValues();
        const auto value = values.find(use.name);
        auto* field = new QLineEdit(value == values.end() ? QString()
                                                          : QString::fromStdString(value->second));
        field->setObjectName(QStringLiteral("gvar:") + name);
        field->setMaximumWidth(360);
        field->setPlaceholderText(QString::fromStdString(use.defaultText));
        field->setAccessibleName(name);
        field->setToolTip(QStringLiteral("Empty: the scenario's default (%1)")
                              .arg(QString::fromStdString(use.defaultText)));
        connect(field, &QLineEdit::textEdited, this, [this, key = use.name](const QString& text) {
            // Kept with the scenario, so the next session runs with it too.
            m_document.scenario().globalValues()[key] = text.toStdString();
            m_document.setModified(true);
        });
        auto* label = new QLabel(name + QLatin1Char(':'));
        label->setBuddy(field);
        m_globalsForm->addRow(label, field);
    }
    m_globalsBox->setVisible(!m_globalUses.empty());
}

void RunnerPage::showMessage(const QString& text) {
    if (m_message)
        m_message(text);
    else
        QMessageBox::warning(this, QApplication::applicationName(), text);
}

void RunnerPage::refuse(QLineEdit* field, const QString& text) {
    showMessage(text);
    // At the smallest window the field may lie below the visible part.
    if (m_scroll->widget()->isAncestorOf(field)) m_scroll->ensureWidgetVisible(field);
    field->setFocus();
    field->selectAll();
}

void RunnerPage::refreshOutput() {
    m_output->showLog(m_document.scenario().outputLog().text());
}

}  // namespace velk::runner
