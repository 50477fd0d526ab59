#include "gui/editor/editor_page.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollArea>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <mutex>

#include "app/editor/request_row_text.h"
#include "gui/editor/request_options_panel.h"
#include "gui/editor/scenario_options_panel.h"

namespace velk::editor {

using velk::scenario::CRequest;
using velk::scenario::CRequestsContainer;
using Guard = std::lock_guard<CRequestsContainer>;

namespace {

enum Column { kName, kUrl, kData, kDelay };

void setCells(QTreeWidgetItem& item, const CRequest& r) {
    item.setText(kName, QString::fromStdString(r.getName()));
    item.setText(kUrl, QString::fromStdString(requestUrlText(r)));
    item.setText(kData, QString::fromStdString(requestDataText(r)));
    item.setText(kDelay, QString::fromStdString(requestDelayText(r)));
    item.setData(kName, Qt::UserRole, r.getId());
}

}  // namespace

EditorPage::EditorPage(velk::scenario::ScenarioDocument& document, QWidget* parent)
    : Page(parent), m_document(document) {
    m_requestOptions = new RequestOptionsPanel(document, this);
    m_scenarioOptions = new ScenarioOptionsPanel(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildRequestList(), 1);
    // The two option panels side by side where the page is wide enough, one
    // below the other in a scroll area where it is not, as on the runner page.
    auto* panels = new QWidget;
    m_panels = new QGridLayout(panels);
    m_panels->setContentsMargins(0, 0, 0, 0);
    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("optionsScroll"));
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidget(panels);
    layout->addWidget(m_scroll, 2);
    arrangePanels(true);

    connect(m_requestOptions, &RequestOptionsPanel::requestEdited, this, &EditorPage::rewriteRow);
    connect(m_scenarioOptions, &ScenarioOptionsPanel::optionsEdited, this,
            &EditorPage::optionsEdited);
    connect(m_scenarioOptions, &ScenarioOptionsPanel::useDelaysToggled, this,
            &EditorPage::useDelaysToggled);
    resetPage();
}

QWidget* EditorPage::buildRequestList() {
    auto* box = new QWidget(this);
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    m_list = new QTreeWidget(box);
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setHeaderLabels({tr("Name"), tr("URL"), tr("Data"), tr("Delay")});
    m_list->header()->setStretchLastSection(false);
    m_list->setAccessibleName(tr("Requests"));
    m_list->installEventFilter(this);
    layout->addWidget(m_list, 1);

    auto* buttons = new QVBoxLayout;
    m_add = new QPushButton(tr("&Add"), box);
    m_delete = new QPushButton(tr("&Delete"), box);
    m_clear = new QPushButton(tr("C&lear"), box);
    m_up = new QToolButton(box);
    m_up->setArrowType(Qt::UpArrow);
    m_up->setToolTip(tr("Move Up"));
    m_up->setAccessibleName(tr("Move Up"));
    m_down = new QToolButton(box);
    m_down->setArrowType(Qt::DownArrow);
    m_down->setToolTip(tr("Move Down"));
    m_down->setAccessibleName(tr("Move Down"));
    for (QPushButton* b : {m_add, m_delete, m_clear}) buttons->addWidget(b);
    auto* arrows = new QHBoxLayout;
    arrows->addWidget(m_up);
    arrows->addWidget(m_down);
    buttons->addLayout(arrows);
    buttons->addStretch();
    layout->addLayout(buttons);

    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &EditorPage::rowSelected);
    connect(m_add, &QPushButton::clicked, this, &EditorPage::addRequest);
    connect(m_delete, &QPushButton::clicked, this, &EditorPage::deleteRequests);
    connect(m_clear, &QPushButton::clicked, this, &EditorPage::clearRequests);
    connect(m_up, &QToolButton::clicked, this, [this] { moveRequest(-1); });
    connect(m_down, &QToolButton::clicked, this, [this] { moveRequest(1); });
    return box;
}

void EditorPage::activatePage() {
    m_scenarioOptions->load(m_document.scenario().general());
    m_requestOptions->setUseDelays(m_scenarioOptions->useDelays());
    reloadList();
}

void EditorPage::deactivatePage() {
    storeOptions();
}

void EditorPage::resetPage() {
    m_loading = true;
    m_list->clear();
    m_loading = false;
    m_requestOptions->showRequest(0);
    m_scenarioOptions->load(m_document.scenario().general());
    m_requestOptions->setUseDelays(m_scenarioOptions->useDelays());
    updateEnabling();
    // Opening a file while this page is shown does not show it again, and the
    // file may be read only after the pages were told: once the command is
    // done, a shown page reads the new scenario.
    QTimer::singleShot(0, this, [this] {
        if (isVisible()) activatePage();
    });
}

void EditorPage::reloadList() {
    const int32_t selected = m_requestOptions->requestId();
    int selectedRow = -1;
    m_loading = true;
    m_list->clear();
    {
        CRequestsContainer& requests = m_document.scenario().requests();
        Guard guard(requests);
        for (const auto& node : requests.roots()) {
            auto* item = new QTreeWidgetItem(m_list);
            setCells(*item, *node->request);
            if (node->request->getId() == selected) selectedRow = m_list->topLevelItemCount() - 1;
        }
    }
    m_loading = false;
    selectRow(selectedRow);
}

void EditorPage::selectRow(int row) {
    m_loading = true;
    m_list->clearSelection();
    if (row >= 0 && row < m_list->topLevelItemCount()) {
        QTreeWidgetItem* item = m_list->topLevelItem(row);
        m_list->setCurrentItem(item);
        item->setSelected(true);
        m_list->scrollToItem(item);
    }
    m_loading = false;
    rowSelected();
}

