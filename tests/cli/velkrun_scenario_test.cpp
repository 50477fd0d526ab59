// velkrun with .vts scenarios: the script it makes and prints, the settings it
// makes it with, runs against a loopback server and the demo site, refusals.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "app/scenario/scenario.h"
#include "app/scenario/scenario_file.h"
#include "common/build_tree.h"
#include "common/child_process.h"
#include "common/status_assert.h"
#include "common/temp_dir.h"
#include "support/test_http_server.h"

namespace velk::test {
namespace {

using velk::scenario::CRequest;
using velk::scenario::CScenario;

struct Outcome {
    int status = -1;
    std::string out, err;
};

// Runs program with args to its end (killed after two minutes); its output
// goes through files in dir.
Outcome runProgram(const TempDir& dir, const char* program, std::vector<std::string> args) {
    ChildProcess child(program, std::move(args), dir.file("stdout.txt"), dir.file("stderr.txt"));
    Outcome outcome;
    outcome.status = child.wait();
    outcome.out = child.out();
    outcome.err = child.err();
    return outcome;
}

class VelkrunScenario : public ::testing::Test {
protected:
    void SetUp() override {
        // velkrun reads the user's saved settings: each test has its own.
        setenv("XDG_CONFIG_HOME", m_config.path().c_str(), 1);
        m_scenario.reset();
        m_scenario.run().cycling = false;
        m_scenario.run().useStartDelay = false;
        m_scenario.run().useReportDirectory = true;
        m_scenario.run().reportDirectory = m_dir.path().string();
    }

    CRequest& add(const char* name, const char* uri) {
        auto r = std::make_unique<CRequest>();
        r->setName(name);
        r->setMethod(CRequest::kGet);
        r->setSecure(CRequest::kPlain);
        r->setServer("127.0.0.1:" + std::to_string(m_server.port()));
        r->setUri(uri);
        return *m_scenario.requests().addChild(0, std::move(r));
    }

    std::string save(const std::string& name) {
        const std::string path = m_dir.file(name);
        EXPECT_TRUE(velk::test::isOk(velk::scenario::saveScenarioFile(m_scenario, path)));
        return path;
    }

    Outcome velkrun(std::vector<std::string> args) {
        return runProgram(m_dir, VELKRUN_PATH, std::move(args));
    }

