#include "gui/shell/tip_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/shell/shell_icons.h"
#include "gui/shell/user_settings.h"

namespace velk::shell {
namespace {
const QString kGroup = QStringLiteral("Tip");
}

bool TipDialog::showAtStartUp() {
    const auto settings = openUserSettings();
    return settings->value(kGroup + QStringLiteral("/StartUp"), 0).toInt() == 0;
}

TipDialog::TipDialog(const QString& tipsPath, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Tip of the Day"));
    auto* picture = new QLabel(this);
    picture->setPixmap(tipPicture());
    auto* heading = new QLabel(QStringLiteral("Did you know..."), this);
    QFont bold = heading->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    heading->setFont(bold);
    m_tip = new QLabel(this);
    m_tip->setWordWrap(true);
    m_tip->setMinimumSize(320, 90);
    m_tip->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_tip->setTextFormat(Qt::PlainText);
    m_startUp = new QCheckBox(QStringLiteral("&Show Tips on StartUp"), this);
    m_next = new QPushButton(QStringLiteral("&Next Tip"), this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->addButton(m_next, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_next, &QPushButton::clicked, this, &TipDialog::showNextTip);

    auto* text = new QVBoxLayout;
    text->addWidget(heading);
    text->addWidget(m_tip, 1);
    auto* top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    top->addLayout(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_startUp);
    layout->addWidget(buttons);

    const auto settings = openUserSettings();
    settings->beginGroup(kGroup);
    m_startUp->setChecked(settings->value(QStringLiteral("StartUp"), 0).toInt() == 0);
    const TipsReader::Status status =
        m_reader.open(tipsPath.toStdString(),
                      settings->value(QStringLiteral("TimeStamp")).toString().toStdString(),
                      settings->value(QStringLiteral("FilePos"), 0).toLongLong());
    switch (status) {
        case TipsReader::Status::kMissing:
            m_tip->setText(QStringLiteral("Tips file does not exist in the prescribed directory"));
            m_next->setEnabled(false);
            break;
        case TipsReader::Status::kTrouble:
            m_readable = true;
            m_tip->setText(QStringLiteral("Trouble reading the tips file"));
            break;
        case TipsReader::Status::kOk:
            m_readable = true;
            showNextTip();
            break;
    }
}

QString TipDialog::tipText() const {
    return m_tip->text();
}

void TipDialog::showNextTip() {
    if (const auto tip = m_reader.next()) m_tip->setText(QString::fromStdString(*tip));
}

void TipDialog::done(int result) {
    const auto settings = openUserSettings();
    settings->beginGroup(kGroup);
    settings->setValue(QStringLiteral("StartUp"), m_startUp->isChecked() ? 0 : 1);
    if (m_readable) {
        settings->setValue(QStringLiteral("FilePos"), m_reader.position());
        settings->setValue(QStringLiteral("TimeStamp"),
                           QString::fromStdString(m_reader.timeStamp()));
    }
    QDialog::done(result);
}

}  // namespace velk::shell
