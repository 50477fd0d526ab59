// Every file velkrun reads or writes on the user's word, as hostile users name
// them: FIFOs, directories, devices, endless and huge files, damaged files; and
// the report files a script names, the closed pipe on standard error, and the
// exit statuses of every way to run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "app/results/rlt_file.h"
#include "common/build_tree.h"
#include "common/child_process.h"
#include "common/temp_dir.h"
#include "support/test_http_server.h"

namespace velk::test {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::string out, err;
    double seconds = 0;
};

class VelkrunFiles : public ::testing::Test {
protected:
    Outcome velkrun(std::vector<std::string> args, int limitSeconds = 120) {
        const auto start = std::chrono::steady_clock::now();
        ChildProcess run(VELKRUN_PATH, std::move(args), m_dir.file("out.txt"),
                         m_dir.file("err.txt"));
        Outcome o;
        o.status = run.wait(limitSeconds);
        o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        o.out = run.out();
        o.err = run.err();
        return o;
    }
    std::string script(const std::string& body = "", const std::string& name = "t.txt") {
        return m_dir.write(name, "server=127.0.0.1\nport=" + std::to_string(m_server.port()) +
                                     "\nreportdir=" + m_dir.path().string() +
                                     "\ndelaystart=0\nclients=2\nrequests=2\n" + body + "[a]\n");
    }
    // A shard of the test of script(), as --shard writes it.
    std::string shardFile() {
        const std::string path = m_dir.file("part.vshard");
        const Outcome o = velkrun({"--quiet", "--shard", "0/1", "--shard-out", path, script()});
        EXPECT_EQ(o.status, 0) << o.err;
        return path;
    }
    TempDir m_dir;
    TestHttpServer m_server;
};

// A file of each hostile kind under the given name: what it is, and its path.
struct FileCase {
    const char* kind;
    std::string path;
};

std::vector<FileCase> hostileFiles(const TempDir& dir, const std::string& suffix,
                                   const std::string& truncatedFrom) {
    std::vector<FileCase> cases;
    const std::string fifo = dir.file("fifo" + suffix);
    EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    cases.push_back({"FIFO", fifo});
    fs::create_directory(dir.file("folder" + suffix));
    cases.push_back({"directory", dir.file("folder" + suffix)});
    fs::create_symlink("/dev/null", dir.file("device" + suffix));
    cases.push_back({"device", dir.file("device" + suffix)});
    fs::create_symlink("/dev/zero", dir.file("zero" + suffix));
    cases.push_back({"/dev/zero", dir.file("zero" + suffix)});
    // Sparse: larger than any limit without taking the disk.
    const std::string huge = dir.write("huge" + suffix, "");
    fs::resize_file(huge, uintmax_t(3) << 30);
    cases.push_back({"huge", huge});
    if (!truncatedFrom.empty()) {
        const std::string whole = readWhole(truncatedFrom);
        cases.push_back(
            {"truncated", dir.write("truncated" + suffix, whole.substr(0, whole.size() / 2))});
    }
    cases.push_back({"missing", dir.file("missing" + suffix)});
    return cases;
}

