#pragma once
// RequestOptionsPanel: the options of the request selected in the editor's list
// (name, server, secure, URI, method, the two delays) and its parameters, with
// Add, Function (edit) and Delete.  Every edit is applied at once to the
// request, found again by its id under the requests container's lock; a
// request that disappeared meanwhile is left alone.
//
// User-interface thread only.  The container's lock is never held while a
// dialog runs: a parameter is copied out, edited, and written back.
#include <QGroupBox>
#include <cstdint>
#include <functional>

#include "app/scenario/scenario_document.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QToolButton;
class QTreeWidget;

namespace velk::editor {

class ParamDialog;
class DelayField;

class RequestOptionsPanel : public QGroupBox {
    Q_OBJECT
public:
    explicit RequestOptionsPanel(velk::scenario::ScenarioDocument& document,
                                 QWidget* parent = nullptr);

    // Shows the request with that id (0: none, the form emptied).  The URI
    // list is rebuilt when the id differs from the one shown.
    void showRequest(int32_t id);
    int32_t requestId() const { return m_requestId; }
    // The request list is empty (everything disabled, the form reset) or not.
    void setListEmpty(bool empty);
    // The scenario's "Use delays" flag: the delay controls follow it.
    void setUseDelays(bool use);

    QLineEdit* nameField() const { return m_name; }
    QLineEdit* serverField() const { return m_server; }
    QCheckBox* secureBox() const { return m_secure; }
    QComboBox* uriList() const { return m_uri; }
    QComboBox* methodList() const { return m_method; }
    DelayField* delayFromField() const { return m_delayFrom; }
    DelayField* delayToField() const { return m_delayTo; }
    QTreeWidget* parameterList() const { return m_params; }
    QToolButton* addParameterButton() const { return m_addParam; }
    QToolButton* editParameterButton() const { return m_editParam; }
    QToolButton* deleteParameterButton() const { return m_deleteParam; }

    // Opens the parameter dialog; tests replace it to drive the dialog.
    using DialogRunner = std::function<int(ParamDialog&)>;
    void setDialogRunner(DialogRunner runner) { m_runDialog = std::move(runner); }

signals:
    // The request with this id changed: its row is to be rewritten.
    void requestEdited(int32_t id);

private:
    void buildRequestFields(QGridLayout* layout);
    void buildParameters(QGridLayout* layout);
    void applyForm();
    void delayEdited(bool fromChanged);
    void fillParameters(const velk::scenario::CRequest& request);
    void addParameter();
    void editParameter();
    void deleteParameter();
    void clearForm();
    void updateEnabling();

    velk::scenario::ScenarioDocument& m_document;
    int32_t m_requestId = 0;
    bool m_listEmpty = true;
    bool m_useDelays = false;
    bool m_loading = false;
    DialogRunner m_runDialog;

    QLineEdit* m_name = nullptr;
    QLineEdit* m_server = nullptr;
    QCheckBox* m_secure = nullptr;
    QComboBox* m_uri = nullptr;
    QComboBox* m_method = nullptr;
    QLabel* m_delayLabel = nullptr;
    DelayField* m_delayFrom = nullptr;
    QLabel* m_toLabel = nullptr;
    DelayField* m_delayTo = nullptr;
    QLabel* m_secLabel = nullptr;
    QTreeWidget* m_params = nullptr;
    QToolButton* m_addParam = nullptr;
    QToolButton* m_editParam = nullptr;
    QToolButton* m_deleteParam = nullptr;
};

}  // namespace velk::editor
