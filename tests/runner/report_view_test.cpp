// The report page: "No results", the drop-down of titles, and the shown pass
// kept while others are added.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFontMetricsF>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <vector>

#include "app/results/report_view_text.h"
#include "gui/results/report_page.h"

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
    ReportPage view(list);
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

// The x position, in the report box, of the character at index column of
// line (both 0-based).
int xOf(QPlainTextEdit* box, int line, int column) {
    QTextCursor cursor(box->document()->findBlockByNumber(line));
    cursor.setPosition(cursor.position() + column);
    return box->cursorRect(cursor).left();
}

// Where each column of a laid-out line begins: the first character, and
// every character after a run of two or more blanks.
std::vector<int> columnStarts(const QString& line) {
    std::vector<int> starts;
    for (int i = 0; i < line.size(); ++i)
        if (line[i] != QLatin1Char(' ') && (i == 0 || (i >= 2 && line[i - 1] == QLatin1Char(' ') &&
                                                       line[i - 2] == QLatin1Char(' '))))
            starts.push_back(i);
    return starts;
}

// The engine's report is tab-separated; the page lays each block of it out
// as columns, so every name stands over its values whatever the lengths of
// the names and the values, the statistics' padded header line included.
TEST(ReportView, ColumnsStandUnderTheirHeadersAtAnyNameLength) {
    const std::vector<std::string> names{"a", "abcdefg", "abcdefgh", "abcdefghi",
                                         std::string(30, 'n')};
    const char* const values[] = {"1.00", "299.00", "12345.67", "?", "7.50"};
    std::string header = "Request name:\t\t", min = "Min request processing time:\t",
                table = "User/Iteration", row = "001/00001\t";
    for (size_t i = 0; i < names.size(); ++i) {
        header += "\t" + names[i];
        min += std::string(values[i]) + "\t";
        table += "\t" + names[i];
        row += std::string(values[i]) + "\t";
    }
    const std::string report = "--- Basic statistics ---\r\n\r\n" + header + "\r\n" + min +
                               "\r\n\r\n--- Individual requests processing time ---\r\n\r\n" +
                               table + "\r\n" + row + "\r\n";
    CResultsContainer list;
    list.add(pass("10:00 - a", report.c_str()));
    ReportPage view(list);
    view.resize(1200, 400);
    view.show();
    view.refresh();
    QPlainTextEdit* box = view.reportBox();
    const QStringList lines = box->toPlainText().split(QLatin1Char('\n'));
    ASSERT_GE(lines.size(), 9);
    for (const auto& [head, under] : {std::pair{2, 3}, std::pair{7, 8}}) {
        const std::vector<int> heads = columnStarts(lines[head]);
        const std::vector<int> cells = columnStarts(lines[under]);
        ASSERT_EQ(heads.size(), names.size() + 1) << lines[head].toStdString();
        ASSERT_EQ(cells.size(), names.size() + 1) << lines[under].toStdString();
        for (size_t i = 1; i < heads.size(); ++i)
            EXPECT_EQ(xOf(box, head, heads[i]), xOf(box, under, cells[i]))
                << names[i - 1] << " over " << values[i - 1] << ":\n"
                << lines[head].toStdString() << "\n"
                << lines[under].toStdString();
    }
    // The pass keeps its report as the engine wrote it.
    EXPECT_EQ(list.get(0)->report, report);
}

// A report of one line of megabytes (a hostile results file) is shown cut,
// and a title of the same kind too, so that laying them out takes no time.
TEST(ReportView, HugeLinesAndTitlesAreShownCut) {
    CResultsContainer list;
    const std::string line(size_t(8) << 20, 'x');
    list.add(pass(line.c_str(), ("head\r\n" + line + "\r\ntail\r\n").c_str()));
    ReportPage view(list);
    view.refresh();
    const QString shown = view.reportBox()->toPlainText();
    const QStringList lines = shown.split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], "head");
    EXPECT_EQ(lines[1].size(), qsizetype(kMaxShownLineBytes + kCutMark.size()));
    EXPECT_TRUE(lines[1].endsWith(" [...]"));
    EXPECT_EQ(lines[2], "tail");
    EXPECT_LE(view.titles()->itemText(0).size(), qsizetype(kMaxShownTitleBytes + kCutMark.size()));
}

TEST(ReportView, ShowsTheGeneratorsWarningOnlyForThePassThatHasOne) {
    CResultsContainer list;
    ReportPage view(list);
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