// One table of file cases against every reader of a file the user names: each
// ends at once with status 1 and a message naming the file.
TEST_F(VelkrunFiles, EveryReaderRefusesFilesItCannotReadWithAMessage) {
    const std::string shard = shardFile();
    const std::string vts =
        m_dir.write("whole.vts", readWhole(std::string(VELK_EXAMPLES_DIR) + "/demo-shop.vts"));
    const std::string good = script();
    struct Reader {
        const char* name;
        std::vector<FileCase> files;
        std::function<std::vector<std::string>(const std::string&)> args;
    };
    const std::string rlt = m_dir.file("out.rlt");
    std::vector<Reader> readers = {
        {"script", hostileFiles(m_dir, ".txt", ""),
         [](const std::string& p) {
             return std::vector<std::string>{"--quiet", p};
         }},
        {"--check",
         {},
         [](const std::string& p) {
             return std::vector<std::string>{"--check", p};
         }},
        {"--results script",
         {},
         [&](const std::string& p) {
             return std::vector<std::string>{"--results", rlt, p};
         }},
        {"--cycle script",
         {},
         [](const std::string& p) {
             return std::vector<std::string>{"--cycle", "clients", "1:2:1", p};
         }},
        {"--merge shard", hostileFiles(m_dir, ".vshard", shard),
         [&](const std::string& p) {
             return std::vector<std::string>{"--merge", rlt, good, p};
         }},
        {"scenario", hostileFiles(m_dir, ".vts", vts),
         [](const std::string& p) {
             return std::vector<std::string>{"--print-script", p};
         }},
    };
    // The script readers share the .txt files.
    for (size_t r = 1; r <= 3; ++r) readers[r].files = readers[0].files;
    for (const Reader& reader : readers) {
        for (const FileCase& file : reader.files) {
            const Outcome o = velkrun(reader.args(file.path), 60);
            EXPECT_EQ(o.status, 1) << reader.name << ", " << file.kind << ": " << o.err;
            EXPECT_NE(o.err.find(file.path), std::string::npos)
                << reader.name << ", " << file.kind << ": " << o.err;
            EXPECT_LT(o.seconds, 30) << reader.name << ", " << file.kind;
        }
    }
    EXPECT_FALSE(fs::exists(rlt));
    EXPECT_EQ(m_server.requestCount(), 2 * 2);  // the shard's run only
}

// Output options never replace a device or a link to one: they write in place,
// "-" is standard output, and a directory is refused.
TEST_F(VelkrunFiles, OutputsGoIntoDevicesAndStandardOutputAndNeverReplaceThem) {
    fs::create_symlink("/dev/null", m_dir.file("null"));
    fs::create_symlink("/dev/stdout", m_dir.file("stdout"));
    const std::string path = script();
    const struct {
        std::vector<std::string> args;
        int status;
        const char* out;  // what standard output holds
    } cases[] = {
        {{"--summary", m_dir.file("stdout")}, 0, "\"requests\""},
        {{"--summary", "-"}, 0, "\"requests\""},
        {{"--html", m_dir.file("null")}, 0, ""},
        {{"--results", m_dir.file("null")}, 0, ""},
        {{"--results", "-"}, 0, "VELK"},
        {{"--shard", "0/1", "--shard-out", m_dir.file("null")}, 0, ""},
        {{"--shard", "0/1", "--shard-out", "-"}, 0, "VELKSHRD"},
        {{"--summary", m_dir.path().string()}, 4, ""},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back("--quiet");
        args.push_back(path);
        const Outcome o = velkrun(args);
        EXPECT_EQ(o.status, c.status) << c.args[1] << ": " << o.err;
        EXPECT_NE(o.out.find(c.out), std::string::npos) << c.args[1] << ": " << o.out;
    }
    EXPECT_TRUE(fs::is_symlink(m_dir.file("null")));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    // No temporary files were left beside the targets.
    for (const auto& entry : fs::directory_iterator(m_dir.path()))
        EXPECT_EQ(entry.path().filename().string().find(".velk-save"), std::string::npos)
            << entry.path();
}

