#include "gui/shell/settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/settings/settings_backend.h"
#include "app/shell/settings_form_rules.h"

namespace velk::shell {

using velk::settings::GlobalSettings;

SettingsDialog::SettingsDialog(GlobalSettings& settings, velk::settings::SettingsBackend& store,
                               QWidget* parent)
    : QDialog(parent), m_settings(settings), m_store(store) {
    setWindowTitle(QStringLiteral("Settings"));
    m_useProxy = new QCheckBox(QStringLiteral("&Use proxy server while performing test"), this);
    m_type = new QComboBox(this);
    for (int i = 0; i < GlobalSettings::kProxyTypeCount; ++i)
        m_type->addItem(QString::fromLatin1(GlobalSettings::proxyTypeName(i)));
    m_server = new QLineEdit(this);
    m_port = new QLineEdit(this);
    // A 32-bit number as the store keeps it; no upper limit of its own.
    m_port->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,9}")), m_port));
    m_useAuth = new QCheckBox(QStringLiteral("Use &authentication"), this);
    m_user = new QLineEdit(this);
    m_password = new QLineEdit(this);
    m_password->setEchoMode(QLineEdit::Password);
    m_http = new QComboBox(this);
    m_http->addItems({QStringLiteral("HTTP 1.0"), QStringLiteral("HTTP 1.1")});
    m_http2 = new QComboBox(this);
    m_http2->addItems({QStringLiteral("Off"),
                       QStringLiteral("Over TLS, where the server offers it"),
                       QStringLiteral("Also in clear text (h2c, prior knowledge)")});
    m_ssl = new QComboBox(this);
    m_ssl->addItems({QStringLiteral("SSL 2.0"), QStringLiteral("SSL 3.0")});
    m_timeout = new QSpinBox(this);
    m_timeout->setRange(0, 1000);
    m_prompt = new QCheckBox(QStringLiteral("Sh&ow prompt for Recorder"), this);
    m_start =
        new QCheckBox(QStringLiteral("Alwa&ys start recording when switching to Recorder"), this);

    auto* proxyBox = new QGroupBox(QStringLiteral("Proxy"), this);
    auto* proxyForm = new QFormLayout(proxyBox);
    proxyForm->addRow(m_useProxy);
    proxyForm->addRow(QStringLiteral("&Type:"), m_type);
    proxyForm->addRow(QStringLiteral("&Server:"), m_server);
    proxyForm->addRow(QStringLiteral("&Port:"), m_port);
    proxyForm->addRow(m_useAuth);
    proxyForm->addRow(QStringLiteral("Us&er:"), m_user);
    proxyForm->addRow(QStringLiteral("Pass&word:"), m_password);

    auto* protocolForm = new QFormLayout;
    protocolForm->addRow(QStringLiteral("&HTTP version:"), m_http);
    protocolForm->addRow(QStringLiteral("HTTP/&2:"), m_http2);
    protocolForm->addRow(QStringLiteral("&SSL version:"), m_ssl);
    auto* timeoutRow = new QHBoxLayout;
    timeoutRow->addWidget(m_timeout);
    timeoutRow->addWidget(new QLabel(QStringLiteral("sec"), this));
    timeoutRow->addStretch();
    protocolForm->addRow(QStringLiteral("&Maximum time of waiting for server response:"),
                         timeoutRow);
    // QFormLayout made the labels; give the time-out's its buddy by hand.
    if (auto* label = qobject_cast<QLabel*>(protocolForm->labelForField(timeoutRow)))
        label->setBuddy(m_timeout);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &SettingsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(proxyBox);
    layout->addLayout(protocolForm);
    layout->addWidget(m_prompt);
    layout->addWidget(m_start);
    layout->addWidget(buttons);

