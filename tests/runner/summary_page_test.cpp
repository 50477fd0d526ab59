// The Summary page as a table: sorted by the numbers of a column with the row
// of all requests kept last, numbers right-aligned, times printed as the Text
// Report prints them, and Copy giving tab-separated text of what is shown.
#include "gui/results/summary_page.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QTableView>
#include <QTest>

#include "app/results/summary_table.h"

namespace velk::results {
namespace {

TEST(SummaryPage, SortsByNumbersKeepsAllRequestsLastAndCopiesTabSeparatedRows) {
    PassFigures figures;
    const struct {
        const char* name;
        double p95;
    } requests[] = {{"login", 5}, {"search", 40}, {"slow", 12}};
    for (const auto& r : requests) {
        LatencyFigures f;
        f.name = r.name;
        f.count = 3;
        f.minMs = 0.175;  // 175 microseconds: "0.18" in the Text Report
        f.percentilesMs[2] = r.p95;
        figures.requests.push_back(f);
    }
    figures.overall.count = 9;
    figures.overall.percentilesMs[2] = 40;
    CResultsContainer list;
    auto record = std::make_shared<CResultsStore>();
    record->title = "10:00 - a";
    record->figures = figures;
    list.add(record);
    SummaryPage page(list);
    page.resize(700, 500);
    page.show();
    page.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&page));
    page.refresh();
    QTableView* table = page.table();
    const auto shownNames = [table] {
        QStringList names;
        for (int r = 0; r < table->model()->rowCount(); ++r)
            names << table->model()->index(r, 0).data().toString();
        return names;
    };
    EXPECT_EQ(shownNames(), (QStringList{"login", "search", "slow", "All requests"}));
    // A click on the p95 header sorts by it, a second the other way.
    QHeaderView* header = table->horizontalHeader();
    const int p95 = 7;
    ASSERT_EQ(table->model()->headerData(p95, Qt::Horizontal).toString(), "p95");
    const QPoint onP95(header->sectionViewportPosition(p95) + 5, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, onP95);
    const QStringList once = shownNames();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, onP95);
    const QStringList twice = shownNames();
    const QStringList up{"login", "slow", "search", "All requests"};
    const QStringList down{"search", "slow", "login", "All requests"};
    EXPECT_TRUE((once == up && twice == down) || (once == down && twice == up))
        << once.join(",").toStdString();
    EXPECT_TRUE(table->model()->index(0, 1).data(Qt::TextAlignmentRole).value<int>() &
                Qt::AlignRight);
    EXPECT_EQ(table->model()->index(0, 3).data().toString(), "0.18");

    // Copy: the selected row under the headers; nothing selected, every row.
    table->selectRow(0);
    table->setFocus();
    QTest::keySequence(table, QKeySequence::Copy);
    const QStringList copied = QApplication::clipboard()->text().split(QLatin1Char('\n'));
    ASSERT_EQ(copied.size(), 3);  // headers, the row, and the end
    EXPECT_TRUE(copied[0].startsWith("Request\tCount\tErrors\tMin\tMean\tp50\tp90\tp95"));
    EXPECT_TRUE(
        copied[1].startsWith(table->model()->index(0, 0).data().toString() + "\t3\t0\t0.18\t"));
    table->clearSelection();
    EXPECT_EQ(SummaryPage::copiedText(table).count(QLatin1Char('\n')), 5);
}

}  // namespace
}  // namespace velk::results
