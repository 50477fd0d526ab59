// render_graphs: draws the Graphs and Batch Run Graphs pages into PNG files
// so that a person can look at them: a cycling batch of five passes and a
// detailed single pass, at the smallest window's page size, the minimum
// window size and 1280 x 800.
//
//   render_graphs OUTPUT_DIR
//
// The results are made up here, shaped like a run of the demo shop (times
// that grow with the users, a few errors).
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QMouseEvent>
#include <cstdio>
#include <random>

#include "app/results/results_container.h"
#include "gui/results/add_graphs_page.h"
#include "gui/results/chart_view.h"
#include "gui/results/graphs_page.h"

namespace {

using velk::results::CResultsStore;

const std::vector<std::string> kEntries{"/", "/catalog", "/product?id=17", "/cart/add",
                                        "/checkout"};
const double kBaseMs[] = {12, 35, 22, 48, 90};

std::shared_ptr<CResultsStore> makePass(int users, int iterations, std::mt19937& random) {
    auto record = std::make_shared<CResultsStore>();
    record->users = users;
    record->iterations = iterations;
    record->sequenceLength = int32_t(kEntries.size());
    record->entryNames = kEntries;
    std::normal_distribution<double> noise(1.0, 0.25);
    std::uniform_real_distribution<double> chance(0, 1);
    const double load = 1 + users / 20.0;
    const double errorRate = 0.002 * users / 10.0;
    int64_t requests = 0, errors = 0;
    double totalSeconds = 0;
    record->timings.resize(size_t(users));
    for (auto& row : record->timings) {
        row.resize(kEntries.size());
        for (size_t e = 0; e < kEntries.size(); ++e) {
            for (int i = 0; i < iterations; ++i) {
                ++requests;
                if (chance(random) < errorRate) {
                    row[e].push_back(chance(random) < 0.5 ? -1 : -2);
                    ++errors;
                    continue;
                }
                const double ms = std::max(
                    1.0, kBaseMs[e] * load * noise(random) * (1 + 0.3 * std::sin(i / 7.0)));
                row[e].push_back(int32_t(ms * 1000));
                totalSeconds += ms / 1000;
            }
        }
    }
    const double duration = totalSeconds / users;
    record->totalRequests = int32_t(requests);
    record->totalErrors = int32_t(errors);
    record->requestsPerSecond = float(requests / std::max(duration, 0.001));
    record->msPerRequest = float(1000 * duration / double(requests));
    record->serverBandwidth = record->requestsPerSecond * 14.5;  // KB/s
    record->userBandwidth = record->serverBandwidth / users;
    return record;
}

bool save(QWidget& page, const QSize& size, const QString& path) {
    page.resize(size);
    const QPixmap picture = page.grab();
    if (!picture.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: render_graphs OUTPUT_DIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.exists() && !QDir().mkpath(out.path())) return 1;

    std::mt19937 random(20260);
    velk::results::CResultsContainer list;
    for (int pass = 1; pass <= 5; ++pass) {
        auto record = makePass(10 * pass, 20, random);
        record->batchNumber = 1;
        record->cycleValue = 10 * pass;
        record->cycleLabel = "Virtual users";
        list.add(record);
    }
    velk::results::GraphsPage graphs(list);
    velk::results::AddGraphsPage batch(list);
    const struct {
        QSize size;
        const char* name;
    } sizes[] = {
        {QSize(600, 430), "small"}, {QSize(765, 550), "765x550"}, {QSize(1280, 800), "1280x800"}};
    bool ok = true;
    for (const auto& size : sizes) {
        const QString suffix = QString("-%1.png").arg(size.name);
        graphs.resize(size.size);
        batch.resize(size.size);
        graphs.activatePage();
        graphs.choiceBox()->setCurrentIndex(4);
        emit graphs.choiceBox()->activated(4);
        ok &= save(graphs, size.size, out.filePath("graphs-batch" + suffix));
        batch.activatePage();
        for (int choice : {0, 3, 4, 5}) {
            batch.choiceBox()->setCurrentIndex(choice);
            emit batch.choiceBox()->activated(choice);
            ok &= save(batch, size.size,
                       out.filePath(QString("batch-graphs-%1").arg(choice) + suffix));
        }
    }
    list.replaceAll({makePass(25, 60, random)});
    for (const auto& size : sizes) {
        graphs.resize(size.size);
        graphs.activatePage();
        ok &= save(graphs, size.size, out.filePath(QString("graphs-single-%1.png").arg(size.name)));
        batch.activatePage();
        ok &= save(batch, size.size,
                   out.filePath(QString("batch-graphs-single-%1.png").arg(size.name)));
    }
    // A batch of a long sequence with long names, at the smallest size.
    list.clear();
    for (int pass = 1; pass <= 4; ++pass) {
        auto record = makePass(5 * pass, 5, random);
        record->batchNumber = 2;
        record->cycleValue = 5 * pass;
        record->cycleLabel = "Virtual users";
        record->entryNames.clear();
        for (size_t e = 0; e < kEntries.size(); ++e)
            record->entryNames.push_back("/shop/catalogue/category/" + std::to_string(e) +
                                         "/items?sort=price&page=" + std::to_string(e));
        for (int copy = 0; copy < 3; ++copy)
            for (auto& row : record->timings)
                for (size_t e = 0; e < kEntries.size(); ++e) row.push_back(row[e]);
        for (int copy = 0; copy < 15; ++copy)
            record->entryNames.push_back("/static/image" + std::to_string(copy) + ".png");
        record->timings.front().resize(record->entryNames.size());
        list.add(record);
    }
    batch.resize(600, 430);
    batch.activatePage();
    ok &= save(batch, QSize(600, 430), out.filePath("batch-graphs-many-small.png"));
    list.replaceAll({makePass(25, 60, random)});
    graphs.activatePage();

    // A hover tip on the per-iteration graph.
    graphs.resize(765, 550);
    (void)graphs.grab();  // lays the page out, so the chart has its final size
    velk::results::ChartView& chart = *graphs.chart();
    const QPointF point = chart.pointPosition(1, 41);
    QMouseEvent move(QEvent::MouseMove, point, chart.mapToGlobal(point), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&chart, &move);
    ok &= save(graphs, QSize(765, 550), out.filePath("graphs-tip-765x550.png"));
    return ok ? 0 : 1;
}