// The merge reads the shard regression inputs of the fuzz corpus: the sound
// one merges, the hostile ones are refused without taking the memory they ask for.
TEST_F(VelkrunFiles, HostileShardsAreRefusedAndASoundOneMerges) {
    const std::string corpus = std::string(VELK_FUZZ_CORPUS_DIR) + "/shard/";
    const std::string test =
        m_dir.write("s.txt", "clients=2\nrequests=3\nserver=127.0.0.1\nreportdir=\n[a]\n[b]\n");
    const struct {
        const char* file;
        int status;
        const char* message;
    } cases[] = {
        {"two_users.bin", 0, "velkrun: 2 users: "},
        {"huge_positions.bin", 1, "another test"},
        {"negative_figures.bin", 1, "cut short or damaged"},
        {"wrapping_counts.bin", 1, "cut short or damaged"},
    };
    for (const auto& c : cases) {
        const Outcome o = velkrun({"--merge", m_dir.file("m.rlt"), test, corpus + c.file}, 60);
        EXPECT_EQ(o.status, c.status) << c.file << ": " << o.err;
        EXPECT_NE(o.err.find(c.message), std::string::npos) << c.file << ": " << o.err;
    }
    // Two shards of 2,147,483,647 answers of 200 each: the count stops at its
    // largest value instead of wrapping to nothing.
    const Outcome o = velkrun({"--merge", m_dir.file("m.rlt"), "--report", test,
                               corpus + "max_status_user1.bin", corpus + "max_status_user2.bin"},
                              60);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("200\t2147483647\n"), std::string::npos) << o.out;
}

// A script cannot replace or append to a file that is not a VELK report, nor a
// hidden one, whatever its reportdir, outfile and description say.
TEST_F(VelkrunFiles, AScriptCannotOverwriteFilesItDidNotMake) {
    const std::string bashrc = m_dir.write(".bashrc", "alias ll='ls -l'\n");
    const std::string notes = m_dir.write("notes.txt", "my notes\n");
    const struct {
        const char* options;
        int status;
        const char* message;
    } cases[] = {
        {"outfile=.bashrc\ndescription=x; echo PWNED > f #\n", 4,
         "a hidden file cannot take a report"},
        {"outfile=notes.txt\nappendresult=1\n", 4, "it exists and is not a VELK report"},
        {"outfile=notes.txt\n", 4, "it exists and is not a VELK report"},
        {"outfile=report.xls\n", 0, "Results written to file"},
        {"outfile=report.xls\nappendresult=1\n", 0, "Results written to file"},
    };
    for (const auto& c : cases) {
        const Outcome o = velkrun({"--quiet", script(c.options)});
        EXPECT_EQ(o.status, c.status) << c.options << o.err;
        EXPECT_NE(o.err.find(c.message), std::string::npos) << c.options << o.err;
    }
    EXPECT_EQ(readWhole(bashrc), "alias ll='ls -l'\n");
    EXPECT_EQ(readWhole(notes), "my notes\n");
    EXPECT_FALSE(fs::exists(m_dir.file("f")));
}

// One run path: a run kept in a results file or cycled takes the figures
// options and ends with the same closing line and statuses as a plain run.
TEST_F(VelkrunFiles, ResultsAndCycleRunsHaveTheFiguresClosingLineAndStatusesOfAPlainRun) {
    const std::string path = script();
    Outcome o = velkrun({"--quiet", "--results", m_dir.file("r.rlt"), "--summary",
                         m_dir.file("r.json"), "--threshold", "p95<60000", path});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.err.find("velkrun: 4 HTTP requests sent ("), std::string::npos) << o.err;
    EXPECT_NE(readWhole(m_dir.file("r.json")).find("\"requests\""), std::string::npos);
    EXPECT_TRUE(velk::results::readRltBytes(readWhole(m_dir.file("r.rlt"))).ok);

    o = velkrun({"--quiet", "--cycle", "clients", "1:2:1", "--html", m_dir.file("c.html"),
                 "--threshold", "rps>1000000", path});
    EXPECT_EQ(o.status, 5) << o.err;
    EXPECT_NE(o.err.find("velkrun: t.txt - Virtual users=1: 2 HTTP requests sent ("),
              std::string::npos)
        << o.err;
    EXPECT_NE(o.err.find("velkrun: t.txt - Virtual users=2: 4 HTTP requests sent ("),
              std::string::npos)
        << o.err;
    EXPECT_TRUE(fs::exists(m_dir.file("c.html")));
    // The verdicts follow the last pass's closing line.
    EXPECT_GT(o.err.find("velkrun: threshold rps>1000000: "),
              o.err.find("velkrun: t.txt - Virtual users=2: "))
        << o.err;

    // A run that reaches no server is status 3 on every path.
    int closedPort;
    {
        TestHttpServer gone;
        closedPort = gone.port();
    }
    const std::string unreachable =
        m_dir.write("gone.txt", "server=127.0.0.1\nport=" + std::to_string(closedPort) +
                                    "\nreportdir=\nrequests=2\ndelaystart=0\n[a]\n");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--quiet", unreachable},
          std::vector<std::string>{"--quiet", "--results", m_dir.file("g.rlt"), unreachable},
          std::vector<std::string>{"--quiet", "--cycle", "clients", "1:1:0", unreachable}}) {
        o = velkrun(args);
        EXPECT_EQ(o.status, 3) << args[1] << o.err;
        EXPECT_NE(o.err.find("none reached the server"), std::string::npos) << o.err;
    }
}

