// The Summary page as a table: sorted by the numbers of a column with the row
// of all requests kept last, numbers right-aligned, times printed as the Text
// Report prints them, and Copy giving tab-separated text of what is shown.
#include "gui/results/summary_page.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QTableView>
#include <QTableWidget>
#include <QTest>

#include "app/results/rlt_file.h"
#include "app/results/summary_table.h"
#include "common/status_assert.h"
#include "common/temp_dir.h"
#include "gui/results/comparison_view.h"

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

// A pass whose requests took the given 95th percentiles (the others alike).
std::shared_ptr<CResultsStore> passOf(const char* title,
                                      std::initializer_list<std::pair<const char*, double>> p95s) {
    PassFigures figures;
    for (const auto& [name, p95] : p95s) {
        LatencyFigures f;
        f.name = name;
        f.count = 200;
        f.percentilesMs = {p95 / 2, p95, p95, p95, p95};
        figures.requests.push_back(f);
        figures.overall.count += f.count;
        figures.overall.percentilesMs = f.percentilesMs;
    }
    auto record = std::make_shared<CResultsStore>();
    record->title = title;
    record->figures = figures;
    return record;
}

// Two passes of a results file compared on the page: only the request that
// got slower by more than both limits is a regression, drawn apart from the
// others; no baseline, or one without figures, shows no table.
TEST(SummaryPage, ComparesThePassWithAChosenBaselineByTheCompareRule) {
    velk::test::TempDir dir;
    CResultsContainer written;
    written.add(passOf("10:00 - before", {{"login", 20}, {"search", 50}}));
    // login twice as slow (+20 ms); search 2% slower, within the limits.
    written.add(passOf("10:05 - after", {{"login", 40}, {"search", 51}}));
    auto older = std::make_shared<CResultsStore>();  // a pass kept without figures
    older->title = "09:00 - older";
    written.add(older);
    const std::string path = dir.file("two.rlt");
    ASSERT_TRUE(velk::test::isOk(saveResultsFile(written, path)));
    CResultsContainer list;
    ASSERT_TRUE(velk::test::isOk(loadResultsFile(list, path)));

    SummaryPage page(list);
    page.resize(765, 500);
    page.show();
    page.refresh();
    page.titles()->setCurrentIndex(1);
    emit page.titles()->activated(1);
    ComparisonView* view = page.comparison();
    QTableWidget* table = view->table();
    EXPECT_TRUE(view->verdict().isEmpty());
    EXPECT_FALSE(table->isVisible());

    view->baselines()->setCurrentIndex(1);  // after "(no comparison)": the first pass
    ASSERT_TRUE(table->isVisible());
    EXPECT_TRUE(view->verdict().startsWith(
        QStringLiteral("Against \"10:00 - before\": 1 regression: login p")))
        << view->verdict().toStdString();
    const int verdictColumn = table->columnCount() - 1;
    QStringList verdicts;
    for (int r = 0; r < table->rowCount(); ++r) {
        const QTableWidgetItem* name = table->item(r, 0);
        const QTableWidgetItem* verdict = table->item(r, verdictColumn);
        verdicts << name->text() + "=" + verdict->text();
        EXPECT_EQ(verdict->font().bold(), verdict->text() == "REGRESSION") << r;
    }
    EXPECT_EQ(verdicts, (QStringList{"(all requests)=ok", "login=REGRESSION", "search=ok"}));
    EXPECT_TRUE(table->item(1, 4)->text().endsWith(QStringLiteral(" !")));  // p95 of login
    EXPECT_FALSE(table->item(2, 4)->text().endsWith(QStringLiteral(" !")));

    // The chosen baseline stays chosen when the list refreshes.
    page.refresh();
    EXPECT_EQ(view->baselines()->currentIndex(), 1);
    view->baselines()->setCurrentIndex(3);
    EXPECT_FALSE(table->isVisible());
    EXPECT_TRUE(view->verdict().contains(QString::fromLatin1(kNoPercentiles)));
    view->baselines()->setCurrentIndex(0);
    EXPECT_TRUE(view->verdict().isEmpty());
}

}  // namespace
}  // namespace velk::results
