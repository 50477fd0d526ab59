// The editor page through its widgets: the request list's operations and
// enabling, the delay fields, "Use delays", the address pattern, the
// parameters, and what survives switching pages.
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <fstream>

#include "common/status_assert.h"
#include "common/temp_dir.h"
#include "gui/editor/address_pattern_edit.h"
#include "gui/editor/delay_field.h"
#include "gui/editor/param_dialog.h"
#include "gui/editor/request_options_panel.h"
#include "gui/editor/scenario_options_panel.h"
#include "page_fixture.h"

namespace velk::editor::test {
namespace {

// A damaged file that fails to open leaves every piece of the open document
// as it was, the request ids too: Add then makes a request with an id of its
// own, and naming it renames nothing else.
TEST_F(EditorPageTest, FailedOpenLeavesTheIdsSoAddAndRenameTouchOnlyTheNewRequest) {
    const std::string demo = VELK_EXAMPLES_DIR "/demo-shop.vts";
    ASSERT_TRUE(velk::test::isOk(m_document.open(demo)));
    m_view->resetPage();
    m_view->activatePage();
    const std::string before = order();
    std::vector<int32_t> ids;
    for (const auto* r : m_document.scenario().requests().flattened()) ids.push_back(r->getId());
    ASSERT_GE(ids.size(), 3u);

    std::ifstream in(demo, std::ios::binary);
    std::string head(600, '\0');
    in.read(head.data(), std::streamsize(head.size()));
    velk::test::TempDir dir;
    const std::string damaged = dir.write("damaged.vts", head.substr(0, size_t(in.gcount())));
    EXPECT_FALSE(m_document.open(damaged));

    const int32_t fresh = addRequest("fresh");
    EXPECT_EQ(std::count(ids.begin(), ids.end(), fresh), 0) << fresh;
    EXPECT_EQ(order(), before + " fresh");
}

// Below 800 pixels the option panels stand one below the other and scroll,
// so the scenario options' long check boxes and the speed list are whole.
TEST_F(EditorPageTest, NarrowPageStacksTheOptionPanelsAndCutsNoControl) {
    ScenarioOptionsPanel* options = m_view->scenarioOptions();
    RequestOptionsPanel* form = m_view->requestOptions();
    ASSERT_LT(m_view->width(), EditorPage::kSideBySideWidth);
    EXPECT_GT(options->mapTo(m_view.get(), QPoint()).y(), form->mapTo(m_view.get(), QPoint()).y());
    for (QWidget* w : std::initializer_list<QWidget*>{options->proxyEmulationBox(),
                                                      options->speedBox(), options->speedList()})
        EXPECT_GE(w->width(), w->sizeHint().width()) << w->metaObject()->className();
    const bool speed = options->speedBox()->isChecked();
    click(options->speedBox());
    EXPECT_NE(options->speedBox()->isChecked(), speed);
    EXPECT_NE(m_document.scenario().general().useSpeedLimit, speed);

    m_view->resize(1280, 800);
    QCoreApplication::processEvents();
    EXPECT_EQ(options->mapTo(m_view.get(), QPoint()).y(), form->mapTo(m_view.get(), QPoint()).y());
}

TEST_F(EditorPageTest, EnablingOnAnEmptyAndANonEmptyList) {
    RequestOptionsPanel* form = m_view->requestOptions();
    const auto requestControls = [&] {
        return std::vector<QWidget*>{form->nameField(),  form->serverField(),
                                     form->secureBox(),  form->uriList(),
                                     form->methodList(), form->addParameterButton()};
    };
    EXPECT_FALSE(m_view->deleteButton()->isEnabled());
    EXPECT_FALSE(m_view->upButton()->isEnabled());
    EXPECT_FALSE(m_view->downButton()->isEnabled());
    EXPECT_FALSE(m_view->clearButton()->isEnabled());
    for (QWidget* w : requestControls()) EXPECT_FALSE(w->isEnabled());
    EXPECT_FALSE(form->delayFromField()->isEnabled());

    addRequest("a");
    addRequest("b");
    // The new request is selected: the last row.
    EXPECT_TRUE(m_view->deleteButton()->isEnabled());
    EXPECT_TRUE(m_view->upButton()->isEnabled());
    EXPECT_FALSE(m_view->downButton()->isEnabled());
    EXPECT_TRUE(m_view->clearButton()->isEnabled());
    for (QWidget* w : requestControls()) EXPECT_TRUE(w->isEnabled());
    // Delays only with "Use delays"; parameter edit only with a parameter row.
    EXPECT_FALSE(form->delayFromField()->isEnabled());
    EXPECT_FALSE(form->editParameterButton()->isEnabled());
    EXPECT_FALSE(form->deleteParameterButton()->isEnabled());
    selectRows({0});
    EXPECT_FALSE(m_view->upButton()->isEnabled());
    EXPECT_TRUE(m_view->downButton()->isEnabled());
    selectRows({0, 1});
    EXPECT_FALSE(m_view->upButton()->isEnabled());
    EXPECT_FALSE(m_view->downButton()->isEnabled());

    // Deleting both empties the list, and with it the form.
    QTest::keyClick(m_view->requestList(), Qt::Key_Delete);
    EXPECT_EQ(order(), "");
    EXPECT_EQ(m_view->requestList()->topLevelItemCount(), 0);
    EXPECT_TRUE(form->nameField()->text().isEmpty());
    for (QWidget* w : requestControls()) EXPECT_FALSE(w->isEnabled());
}

TEST_F(EditorPageTest, AddDeleteAndClearKeepTheListAndTheScenarioTogether) {
    const int32_t a = addRequest("a");
    addRequest("b");
    addRequest("c");
    EXPECT_EQ(order(), "a b c");
    EXPECT_EQ(request(a).getMethod(), velk::scenario::CRequest::kGet);
    EXPECT_TRUE(m_document.isModified());
    EXPECT_EQ(m_view->requestList()->topLevelItem(0)->data(0, Qt::UserRole).toInt(), a);
    m_document.scenario().run().mainSequence = {"a", "b"};

    selectRows({1});
    click(m_view->deleteButton());
    EXPECT_EQ(order(), "a c");
    EXPECT_TRUE(m_document.scenario().run().mainSequence.empty());
    // The row at the old position is selected and shown.
    EXPECT_EQ(m_view->requestOptions()->nameField()->text(), "c");
    EXPECT_TRUE(m_view->requestList()->hasFocus());

    {
        MessageBoxAnswer no(QMessageBox::No);
        click(m_view->clearButton());
        EXPECT_EQ(no.count(), 1);
        EXPECT_EQ(no.text(), "Are you sure you want to clear the list of requests?");
    }
    EXPECT_EQ(order(), "a c");
    MessageBoxAnswer yes(QMessageBox::Yes);
    click(m_view->clearButton());
    EXPECT_EQ(order(), "");
    EXPECT_EQ(m_view->requestList()->topLevelItemCount(), 0);
}

TEST_F(EditorPageTest, UpAndDownSwapNeighboursAndStopAtTheEnds) {
    addRequest("a");
    addRequest("b");
    const int32_t c = addRequest("c");
    auto* parent = m_document.scenario().requests().findNode(c);
    m_document.scenario().requests().addChild(c, std::make_unique<velk::scenario::CRequest>());
    m_document.scenario().requests().flattened().back()->setName("c1");
    ASSERT_TRUE(parent);
    m_view->activatePage();

    selectRows({2});
    EXPECT_FALSE(m_view->downButton()->isEnabled());
    click(m_view->upButton());
    // The requests changed places; the child stays with its node.
    EXPECT_EQ(order(), "a c b c1");
    EXPECT_EQ(m_view->requestList()->currentItem()->text(0), "c");
    click(m_view->upButton());
    EXPECT_EQ(order(), "c a b c1");
    EXPECT_FALSE(m_view->upButton()->isEnabled());
    click(m_view->downButton());
    EXPECT_EQ(order(), "a c b c1");
    EXPECT_EQ(m_view->requestList()->currentItem()->text(0), "c");
}

TEST_F(EditorPageTest, DelayFieldsNormaliseWhatIsTypedAndFollowEachOther) {
    const int32_t id = addRequest("a");
    click(m_view->scenarioOptions()->useDelaysBox());
    DelayField* from = m_view->requestOptions()->delayFromField();
    DelayField* to = m_view->requestOptions()->delayToField();
    QLineEdit* fromText = from->findChild<QLineEdit*>();
    QLineEdit* toText = to->findChild<QLineEdit*>();

    retype(from, "90000");
    EXPECT_EQ(fromText->text(), "86400");
    EXPECT_EQ(to->value(), 86400);
    EXPECT_EQ(request(id).getDelayFrom(), 86400);
    EXPECT_EQ(request(id).getDelayTo(), 86400);
    EXPECT_TRUE(request(id).getUseDelay());

    retype(from, "10");
    retype(to, "5");
    EXPECT_EQ(from->value(), 5);
    EXPECT_EQ(request(id).getDelayFrom(), 5);
    EXPECT_EQ(m_view->requestList()->topLevelItem(0)->text(3), "5 sec");

    retype(to, "12x");  // the trailing letter puts back 12
    EXPECT_EQ(toText->text(), "12");
    // Each keystroke counts: "1" pulled Delay from down to 1 on the way.
    EXPECT_EQ(m_view->requestList()->topLevelItem(0)->text(3), "1-12 sec");
    // Emptied while typing: "0", selected, so the next digit replaces it.
    QTest::keyClick(toText, Qt::Key_Backspace);
    QTest::keyClick(toText, Qt::Key_Backspace);
    EXPECT_EQ(toText->text(), "0");
    EXPECT_EQ(from->value(), 0);
    QTest::keyClicks(toText, "7");
    EXPECT_EQ(toText->text(), "7");
    EXPECT_EQ(request(id).getDelayTo(), 7);
    QTest::keyClick(to, Qt::Key_Up);
    EXPECT_EQ(request(id).getDelayTo(), 8);
}

TEST_F(EditorPageTest, UseDelaysReachesEveryRequest) {
    const int32_t a = addRequest("a"), b = addRequest("b");
    m_document.scenario().requests().addChild(a, std::make_unique<velk::scenario::CRequest>());
    QCheckBox* useDelays = m_view->scenarioOptions()->useDelaysBox();
    for (bool expected : {true, false}) {
        m_document.setModified(false);
        click(useDelays);
        for (const auto* r : m_document.scenario().requests().flattened())
            EXPECT_EQ(r->getUseDelay(), expected) << r->getName();
        EXPECT_EQ(m_document.scenario().general().useDelays, expected);
        EXPECT_EQ(m_view->requestOptions()->delayFromField()->isEnabled(), expected);
        EXPECT_TRUE(m_document.isModified());
    }
    EXPECT_FALSE(request(b).getUseDelay());
}

TEST_F(EditorPageTest, AddressPatternTakesMacrosAndNumbers) {
    ScenarioOptionsPanel* options = m_view->scenarioOptions();
    AddressPatternEdit* pattern = options->patternField();
    EXPECT_EQ(pattern->pattern(), "192.168.$C2.$C1");
    EXPECT_FALSE(pattern->isEnabled());
    click(options->proxyEmulationBox());
    ASSERT_TRUE(pattern->isEnabled());

    QLineEdit* third = pattern->field(2);
    retype(third, "$r1");
    EXPECT_EQ(third->text(), "$R1");
    EXPECT_TRUE(pattern->field(3)->hasFocus());
    EXPECT_EQ(m_document.scenario().general().proxyMask, "192.168.$R1.$C1");

    retype(third, "r");  // not a macro's beginning, not a digit
    EXPECT_EQ(third->text(), "$R1");
    third->clear();
    QTest::keyClicks(third, "$x");
    EXPECT_EQ(third->text(), "$");
    third->clear();
    QTest::keyClicks(third, "10");
    EXPECT_EQ(third->text(), "10");
    QTest::keyClicks(third, ".");
    EXPECT_TRUE(pattern->field(3)->hasFocus());
    EXPECT_EQ(m_document.scenario().general().proxyMask, "192.168.10.$C1");
}

TEST_F(EditorPageTest, SpeedAndUserAgentListsStoreTheirChoice) {
    ScenarioOptionsPanel* options = m_view->scenarioOptions();
    EXPECT_TRUE(options->speedList()->isEnabled());
    EXPECT_EQ(options->speedList()->count(), 11);
    EXPECT_EQ(options->speedList()->currentIndex(), 0);
    options->speedList()->setCurrentIndex(7);
    emit options->speedList()->activated(7);
    EXPECT_EQ(m_document.scenario().general().speedLimit, 56000);
    EXPECT_FALSE(options->userAgentList()->isEnabled());
    click(options->userAgentBox());
    options->userAgentList()->setCurrentIndex(1);
    emit options->userAgentList()->activated(1);
    EXPECT_EQ(m_document.scenario().general().userAgent, "Mozilla/5.0 (compatible; VELK; Windows)");
    EXPECT_TRUE(m_document.scenario().general().useUserAgent);

    // A stored speed that is no item shows the first one.
    m_document.scenario().general().speedLimit = 12345;
    m_view->activatePage();
    EXPECT_EQ(options->speedList()->currentIndex(), 0);
}

TEST_F(EditorPageTest, NewVisitorBoxIsTheScenariosOptionBothWays) {
    ScenarioOptionsPanel* options = m_view->scenarioOptions();
    EXPECT_FALSE(options->newVisitorBox()->isChecked());
    click(options->newVisitorBox());
    EXPECT_TRUE(m_document.scenario().general().newVisitor);
    EXPECT_TRUE(m_document.isModified());
    m_document.scenario().general().newVisitor = false;
    m_view->activatePage();
    EXPECT_FALSE(options->newVisitorBox()->isChecked());
}

TEST_F(EditorPageTest, EditAndDeleteActOnTheFirstParameterOfThatName) {
    const int32_t id = addRequest("a");
    for (const char* value : {"first", "second"}) {
        auto p = std::make_unique<velk::scenario::CReqParam>();
        p->setName("dup");
        auto f = std::make_unique<velk::scenario::CReqParamFunction>();
        f->setText(value);
        p->insert(-1, std::move(f));
        request(id).insertParam(-1, std::move(p));
    }
    m_view->activatePage();
    RequestOptionsPanel* form = m_view->requestOptions();
    QTreeWidget* params = form->parameterList();
    ASSERT_EQ(params->topLevelItemCount(), 2);
    params->setCurrentItem(params->topLevelItem(1));
    ASSERT_TRUE(form->editParameterButton()->isEnabled());

    // Edit on the second row opens the first parameter.
    QString opened;
    form->setDialogRunner([&](ParamDialog& dialog) {
        opened = dialog.textField()->text();
        dialog.textField()->setText("changed");
        emit dialog.textField()->textEdited("changed");
        return int(QDialog::Accepted);
    });
    click(form->editParameterButton());
    EXPECT_EQ(opened, "first");
    EXPECT_EQ(request(id).getParam(0)->get(0)->getText(), "changed");
    EXPECT_EQ(m_view->requestList()->topLevelItem(0)->text(2), "dup=changed&dup=second");

    params->setCurrentItem(params->topLevelItem(1));
    click(form->deleteParameterButton());
    ASSERT_EQ(request(id).paramCount(), 1);
    EXPECT_EQ(request(id).getParam(0)->get(0)->getText(), "second");
    EXPECT_EQ(params->topLevelItemCount(), 1);
}

TEST_F(EditorPageTest, SwitchingPagesLosesNothingAndResetDropsTheList) {
    const int32_t id = addRequest("kept");
    retype(m_view->requestOptions()->serverField(), "shop:81");
    click(m_view->scenarioOptions()->keepAliveBox());
    m_view->deactivatePage();
    m_view->activatePage();
    EXPECT_EQ(m_view->requestOptions()->serverField()->text(), "shop:81");
    EXPECT_EQ(request(id).getServer(), "shop:81");
    EXPECT_TRUE(m_document.scenario().general().keepAlive);
    EXPECT_TRUE(m_view->scenarioOptions()->keepAliveBox()->isChecked());
    EXPECT_EQ(m_view->requestList()->topLevelItem(0)->text(1), "http://shop:81/");

    m_document.newDocument();
    m_view->resetPage();
    EXPECT_EQ(m_view->requestList()->topLevelItemCount(), 0);
    EXPECT_TRUE(m_view->requestOptions()->nameField()->text().isEmpty());
    EXPECT_FALSE(m_view->scenarioOptions()->keepAliveBox()->isChecked());
    EXPECT_EQ(m_view->scenarioOptions()->patternField()->pattern(), "192.168.$C2.$C1");

    // A file read after the pages were told is shown once the command is done.
    m_view->resetPage();
    auto opened = std::make_unique<velk::scenario::CRequest>();
    opened->setName("opened");
    m_document.scenario().requests().addChild(0, std::move(opened));
    m_document.scenario().general().keepAlive = true;
    QCoreApplication::processEvents();
    ASSERT_EQ(m_view->requestList()->topLevelItemCount(), 1);
    EXPECT_EQ(m_view->requestList()->topLevelItem(0)->text(0), "opened");
    EXPECT_TRUE(m_view->scenarioOptions()->keepAliveBox()->isChecked());
}

TEST_F(EditorPageTest, EveryLabelWithAMnemonicHasItsField) {
    ParamDialog dialog("p", false, {velk::scenario::CReqParamFunction()});
    for (QWidget* root : std::initializer_list<QWidget*>{m_view.get(), &dialog}) {
        for (const QLabel* label : root->findChildren<QLabel*>()) {
            if (label->text().contains('&')) {
                EXPECT_NE(label->buddy(), nullptr) << label->text().toStdString();
            }
        }
    }
}

// The method list offers every method the engine sends; the choice reaches the
// request and its script section.
TEST_F(EditorPageTest, MethodListOffersTheSevenMethodsAndTheChoiceReachesTheScript) {
    const int32_t a = addRequest("a");
    QComboBox* list = m_view->requestOptions()->methodList();
    ASSERT_EQ(list->count(), 7);
    list->setCurrentIndex(list->findText("PATCH"));
    emit list->activated(list->currentIndex());
    EXPECT_EQ(request(a).getMethod(), velk::scenario::CRequest::kPatch);
    std::string section;
    ASSERT_TRUE(request(a).writeSection(section));
    EXPECT_NE(section.find("\r\n$method=PATCH\r\n"), std::string::npos) << section;
}

}  // namespace
}  // namespace velk::editor::test
