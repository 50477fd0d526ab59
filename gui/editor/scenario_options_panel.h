#pragma once
// ScenarioOptionsPanel: the scenario-wide options of the editor page (keep-alive,
// Basic authorization, proxy emulation with its address pattern, the simulated
// connection speed, ignore errors, use delays, the user agent, each iteration
// as a new visitor), loaded from and
// stored into the scenario's general section.  Controls that belong to an
// unchecked option are disabled.
//
// User-interface thread only.
#include <QGroupBox>

#include "app/scenario/general_section.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace velk::editor {

class AddressPatternEdit;

class ScenarioOptionsPanel : public QGroupBox {
    Q_OBJECT
public:
    explicit ScenarioOptionsPanel(QWidget* parent = nullptr);

    // Shows the section's values; emits nothing.
    void load(const velk::scenario::CGeneralSection& section);
    // Writes the shown values into the section (the project name stays).
    void store(velk::scenario::CGeneralSection& section) const;
    bool useDelays() const;

    QCheckBox* keepAliveBox() const { return m_keepAlive; }
    QCheckBox* authorizationBox() const { return m_authorization; }
    QLineEdit* userField() const { return m_user; }
    QLineEdit* passwordField() const { return m_password; }
    QCheckBox* proxyEmulationBox() const { return m_proxyEmulation; }
    AddressPatternEdit* patternField() const { return m_pattern; }
    QCheckBox* speedBox() const { return m_useSpeed; }
    QComboBox* speedList() const { return m_speed; }
    QCheckBox* ignoreErrorsBox() const { return m_ignoreErrors; }
    QCheckBox* useDelaysBox() const { return m_useDelays; }
    QCheckBox* userAgentBox() const { return m_useUserAgent; }
    QComboBox* userAgentList() const { return m_userAgent; }
    QCheckBox* newVisitorBox() const { return m_newVisitor; }

signals:
    // The user changed an option other than "Use delays".
    void optionsEdited();
    // The user toggled "Use delays".
    void useDelaysToggled(bool use);

private:
    void updateEnabling();

    QCheckBox* m_keepAlive = nullptr;
    QCheckBox* m_newVisitor = nullptr;
    QCheckBox* m_authorization = nullptr;
    QLabel* m_userLabel = nullptr;
    QLineEdit* m_user = nullptr;
    QLabel* m_passwordLabel = nullptr;
    QLineEdit* m_password = nullptr;
    QCheckBox* m_proxyEmulation = nullptr;
    AddressPatternEdit* m_pattern = nullptr;
    QCheckBox* m_useSpeed = nullptr;
    QComboBox* m_speed = nullptr;
    QCheckBox* m_ignoreErrors = nullptr;
    QCheckBox* m_useDelays = nullptr;
    QCheckBox* m_useUserAgent = nullptr;
    QComboBox* m_userAgent = nullptr;
};

}  // namespace velk::editor
