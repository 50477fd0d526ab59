// The parameter dialog: components and their enabling, the kinds' fields, the
// From/To refusal, and OK and Cancel through the page's Add parameter.
#include "gui/editor/param_dialog.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include "gui/editor/request_options_panel.h"
#include "page_fixture.h"

namespace velk::editor::test {
namespace {

using velk::scenario::CReqParamFunction;

CReqParamFunction component(int kind, const char* text, int32_t from = 0, int32_t to = 0) {
    CReqParamFunction c;
    c.setKind(kind);
    c.setText(text);
    c.setFrom(from);
    c.setTo(to);
    return c;
}

void selectOnly(QListWidget* list, int row) {
    list->clearSelection();
    list->setCurrentRow(row);
}

TEST(ParamDialog, ComponentsAreAddedDeletedAndMovedWithTheirEnabling) {
    ParamDialog dialog("p", false, {});
    EXPECT_EQ(dialog.windowTitle(), "Parameter Value Dynamic Calculation");
    EXPECT_FALSE(dialog.functionList()->isEnabled());
    EXPECT_FALSE(dialog.deleteButton()->isEnabled());
    ASSERT_EQ(dialog.functionList()->count(), 12);
    EXPECT_EQ(dialog.functionList()->item(9)->text(), "File");
    EXPECT_EQ(dialog.functionList()->item(11)->text(), "Cookie");

    QTest::mouseClick(dialog.addButton(), Qt::LeftButton);
    QTest::mouseClick(dialog.addButton(), Qt::LeftButton);
    ASSERT_EQ(dialog.componentList()->count(), 2);
    EXPECT_EQ(dialog.componentList()->item(1)->text(), "Formula 2");
    // The new component is selected: the last row.
    EXPECT_TRUE(dialog.functionList()->isEnabled());
    EXPECT_TRUE(dialog.upButton()->isEnabled());
    EXPECT_FALSE(dialog.downButton()->isEnabled());
    EXPECT_EQ(dialog.functionList()->currentRow(), CReqParamFunction::kStaticText);

    // Formula 2 becomes a sequence, then moves up and is shown first.
    dialog.functionList()->setCurrentRow(CReqParamFunction::kSequence);
    QTest::keyClicks(dialog.textField(), "id");
    EXPECT_EQ(dialog.formulaField()->text(), "$Seq(id,0,0)");
    QTest::mouseClick(dialog.upButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.components()[0].getKind(), CReqParamFunction::kSequence);
    EXPECT_TRUE(dialog.componentList()->item(0)->isSelected());
    EXPECT_FALSE(dialog.upButton()->isEnabled());
    selectOnly(dialog.componentList(), 1);
    QTest::keyClicks(dialog.textField(), "x y");
    EXPECT_EQ(dialog.formulaField()->text(), "$Seq(id,0,0)&x y");

    // The page-value kinds read a name, as the hidden parameter does.
    for (const int kind : {CReqParamFunction::kMetaTag, CReqParamFunction::kCookie}) {
        dialog.functionList()->setCurrentRow(kind);
        ASSERT_TRUE(dialog.textField()->isVisibleTo(&dialog));
        dialog.textField()->clear();
        QTest::keyClicks(dialog.textField(), "csrf");
        EXPECT_EQ(dialog.formulaField()->text(), kind == CReqParamFunction::kMetaTag
                                                     ? "$Seq(id,0,0)&$Meta(csrf)"
                                                     : "$Seq(id,0,0)&$Cookie(csrf)");
    }

    dialog.componentList()->selectAll();
    EXPECT_FALSE(dialog.upButton()->isEnabled());
    EXPECT_FALSE(dialog.downButton()->isEnabled());
    QTest::mouseClick(dialog.deleteButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog.components().empty());
    EXPECT_FALSE(dialog.functionList()->isEnabled());
}

TEST(ParamDialog, KindFieldsFillFromTheComponentAndListsTakeLines) {
    CReqParamFunction list;
    list.setKind(CReqParamFunction::kOrderedList);
    list.setList("red\r\ngreen,blue");
    ParamDialog dialog("p", false, {component(CReqParamFunction::kUserNumber, "u"), list});
    EXPECT_EQ(dialog.textField()->text(), "u");
    EXPECT_TRUE(dialog.extraField()->isVisibleTo(&dialog));
    EXPECT_FALSE(dialog.firstNumber()->isVisibleTo(&dialog));
    selectOnly(dialog.componentList(), 1);
    EXPECT_EQ(dialog.listField()->toPlainText(), "red\ngreen,blue");
    dialog.listField()->setPlainText("one\ntwo,2\n");
    EXPECT_EQ(dialog.components()[1].storedText(), "one,two%2c2");
    EXPECT_EQ(dialog.formulaField()->text(), "$clid(u)&$List(one,two,2)");
}

TEST(ParamDialog, FromCannotPassToNorToFallBelowFrom) {
    ParamDialog dialog("n", false, {component(CReqParamFunction::kNumericRandom, "", 1, 10)});
    ASSERT_EQ(dialog.firstNumber()->value(), 1);
    ASSERT_EQ(dialog.secondNumber()->value(), 10);
    {
        MessageBoxAnswer ok(QMessageBox::Ok);
        dialog.firstNumber()->setValue(15);
        EXPECT_EQ(ok.count(), 1);
        EXPECT_EQ(ok.text(), "'From' field cannot be greater than 'To' field.");
    }
    EXPECT_EQ(dialog.firstNumber()->value(), 10);
    EXPECT_EQ(dialog.components()[0].getFrom(), 10);
    {
        MessageBoxAnswer ok(QMessageBox::Ok);
        dialog.secondNumber()->setValue(3);
        EXPECT_EQ(ok.count(), 1);
    }
    EXPECT_EQ(dialog.secondNumber()->value(), 10);
    dialog.secondNumber()->setValue(40);
    dialog.firstNumber()->setValue(2);
    EXPECT_EQ(dialog.formulaField()->text(), "$NRand(2,40)");
    // Start and Shift of a sequence are no range: no refusal.
    dialog.functionList()->setCurrentRow(CReqParamFunction::kSequence);
    MessageBoxAnswer none(QMessageBox::Ok);
    dialog.firstNumber()->setValue(50);
    dialog.secondNumber()->setValue(5);
    EXPECT_EQ(none.count(), 0);
    EXPECT_EQ(dialog.components()[0].getShift(), 5);
}

TEST_F(EditorPageTest, ParameterDialogOkReplacesAndCancelDiscards) {
    const int32_t id = addRequest("a");
    RequestOptionsPanel* form = m_view->requestOptions();
    const auto fill = [](ParamDialog& dialog) {
        dialog.show();
        QTest::keyClicks(dialog.nameField(), "q");
        QTest::keyClicks(dialog.textField(), "v,w");
    };
    form->setDialogRunner([&](ParamDialog& dialog) {
        fill(dialog);
        return int(QDialog::Rejected);
    });
    click(form->addParameterButton());
    EXPECT_EQ(request(id).paramCount(), 0);

    form->setDialogRunner([&](ParamDialog& dialog) {
        fill(dialog);
        return int(QDialog::Accepted);
    });
    click(form->addParameterButton());
    ASSERT_EQ(request(id).paramCount(), 1);
    EXPECT_EQ(request(id).getParam(0)->getName(), "q");
    // Static text is kept as typed: its comma is no list separator.
    EXPECT_EQ(request(id).getParam(0)->get(0)->storedText(), "v,w");
    // A new parameter is URL-encoded, and the list shows the value as sent.
    EXPECT_EQ(form->parameterList()->topLevelItem(0)->text(1), "v%2cw");

    // Double-click edits; Cancel leaves it as it was.
    form->setDialogRunner([&](ParamDialog& dialog) {
        QTest::mouseClick(dialog.addButton(), Qt::LeftButton);
        return int(QDialog::Rejected);
    });
    QTreeWidget* params = form->parameterList();
    emit params->itemDoubleClicked(params->topLevelItem(0), 0);
    EXPECT_EQ(request(id).getParam(0)->count(), 1);
}

}  // namespace
}  // namespace velk::editor::test
