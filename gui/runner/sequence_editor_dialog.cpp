#include "gui/runner/sequence_editor_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/runner/sequence_edit.h"

namespace velk::runner {

SequenceEditorDialog::SequenceEditorDialog(const QString& caption,
                                           const std::vector<std::string>& requests,
                                           const std::vector<std::string>& sequence,
                                           QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Sequence Editor"));
    for (const std::string& entry : sequence)
        if (!entry.empty()) m_sequence.push_back(entry);
    m_requests = new QListWidget(this);
    m_requests->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (const std::string& name : requests)
        if (!name.empty()) m_requests->addItem(QString::fromStdString(name));
    m_entries = new QListWidget(this);
    m_entries->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_insert = new QPushButton(QStringLiteral("Insert Request"), this);
    m_remove = new QPushButton(QStringLiteral("Remove Request"), this);
    m_up = new QPushButton(QStringLiteral("Move Up"), this);
    m_down = new QPushButton(QStringLiteral("Move Down"), this);

    auto* requestsLabel = new QLabel(QStringLiteral("&Requests:"), this);
    requestsLabel->setBuddy(m_requests);
    auto* sequenceLabel = new QLabel(caption, this);
    sequenceLabel->setBuddy(m_entries);
    auto* buttons = new QVBoxLayout;
    buttons->addStretch();
    for (QPushButton* b : {m_insert, m_remove, m_up, m_down}) buttons->addWidget(b);
    buttons->addStretch();
    auto* grid = new QGridLayout;
    grid->addWidget(requestsLabel, 0, 0);
    grid->addWidget(sequenceLabel, 0, 2);
    grid->addWidget(m_requests, 1, 0);
    grid->addLayout(buttons, 1, 1);
    grid->addWidget(m_entries, 1, 2);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(box);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);

    connect(m_insert, &QPushButton::clicked, this, [this] {
        Sequence names;
        for (int row = 0; row < m_requests->count(); ++row)
            if (m_requests->item(row)->isSelected())
                names.push_back(m_requests->item(row)->text().toStdString());
        showEntries(insertEntries(m_sequence, selectedEntries(), names));
    });
    connect(m_remove, &QPushButton::clicked, this, [this] {
        removeEntries(m_sequence, selectedEntries());
        showEntries({});
    });
    connect(m_up, &QPushButton::clicked, this,
            [this] { showEntries(moveEntriesUp(m_sequence, selectedEntries())); });
    connect(m_down, &QPushButton::clicked, this,
            [this] { showEntries(moveEntriesDown(m_sequence, selectedEntries())); });
    connect(m_requests, &QListWidget::itemSelectionChanged, this, [this] { updateButtons(); });
    connect(m_entries, &QListWidget::itemSelectionChanged, this, [this] { updateButtons(); });
    showEntries({});
}

std::vector<int> SequenceEditorDialog::selectedEntries() const {
    std::vector<int> rows;
    for (int row = 0; row < m_entries->count(); ++row)
        if (m_entries->item(row)->isSelected()) rows.push_back(row);
    return rows;
}

void SequenceEditorDialog::showEntries(const std::vector<int>& selected) {
    m_entries->clear();
    for (const std::string& entry : m_sequence) m_entries->addItem(QString::fromStdString(entry));
    for (int row : selected)
        if (QListWidgetItem* item = m_entries->item(row)) item->setSelected(true);
    updateButtons();
}

void SequenceEditorDialog::updateButtons() {
    const SequenceButtons b = sequenceButtons(int(m_requests->selectedItems().size()),
                                              m_entries->count(), selectedEntries());
    m_insert->setEnabled(b.insert);
    m_remove->setEnabled(b.remove);
    m_up->setEnabled(b.moveUp);
    m_down->setEnabled(b.moveDown);
}

}  // namespace velk::runner
