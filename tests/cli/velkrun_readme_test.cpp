// Every velkrun command of the README's examples (its sh blocks), run as
// written against the demo site, so the documentation cannot drift from the
// program: only the port (the site listens on a free one here) and the
// examples' folder are put in.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <regex>

#include "common/build_tree.h"
#include "common/child_process.h"
#include "common/temp_dir.h"

namespace velk::test {
namespace {

// The words of a shell command line: blanks split, quotes group; a ">" ends it.
std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> out;
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (char c : line) {
        if (quote != 0) {
            if (c == quote)
                quote = 0;
            else
                word += c;
        } else if (c == '\'' || c == '"') {
            quote = c;
            inWord = true;
        } else if (c == ' ' || c == '\t') {
            if (inWord) out.push_back(word);
            word.clear();
            inWord = false;
        } else if (c == '>' && !inWord) {
            break;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) out.push_back(word);
    return out;
}

std::vector<std::string> readmeVelkrunCommands() {
    const std::string readme = readWhole(std::string(VELK_EXAMPLES_DIR) + "/../README.md");
    std::vector<std::string> commands;
    const std::regex block("```sh\n([^`]*)```");
    for (auto it = std::sregex_iterator(readme.begin(), readme.end(), block);
         it != std::sregex_iterator(); ++it) {
        std::string body = (*it)[1];
        for (size_t at; (at = body.find("\\\n")) != std::string::npos;) body.replace(at, 2, " ");
        size_t start = 0;
        while (start < body.size()) {
            const size_t end = body.find('\n', start);
            const std::string line = body.substr(start, end - start);
            if (line.starts_with("build/cli/velkrun ")) commands.push_back(line);
            start = end == std::string::npos ? body.size() : end + 1;
        }
    }
    return commands;
}

TEST(VelkrunReadme, EveryExampleCommandRunsAsWritten) {
    TempDir dir, config;
    setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    const std::string portFile = dir.file("port");
    ChildProcess site(VELK_DEMO_SITE_PATH, {"--port", "0", "--port-file", portFile},
                      dir.file("site-out.txt"), dir.file("site-err.txt"));
    std::string port;
    for (int i = 0; i < 400 && port.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
        port = readWhole(portFile);
        while (!port.empty() && (port.back() == '\n' || port.back() == '\r')) port.pop_back();
    }
    ASSERT_FALSE(port.empty()) << readWhole(dir.file("site-err.txt"));
    const std::vector<std::string> commands = readmeVelkrunCommands();
    EXPECT_GE(commands.size(), 5u);
    // The examples write their reports to the current directory: a scratch one.
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    for (const std::string& command : commands) {
        std::vector<std::string> args = words(command);
        args.erase(args.begin());  // build/cli/velkrun
        for (std::string& a : args) {
            if (a.starts_with("examples/")) a = std::string(VELK_EXAMPLES_DIR) + a.substr(8);
            if (a == "-port=8080") a = "-port=" + port;
        }
        args.push_back("--quiet");
        ChildProcess run(VELKRUN_PATH, args, dir.file("out.txt"), dir.file("err.txt"));
        const int status = run.wait(300);
        EXPECT_EQ(status, 0) << command << "\n" << run.err();
    }
    // The first example's report, where the README says it goes.
    EXPECT_TRUE(std::filesystem::exists(dir.file("hello-127.0.0.1-5x3.xls")));
    // The paced example (rate) has the percentiles from the intended start.
    const std::string paced = readWhole(dir.file("paced.json"));
    EXPECT_TRUE(std::regex_search(paced, std::regex("\"fromIntendedStart\"\\s*:\\s*\\{")))
        << paced.substr(0, 2000);
    EXPECT_EQ(chdir(previous), 0);
    site.signal(SIGTERM);
    site.wait();
}

}  // namespace
}  // namespace velk::test
