#pragma once
// EditPatternDialog ("Edit Pattern"): edits the report-name pattern with a
// menu of its macros and a sample name recomputed on every change; OK refuses
// a pattern that is not a file name.
// User-interface thread only.
#include <QDialog>
#include <ctime>
#include <functional>
#include <string>

class QLineEdit;
class QMenu;
class QPushButton;

namespace velk::runner {

class EditPatternDialog : public QDialog {
    Q_OBJECT
public:
    EditPatternDialog(const QString& pattern, const std::string& scenarioName, int users,
                      int iterations, QWidget* parent = nullptr);

    QString pattern() const;
    QLineEdit* patternField() const { return m_pattern; }
    QLineEdit* sampleField() const { return m_sample; }
    QMenu* macroMenu() const { return m_menu; }
    // Replaces the message box that OK shows for a refused pattern.
    void setMessageHandler(std::function<void(const QString&)> handler) {
        m_message = std::move(handler);
    }

    void accept() override;

private:
    void updateSample();

    std::string m_scenarioName;
    int m_users;
    int m_iterations;
    std::tm m_opened{};  // the sample's date and time
    QLineEdit* m_pattern;
    QLineEdit* m_sample;
    QPushButton* m_macroButton;
    QMenu* m_menu;
    std::function<void(const QString&)> m_message;
};

}  // namespace velk::runner