int32_t EditorPage::rowId(int row) const {
    QTreeWidgetItem* item = m_list->topLevelItem(row);
    return item ? item->data(kName, Qt::UserRole).toInt() : 0;
}

void EditorPage::rowSelected() {
    if (m_loading) return;
    QTreeWidgetItem* current = m_list->currentItem();
    const bool shown = current && current->isSelected();
    m_requestOptions->showRequest(shown ? current->data(kName, Qt::UserRole).toInt() : 0);
    updateEnabling();
}

void EditorPage::rewriteRow(int32_t id) {
    {
        CRequestsContainer& requests = m_document.scenario().requests();
        Guard guard(requests);
        CRequestsContainer::Node* node = requests.findNode(id);
        for (int row = 0; node && row < m_list->topLevelItemCount(); ++row)
            if (rowId(row) == id) setCells(*m_list->topLevelItem(row), *node->request);
    }
    modified();
}

void EditorPage::addRequest() {
    int32_t id = 0;
    {
        CRequestsContainer& requests = m_document.scenario().requests();
        Guard guard(requests);
        auto request = std::make_unique<CRequest>();
        request->setMethod(CRequest::kGet);
        id = request->getId();
        requests.addChild(0, std::move(request));
    }
    reloadList();
    for (int row = 0; row < m_list->topLevelItemCount(); ++row)
        if (rowId(row) == id) selectRow(row);
    modified();
}

void EditorPage::deleteRequests() {
    QList<int> rows;
    for (int row = 0; row < m_list->topLevelItemCount(); ++row)
        if (m_list->topLevelItem(row)->isSelected()) rows.append(row);
    if (rows.isEmpty()) return;
    {
        CRequestsContainer& requests = m_document.scenario().requests();
        Guard guard(requests);
        for (int row : rows) requests.remove(rowId(row));
    }
    clearSequences();
    reloadList();
    selectRow(std::min(rows.back(), m_list->topLevelItemCount() - 1));
    m_list->setFocus();
    modified();
}

void EditorPage::clearRequests() {
    if (QMessageBox::question(this, QCoreApplication::applicationName(),
                              tr("Are you sure you want to clear the list of requests?"),
                              QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    m_document.scenario().requests().deleteAll();
    clearSequences();
    reloadList();
    modified();
}

void EditorPage::moveRequest(int step) {
    QTreeWidgetItem* current = m_list->currentItem();
    if (!current) return;
    const int row = m_list->indexOfTopLevelItem(current);
    const int other = row + step;
    if (other < 0 || other >= m_list->topLevelItemCount()) return;
    if (!m_document.scenario().requests().swapRequests(rowId(row), rowId(other))) return;
    m_loading = true;
    m_list->clearSelection();
    m_loading = false;
    reloadList();
    selectRow(other);
    modified();
}

void EditorPage::optionsEdited() {
    storeOptions();
    modified();
}

void EditorPage::useDelaysToggled(bool use) {
    m_document.scenario().requests().setUseDelayAll(use);
    m_requestOptions->setUseDelays(use);
    storeOptions();
    modified();
}

void EditorPage::storeOptions() {
    m_scenarioOptions->store(m_document.scenario().general());
}

void EditorPage::clearSequences() {
    velk::scenario::CRunSection& run = m_document.scenario().run();
    run.initialSequence.clear();
    run.mainSequence.clear();
    run.finalSequence.clear();
}

void EditorPage::modified() {
    m_document.setModified(true);
    updateEnabling();
}

void EditorPage::updateEnabling() {
    const int count = m_list->topLevelItemCount();
    const bool any = !m_list->selectedItems().isEmpty();
    m_delete->setEnabled(any);
    m_up->setEnabled(any && count > 0 && !m_list->topLevelItem(0)->isSelected());
    m_down->setEnabled(any && count > 0 && !m_list->topLevelItem(count - 1)->isSelected());
    m_clear->setEnabled(count > 0);
    m_requestOptions->setListEmpty(count == 0);
}

void EditorPage::arrangePanels(bool wide) {
    if (int(wide) == m_wide) return;
    m_wide = int(wide);
    m_panels->removeWidget(m_requestOptions);
    m_panels->removeWidget(m_scenarioOptions);
    m_panels->addWidget(m_requestOptions, 0, 0);
    m_panels->addWidget(m_scenarioOptions, wide ? 0 : 1, wide ? 1 : 0);
    m_panels->setColumnStretch(1, wide ? 1 : 0);
}

void EditorPage::resizeEvent(QResizeEvent* event) {
    // Side by side, the scenario options' long check boxes need about 800 pixels.
    arrangePanels(width() >= kSideBySideWidth);
    velk::shell::Page::resizeEvent(event);
}

bool EditorPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        deleteRequests();
        return true;
    }
    if (watched == m_list && event->type() == QEvent::Resize) resizeColumns();
    return Page::eventFilter(watched, event);
}

void EditorPage::resizeColumns() {
    // Name and Delay keep their widths; URL and Data share the rest.
    const int shared = int((m_list->width() - 43) * 0.43);
    m_list->setColumnWidth(kName, 50);
    m_list->setColumnWidth(kUrl, std::max(shared, 0));
    m_list->setColumnWidth(kData, std::max(shared, 0));
    m_list->setColumnWidth(kDelay, 70);
}

}  // namespace velk::editor
