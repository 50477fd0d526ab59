#include "page_fixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QTest>
#include <QTimerEvent>
#include <QTreeWidget>
#include <mutex>

#include "gui/editor/request_options_panel.h"

namespace velk::editor::test {

MessageBoxAnswer::MessageBoxAnswer(QMessageBox::StandardButton button) : m_button(button) {
    m_timer = startTimer(10);
}

MessageBoxAnswer::~MessageBoxAnswer() {
    killTimer(m_timer);
}

void MessageBoxAnswer::timerEvent(QTimerEvent*) {
    if (++m_ticks > 6000) {  // a minute: nothing will come any more
        killTimer(m_timer);
        return;
    }
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    m_text = box->text();
    ++m_count;
    if (QAbstractButton* b = box->button(m_button))
        b->click();
    else
        box->reject();
}

void EditorPageTest::SetUp() {
    m_document.newDocument();
    m_view = std::make_unique<EditorPage>(m_document);
    m_view->resize(765, 550);
    m_view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_view.get()));
    m_view->activatePage();
}

void EditorPageTest::TearDown() {
    m_view.reset();
}

void EditorPageTest::scrollTo(QWidget* widget) {
    for (QWidget* p = widget->parentWidget(); p; p = p->parentWidget()) {
        if (auto* area = qobject_cast<QScrollArea*>(p)) {
            area->ensureWidgetVisible(widget);
            return;
        }
    }
}

void EditorPageTest::click(QWidget* widget) {
    ASSERT_TRUE(widget->isEnabled()) << widget->metaObject()->className();
    // As a user scrolls to a control before clicking it.
    scrollTo(widget);
    // A check box answers on its box and text, not across its whole width.
    const bool box = qobject_cast<QCheckBox*>(widget) || qobject_cast<QRadioButton*>(widget);
    QTest::mouseClick(widget, Qt::LeftButton, {},
                      box ? QPoint(8, widget->height() / 2) : widget->rect().center());
}

void EditorPageTest::retype(QWidget* field, const QString& keys) {
    field->setFocus();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, keys);
}

int32_t EditorPageTest::addRequest(const QString& name) {
    click(m_view->addButton());
    retype(m_view->requestOptions()->nameField(), name);
    return m_view->requestOptions()->requestId();
}

void EditorPageTest::selectRows(const std::vector<int>& rows) {
    QTreeWidget* list = m_view->requestList();
    list->clearSelection();
    for (int row : rows) {
        list->setCurrentItem(list->topLevelItem(row), 0, QItemSelectionModel::Select);
    }
}

std::string EditorPageTest::order() {
    std::string out;
    for (const auto* r : m_document.scenario().requests().flattened())
        out += (out.empty() ? "" : " ") + r->getName();
    return out;
}

velk::scenario::CRequest& EditorPageTest::request(int32_t id) {
    return *m_document.scenario().requests().findNode(id)->request;
}

}  // namespace velk::editor::test
