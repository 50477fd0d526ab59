// velkrun --check, run as users run it: a real process, its output and exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "common/build_tree.h"
#include "common/temp_dir.h"

namespace {

struct RunResult {
    int status = -1;
    std::string output;  // standard output and standard error together
};

RunResult runVelkrun(const std::string& args) {
    RunResult r;
    std::string command = std::string(VELKRUN_PATH) + " " + args + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return r;
    std::array<char, 4096> chunk;
    size_t n;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0) r.output.append(chunk.data(), n);
    int raw = pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

TEST(VelkrunCheck, ValidScriptPrintsWhatTheEngineReports) {
    velk::test::TempDir dir;
    std::string script =
        dir.write("t.txt", "clients=$gvar(users,1)\nrequests=3\n[home]\n[search]\n");
    RunResult r = runVelkrun("--check -users=12 " + script);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Users: 12\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Iterations: 3\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Test sequence (2): home search\n"), std::string::npos) << r.output;
}

TEST(VelkrunCheck, LikelyMistakesAreWarnedAboutOrRefusedWithTheirLine) {
    velk::test::TempDir dir;
    RunResult r = runVelkrun("--check " + dir.write("w.txt", "[a]\n$customer=1\nq=a b\n"));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("w.txt:2: warning: $customer is no request key"), std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("w.txt:3: warning: the value of q holds a blank"), std::string::npos)
        << r.output;

    const std::string empty = dir.write("empty.txt", "clients=2\n");
    r = runVelkrun("--check " + empty);
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find(empty + ": Error: empty test sequence!"), std::string::npos)
        << r.output;
}

// A run no machine here can hold (ten million users keeping two billion
// iterations each) is refused before anything is made, by --check and by the
// run, naming both figures; a small one is estimated and runs.
TEST(VelkrunCheck, ARunLargerThanTheMachinesMemoryIsRefusedBeforeItStarts) {
    velk::test::TempDir dir;
    const std::string huge =
        dir.write("huge.txt",
                  "server=127.0.0.1\nport=1\nclients=10000000\nrequests=2000000000\n"
                  "reportdir=\n[a]\n");
    RunResult r = runVelkrun("--check " + huge);
    EXPECT_EQ(r.status, 3) << r.output;
    EXPECT_NE(r.output.find("Memory available: "), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("TOO LARGE: a run would be refused (memorycheck=0 runs it anyway)"),
              std::string::npos)
        << r.output;
    r = runVelkrun("--quiet " + huge);
    EXPECT_EQ(r.status, 3) << r.output;
    EXPECT_NE(r.output.find("more than the "), std::string::npos) << r.output;
    EXPECT_NE(r.output.find(" MB this machine has available; set memorycheck=0 to run anyway!"),
              std::string::npos)
        << r.output;

    r = runVelkrun("--check " + dir.write("small.txt", "clients=2\nrequests=3\n[a]\n"));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Memory estimate: "), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("\nOK\n"), std::string::npos) << r.output;
}

TEST(VelkrunCheck, ErrorsGiveTheEngineMessageAndANonZeroStatus) {
    velk::test::TempDir dir;
    std::string bad = dir.write("bad.txt", "[a]\n[a]\n");
    RunResult r = runVelkrun("--check " + bad);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("Duplicate request definition:a"), std::string::npos) << r.output;

    r = runVelkrun("--check -verbose " + bad);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("Invalid command line option -verbose!"), std::string::npos)
        << r.output;

    r = runVelkrun("--check " + dir.file("missing.txt"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("cannot read test script"), std::string::npos) << r.output;

    r = runVelkrun("--frobnicate x");
    EXPECT_EQ(r.status, 2);
}

// Files that are no script, and lines the engine refuses without a word.
TEST(VelkrunCheck, UnreadableFilesAndSilentRefusalsAreExplained) {
    velk::test::TempDir dir;
    std::filesystem::create_directory(dir.file("folder.vts"));
    const struct {
        std::string args;
        int status;
        const char* text;
    } cases[] = {
        {"--check /dev/zero", 1, "/dev/zero: not a regular file"},
        {"--check " + dir.path().string(), 1, "not a regular file"},
        {"--check " + dir.file("folder.vts"), 1, "not a regular file"},
        {"--check " + dir.write("typo.txt", "clients=1\n\nclinets=2\n[a]\n"), 1,
         "typo.txt: line 3: unknown option \"clinets\""},
        {"--check " + dir.write("bom.txt",
                                "\xEF\xBB\xBF"
                                "clients=2\n[a]\n"),
         0, "Users: 2\n"},
    };
    for (const auto& c : cases) {
        RunResult r = runVelkrun(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.output;
        EXPECT_NE(r.output.find(c.text), std::string::npos) << c.args << "\n" << r.output;
    }
}

TEST(VelkrunCheck, BundledExamplesParse) {
    for (const char* example : {"hello.txt", "demo-shop.txt", "paced.txt"}) {
        RunResult r = runVelkrun(std::string("--check ") + VELK_EXAMPLES_DIR + "/" + example);
        EXPECT_EQ(r.status, 0) << example << "\n" << r.output;
    }
}

TEST(VelkrunCheck, VersionAndHelp) {
    RunResult r = runVelkrun("--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.output.find("2.0 build 100 date Mon Jul 30 10:07:00 2002"), std::string::npos);
    r = runVelkrun("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.output.find("--check"), std::string::npos);
}

}  // namespace
