// The Graphs and Batch Run Graphs pages over a real results list: what they
// offer, when they redraw, "No results", and how long a large list takes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <chrono>
#include <cstdio>
#include <thread>

#include "app/graphs/graph_batch.h"
#include "app/results/results_container.h"
#include "gui/results/add_graphs_page.h"
#include "gui/results/chart_view.h"
#include "gui/results/graphs_page.h"
#include "results_fixture.h"

namespace velk::results {
namespace {

using testing::detailedPass;
using testing::inBatch;
using testing::summaryPass;

QStringList items(const QComboBox& box) {
    QStringList out;
    for (int i = 0; i < box.count(); ++i) out << box.itemText(i);
    return out;
}

void choose(QComboBox& box, int index) {
    box.setCurrentIndex(index);
    emit box.activated(index);
}

std::shared_ptr<CResultsStore> pass(std::vector<std::string> names) {
    std::vector<std::vector<int32_t>> row;
    for (size_t i = 0; i < names.size(); ++i) row.push_back({1000 * int32_t(i + 1), 500});
    return detailedPass({row, row}, std::move(names));
}

struct Pages : ::testing::Test {
    CResultsContainer list;
    GraphsPage graphs{list};
    AddGraphsPage batch{list};

    void refreshBoth() {
        graphs.resultsChanged();
        batch.resultsChanged();
    }
};

// What a hostile results file can put within the reader's limits: 10,000
// named entries over 600,000 users that hold nothing, in 200 passes.  The pages
// draw what there is, their work bounded by what the records hold and the
// batch graphs by a number of points, not by entries times users times passes.
TEST_F(Pages, ManyEntriesOverManyEmptyRowsAreDrawnWithinThePointLimit) {
    auto shape = std::make_shared<CResultsStore>();
    shape->entryNames.assign(10000, std::string(1, 'n'));
    shape->users = 600000;
    shape->iterations = 2000000000;
    for (int32_t pass = 1; pass <= 200; ++pass) {
        auto next = inBatch(std::make_shared<CResultsStore>(*shape), pass);
        if (pass == 1) next->timings.resize(600000);
        list.add(next);
    }
    refreshBoth();
    EXPECT_EQ(graphs.choiceBox()->count(), 10000);
    ASSERT_FALSE(batch.showsNoResults());
    size_t points = 0;
    for (const auto& series : batch.chart()->series()) points += series.points.size();
    EXPECT_GT(points, 0u);
    EXPECT_LE(points, graphs::kMaxBatchPoints);
    EXPECT_LE(batch.chart()->series().size(), graphs::kMaxBatchEntrySeries);
}

TEST_F(Pages, EmptyListShowsNoResultsWithTheDropDownDisabled) {
    refreshBoth();
    for (GraphPage* page : {static_cast<GraphPage*>(&graphs), static_cast<GraphPage*>(&batch)}) {
        EXPECT_TRUE(page->showsNoResults());
        EXPECT_FALSE(page->choiceBox()->isEnabled());
        EXPECT_EQ(page->choiceBox()->count(), 0);
    }
}

TEST_F(Pages, SinglePassIsGraphedPerEntryButHasNoBatchGraphs) {
    list.add(pass({"/index", "/login"}));
    refreshBoth();
    EXPECT_FALSE(graphs.showsNoResults());
    EXPECT_TRUE(graphs.choiceBox()->isEnabled());
    EXPECT_EQ(items(*graphs.choiceBox()), QStringList({"/index", "/login"}));
    EXPECT_EQ(graphs.chart()->title(), "/index");
    EXPECT_EQ(graphs.chart()->footer(), "Number of virtual users = 2");
    EXPECT_EQ(graphs.chart()->axis(ChartView::kHorizontalAxis).title, "Iteration");
    ASSERT_EQ(graphs.chart()->series().size(), 3u);
    EXPECT_EQ(graphs.chart()->series()[0].color, QColor(250, 0, 0));
    EXPECT_TRUE(batch.showsNoResults());
    EXPECT_FALSE(batch.choiceBox()->isEnabled());
    // A run starts: the list is cleared.
    list.clear();
    graphs.resultsChanged();
    EXPECT_TRUE(graphs.showsNoResults());
    EXPECT_FALSE(graphs.choiceBox()->isEnabled());
}

TEST_F(Pages, SummaryFormPassDrawsThreeSinglePointsAtOne) {
    list.add(summaryPass({{1500, 9000, 3, 4500, 0}}, {"/index"}));
    graphs.activatePage();
    const auto& series = graphs.chart()->series();
    ASSERT_EQ(series.size(), 3u);
    for (const auto& one : series) {
        ASSERT_EQ(one.points.size(), 1u);
        EXPECT_EQ(one.points[0].x(), 1);
    }
    // The page says why there is one point only; a detailed pass has no note.
    EXPECT_TRUE(graphs.noteLabel()->isVisibleTo(&graphs));
    EXPECT_EQ(graphs.noteLabel()->text(), "This run kept summary times only");
    list.clear();
    list.add(pass({"/index"}));
    graphs.resultsChanged();
    EXPECT_FALSE(graphs.noteLabel()->isVisibleTo(&graphs));
}

TEST_F(Pages, ThePreviousChoiceIsKeptByItsText) {
    list.add(pass({"/a", "/b", "/c"}));
    graphs.activatePage();
    choose(*graphs.choiceBox(), 1);
    EXPECT_EQ(graphs.chart()->title(), "/b");
    list.replaceAll({pass({"/x", "/y", "/b"})});
    graphs.resultsChanged();
    EXPECT_EQ(graphs.choiceBox()->currentText(), "/b");
    EXPECT_EQ(graphs.chart()->title(), "/b");
    list.replaceAll({pass({"/p", "/q"})});
    graphs.resultsChanged();
    EXPECT_EQ(graphs.choiceBox()->currentIndex(), 0);
    EXPECT_EQ(graphs.chart()->title(), "/p");
}

TEST_F(Pages, AnUnchangedListIsNotDrawnAgain) {
    list.add(pass({"/a"}));
    graphs.activatePage();
    const int builds = graphs.chartBuilds();
    graphs.activatePage();
    graphs.resultsChanged();
    EXPECT_EQ(graphs.chartBuilds(), builds);
    list.add(pass({"/a"}));
    graphs.resultsChanged();
    EXPECT_EQ(graphs.chartBuilds(), builds + 1);
    // Other records under the same run numbers (a loaded file) are redrawn.
    std::vector<ResultsStorePtr> loaded;
    for (const auto& record : list.all()) {
        auto copy = std::make_shared<CResultsStore>(*record);
        copy->timings[0][0][0] = 9000;
        loaded.push_back(copy);
    }
    list.replaceAll(loaded);
    graphs.resultsChanged();
    EXPECT_EQ(graphs.chartBuilds(), builds + 2);
    EXPECT_EQ(graphs.chart()->series()[0].points[0].y(), 9);
}

TEST_F(Pages, BatchRunGraphsOfferSixGraphsWithErrorsOnAFixedScale) {
    for (int users = 1; users <= 3; ++users) list.add(inBatch(pass({"/a", "/b"}), users * 10));
    refreshBoth();
    ASSERT_EQ(batch.choiceBox()->count(), 6);
    EXPECT_EQ(batch.chart()->title(), "Average request processing time");
    EXPECT_EQ(batch.chart()->series().size(), 2u);
    choose(*batch.choiceBox(), 4);
    EXPECT_EQ(batch.chart()->title(), "Errors");
    EXPECT_EQ(batch.chart()->axis(ChartView::kVerticalAxis).maximum, 100);
    // No requests at all: 0 of 0 errors plot as 100 %.
    for (const auto& point : batch.chart()->series()[0].points) EXPECT_EQ(point.y(), 100);
    EXPECT_EQ(graphs.chart()->axis(ChartView::kHorizontalAxis).title, "Virtual users");
    EXPECT_EQ(graphs.chart()->footer(), "Number of iterations = 2");
}

TEST_F(Pages, ResetDropsWhatIsShown) {
    list.add(inBatch(pass({"/a"}), 5));
    refreshBoth();
    graphs.resetPage();
    batch.resetPage();
    for (GraphPage* page : {static_cast<GraphPage*>(&graphs), static_cast<GraphPage*>(&batch)}) {
        EXPECT_TRUE(page->showsNoResults());
        EXPECT_FALSE(page->choiceBox()->isEnabled());
        EXPECT_EQ(page->choiceBox()->count(), 0);
        EXPECT_TRUE(page->chart()->series().empty());
    }
}

TEST_F(Pages, ARecordAddedOnAnotherThreadReachesThePageThroughAQueuedCall) {
    list.setNotifier(
        [this] { QMetaObject::invokeMethod(&graphs, "resultsChanged", Qt::QueuedConnection); });
    std::thread worker([this] { list.add(pass({"/from-worker"})); });
    worker.join();
    for (int i = 0; i < 100 && graphs.showsNoResults(); ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_FALSE(graphs.showsNoResults());
    EXPECT_EQ(graphs.chart()->title(), "/from-worker");
    list.setNotifier(nullptr);
}

// Not a pass/fail test: prints how long a large list takes to draw.
TEST_F(Pages, ThousandUsersByThousandIterationsRedrawTime) {
    std::vector<std::vector<std::vector<int32_t>>> timings(1000);
    for (int user = 0; user < 1000; ++user) {
        timings[user].resize(2);
        for (auto& entry : timings[user]) {
            entry.resize(1000);
            for (int i = 0; i < 1000; ++i) entry[i] = 1000 + (user * 37 + i * 11) % 5000 - 50;
        }
    }
    list.add(inBatch(detailedPass(timings, {"/a", "/b"}), 1000, true));
    list.add(inBatch(detailedPass(std::move(timings), {"/a", "/b"}), 2000, true));
    graphs.resize(1280, 800);
    batch.resize(1280, 800);
    QElapsedTimer timer;
    timer.start();
    graphs.resultsChanged();
    const QImage batchChart = graphs.chart()->picture();
    const qint64 graphMs = timer.restart();
    batch.resultsChanged();
    const QImage batchPicture = batch.chart()->picture();
    const qint64 batchMs = timer.restart();
    // A single detailed pass: 1,000 points per series.
    list.replaceAll({list.get(0)});
    auto single = std::make_shared<CResultsStore>(*list.get(0));
    single->batchNumber = 0;
    list.replaceAll({single});
    timer.restart();
    graphs.resultsChanged();
    const QImage iterationPicture = graphs.chart()->picture();
    const qint64 iterationMs = timer.elapsed();
    std::printf(
        "1000 users x 1000 iterations: Graphs (batch of 2) %lld ms, Batch Run Graphs %lld ms, "
        "Graphs per iteration %lld ms\n",
        (long long)graphMs, (long long)batchMs, (long long)iterationMs);
    EXPECT_FALSE(iterationPicture.isNull());
}

}  // namespace
}  // namespace velk::results
