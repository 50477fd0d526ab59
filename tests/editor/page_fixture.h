#pragma once
// The editor page on a fresh document, shown offscreen, with helpers that act
// as a user would (clicks and typing) and read back the scenario.
#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "app/scenario/scenario_document.h"
#include "gui/editor/editor_page.h"

class QWidget;

namespace velk::editor::test {

// Answers the next message box that opens while this object lives with
// button, and keeps its text.  Polls a bounded number of times.
class MessageBoxAnswer : public QObject {
public:
    explicit MessageBoxAnswer(QMessageBox::StandardButton button);
    ~MessageBoxAnswer() override;
    int count() const { return m_count; }
    const QString& text() const { return m_text; }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    QMessageBox::StandardButton m_button;
    int m_timer = 0;
    int m_ticks = 0;
    int m_count = 0;
    QString m_text;
};

class EditorPageTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Scrolls the page so that the widget is in view, then clicks its middle.
    void click(QWidget* widget);
    void scrollTo(QWidget* widget);
    // Selects the field's whole text and types keys over it.
    void retype(QWidget* field, const QString& keys);
    // Adds a request through the Add button and names it through the form.
    int32_t addRequest(const QString& name);
    void selectRows(const std::vector<int>& rows);
    // The requests' names in flattened order.
    std::string order();
    velk::scenario::CRequest& request(int32_t id);

    velk::scenario::ScenarioDocument m_document;
    std::unique_ptr<EditorPage> m_view;
};

}  // namespace velk::editor::test
