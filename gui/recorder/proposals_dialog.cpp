#include "gui/recorder/proposals_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace velk::recorder {
namespace {

// A recorded value may be a hundred kilobytes: the cell shows its start (the
// column no wider than this), the tooltip as much as a tooltip can show.
constexpr int kMaxValueWidth = 260;
constexpr qsizetype kShownChars = 120;
constexpr qsizetype kTipChars = 2000;
constexpr qsizetype kTipLine = 100;

QTableWidgetItem* valueItem(const std::string& value) {
    const QString text = QString::fromStdString(value);
    auto* item = new QTableWidgetItem(
        text.size() > kShownChars ? text.left(kShownChars) + QChar(0x2026) : text);
    QString tip;
    for (qsizetype at = 0; at < text.size() && at < kTipChars; at += kTipLine)
        tip += (at > 0 ? QStringLiteral("\n") : QString()) + text.mid(at, kTipLine);
    if (text.size() > kTipChars)
        tip += QStringLiteral("\n\u2026 (%1 characters in all)").arg(text.size());
    item->setToolTip(tip);
    return item;
}

}  // namespace

ProposalsDialog::ProposalsDialog(std::vector<Proposal> proposals, int outcomes, bool checks,
                                 bool showAgain, QWidget* parent, std::vector<ScriptRow> scriptRows)
    : QDialog(parent), m_proposals(std::move(proposals)), m_scriptRows(std::move(scriptRows)) {
    const bool none = m_proposals.empty() && m_scriptRows.empty();
    const int rows = int(m_proposals.size() + m_scriptRows.size());
    setWindowTitle(tr("Recorded Values to Replace"));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        none ? tr("No recorded value was given out by the page before its request.")
             : tr("These recorded values were given out by the page before their request and "
                  "change from visit to visit. Replaced, each is fetched anew from that page "
                  "whenever the scenario is replayed."),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    m_table = new QTableWidget(rows, 5, this);
    m_table->setHorizontalHeaderLabels(
        {tr("Request"), tr("Parameter"), tr("Recorded value"), tr("Replacement"), tr("From")});
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < int(m_proposals.size()); ++row) {
        const Proposal& p = m_proposals[size_t(row)];
        auto* request = new QTableWidgetItem(QString::fromStdString(p.requestName));
        request->setFlags(request->flags() | Qt::ItemIsUserCheckable);
        request->setCheckState(p.ticked ? Qt::Checked : Qt::Unchecked);
        m_table->setItem(row, 0, request);
        m_table->setItem(row, 1, new QTableWidgetItem(QString::fromStdString(p.parameter)));
        m_table->setItem(row, 2, valueItem(p.recordedValue));
        m_table->setItem(row, 3, new QTableWidgetItem(QString::fromStdString(p.replacement)));
        m_table->setItem(row, 4, new QTableWidgetItem(QString::fromStdString(p.origin)));
    }
    for (int i = 0; i < int(m_scriptRows.size()); ++i) {
        const ScriptValueProposal& p = m_scriptRows[size_t(i)].proposal;
        const int row = int(m_proposals.size()) + i;
        auto* request =
            new QTableWidgetItem(QString::fromStdString(m_scriptRows[size_t(i)].requestName));
        request->setFlags(request->flags() | Qt::ItemIsUserCheckable);
        request->setCheckState(p.ticked ? Qt::Checked : Qt::Unchecked);
        m_table->setItem(row, 0, request);
        const QString name = QString::fromStdString(p.name);
        m_table->setItem(
            row, 1,
            new QTableWidgetItem(
                p.place == ScriptValueProposal::Place::Header      ? tr("header %1").arg(name)
                : p.place == ScriptValueProposal::Place::JsonField ? tr("JSON %1").arg(name)
                : p.place == ScriptValueProposal::Place::Url       ? tr("URL")
                                                                   : name));
        m_table->setItem(row, 2, valueItem(p.recordedValue));
        m_table->setItem(row, 3, valueItem(p.expression));
        m_table->setItem(
            row, 4,
            valueItem(tr("%1 (%2)")
                          .arg(QString::fromStdString(p.origin), QString::fromStdString(p.rule))
                          .toStdString()));
    }
    m_table->resizeColumnsToContents();
    if (m_table->columnWidth(2) > kMaxValueWidth) m_table->setColumnWidth(2, kMaxValueWidth);
    if (m_table->columnWidth(4) > 2 * kMaxValueWidth)
        m_table->setColumnWidth(4, 2 * kMaxValueWidth);
    m_table->setVisible(!none);
    layout->addWidget(m_table, 1);

    m_checks = new QCheckBox(
        outcomes == 1 ? tr("&Check the replayed request recorded with its page against what "
                           "the server gave while recording")
                      : tr("&Check each of the %1 replayed requests recorded with their page "
                           "against what the server gave while recording")
                            .arg(outcomes),
        this);
    m_checks->setChecked(checks);
    m_checks->setEnabled(outcomes > 0);
    layout->addWidget(m_checks);
    m_showAgain = new QCheckBox(tr("&Show this list when recording stops"), this);
    m_showAgain->setChecked(showAgain);
    layout->addWidget(m_showAgain);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(760, none ? 180 : 360);
}

std::vector<Proposal> ProposalsDialog::proposals() const {
    std::vector<Proposal> out = m_proposals;
    for (int row = 0; row < int(out.size()); ++row)
        out[size_t(row)].ticked = m_table->item(row, 0)->checkState() == Qt::Checked;
    return out;
}

std::vector<ScriptValueProposal> ProposalsDialog::scriptProposals() const {
    std::vector<ScriptValueProposal> out;
    const int first = int(m_proposals.size());
    for (int i = 0; i < int(m_scriptRows.size()); ++i) {
        out.push_back(m_scriptRows[size_t(i)].proposal);
        out.back().ticked = m_table->item(first + i, 0)->checkState() == Qt::Checked;
    }
    return out;
}

bool ProposalsDialog::checksWanted() const {
    return m_checks->isChecked();
}

bool ProposalsDialog::showAgain() const {
    return m_showAgain->isChecked();
}

}  // namespace velk::recorder
