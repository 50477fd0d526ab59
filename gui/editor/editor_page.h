#pragma once
// EditorPage: the editor page, where the user edits the open scenario by
// hand: the list of top-level requests (Add, Delete, Clear, Up, Down), the
// selected request's options and parameters, and the scenario-wide options.
// It owns no model data: the list is rebuilt from the requests container, and
// every change goes straight into the scenario and marks the document modified.
//
// User-interface thread only.  Every access to the request tree holds the
// container's lock for the operation alone, never across an event-loop turn,
// so the recorder may add requests between two edits.
#include <QTreeWidget>
#include <cstdint>

#include "app/scenario/scenario_document.h"
#include "gui/shell/page.h"

class QGridLayout;
class QPushButton;
class QScrollArea;
class QToolButton;

namespace velk::editor {

class RequestOptionsPanel;
class ScenarioOptionsPanel;

class EditorPage : public velk::shell::Page {
    Q_OBJECT
public:
    explicit EditorPage(velk::scenario::ScenarioDocument& document, QWidget* parent = nullptr);

    void activatePage() override;
    void deactivatePage() override;
    void resetPage() override;

    QTreeWidget* requestList() const { return m_list; }
    RequestOptionsPanel* requestOptions() const { return m_requestOptions; }
    ScenarioOptionsPanel* scenarioOptions() const { return m_scenarioOptions; }
    QPushButton* addButton() const { return m_add; }
    QPushButton* deleteButton() const { return m_delete; }
    QPushButton* clearButton() const { return m_clear; }
    QToolButton* upButton() const { return m_up; }
    QToolButton* downButton() const { return m_down; }
    // The option panels' scroll area (one column below kSideBySideWidth).
    QScrollArea* optionsScroll() const { return m_scroll; }
    static constexpr int kSideBySideWidth = 800;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* buildRequestList();
    void arrangePanels(bool wide);
    void reloadList();
    void selectRow(int row);
    int32_t rowId(int row) const;
    void rowSelected();
    void rewriteRow(int32_t id);
    void addRequest();
    void deleteRequests();
    void clearRequests();
    void moveRequest(int step);
    void optionsEdited();
    void useDelaysToggled(bool use);
    void storeOptions();
    void clearSequences();
    void modified();
    void updateEnabling();
    void resizeColumns();

    velk::scenario::ScenarioDocument& m_document;
    QTreeWidget* m_list = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_delete = nullptr;
    QPushButton* m_clear = nullptr;
    QToolButton* m_up = nullptr;
    QToolButton* m_down = nullptr;
    RequestOptionsPanel* m_requestOptions = nullptr;
    ScenarioOptionsPanel* m_scenarioOptions = nullptr;
    QScrollArea* m_scroll = nullptr;
    QGridLayout* m_panels = nullptr;
    int m_wide = -1;
    bool m_loading = false;  // the list is being rebuilt, not clicked
};

}  // namespace velk::editor
