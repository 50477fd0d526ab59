// The report page: "No results", the drop-down of titles, and the shown pass
// kept while others are added.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFontMetricsF>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTextBlock>

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

// The report is tab-separated for tab stops of 8 characters: with names and
// values of different lengths, every value stands under its header.
TEST(ReportView, TabSeparatedColumnsStandUnderTheirHeaders) {
    CResultsContainer list;
    list.add(pass("10:00 - a",
                  "Request\tAverage\tCount\r\n"
                  "search\t12\t3\r\n"
                  "slow\t299\t41\r\n"
                  "checkout-x\t7\t100\r\n"));
    ReportPage view(list);
    view.resize(700, 400);
    view.show();
    view.refresh();
    QPlainTextEdit* box = view.reportBox();
    const QStringList lines = box->toPlainText().split(QLatin1Char('\n'));
    const int header = xOf(box, 0, 0);
    const qreal space = QFontMetricsF(box->font()).horizontalAdvance(QLatin1Char(' '));
    for (int line = 0; line < 4; ++line) {
        // Where the text after each tab begins: the next multiple of 8 columns.
        int expected = 0;
        const QString& text = lines[line];
        for (int i = 0; i < text.size(); ++i) {
            if (text[i] == QLatin1Char('\t')) {
                expected = (expected / 8 + 1) * 8;
                const int x = xOf(box, line, i + 1) - header;
                EXPECT_NEAR(x, expected * space, 2.0) << text.toStdString() << " at " << i;
            } else {
                ++expected;
            }
        }
    }
    // "Average" and the slow request's 299 start in the same place.
    EXPECT_EQ(xOf(box, 0, 8), xOf(box, 2, 5));
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
