// The runner page through its real widgets: the step and cycle fields, the
// enabling rules, range refusals, the sequence editor and the pattern editor.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include "common/temp_dir.h"
#include "gui/runner/edit_pattern_dialog.h"
#include "gui/runner/runner_bridge.h"
#include "gui/runner/runner_page.h"
#include "gui/runner/sequence_editor_dialog.h"

namespace velk::runner {
namespace {

class RunnerView : public ::testing::Test {
protected:
    void SetUp() override {
        m_document.newDocument();
        m_view.setMessageHandler([this](const QString& text) { m_messages.push_back(text); });
        m_view.show();
        m_view.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&m_view));
    }
    template <typename W>
    W* field(const char* name) {
        W* w = m_view.findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    // Replaces the field's text by typing, key by key.
    void type(const char* name, const char* text) {
        auto* edit = field<QLineEdit>(name);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, QString::fromLatin1(text));
    }
    // A click on the box or circle at the button's left.
    void click(const char* name) {
        auto* button = field<QAbstractButton>(name);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
    }
    velk::scenario::CRunSection& run() { return m_document.scenario().run(); }

    velk::scenario::ScenarioDocument m_document;
    Runner m_runner;
    RunnerBridge m_bridge{m_runner};
    RunnerPage m_view{m_document, m_bridge};
    std::vector<QString> m_messages;
};

TEST_F(RunnerView, StepSignChangeSwapsFromAndTo) {
    run().cycling = true;
    run().cycleFrom = 1;
    run().cycleTo = 20;
    run().cycleStep = 1;
    m_view.loadFromScenario();
    type("step", "-1");
    EXPECT_EQ(field<QLineEdit>("from")->text(), "20");
    EXPECT_EQ(field<QLineEdit>("to")->text(), "1");
    EXPECT_EQ(run().cycleFrom, 20);
    EXPECT_EQ(run().cycleTo, 1);
    EXPECT_EQ(run().cycleStep, -1);
    EXPECT_TRUE(m_document.isModified());
}

TEST_F(RunnerView, StepAndBoundsAreClamped) {
    run().cycling = true;
    m_view.loadFromScenario();
    type("step", "2000");
    EXPECT_EQ(field<QLineEdit>("step")->text(), "999");
    EXPECT_EQ(run().cycleStep, 999);
    type("to", "12345678");
    EXPECT_EQ(field<QLineEdit>("to")->text(), "9999999");
    EXPECT_EQ(run().cycleTo, 9999999);
    // Leaving an emptied step shows the step again.
    auto* step = field<QLineEdit>("step");
    step->setText(QString());
    emit step->editingFinished();
    EXPECT_EQ(step->text(), "999");
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(RunnerView, BatchByIterationsDisablesIterationsAndLimits) {
    run().cycling = false;
    run().pauseBetweenPasses = false;
    m_view.loadFromScenario();
    click("timeLimitCheck");
    EXPECT_TRUE(run().useTimeLimit);
    EXPECT_FALSE(field<QLineEdit>("iterations")->isEnabled());
    EXPECT_TRUE(field<QLineEdit>("timeLimit")->isEnabled());
    EXPECT_FALSE(field<QComboBox>("batchBy")->isEnabled());

    click("batch");
    EXPECT_TRUE(run().cycling);
    EXPECT_FALSE(field<QLineEdit>("users")->isEnabled());
    auto* batchBy = field<QComboBox>("batchBy");
    batchBy->setFocus();
    QTest::keyClick(batchBy, Qt::Key_Down);
    EXPECT_TRUE(run().cycleByIterations);
    EXPECT_TRUE(field<QLineEdit>("users")->isEnabled());
    EXPECT_FALSE(field<QLineEdit>("iterations")->isEnabled());
    EXPECT_FALSE(field<QCheckBox>("timeLimitCheck")->isEnabled());
    EXPECT_FALSE(field<QCheckBox>("requestLimitCheck")->isEnabled());
    EXPECT_FALSE(field<QLineEdit>("timeLimit")->isEnabled());
    EXPECT_FALSE(field<QLineEdit>("pauseSeconds")->isEnabled());
    click("pauseCheck");
    EXPECT_TRUE(field<QLineEdit>("pauseSeconds")->isEnabled());
}

TEST_F(RunnerView, OutOfRangeValueIsRefusedAndLeavesTheScenario) {
    run().cycling = false;
    run().clients = 10;
    m_view.loadFromScenario();
    type("users", "1234567");
    ASSERT_FALSE(m_messages.empty());
    EXPECT_EQ(m_messages.back(), "Please enter an integer between 0 and 999999.");
    EXPECT_EQ(run().clients, 123456);  // the last accepted value
    EXPECT_TRUE(field<QLineEdit>("users")->hasFocus());
    m_messages.clear();
    // The load level is at least 1.
    click("loadLevel");
    const int32_t rate = run().rateValue;
    type("users", "5");
    type("rate", "0");
    EXPECT_EQ(m_messages.back(), "Please enter an integer between 1 and 9999999.");
    EXPECT_EQ(run().rateValue, rate);
    EXPECT_EQ(run().clients, 5);
}

TEST_F(RunnerView, RunTestRefusesABadPatternOrNoRequests) {
    m_view.runTest();
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_TRUE(m_messages[0].startsWith("No requests in the test scenario."));
    auto request = std::make_unique<velk::scenario::CRequest>();
    request->setName("home");
    m_document.scenario().requests().insertAfter(0, std::move(request));
    velk::test::TempDir reports;
    run().useReportDirectory = true;
    run().reportDirectory = reports.path().string();
    run().outputFileTemplate = "a|b";
    m_view.loadFromScenario();
    EXPECT_FALSE(m_view.runTest());
    EXPECT_EQ(m_messages.back(),
              "A filename cannot contain any of the following characters:\n\\/:*?\"<>|");
    EXPECT_TRUE(field<QLineEdit>("pattern")->hasFocus());
    EXPECT_FALSE(m_bridge.running());
}

// An emptied number field keeps the saved value while the user types, and is
// refused with the field's message when the page is left or a run starts.
TEST_F(RunnerView, EmptiedNumberFieldIsRefusedWhenThePageIsLeftOrARunStarts) {
    run().cycling = false;
    run().clients = 10;
    m_view.loadFromScenario();
    auto* users = field<QLineEdit>("users");
    users->setFocus();
    users->selectAll();
    QTest::keyClick(users, Qt::Key_Backspace);
    ASSERT_TRUE(users->text().isEmpty());
    EXPECT_TRUE(m_messages.empty());
    EXPECT_EQ(run().clients, 10);

    field<QLineEdit>("description")->setFocus();
    m_view.deactivatePage();
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages.back(), "Please enter an integer between 0 and 999999.");
    EXPECT_TRUE(users->hasFocus());

    auto request = std::make_unique<velk::scenario::CRequest>();
    request->setName("home");
    m_document.scenario().requests().insertAfter(0, std::move(request));
    EXPECT_FALSE(m_view.runTest());
    ASSERT_EQ(m_messages.size(), 2u);
    EXPECT_EQ(m_messages.back(), "Please enter an integer between 0 and 999999.");
    EXPECT_FALSE(m_bridge.running());
}