    TempDir m_dir, m_config;
    TestHttpServer m_server;
    CScenario m_scenario;
};

TEST_F(VelkrunScenario, PrintsTheModelsScriptNamedAfterTheFile) {
    add("home", "");
    const std::string path = save("nightly check.vts");
    const Outcome o = velkrun({"--print-script", path});
    ASSERT_EQ(o.status, 0) << o.err;
    m_scenario.general().projectName = "nightly check";
    const StatusOr<std::string> made = m_scenario.generateScript(velk::settings::GlobalSettings());
    ASSERT_TRUE(velk::test::isOk(made));
    const std::string& expected = *made;
    EXPECT_EQ(o.out, expected);
    EXPECT_NE(o.err.find("global settings: the defaults (none saved in " +
                         m_config.path().string() + "/Orvantis/VELK.conf)"),
              std::string::npos)
        << o.err;
}

TEST_F(VelkrunScenario, UsesTheSavedGlobalSettings) {
    add("home", "");
    std::filesystem::create_directories(m_config.path() / "Orvantis");
    m_config.write(
        "Orvantis/VELK.conf",
        "[Settings]\nStartRecording=0\nPromptRecording=1\nUseProxy=1\nProxyType=3\n"
        "ProxyServer=proxy.lan\nProxyPort=1080\nProxyAuth=0\nProxyUser=\nProxyPassword=\n"
        "Timeout=7\nHTTPVersion=0\nSSLVersion=1\n");
    const Outcome o = velkrun({"--print-script", save("s.vts")});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_TRUE(o.out.starts_with(
        "\r\n[General]\r\ntimeout=7\r\nproxy=socks5://proxy.lan:1080\r\nhttpver=0\r\n"))
        << o.out;
    EXPECT_NE(o.err.find("velkrun: global settings from " + m_config.path().string() +
                         "/Orvantis/VELK.conf\n"),
              std::string::npos)
        << o.err;
}

TEST_F(VelkrunScenario, RunsTheScenarioAndWritesItsReport) {
    add("home", "");
    add("list", "list?page=1");
    m_scenario.run().clients = 2;
    m_scenario.run().requestsPerUser = 3;
    const Outcome o = velkrun({"--quiet", "--report", save("shop.vts")});
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(m_server.requestCount(), 2 * 3 * 2);
    EXPECT_NE(o.out.find("Scenario name: shop"), std::string::npos) << o.out;
    EXPECT_EQ(readWhole(m_dir.file("shop-2x3.xls")), o.out);
    EXPECT_NE(o.err.find("velkrun: 12 HTTP requests sent ("), std::string::npos) << o.err;
}

TEST_F(VelkrunScenario, RefusesWhatCannotBeRun) {
    add("home", "");
    const std::string good = save("good.vts");
    const std::string bytes = readWhole(good);
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int status;
        const char* text;
    } cases[] = {
        {"truncated",
         {m_dir.write("cut.vts", bytes.substr(0, bytes.size() - 3))},
         1,
         "Unexpected file format: "},
        {"huge string",
         {m_dir.write("huge.vts", bytes.substr(0, 44) + std::string("\xff\xff\xff\x7f", 4))},
         1,
         "claims 2147483647 bytes"},
        {"missing", {m_dir.file("none.vts")}, 1, "Failed to open document"},
        {"print a text script",
         {"--print-script", m_dir.write("t.txt", "[a]\n")},
         2,
         "needs a .vts scenario"},
    };
    for (const Case& c : cases) {
        const Outcome o = velkrun(c.args);
        EXPECT_EQ(o.status, c.status) << c.what << ": " << o.err;
        EXPECT_NE(o.err.find(c.text), std::string::npos) << c.what << ": " << o.err;
    }
}

TEST_F(VelkrunScenario, RefusesScenariosThatMakeNoScript) {
    const Outcome empty = velkrun({"--check", save("empty.vts")});
    EXPECT_EQ(empty.status, 1);
    EXPECT_NE(empty.err.find("the scenario has no requests"), std::string::npos) << empty.err;

    add("home", "");
    m_scenario.run().clients = 0;
    m_scenario.run().useRequestLimit = true;
    const Outcome noUsers = velkrun({save("nousers.vts")});
    EXPECT_EQ(noUsers.status, 1);
    EXPECT_NE(noUsers.err.find("at least 1 user is needed"), std::string::npos) << noUsers.err;

    m_scenario.run().clients = 1;
    add("odd", "").setMethod(8);
    const Outcome method = velkrun({"--print-script", save("method.vts")});
    EXPECT_EQ(method.status, 1);
    EXPECT_NE(method.err.find("Request odd has no method VELK knows"), std::string::npos)
        << method.err;
    EXPECT_EQ(m_server.requestCount(), 0);
}

TEST(VelkrunExample, CheckReadsTheExampleScenario) {
    TempDir dir, config;
    setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    const Outcome o =
        runProgram(dir, VELKRUN_PATH, {"--check", VELK_EXAMPLES_DIR "/demo-shop.vts"});
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("Test sequence (5): home products product search slow"), std::string::npos)
        << o.out;
}

TEST(VelkrunExample, TheDemoShopScenarioRunsAgainstTheDemoSite) {
    TempDir dir, config;
    setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    const std::string portFile = dir.file("port");
    ChildProcess site(VELK_DEMO_SITE_PATH, {"--port", "0", "--port-file", portFile},
                      dir.file("site-out.txt"), dir.file("site-err.txt"));
    std::string port;
    for (int i = 0; i < 200 && port.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
        port = readWhole(portFile);
        while (!port.empty() && (port.back() == '\n' || port.back() == '\r')) port.pop_back();
    }
    Outcome o;
    if (!port.empty()) {
        o = runProgram(
            dir, VELKRUN_PATH,
            {VELK_EXAMPLES_DIR "/demo-shop.vts", "-port=" + port, "--quiet", "--report", "--set",
             "clients=3", "--set", "requests=2", "--set", "reportdir=" + dir.path().string()});
    }
    site.signal(SIGTERM);
    site.wait();
    ASSERT_FALSE(port.empty());
    ASSERT_EQ(o.status, 0) << o.err;
    // Every shopper logged in with its form's token (a refused login is 200)
    // and browsed without an error.
    EXPECT_NE(o.err.find("velkrun: 39 HTTP requests sent ("), std::string::npos) << o.err;
    EXPECT_NE(o.out.find("302\t3\n"), std::string::npos) << o.out;
    EXPECT_TRUE(std::filesystem::exists(dir.file("demo-shop-3x2.xls")));
}

}  // namespace
}  // namespace velk::test