    const GlobalSettings::Values v = m_settings.values();
    m_useProxy->setChecked(v.useProxy);
    m_type->setCurrentIndex(v.proxyType);
    m_server->setText(QString::fromStdString(v.proxyServer));
    m_port->setText(QString::number(v.proxyPort));
    m_useAuth->setChecked(v.proxyAuth);
    m_user->setText(QString::fromStdString(v.proxyUser));
    m_password->setText(QString::fromStdString(v.proxyPassword));
    m_http->setCurrentIndex(v.httpVersion == 0 ? 0 : 1);
    m_http2->setCurrentIndex(v.http2 == 1 || v.http2 == 2 ? v.http2 : 0);
    m_ssl->setCurrentIndex(v.sslVersion == 0 ? 0 : 1);
    m_timeout->setValue(v.timeout);
    m_prompt->setChecked(v.promptRecording);
    m_start->setChecked(v.startRecording);

    connect(m_useProxy, &QCheckBox::toggled, this, &SettingsDialog::updateEnabling);
    connect(m_useAuth, &QCheckBox::toggled, this, &SettingsDialog::updateEnabling);
    connect(m_type, &QComboBox::currentIndexChanged, this, &SettingsDialog::updateEnabling);
    connect(m_http2, &QComboBox::currentIndexChanged, this, &SettingsDialog::updateEnabling);
    updateEnabling();
}

void SettingsDialog::updateEnabling() {
    const SettingsEnabling e =
        settingsEnabling(m_useProxy->isChecked(), m_useAuth->isChecked(), m_type->currentIndex());
    for (QWidget* w : {static_cast<QWidget*>(m_type), static_cast<QWidget*>(m_server),
                       static_cast<QWidget*>(m_port)})
        w->setEnabled(e.proxyFields);
    m_useAuth->setEnabled(e.authCheck);
    m_user->setEnabled(e.authFields);
    m_password->setEnabled(e.authFields);
    // HTTP/2 falls back to HTTP 1.1 only, so the version is that while it is chosen.
    const bool http2 = m_http2->currentIndex() != 0;
    if (http2) m_http->setCurrentIndex(1);
    m_http->setEnabled(!http2);
}

GlobalSettings::Values SettingsDialog::formValues() const {
    GlobalSettings::Values v = m_settings.values();
    v.useProxy = m_useProxy->isChecked();
    v.proxyType = m_type->currentIndex();
    v.proxyServer = m_server->text().toStdString();
    v.proxyPort = m_port->text().toInt();
    v.proxyAuth = m_useAuth->isChecked();
    v.proxyUser = m_user->text().toStdString();
    v.proxyPassword = m_password->text().toStdString();
    v.httpVersion = m_http->currentIndex();
    v.http2 = m_http2->currentIndex();
    v.sslVersion = m_ssl->currentIndex();
    v.timeout = m_timeout->value();
    v.promptRecording = m_prompt->isChecked();
    v.startRecording = m_start->isChecked();
    return v;
}

void SettingsDialog::accept() {
    const GlobalSettings::Values v = formValues();
    const SettingsRefusal refusal = checkSettings(v, m_timeout->hasAcceptableInput());
    if (refusal.field != SettingsField::kNone) {
        QWidget* focus = nullptr;
        switch (refusal.field) {
            case SettingsField::kTimeout:
                focus = m_timeout;
                break;
            case SettingsField::kServer:
                focus = m_server;
                break;
            case SettingsField::kPort:
                focus = m_port;
                break;
            case SettingsField::kUser:
                focus = m_user;
                break;
            case SettingsField::kPassword:
                focus = m_password;
                break;
            case SettingsField::kNone:
                break;
        }
        QMessageBox::warning(this, QStringLiteral("VELK"), QString::fromStdString(refusal.message));
        if (focus) focus->setFocus();
        if (auto* edit = qobject_cast<QLineEdit*>(focus)) edit->selectAll();
        return;
    }
    m_settings.setValues(v);
    m_settings.save(m_store);
    QDialog::accept();
}

}  // namespace velk::shell
