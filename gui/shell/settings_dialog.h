#pragma once
// The "Settings" dialog: the global settings (proxy, HTTP and SSL versions, HTTP/2,
// response time-out, recorder preferences).  Fields are filled from the
// settings when it opens; OK checks them (settings_form_rules.h), stores them
// and saves them to the store, Cancel changes nothing.  Which fields are enabled
// follows the check boxes and the proxy type.
//
// User-interface thread only.
#include <QDialog>

#include "app/settings/global_settings.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

namespace velk::settings {
class SettingsBackend;
}  // namespace velk::settings

namespace velk::shell {

class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    SettingsDialog(velk::settings::GlobalSettings& settings, velk::settings::SettingsBackend& store,
                   QWidget* parent = nullptr);

    // The fields, for tests and the accessibility tree.
    QCheckBox* useProxy() const { return m_useProxy; }
    QComboBox* proxyType() const { return m_type; }
    QLineEdit* server() const { return m_server; }
    QLineEdit* port() const { return m_port; }
    QCheckBox* useAuth() const { return m_useAuth; }
    QLineEdit* user() const { return m_user; }
    QLineEdit* password() const { return m_password; }
    QComboBox* httpVersion() const { return m_http; }
    QComboBox* http2() const { return m_http2; }
    QComboBox* sslVersion() const { return m_ssl; }
    QSpinBox* timeout() const { return m_timeout; }
    QCheckBox* promptRecording() const { return m_prompt; }
    QCheckBox* startRecording() const { return m_start; }

public slots:
    void accept() override;

private:
    void updateEnabling();
    velk::settings::GlobalSettings::Values formValues() const;

    velk::settings::GlobalSettings& m_settings;
    velk::settings::SettingsBackend& m_store;
    QCheckBox* m_useProxy;
    QComboBox* m_type;
    QLineEdit* m_server;
    QLineEdit* m_port;
    QCheckBox* m_useAuth;
    QLineEdit* m_user;
    QLineEdit* m_password;
    QComboBox* m_http;
    QComboBox* m_http2;
    QComboBox* m_ssl;
    QSpinBox* m_timeout;
    QCheckBox* m_prompt;
    QCheckBox* m_start;
};

}  // namespace velk::shell