// SIGTERM stops every kind of run with 143 and the report still written.
TEST_F(VelkrunFiles, SigtermEndsEveryRunWith143) {
    m_server.setHandler([](const ReceivedRequest&, Responder& out) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        out.respond(200, "slow");
    });
    const std::string path = script("", "slow.txt");
    for (const std::vector<std::string>& extra :
         {std::vector<std::string>{}, std::vector<std::string>{"--results", m_dir.file("s.rlt")},
          std::vector<std::string>{"--cycle", "requests", "1000:1500:500"}}) {
        std::vector<std::string> args = {"--progress=plain", "--set", "requests=1000"};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(path);
        // Progress lines come once the run (and its signal handling) has started.
        setenv("VELKRUN_PROGRESS_INTERVAL_MS", "50", 1);
        ChildProcess run(VELKRUN_PATH, args, m_dir.file("out.txt"), m_dir.file("err.txt"));
        for (int i = 0; i < 600 && run.err().find("Progress:") == std::string::npos; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        unsetenv("VELKRUN_PROGRESS_INTERVAL_MS");
        run.signal(SIGTERM);
        EXPECT_EQ(run.wait(), 143) << run.err();
        EXPECT_NE(run.err().find("velkrun: "), std::string::npos) << run.err();
    }
}

// A closed pipe on standard error stops the progress output, not the run.
TEST_F(VelkrunFiles, AClosedPipeOnStandardErrorDoesNotStopTheRun) {
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    close(pipeEnds[0]);  // nobody reads: every write fails with EPIPE
    const std::string path = script("outfile=piped.xls\n");
    const std::string velkrunPath = VELKRUN_PATH;
    const std::string summary = m_dir.file("piped.json");
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(pipeEnds[1], STDERR_FILENO);
        dup2(pipeEnds[1], STDOUT_FILENO);
        setenv("VELKRUN_PROGRESS_INTERVAL_MS", "50", 1);
        execl(velkrunPath.c_str(), velkrunPath.c_str(), "--progress=plain", "--report", "--summary",
              summary.c_str(), path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeEnds[1]);
    int status = -1;
    for (int i = 0; i < 1200 && waitpid(pid, &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!WIFEXITED(status)) kill(pid, SIGKILL), waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(fs::exists(m_dir.file("piped.xls")));
    EXPECT_TRUE(fs::exists(summary));
}

// Every option --set takes has its effect, the options each request takes as
// its default included, or is refused by name or for its value.
TEST_F(VelkrunFiles, SetOptionsTakeEffectOrAreRefusedByName) {
    const std::string path =
        m_dir.write("d.txt",
                    "server=127.0.0.1\nport=1\nreportdir=\ndelaystart=0\nclients=1\nrequests=2\n"
                    "delay=60000\n[a]\n[b]\n$uri=/own\n");
    const std::string port = "port=" + std::to_string(m_server.port());
    // Without --set delay=0 the run would pause a minute between requests.
    Outcome o = velkrun({"--quiet", "--set", port, "--set", "delay=0", "--set", "uri=/moved",
                         "--set", "method=POST", path},
                        45);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_LT(o.seconds, 40);
    int moved = 0, own = 0;
    for (const ReceivedRequest& r : m_server.requests()) {
        moved += r.target == "/moved" && r.method == "POST";
        own += r.target == "/own" && r.method == "POST";
    }
    EXPECT_EQ(moved, 2);
    EXPECT_EQ(own, 2);  // a request's own $uri stays
    const struct {
        const char* setting;
        const char* message;
    } refused[] = {
        {"clients=abc", "--set clients=abc: the value is wrong for this option"},
        {"clientz=3", "--set clientz=3: no such option"},
        {"method=PUT", "--set method=PUT: the value is wrong for this option"},
    };
    for (const auto& c : refused) {
        o = velkrun({"--quiet", "--set", c.setting, path});
        EXPECT_EQ(o.status, 1) << o.err;
        EXPECT_NE(o.err.find(c.message), std::string::npos) << o.err;
    }
}

// A batch pass is titled by the project name the script sets, and a run that
// reached no server says how to see why.
TEST_F(VelkrunFiles, PassesAreNamedByTheProjectAndFailuresSayHowToSeeWhy) {
    Outcome o = velkrun({"--quiet", "--cycle", "clients", "1:1:0", script("projectname=shop\n")});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.err.find("velkrun: shop - Virtual users=1: 2 HTTP requests sent ("),
              std::string::npos)
        << o.err;
    int closedPort;
    {
        TestHttpServer gone;
        closedPort = gone.port();
    }
    const std::string gone =
        "server=127.0.0.1\nport=" + std::to_string(closedPort) +
        "\nreportdir=\nrequests=1\ndelaystart=0\nlogdir=" + m_dir.path().string() + "\n[a]\n";
    o = velkrun({"--quiet", m_dir.write("gone.txt", gone)});
    EXPECT_EQ(o.status, 3);
    EXPECT_NE(o.err.find("--set log=1 writes the users' logs, which say why"), std::string::npos)
        << o.err;
    o = velkrun({"--quiet", "--set", "log=1", m_dir.file("gone.txt")});
    EXPECT_EQ(o.status, 3);
    EXPECT_NE(o.err.find("the users' logs say why"), std::string::npos) << o.err;
}

