#include "gui/runner/edit_pattern_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/runner/report_name_pattern.h"

namespace velk::runner {

EditPatternDialog::EditPatternDialog(const QString& pattern, const std::string& scenarioName,
                                     int users, int iterations, QWidget* parent)
    : QDialog(parent), m_scenarioName(scenarioName), m_users(users), m_iterations(iterations) {
    setWindowTitle(QStringLiteral("Edit Pattern"));
    const std::time_t now = std::time(nullptr);
    localtime_r(&now, &m_opened);

    auto* intro =
        new QLabel(QStringLiteral("You can use predefined macros and any symbols that "
                                  "filename can contain to define reports names pattern."),
                   this);
    intro->setWordWrap(true);
    m_pattern = new QLineEdit(pattern, this);
    m_pattern->setMaxLength(270);
    m_macroButton = new QPushButton(QStringLiteral("&Macro"), this);
    m_sample = new QLineEdit(this);
    m_sample->setReadOnly(true);
    m_menu = new QMenu(this);
    static const char* const kItems[] = {
        "&Scenario Name\t%n", "&Users\t%c", "&Iterations\t%r", "", "&Year\t%y",
        "&Month\t%m",         "&Day\t%d",   "&Time\t%t",       "", "&Percent Sign\t%%"};
    for (const char* item : kItems) {
        if (!*item) {
            m_menu->addSeparator();
            continue;
        }
        const QString text = QString::fromLatin1(item);
        connect(m_menu->addAction(text), &QAction::triggered, this, [this, text] {
            // The item's last two characters are its macro.
            m_pattern->insert(text.right(2));
            m_pattern->setFocus();
        });
    }
    connect(m_macroButton, &QPushButton::clicked, this, [this] {
        m_menu->popup(m_macroButton->mapToGlobal(QPoint(0, m_macroButton->height())));
    });

    auto* patternLabel = new QLabel(QStringLiteral("&Pattern:"), this);
    patternLabel->setBuddy(m_pattern);
    auto* sampleLabel = new QLabel(QStringLiteral("&Sample:"), this);
    sampleLabel->setBuddy(m_sample);
    auto* row = new QHBoxLayout;
    row->addWidget(m_pattern, 1);
    row->addWidget(m_macroButton);
    auto* form = new QFormLayout;
    form->addRow(patternLabel, row);
    form->addRow(sampleLabel, m_sample);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(box, &QDialogButtonBox::accepted, this, &EditPatternDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(form);
    layout->addWidget(box);
    resize(460, sizeHint().height());

    connect(m_pattern, &QLineEdit::textChanged, this, [this] { updateSample(); });
    updateSample();
}

QString EditPatternDialog::pattern() const {
    return m_pattern->text();
}

void EditPatternDialog::updateSample() {
    m_sample->setText(QString::fromStdString(expandReportPattern(
        m_pattern->text().toStdString(), m_scenarioName, m_users, m_iterations, m_opened)));
}

void EditPatternDialog::accept() {
    if (hasForbiddenFileNameChar(m_pattern->text().toStdString())) {
        const QString text = QString::fromStdString(forbiddenFileNameMessage());
        if (m_message)
            m_message(text);
        else
            QMessageBox::warning(this, QApplication::applicationName(), text);
        m_pattern->setFocus();
        return;
    }
    QDialog::accept();
}

}  // namespace velk::runner
