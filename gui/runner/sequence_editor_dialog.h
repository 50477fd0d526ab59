#pragma once
// SequenceEditorDialog: picks the entries of one sequence (initial, main or
// final) from the scenario's top-level requests: insert after the selected
// entry, remove, move up and down.  The rules are sequence_edit.h's.
// User-interface thread only.
#include <QDialog>
#include <string>
#include <vector>

class QListWidget;
class QPushButton;

namespace velk::runner {

class SequenceEditorDialog : public QDialog {
    Q_OBJECT
public:
    // caption: "&Initial sequence:", "&Main sequence:" or "&Final sequence:".
    SequenceEditorDialog(const QString& caption, const std::vector<std::string>& requests,
                         const std::vector<std::string>& sequence, QWidget* parent = nullptr);

    std::vector<std::string> sequence() const { return m_sequence; }

    QListWidget* requestList() const { return m_requests; }
    QListWidget* sequenceList() const { return m_entries; }
    QPushButton* insertButton() const { return m_insert; }
    QPushButton* removeButton() const { return m_remove; }
    QPushButton* upButton() const { return m_up; }
    QPushButton* downButton() const { return m_down; }

private:
    std::vector<int> selectedEntries() const;
    void showEntries(const std::vector<int>& selected);
    void updateButtons();

    std::vector<std::string> m_sequence;
    QListWidget* m_requests;
    QListWidget* m_entries;
    QPushButton* m_insert;
    QPushButton* m_remove;
    QPushButton* m_up;
    QPushButton* m_down;
};

}  // namespace velk::runner