// Every timed request is in the figures, those of the initial and final
// sequences too; a threshold on a request the script defines but never makes
// says so, instead of claiming there is no such request.
TEST_F(VelkrunFiles, InitialAndFinalSequencesAreTimedAndThresholdsSayWhatIsMissing) {
    const std::string path = m_dir.write(
        "seq.txt", "server=127.0.0.1\nport=" + std::to_string(m_server.port()) +
                       "\nreportdir=\ndelaystart=0\nrequests=2\n[login]\n[home]\n[logout]\n"
                       "[spare]\n[InitSeq]\nlogin\n[TestSeq]\nhome\n[FinalSeq]\nlogout\n");
    const std::string summary = m_dir.file("seq.json");
    const Outcome o =
        velkrun({"--quiet", "--summary", summary, "--threshold", "login:p95<60000", "--threshold",
                 "logout:max<60000", "--threshold", "spare:p95<200", "--threshold",
                 "nosuch:p95<200", "--threshold", "home:p95<60000", path});
    EXPECT_EQ(o.status, 5) << o.err;
    EXPECT_NE(o.err.find("threshold login:p95<60000: "), std::string::npos) << o.err;
    EXPECT_EQ(o.err.find("threshold login:p95<60000: not measured"), std::string::npos) << o.err;
    EXPECT_EQ(o.err.find("threshold logout:max<60000: not measured"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("threshold spare:p95<200: not measured (the script defines this "
                         "request, but no sequence of the run made it)"),
              std::string::npos)
        << o.err;
    EXPECT_NE(readWhole(summary).find("\"login\""), std::string::npos);
    EXPECT_NE(readWhole(summary).find("\"logout\""), std::string::npos);
    EXPECT_NE(o.err.find("threshold nosuch:p95<200: not measured (no such request)"),
              std::string::npos)
        << o.err;
}

}  // namespace
}  // namespace velk::test
