// The report page: "No results", the drop-down of titles, and the shown pass
// kept while others are added.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>

#include "gui/results/report_form_view.h"

namespace velk::results {
namespace {

std::shared_ptr<CResultsStore> pass(const char* title, const char* report) {
    auto r = std::make_shared<CResultsStore>();
    r->title = title;
    r->report = report;
    return r;
}

TEST(ReportView, KeepsTheShownPassAndShowsNoResultsWhenEmpty) {
    CResultsContainer list;
    CReportFormView view(list);
    EXPECT_FALSE(view.titles()->isEnabled());
    EXPECT_EQ(view.reportBox()->toPlainText(), "No results");

    list.add(pass("10:00 - a", "report A\r\n"));
    list.add(pass("10:01 - b", "report B\r\n"));
    view.refresh();
    ASSERT_EQ(view.titles()->count(), 2);
    EXPECT_TRUE(view.titles()->isEnabled());
    EXPECT_EQ(view.reportBox()->toPlainText(), "report A\n");

    view.titles()->setCurrentIndex(1);
    emit view.titles()->activated(1);
    EXPECT_EQ(view.reportBox()->toPlainText(), "report B\n");
    list.add(pass("10:02 - c", "report C\r\n"));
    view.refresh();
    EXPECT_EQ(view.titles()->count(), 3);
    EXPECT_EQ(view.titles()->currentText(), "10:01 - b");
    EXPECT_EQ(view.reportBox()->toPlainText(), "report B\n");
    // A results file read in shows its first pass.
    view.refresh(true);
    EXPECT_EQ(view.titles()->currentText(), "10:00 - a");

    // A cleared list empties the page.
    list.clear();
    view.refresh();
    EXPECT_EQ(view.titles()->count(), 0);
    EXPECT_FALSE(view.titles()->isEnabled());
    EXPECT_EQ(view.reportBox()->toPlainText(), "No results");
}

TEST(ReportView, ShowsTheGeneratorsWarningOnlyForThePassThatHasOne) {
    CResultsContainer list;
    CReportFormView view(list);
    auto late = pass("10:00 - late", "report A\r\n");
    late->lagWarning = "Warning: the load generator was busy";
    list.add(late);
    list.add(pass("10:01 - on time", "report B\r\n"));
    view.refresh();
    EXPECT_FALSE(view.lagWarning()->isHidden());
    EXPECT_EQ(view.lagWarning()->text(), "Warning: the load generator was busy");
    view.titles()->setCurrentIndex(1);
    emit view.titles()->activated(1);
    EXPECT_TRUE(view.lagWarning()->isHidden());
    list.clear();
    view.refresh();
    EXPECT_TRUE(view.lagWarning()->isHidden());
}

}  // namespace
}  // namespace velk::results