// The page's part of the smallest window: a refused field far down the form is
// scrolled into view, and the wheel passes over number fields that do not have
// the focus instead of changing them.
TEST_F(RunnerView, RefusedFieldIsScrolledIntoViewAndTheWheelScrollsPastFields) {
    m_view.resize(660, 400);
    QCoreApplication::processEvents();
    auto* scroll = m_view.findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);
    scroll->verticalScrollBar()->setValue(0);
    auto* pattern = field<QLineEdit>("pattern");
    const auto inView = [&](QWidget* w) {
        const QRect r(w->mapTo(scroll->viewport(), QPoint()), w->size());
        return scroll->viewport()->rect().contains(r);
    };
    ASSERT_FALSE(inView(pattern));

    auto request = std::make_unique<velk::scenario::CRequest>();
    request->setName("home");
    m_document.scenario().requests().insertAfter(0, std::move(request));
    velk::test::TempDir reports;
    run().useReportDirectory = true;
    run().reportDirectory = reports.path().string();
    run().outputFileTemplate = "a|b";
    run().cycling = false;
    m_view.loadFromScenario();
    EXPECT_FALSE(m_view.runTest());
    EXPECT_TRUE(pattern->hasFocus());
    EXPECT_TRUE(inView(pattern));

    auto* users = field<QLineEdit>("users");
    users->setText(QStringLiteral("10"));
    const auto wheel = [&](QWidget* target, int delta) {
        const QPointF at(target->width() / 2.0, target->height() / 2.0);
        QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(target, &event);
        return event.isAccepted();
    };
    // Left unaccepted, the pointer's wheel goes on to the parents and scrolls
    // the page (Qt passes only the system's own wheel events on).
    pattern->setFocus();
    EXPECT_FALSE(wheel(users, -120));
    EXPECT_EQ(users->text(), "10");
    users->setFocus();
    EXPECT_TRUE(wheel(users, 120));
    EXPECT_EQ(users->text(), "11");
}

TEST(SequenceEditor, InsertsAfterTheSelectedEntryWithButtonRules) {
    SequenceEditorDialog dialog(QStringLiteral("&Main sequence:"), {"a", "b", "", "c"}, {"x", "y"});
    QListWidget* requests = dialog.requestList();
    QListWidget* entries = dialog.sequenceList();
    EXPECT_EQ(requests->count(), 3);  // the empty name is left out
    EXPECT_FALSE(dialog.insertButton()->isEnabled());
    EXPECT_FALSE(dialog.removeButton()->isEnabled());
    entries->item(0)->setSelected(true);
    EXPECT_FALSE(dialog.upButton()->isEnabled());
    EXPECT_TRUE(dialog.downButton()->isEnabled());
    requests->item(0)->setSelected(true);
    requests->item(1)->setSelected(true);
    ASSERT_TRUE(dialog.insertButton()->isEnabled());
    QTest::mouseClick(dialog.insertButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.sequence(), (std::vector<std::string>{"x", "a", "b", "y"}));
    EXPECT_TRUE(entries->item(1)->isSelected());
    EXPECT_TRUE(entries->item(2)->isSelected());
    QTest::mouseClick(dialog.upButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.sequence(), (std::vector<std::string>{"a", "b", "x", "y"}));
    QTest::mouseClick(dialog.removeButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.sequence(), (std::vector<std::string>{"x", "y"}));
}

TEST(EditPattern, MacroMenuSampleAndRefusal) {
    EditPatternDialog dialog(QStringLiteral("r-"), "shop", 10, 3);
    std::vector<QString> messages;
    dialog.setMessageHandler([&](const QString& text) { messages.push_back(text); });
    dialog.patternField()->setCursorPosition(2);
    const QList<QAction*> items = dialog.macroMenu()->actions();
    items.at(0)->trigger();  // %n
    items.at(1)->trigger();  // %c
    items.at(4)->trigger();  // %y
    EXPECT_EQ(dialog.pattern(), "r-%n%c%y");
    const QString sample = dialog.sampleField()->text();
    EXPECT_TRUE(sample.startsWith("r-shop10")) << sample.toStdString();
    EXPECT_EQ(sample.size(), 12);  // a four-digit year
    dialog.patternField()->setText(QStringLiteral("a:b"));
    dialog.accept();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

}  // namespace
}  // namespace velk::runner
