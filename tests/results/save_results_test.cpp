#include "results/save_results.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "base/message.h"
#include "common/message_capture.h"
#include "common/temp_dir.h"
#include "results/outfile_name.h"
#include "results/report_file.h"
#include "results/run_fixture.h"

namespace velk {
namespace {

using test::MessageCapture;
using test::RunFixture;
using test::TempDir;
using test::TextSink;

// Routes engine messages into a capture for the life of a test.
class CapturedMessages {
public:
    CapturedMessages() { setOutFunc(&m_capture, &MessageCapture::sink); }
    ~CapturedMessages() { setOutFunc(nullptr, defaultOutFunc); }
    std::vector<std::string> lines() const { return m_capture.lines(); }

private:
    MessageCapture m_capture;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void fillSmallRun(RunFixture& run) {
    run.options.clients = 10;
    run.options.requests = 5;
    run.names = {"index"};
    run.times.durationMs = 1000;
    run.counters.statusCodes[200] = 1;
    UserRecord& u = run.addUser(ResultMode::Detailed);
    u.results.setCell(0, 0, 1500);
    u.results.setCell(0, 1, kResultNetwork);
    u.requestsMade = 2;
    u.endTick = 900;
}

struct TemplateCase {
    const char* pattern;
    const char* testName;
    const char* expected;
    int warnings;
};

TEST(OutfileTemplate, ExpandsEachMacroAndWarnsOnceAboutUnknownOnes) {
    const TemplateCase cases[] = {
        {"%n-%s-%cx%r.xls", "C:\\work\\shop.vts", "shop-localhost-10x5.xls", 0},
        {"%n-%s-%cx%r.xls", "dir/shop.vts", "shop-localhost-10x5.xls", 0},
        {"%n.txt", "archive.tar.gz", "archive.tar.txt", 0},
        {"%n.txt", "noext", "noext.txt", 0},
        {"%f", "a.b\\c/d.vts", "d.vts", 0},
        {"%y-%m-%d_%t:%p 100%%", "", "2024-03-07_090504:8080 100%", 0},
        {"a%qb", "x", "ab", 1},
        {"end%", "x", "end", 1},
    };
    for (const TemplateCase& c : cases) {
        CapturedMessages messages;
        GeneralOptions o;
        o.clients = 10;
        o.requests = 5;
        o.port = 8080;
        OutfileFields fields{o, c.testName, "localhost", LocalClock{2024, 3, 7, 9, 5, 4}};
        EXPECT_EQ(expandOutfileTemplate(c.pattern, fields), c.expected) << c.pattern;
        EXPECT_EQ(int(messages.lines().size()), c.warnings) << c.pattern;
    }
    CapturedMessages messages;
    GeneralOptions o;
    expandOutfileTemplate("%q", OutfileFields{o, "", "", LocalClock{}});
    EXPECT_EQ(messages.lines(),
              std::vector<std::string>{"Warning: unknown macro %q in outfile template ignored!"});
}

TEST(OutfileTemplate, ReportDirectoryLosesOneTrailingSeparator) {
    EXPECT_EQ(reportFilePath("out", "r.xls"), "out/r.xls");
    EXPECT_EQ(reportFilePath("out/", "r.xls"), "out/r.xls");
    EXPECT_EQ(reportFilePath("out\\", "r.xls"), "out/r.xls");
    EXPECT_EQ(reportFilePath("/", "r.xls"), "/r.xls");
}

TEST(SaveResults, WithoutWriterTheReportGoesToTheNamedFileWithTheSameText) {
    TempDir dir;
    RunFixture run;
    fillSmallRun(run);
    run.options.projectname = "C:\\work\\shop.vts";
    run.options.reportdir = dir.path().string() + "/";

    TextSink sink;
    SummaryRecord first{}, second{};
    std::string testName;
    ASSERT_EQ(saveResults(run.input(), &sink, &TextSink::write, &first, &testName), 0);
    EXPECT_EQ(testName, "C:\\work\\shop.vts");
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));  // a writer means no file

    ASSERT_EQ(saveResults(run.input(), nullptr, nullptr, &second, nullptr), 0);
    EXPECT_EQ(readFile(dir.file("shop-localhost-10x5.xls")), sink.text);
    EXPECT_EQ(std::memcmp(&first, &second, sizeof first), 0);
    EXPECT_EQ(first.totalErrors, 1);

