#pragma once
// ParamDialog: "Parameter Value Dynamic Calculation", the editor of one
// request parameter: its name and the components its value is built from.  It
// works on copies: OK makes name() and components() the new parameter, Cancel
// (or closing) leaves the caller's parameter as it was.
//
// User-interface thread only.  It holds no lock: the caller copies the
// parameter out of the requests container before exec() and writes the result
// back afterwards under the container's lock.
#include <QDialog>
#include <vector>

#include "app/scenario/req_param_function.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QSpinBox;
class QToolButton;

namespace velk::editor {

class ParamDialog : public QDialog {
    Q_OBJECT
public:
    using Components = std::vector<velk::scenario::CReqParamFunction>;

    ParamDialog(const QString& name, bool encode, Components components, QWidget* parent = nullptr);

    QString name() const;
    // Whether the value is URL-encoded when the script is written.
    bool encode() const { return m_encode; }
    const Components& components() const { return m_components; }

    // The controls, for keyboard-free use by tests and accessibility tools.
    QListWidget* componentList() const { return m_componentList; }
    QListWidget* functionList() const { return m_functionList; }
    QSpinBox* firstNumber() const { return m_first; }
    QSpinBox* secondNumber() const { return m_second; }
    QLineEdit* textField() const { return m_text; }
    QLineEdit* extraField() const { return m_extra; }
    QPlainTextEdit* listField() const { return m_list; }
    QLineEdit* nameField() const { return m_name; }
    QLineEdit* formulaField() const { return m_formula; }
    QCheckBox* encodeBox() const { return m_encodeBox; }
    QToolButton* addButton() const { return m_add; }
    QToolButton* deleteButton() const { return m_delete; }
    QToolButton* upButton() const { return m_up; }
    QToolButton* downButton() const { return m_down; }

private:
    QWidget* buildComponents();
    QGroupBox* buildFields();
    void fillComponentList(const QList<int>& selected);
    void componentSelected();
    void kindChosen();
    void showKind(int kind);
    void fieldEdited();
    void firstNumberEdited();
    void secondNumberEdited();
    void addComponent();
    void deleteComponents();
    void moveComponent(int step);
    void refreshFormula();
    void updateEnabling();
    QList<int> selectedRows() const;
    int currentComponent() const;

    bool m_encode;
    Components m_components;
    bool m_loading = false;  // fields are being filled, not edited

    QLineEdit* m_name = nullptr;
    QLineEdit* m_formula = nullptr;
    QCheckBox* m_encodeBox = nullptr;
    QListWidget* m_componentList = nullptr;
    QListWidget* m_functionList = nullptr;
    QToolButton* m_add = nullptr;
    QToolButton* m_delete = nullptr;
    QToolButton* m_up = nullptr;
    QToolButton* m_down = nullptr;
    QGroupBox* m_fieldsBox = nullptr;
    QLabel* m_description = nullptr;
    QLabel* m_textLabel = nullptr;
    QLineEdit* m_text = nullptr;
    QLabel* m_firstLabel = nullptr;
    QSpinBox* m_first = nullptr;
    QLabel* m_secondLabel = nullptr;
    QSpinBox* m_second = nullptr;
    QLabel* m_extraLabel = nullptr;
    QLineEdit* m_extra = nullptr;
    QPlainTextEdit* m_list = nullptr;
};

}  // namespace velk::editor
