#include "gui/editor/scenario_options_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>

#include "app/editor/editor_tables.h"
#include "gui/editor/address_pattern_edit.h"

namespace velk::editor {

using velk::scenario::CGeneralSection;

ScenarioOptionsPanel::ScenarioOptionsPanel(QWidget* parent)
    : QGroupBox(tr("Scenario options"), parent) {
    auto* layout = new QGridLayout(this);
    m_keepAlive = new QCheckBox(tr("&Keep alive"), this);
    m_ignoreErrors = new QCheckBox(tr("Ignore &errors"), this);
    m_useDelays = new QCheckBox(tr("&Use delays"), this);
    m_authorization = new QCheckBox(tr("&Basic authorization"), this);
    m_userLabel = new QLabel(tr("Na&me:"), this);
    m_user = new QLineEdit(this);
    m_user->setMaxLength(256);
    m_userLabel->setBuddy(m_user);
    m_passwordLabel = new QLabel(tr("&Password:"), this);
    m_password = new QLineEdit(this);
    m_password->setMaxLength(256);
    m_password->setEchoMode(QLineEdit::Password);
    m_passwordLabel->setBuddy(m_password);
    m_proxyEmulation = new QCheckBox(tr("Pro&xy emulation:"), this);
    m_pattern = new AddressPatternEdit(this);
    m_pattern->setAccessibleName(tr("Address pattern"));
    m_useSpeed = new QCheckBox(tr("Simulate user c&onnection speed:"), this);
    m_speed = new QComboBox(this);
    for (const SpeedItem& item : speedItems()) m_speed->addItem(QString::fromLatin1(item.text));
    m_speed->setAccessibleName(tr("Connection speed"));
    m_newVisitor = new QCheckBox(tr("Start each iteration as a ne&w visitor"), this);
    m_newVisitor->setToolTip(
        tr("Each pass of the test sequence starts with no cookies and no previous page, "
           "so a recorded sign-in holds in every iteration"));
    m_useUserAgent = new QCheckBox(tr("User a&gent:"), this);
    m_userAgent = new QComboBox(this);
    m_userAgent->setEditable(true);
    m_userAgent->lineEdit()->setMaxLength(1024);
    m_userAgent->setInsertPolicy(QComboBox::NoInsert);
    m_userAgent->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_userAgent->setMinimumContentsLength(16);
    m_userAgent->setAccessibleName(tr("User agent"));
    for (const char* line : userAgentLines()) m_userAgent->addItem(QString::fromLatin1(line));

    layout->addWidget(m_keepAlive, 0, 0);
    layout->addWidget(m_ignoreErrors, 0, 1);
    layout->addWidget(m_useDelays, 0, 2);
    layout->addWidget(m_authorization, 1, 0, 1, 3);
    auto* credentials = new QHBoxLayout;
    credentials->addWidget(m_userLabel);
    credentials->addWidget(m_user, 1);
    credentials->addWidget(m_passwordLabel);
    credentials->addWidget(m_password, 1);
    layout->addLayout(credentials, 2, 0, 1, 3);
    // The long check box texts get rows of their own, their controls indented
    // below them, so nothing is cut when the window is at its smallest.
    const int indent = style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                       style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
    const auto indented = [indent](QWidget* control) {
        auto* row = new QHBoxLayout;
        row->addSpacing(indent);
        row->addWidget(control, 1);
        return row;
    };
    layout->addWidget(m_proxyEmulation, 3, 0, 1, 3, Qt::AlignLeft);
    layout->addLayout(indented(m_pattern), 4, 0, 1, 3);
    layout->addWidget(m_useSpeed, 5, 0, 1, 3, Qt::AlignLeft);
    layout->addLayout(indented(m_speed), 6, 0, 1, 3);
    layout->addWidget(m_useUserAgent, 7, 0);
    layout->addWidget(m_userAgent, 7, 1, 1, 2);
    layout->addWidget(m_newVisitor, 8, 0, 1, 3, Qt::AlignLeft);
    layout->setColumnStretch(2, 1);
    layout->setRowStretch(9, 1);

    const auto edited = [this] {
        updateEnabling();
        emit optionsEdited();
    };
    for (QCheckBox* box : {m_keepAlive, m_ignoreErrors, m_authorization, m_proxyEmulation,
                           m_useSpeed, m_useUserAgent, m_newVisitor})
        connect(box, &QCheckBox::clicked, this, edited);
    connect(m_user, &QLineEdit::textEdited, this, edited);
    connect(m_password, &QLineEdit::textEdited, this, edited);
    connect(m_pattern, &AddressPatternEdit::patternEdited, this, edited);
    connect(m_speed, &QComboBox::activated, this, edited);
    connect(m_userAgent, &QComboBox::activated, this, edited);
    connect(m_userAgent->lineEdit(), &QLineEdit::textEdited, this, edited);
    connect(m_useDelays, &QCheckBox::clicked, this, [this](bool checked) {
        updateEnabling();
        emit useDelaysToggled(checked);
    });
    updateEnabling();
}

void ScenarioOptionsPanel::load(const CGeneralSection& s) {
    m_keepAlive->setChecked(s.keepAlive);
    m_ignoreErrors->setChecked(s.ignoreErrors);
    m_useDelays->setChecked(s.useDelays);
    m_authorization->setChecked(s.useAuthorization);
    m_user->setText(QString::fromStdString(s.authorizationUser));
    m_password->setText(QString::fromStdString(s.authorizationPassword));
    m_proxyEmulation->setChecked(s.proxyEmulation);
    m_pattern->setPattern(QString::fromStdString(s.proxyMask));
    m_useSpeed->setChecked(s.useSpeedLimit);
    m_speed->setCurrentIndex(speedIndexFor(s.speedLimit));
    m_useUserAgent->setChecked(s.useUserAgent);
    m_userAgent->setEditText(QString::fromStdString(s.userAgent));
    m_newVisitor->setChecked(s.newVisitor);
    updateEnabling();
}

void ScenarioOptionsPanel::store(CGeneralSection& s) const {
    s.keepAlive = m_keepAlive->isChecked();
    s.ignoreErrors = m_ignoreErrors->isChecked();
    s.useDelays = m_useDelays->isChecked();
    s.useAuthorization = m_authorization->isChecked();
    s.authorizationUser = m_user->text().toStdString();
    s.authorizationPassword = m_password->text().toStdString();
    s.proxyEmulation = m_proxyEmulation->isChecked();
    s.proxyMask = m_pattern->pattern().toStdString();
    s.useSpeedLimit = m_useSpeed->isChecked();
    s.speedLimit = speedValueAt(m_speed->currentIndex());
    s.useUserAgent = m_useUserAgent->isChecked();
    s.userAgent = m_userAgent->currentText().toStdString();
    s.newVisitor = m_newVisitor->isChecked();
}

bool ScenarioOptionsPanel::useDelays() const {
    return m_useDelays->isChecked();
}

void ScenarioOptionsPanel::updateEnabling() {
    const bool authorization = m_authorization->isChecked();
    for (QWidget* w :
         std::initializer_list<QWidget*>{m_userLabel, m_user, m_passwordLabel, m_password})
        w->setEnabled(authorization);
    m_pattern->setEnabled(m_proxyEmulation->isChecked());
    m_speed->setEnabled(m_useSpeed->isChecked());
    m_userAgent->setEnabled(m_useUserAgent->isChecked());
}

}  // namespace velk::editor
