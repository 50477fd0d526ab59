#include "gui/shell/recorder_prompt_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace velk::shell {

RecorderPromptDialog::RecorderPromptDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Recorder Prompt"));
    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
    auto* text =
        new QLabel(QStringLiteral("Always start recording when switch to Recorder?"), this);
    m_check = new QCheckBox(QStringLiteral("&Don't show this message again"), this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Yes | QDialogButtonBox::No, this);
    buttons->button(QDialogButtonBox::Yes)->setText(QStringLiteral("&Yes"));
    buttons->button(QDialogButtonBox::No)->setText(QStringLiteral("&No"));
    connect(buttons->button(QDialogButtonBox::Yes), &QPushButton::clicked, this, &QDialog::accept);
    connect(buttons->button(QDialogButtonBox::No), &QPushButton::clicked, this, &QDialog::reject);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addWidget(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_check);
    layout->addWidget(buttons);
}

bool RecorderPromptDialog::dontShowAgain() const {
    return m_check->isChecked();
}

}  // namespace velk::shell
