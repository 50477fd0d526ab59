// The recorder page's proposals: what it offers when a recording stops or a
// HAR file is imported, and applying what the user kept.
#include <QLabel>
#include <QMessageBox>

#include "app/recorder/har_import.h"
#include "app/scenario/scenario_document.h"
#include "gui/recorder/proposals_dialog.h"
#include "gui/recorder/recorder_page.h"
#include "gui/shell/user_settings.h"

namespace velk::recorder {

void RecorderPage::offerProposals() {
    auto& requests = m_document.scenario().requests();
    offer(findProposals(collectExchanges(requests, m_pages)), scriptExchanges());
}

bool RecorderPage::importHar(const QString& path) {
    const velk::StatusOr<HarVisit> read = readHarFile(path.toStdString(), false);
    if (!read) {
        // The reason may quote the file: shown as plain text.
        QMessageBox box(QMessageBox::Warning, QStringLiteral("VELK"),
                        tr("The HAR file %1 cannot be imported: %2")
                            .arg(path, QString::fromStdString(read.status().message()).left(2000)),
                        QMessageBox::Ok, this);
        box.setTextFormat(Qt::PlainText);
        emit proposalsOffered(&box);
        box.exec();
        return false;
    }
    const HarVisit& visit = *read;
    const std::vector<ScriptExchange> exchanges = addHarRequests(m_document.scenario(), visit);
    m_document.setModified(true);
    refresh(true);
    if (!visit.notes.empty() || visit.staticLeftOut > 0) {
        QString text = tr("%n static file(s) of the HAR file left out.", "", visit.staticLeftOut);
        for (size_t i = 0; i < visit.notes.size() && i < 5; ++i)
            text += QLatin1Char('\n') + QString::fromStdString(visit.notes[i]).left(300);
        m_notice->setTextFormat(Qt::PlainText);
        m_notice->setText(text);
        m_notice->show();
    }
    offer({}, exchanges);
    return true;
}

void RecorderPage::offer(std::vector<Proposal> proposals,
                         const std::vector<ScriptExchange>& exchanges) {
    auto& requests = m_document.scenario().requests();
    std::vector<ProposalsDialog::ScriptRow> scriptRows;
    {
        const auto values = proposeScriptValues(exchanges);
        std::lock_guard<scenario::CRequestsContainer> g(requests);
        for (const ScriptValueProposal& p : values) {
            const auto* node = requests.findNode(p.requestId);
            scriptRows.push_back({p, node ? node->request->getName() : std::string()});
        }
    }
    const int outcomes = requests.outcomeCount();
    if ((proposals.empty() && scriptRows.empty() && outcomes == 0) || !showProposals()) return;
    ProposalsDialog dialog(std::move(proposals), outcomes, requests.getRecordedChecks(), true, this,
                           std::move(scriptRows));
    emit proposalsOffered(&dialog);
    const int answer = dialog.exec();
    setShowProposals(dialog.showAgain());
    if (answer != QDialog::Accepted) return;
    applyProposals(requests, dialog.proposals());
    {
        std::lock_guard<scenario::CRequestsContainer> g(requests);
        applyScriptValues(requests, dialog.scriptProposals());
    }
    requests.setRecordedChecks(dialog.checksWanted());
    m_document.setModified(true);
    refresh();
}

bool RecorderPage::showProposals() {
    return shell::openUserSettings()
        ->value(QStringLiteral("Recorder/ShowProposals"), true)
        .toBool();
}

void RecorderPage::setShowProposals(bool show) {
    auto settings = shell::openUserSettings();
    settings->setValue(QStringLiteral("Recorder/ShowProposals"), show);
    settings->sync();
}

}  // namespace velk::recorder