    // Saving again replaces the file, so the same numbers appear once.
    ASSERT_EQ(saveResults(run.input(), nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(readFile(dir.file("shop-localhost-10x5.xls")), sink.text);

    run.options.appendresult = 1;
    ASSERT_EQ(saveResults(run.input(), nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(readFile(dir.file("shop-localhost-10x5.xls")), sink.text + sink.text);
}

TEST(SaveResults, UnknownMacroWarnsOnceEvenWithAWriterAndTheReportIsStillWritten) {
    CapturedMessages messages;
    RunFixture run;
    fillSmallRun(run);
    run.options.outfile = "%q%n.xls";
    TextSink sink;
    EXPECT_EQ(saveResults(run.input(), &sink, &TextSink::write, nullptr, nullptr), 0);
    EXPECT_EQ(messages.lines(),
              std::vector<std::string>{"Warning: unknown macro %q in outfile template ignored!"});
    EXPECT_NE(sink.text.find("--- Basic statistics ---"), std::string::npos);
}

TEST(SaveResults, NothingIsWrittenWithoutOutfileOrReportDirButTheSummaryIsFilled) {
    TempDir dir;
    for (bool emptyOutfile : {true, false}) {
        CapturedMessages messages;
        RunFixture run;
        fillSmallRun(run);
        run.options.outfile = emptyOutfile ? "" : "r.xls";
        run.options.reportdir = emptyOutfile ? dir.path().string() : "";
        SummaryRecord summary{};
        EXPECT_EQ(saveResults(run.input(), nullptr, nullptr, &summary, nullptr), 0);
        EXPECT_EQ(summary.totalErrors, 1);
        EXPECT_TRUE(messages.lines().empty());
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(SaveResults, FileThatCannotBeOpenedOrWrittenIsReportedAndFails) {
    TempDir dir;
    RunFixture run;
    fillSmallRun(run);
    run.options.outfile = "r.xls";
    run.options.reportdir = dir.file("missing");
    {
        CapturedMessages messages;
        EXPECT_EQ(saveResults(run.input(), nullptr, nullptr, nullptr, nullptr), -1);
        EXPECT_EQ(messages.lines(), std::vector<std::string>{"Failed to open results file: " +
                                                             dir.file("missing") + "/r.xls!"});
    }
    // A device is no report file, replaced or appended to.
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    run.options.outfile = "full";
    run.options.reportdir = "/dev";
    for (int32_t append : {0, 1}) {
        run.options.appendresult = append;
        CapturedMessages messages;
        EXPECT_EQ(saveResults(run.input(), nullptr, nullptr, nullptr, nullptr), -1);
        EXPECT_EQ(messages.lines(),
                  std::vector<std::string>{"Failed to open results file: /dev/full!"});
    }
}

// The script names a file inside the report directory, and a file already at
// that name is replaced or appended to only when it is a VELK report itself (or
// empty): a script cannot damage a file it did not make (~/.bashrc).
TEST(SaveResults, ReportNamesStayInTheReportDirectoryAndOnlyReportsAreReplaced) {
    TempDir dir;
    const std::filesystem::path reports = dir.path() / "reports";
    std::filesystem::create_directory(reports);
    const std::string victim = dir.write("victim.txt", "keep me\n");
    std::filesystem::create_symlink(victim, reports / "link.xls");
    const std::string notes = dir.write("reports/notes.txt", "echo my settings\n");
    dir.write("reports/old.xls", "Report generated by VELK v2.0\n\nTest started at: x\n");
    dir.write("reports/bare.xls", "\n--- Basic statistics ---\n\nRequest name:\t\t\ta\n");
    dir.write("reports/empty.xls", "");
    const std::string refused = "Refused results file " + reports.string() + "/";
    const struct {
        const char* outfile;
        int32_t append;
        std::string message;  // "" when written
    } cases[] = {
        {"../escape.xls", 0,
         "Refused results file name ../escape.xls: it must name a file inside the report "
         "directory!"},
        {"/tmp/abs.xls", 1,
         "Refused results file name /tmp/abs.xls: it must name a file inside the report "
         "directory!"},
        {"a/../../up.xls", 0,
         "Refused results file name a/../../up.xls: it must name a file inside the report "
         "directory!"},
        {"link.xls", 1, refused + "link.xls: it exists and is not a VELK report"},
        {"link.xls", 0, refused + "link.xls: it exists and is not a VELK report"},
        {"notes.txt", 0, refused + "notes.txt: it exists and is not a VELK report"},
        {"notes.txt", 1, refused + "notes.txt: it exists and is not a VELK report"},
        {".bashrc", 0, refused + ".bashrc: a hidden file cannot take a report!"},
        {".config/x.xls", 1, refused + ".config/x.xls: a hidden file cannot take a report!"},
        {"old.xls", 1, ""},
        {"bare.xls", 0, ""},
        {"empty.xls", 0, ""},
        {"new.xls", 1, ""},
        {"new.xls", 0, ""},
    };
    for (const auto& c : cases) {
        RunFixture run;
        fillSmallRun(run);
        run.options.outfile = c.outfile;
        run.options.reportdir = reports.string();
        run.options.appendresult = c.append;
        run.options.description = "x; echo PWNED > f #";
        CapturedMessages messages;
        const int32_t status = saveResults(run.input(), nullptr, nullptr, nullptr, nullptr);
        ASSERT_EQ(messages.lines().size(), 1u) << c.outfile;
        if (!c.message.empty()) {
            EXPECT_EQ(status, -1) << c.outfile;
            EXPECT_EQ(messages.lines()[0].rfind(c.message, 0), 0u) << messages.lines()[0];
        } else {
            EXPECT_EQ(status, 0) << c.outfile;
            EXPECT_EQ(messages.lines()[0],
                      "Results written to file: " + (reports / c.outfile).string());
        }
    }
    EXPECT_EQ(readFile(victim), "keep me\n");
    EXPECT_EQ(readFile(notes), "echo my settings\n");
    EXPECT_TRUE(std::filesystem::is_symlink(reports / "link.xls"));
    EXPECT_FALSE(std::filesystem::exists(reports / ".bashrc"));
    // The reports written over reports are reports again; the appended one kept its start.
    EXPECT_EQ(readFile((reports / "old.xls").string())
                  .rfind("Report generated by VELK v2.0\n\nTest started at: x\n", 0),
              0u);
    for (const char* name : {"bare.xls", "empty.xls", "new.xls"})
        EXPECT_TRUE(looksLikeReport(readFile((reports / name).string()))) << name;
    // Only these files, no half-written ones beside them.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(reports),
                            std::filesystem::directory_iterator()),
              6);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "escape.xls"));
}

}  // namespace
}  // namespace velk
