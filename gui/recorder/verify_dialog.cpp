#include "gui/recorder/verify_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QProgressDialog>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <chrono>
#include <future>
#include <tuple>

#include "app/base/terminal_text.h"
#include "app/scenario/scenario.h"
#include "app/settings/global_settings.h"

namespace velk::recorder {
namespace {

constexpr int kMaxColumnWidth = 200;

QString number(int32_t n) {
    return n > 0 ? QString::number(n) : QStringLiteral("-");
}

QString sizeText(int32_t n) {
    return n >= 0 ? QString::number(n) : QStringLiteral("-");
}

// Titles and locations come from the server and the scenario file.
QString shown(const std::string& text) {
    return QString::fromStdString(base::escapeControls(text));
}

}  // namespace

VerifyDialog::VerifyDialog(const runner::VerifyReport& report, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Verify Scenario"));
    auto* layout = new QVBoxLayout(this);
    const int differing = report.differing();
    m_summary = new QLabel(
        differing == 0
            ? tr("%n request(s) played twice with one user: the replay matches the recording.",
                 nullptr, report.played())
            : tr("%1 of %2 requests played differ from the recording (marked below). Replace "
                 "the recorded values that change from visit to visit, or check the server.")
                  .arg(differing)
                  .arg(report.played()),
        this);
    m_summary->setWordWrap(true);
    layout->addWidget(m_summary);

    m_table = new QTreeWidget(this);
    m_table->setRootIsDecorated(false);
    // What differs comes right after the request, so that it is in view in a
    // dialog of 900 pixels whatever the titles' lengths.
    m_table->setHeaderLabels({tr("Request"), tr("Differences"), tr("Recorded status"),
                              tr("Replayed status"), tr("Recorded redirect"),
                              tr("Replayed redirect"), tr("Recorded title"), tr("Replayed title"),
                              tr("Recorded size"), tr("Replayed size")});
    for (const auto& row : report.rows) {
        const auto& r = row.recorded;
        QStringList what;
        for (const auto& d : row.differences) what << QString::fromStdString(d);
        QStringList cells{shown(row.label()),
                          what.join(QStringLiteral(", ")),
                          r ? number(r->status) : QStringLiteral("-"),
                          number(row.replayed.status),
                          r ? shown(r->location) : QStringLiteral("-"),
                          shown(row.replayed.location),
                          r ? shown(r->title) : QStringLiteral("-"),
                          shown(row.replayed.title),
                          r ? sizeText(r->size) : QStringLiteral("-"),
                          sizeText(row.replayed.size)};
        auto* item = new QTreeWidgetItem(cells);
        if (!row.differences.empty()) {
            QFont bold = item->font(0);
            bold.setBold(true);
            for (int c = 0; c < cells.size(); ++c) {
                item->setFont(c, bold);
                item->setForeground(c, QColor(0xB0, 0x00, 0x20));
            }
            item->setIcon(0, style()->standardIcon(QStyle::SP_MessageBoxWarning));
        }
        m_table->addTopLevelItem(item);
    }
    // Long titles and redirects are elided in their columns (whole in the
    // tooltip), so that one of them cannot push the rest out of view.
    for (int c = 0; c < m_table->columnCount(); ++c) {
        m_table->resizeColumnToContents(c);
        if (m_table->columnWidth(c) > kMaxColumnWidth) m_table->setColumnWidth(c, kMaxColumnWidth);
    }
    for (int i = 0; i < m_table->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_table->topLevelItem(i);
        for (int c = 0; c < m_table->columnCount(); ++c) item->setToolTip(c, item->text(c));
    }
    layout->addWidget(m_table, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(900, 360);
}

void verifyScenario(QWidget* parent, const scenario::CScenario& scenario,
                    const std::function<void(QDialog*)>& shown) {
    StatusOr<runner::VerifyPlan> plan =
        runner::prepareVerify(scenario, settings::GlobalSettings::shared());
    if (!plan) {
        QMessageBox::warning(parent, QStringLiteral("VELK"),
                             QString::fromStdString(plan.status().message()));
        return;
    }
    auto task = std::async(std::launch::async,
                           [plan = std::move(*plan)] { return runner::runVerify(plan); });
    {
        QProgressDialog busy(QObject::tr("Playing the scenario once with one user..."), QString(),
                             0, 0, parent);
        busy.setWindowTitle(QObject::tr("Verify Scenario"));
        busy.setWindowModality(Qt::ApplicationModal);
        busy.setMinimumDuration(0);
        busy.show();
        // The engine's time-out bounds the run; the window stays painted meanwhile.
        while (task.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    const StatusOr<runner::VerifyReport> played = task.get();
    if (!played) {
        QMessageBox::warning(parent, QStringLiteral("VELK"),
                             QString::fromStdString(played.status().message()));
        return;
    }
    const runner::VerifyReport& report = *played;
    VerifyDialog dialog(report, parent);
    if (shown) shown(&dialog);
    dialog.exec();
}

}  // namespace velk::recorder
