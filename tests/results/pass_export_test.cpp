// Exporting a pass of a results file as the JSON summary and the HTML report:
// what a pass without its figures says instead, and files replaced only whole.
#include "app/results/pass_export.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/status_assert.h"
#include "common/temp_dir.h"

namespace velk::results {
namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::shared_ptr<CResultsStore> passWithFigures() {
    auto pass = std::make_shared<CResultsStore>();
    pass->title = "10:42 - shop";
    PassFigures f;
    LatencyFigures home;
    home.name = "home";
    home.count = 4;
    home.errors = {0, 1, 0, 0};
    home.minMs = 1;
    home.meanMs = 2.5;
    home.maxMs = 4;
    home.percentilesMs = {2, 3, 4, 4, 4};
    f.requests = {home};
    f.overall = home;
    f.overall.name.clear();
    f.timeline = {{3, 1, 2}, {2, 0, 1}};
    RunTotals t;
    t.testName = "shop";
    t.startTime = 1800000000;
    t.endTime = 1800000002;
    t.durationMs = 2000;
    t.users = 2;
    t.iterations = -1;
    t.httpRequests = 5;
    t.bytesSent = 500;
    t.bytesReceived = 9000;
    t.statusCodes = {{200, 4}, {500, 1}};
    f.totals = t;
    pass->figures = f;
    return pass;
}

TEST(PassExport, PassesWithoutTheirFiguresSayWhyAndWriteNothing) {
    velk::test::TempDir dir;
    auto none = passWithFigures();
    none->figures.reset();
    auto earlier = passWithFigures();
    earlier->figures->totals.reset();
    const struct {
        const char* what;
        std::shared_ptr<CResultsStore> pass;
        const char* says;
    } cases[] = {
        {"no figures", none, "No percentiles in this file"},
        {"figures without totals", earlier, "saved by an earlier version"},
    };
    for (const auto& c : cases) {
        for (ExportFormat format : {ExportFormat::kHtmlReport, ExportFormat::kJsonSummary}) {
            const Status exported = exportPass(*c.pass, format, dir.file("out"));
            const std::string& error = exported.message();
            EXPECT_EQ(exported.code(), StatusCode::kInvalid) << c.what;
            EXPECT_NE(error.find(c.says), std::string::npos) << c.what << ": " << error;
            EXPECT_NE(error.find("\"10:42 - shop\""), std::string::npos) << error;
            EXPECT_FALSE(std::filesystem::exists(dir.file("out"))) << c.what;
        }
    }
}

TEST(PassExport, TheReportsOfAPassReplaceAFileOnlyWhole) {
    velk::test::TempDir dir;
    const auto pass = passWithFigures();
    const StatusOr<const PassFigures*> found = runFiguresOf(*pass);
    ASSERT_TRUE(velk::test::isOk(found));
    const PassFigures* figures = *found;
    // The summary a script-driven run of two users gives, with no thresholds.
    const std::string json = exportText(*figures, ExportFormat::kJsonSummary);
    for (const char* part :
         {"\"name\": \"shop\"", "\"start\": \"2027-01-15T08:00:00Z\"", "\"iterations\": null",
          "\"requestsSent\": 5", "\"bytesReceived\": 9000", "\"500\": 1", "\"count\": 4",
          "\"p90\": 3.000", "\"usersActive\": [\n      2,\n      1]", "\"thresholds\": []"})
        EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json;

    const std::string path = dir.write("run.json", "old");
    ASSERT_TRUE(velk::test::isOk(exportPass(*pass, ExportFormat::kJsonSummary, path)));
    EXPECT_EQ(readFile(path), json);
    ASSERT_TRUE(
        velk::test::isOk(exportPass(*pass, ExportFormat::kHtmlReport, dir.file("run.html"))));
    EXPECT_EQ(readFile(dir.file("run.html")), exportText(*figures, ExportFormat::kHtmlReport));

    // A directory in the way, a folder that does not exist: the message names
    // the file, the old one stays, nothing is left beside it.
    std::filesystem::create_directory(dir.file("taken.json"));
    for (const std::string& bad : {dir.file("taken.json"), dir.file("no/such.json")}) {
        const Status exported = exportPass(*pass, ExportFormat::kJsonSummary, bad);
        const std::string& error = exported.message();
        EXPECT_EQ(exported.code(), StatusCode::kIo) << bad;
        EXPECT_NE(error.find(bad), std::string::npos) << error;
        EXPECT_NE(error.find("not changed"), std::string::npos) << error;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              3);
}

}  // namespace
}  // namespace velk::results
