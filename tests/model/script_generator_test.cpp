#include "app/scenario/script_generator.h"

#include <gtest/gtest.h>

#include <functional>

#include "app/scenario/req_param.h"
#include "app/scenario/scenario.h"
#include "common/status_assert.h"

namespace velk::scenario {
namespace {

std::unique_ptr<CScenario> emptyScenario() {
    auto s = std::make_unique<CScenario>();
    s->reset();
    return s;
}

void addGet(CScenario& s) {
    auto r = std::make_unique<CRequest>();
    r->setMethod(CRequest::kGet);
    s.requests().addChild(0, std::move(r));
}

std::string generate(const CScenario& s,
                     const settings::GlobalSettings& settings = settings::GlobalSettings()) {
    const StatusOr<std::string> made = s.generateScript(settings);
    EXPECT_TRUE(velk::test::isOk(made));
    return made ? *made : std::string();
}

bool hasLine(const std::string& text, const std::string& line) {
    return ("\r\n" + text).find("\r\n" + line + "\r\n") != std::string::npos;
}

TEST(ScriptGenerator, GeneralPartOfADefaultScenario) {
    auto s = emptyScenario();
    EXPECT_EQ(
        generate(*s),
        "\r\n[General]\r\ntimeout=120\r\nhttpver=1\r\nsslver=1\r\nkeepalive=0\r\nignoreerrors=1\r\n"
        "proxyemulation=0\r\nprojectname=\r\nclients=20\r\nrequests=5\r\nnowait=0\r\n"
        "outfile=%n-%cx%r.xls\r\nsoftdelay=1\r\nnodetails=1\r\ntimestamp=0\r\ndelaystart=10\r\n"
        "timingmode=0\r\nround=0.01\r\nlog=0\r\n");
}

TEST(ScriptGenerator, ConditionalLinesFollowTheirSettings) {
    struct Case {
        const char* what;
        void (*change)(CScenario&);
        std::vector<std::string> present, absent;
    } cases[] = {
        {"proxy emulation",
         [](CScenario& s) { s.general().proxyEmulation = true; },
         {"proxyemulation=1", "proxymask=192.168.$C2.$C1"},
         {"proxyemulation=0"}},
        {"new visitor", [](CScenario& s) { s.general().newVisitor = true; }, {"newvisitor=1"}, {}},
        {"speed limit",
         [](CScenario& s) { s.general().speedLimit = 56000; },
         {"maxspeed=56000"},
         {}},
        {"speed limit off",
         [](CScenario& s) {
             s.general().speedLimit = 56000;
             s.general().useSpeedLimit = false;
         },
         {},
         {"maxspeed=56000"}},
        {"log",
         [](CScenario& s) {
             s.run().writeLog = true;
             s.run().logDirectory = "/l";
         },
         {"logdir=/l", "log=1"},
         {"log=0"}},
        {"no clients", [](CScenario& s) { s.run().clients = 0; }, {}, {"clients=0"}},
        {"no iterations", [](CScenario& s) { s.run().requestsPerUser = 0; }, {}, {"requests=0"}},
        {"no outfile", [](CScenario& s) { s.run().outputFileTemplate.clear(); }, {}, {"outfile="}},
        {"rate",
         [](CScenario& s) {
             s.run().rateMode = 1;
             s.run().rateValue = 2;
         },
         {"rate=7200"},
         {}},
        {"details",
         [](CScenario& s) { s.run().details = true; },
         {"nodetails=0", "timestamp=0"},
         {"nodetails=1"}},
        {"details and stamps",
         [](CScenario& s) {
             s.run().details = true;
             s.run().timeStamps = true;
         },
         {"nodetails=0", "timestamp=1"},
         {}},
        {"stamps without details",
         [](CScenario& s) { s.run().timeStamps = true; },
         {"nodetails=1", "timestamp=0"},
         {}},
        {"timing and rounding",
         [](CScenario& s) {
             s.run().timingMode = 2;
             s.run().rounding = 1;
         },
         {"timingmode=2", "round=0.1"},
         {}},
        {"rounding 1 ms", [](CScenario& s) { s.run().rounding = 2; }, {"round=1"}, {}},
        {"request limit",
         [](CScenario& s) { s.run().useRequestLimit = true; },
         {"maxrequests=100"},
         {}},
        {"request limit 0",
         [](CScenario& s) {
             s.run().useRequestLimit = true;
             s.run().requestLimit = 0;
         },
         {},
         {"maxrequests=0"}},
    };
    for (const Case& c : cases) {
        auto s = emptyScenario();
        addGet(*s);
        c.change(*s);
        const std::string text = generate(*s);
        for (const std::string& line : c.present)
            EXPECT_TRUE(hasLine(text, line)) << c.what << ": " << line;
        for (const std::string& line : c.absent)
            EXPECT_FALSE(hasLine(text, line)) << c.what << ": " << line;
    }
}

TEST(ScriptGenerator, LinesComeInTheirFixedOrder) {
    auto s = emptyScenario();
    addGet(*s);
    s->general().proxyEmulation = true;
    s->general().useAuthorization = true;
    s->general().speedLimit = 1;
    s->run().writeLog = true;
    s->run().useReportDirectory = true;
    s->run().useRequestLimit = true;
    s->run().useTimeLimit = true;
    s->run().description = "d";
    s->run().rateMode = 1;
    settings::GlobalSettings settings;
    settings::GlobalSettings::Values v;
    v.useProxy = true;
    v.proxyServer = "p";
    ASSERT_TRUE(settings.setValues(v));
    const std::string text = generate(*s, settings);
    const char* order[] = {
        "timeout=",      "proxy=",          "httpver=",   "sslver=",        "keepalive=",
        "ignoreerrors=", "proxyemulation=", "proxymask=", "authorization=", "projectname=",
        "maxspeed=",     "logdir=",         "reportdir=", "clients=",       "requests=",
        "maxrequests=",  "maxtime=",        "nowait=",    "outfile=",       "description=",
        "softdelay=",    "rate=",           "nodetails=", "timestamp=",     "delaystart=",
        "timingmode=",   "round=",          "log="};
    size_t last = 0;
    for (const char* key : order) {
        const size_t at = text.find("\r\n" + std::string(key));
        ASSERT_NE(at, std::string::npos) << key;
        EXPECT_GT(at, last) << key;
        last = at;
    }
}

TEST(ScriptGenerator, PerUserRequestCountReachesTheLimits) {
    struct Case {
        int32_t perUser, requests;
        bool useLimit;
        int32_t limit;
        bool useTime;
        int32_t minutes;
        int32_t clients;
        bool cycling;
        int32_t from, to;
        int64_t expected;
    } cases[] = {
        {5, 4, true, 1000, false, 0, 20, false, 1, 20, 13},  // ceil(1000 / 80)
        {5, 7, false, 0, true, 2, 20, false, 1, 20, 342},    // 2400 / 7
        {5, 4, true, 80, false, 0, 20, false, 1, 20, 5},     // the lower bound is 1; R wins
        {5, 4, true, 1000, false, 0, 20, true, 10, 5, 50},   // cycling: the smaller bound, 5 users
        {5, 4, true, 1000, true, 1, 20, false, 1, 20, 300},  // both: the larger
        {5, 4, false, 1000, false, 1, 20, false, 1, 20, 5},
        {9, 0, false, 0, false, 0, 20, false, 1, 20, 9},  // no requests: nothing divides by them
        {5, 1, true, 2147483647, true, 2147483647, 1, false, 1, 20, 2576980376400},
    };
    for (const Case& c : cases) {
        CRunSection run;
        run.requestsPerUser = c.perUser;
        run.useRequestLimit = c.useLimit;
        run.requestLimit = c.limit;
        run.useTimeLimit = c.useTime;
        run.timeLimit = c.minutes;
        run.clients = c.clients;
        run.cycling = c.cycling;
        run.cycleFrom = c.from;
        run.cycleTo = c.to;
        const PerUserCount count = perUserRequestCount(run, c.requests);
        EXPECT_TRUE(count.ok) << count.error;
        EXPECT_EQ(count.count, c.expected) << c.requests << " requests, limit " << c.limit;
    }
}

TEST(ScriptGenerator, TimeLimitWritesMaxtimeAndTheCount) {
    auto s = emptyScenario();
    for (int i = 0; i < 7; ++i) {
        auto r = std::make_unique<CRequest>();
        r->setMethod(CRequest::kGet);
        s->requests().addChild(0, std::move(r));
    }
    s->run().useTimeLimit = true;
    s->run().timeLimit = 2;
    const std::string text = generate(*s);
    EXPECT_TRUE(hasLine(text, "requests=342"));
    EXPECT_TRUE(hasLine(text, "maxtime=120"));
}

TEST(ScriptGenerator, NoUsersWithARequestLimitIsRefused) {
    struct Case {
        int32_t clients;
        bool cycling;
        int32_t from, to;
        const char* message;
    } cases[] = {
        {0, false, 1, 20, "the number of virtual users is 0"},
        {20, true, 0, 20, "the cycle starts at 0 virtual users"},
        {20, true, 5, -3, "the cycle starts at -3 virtual users"},
    };
    for (const Case& c : cases) {
        auto s = emptyScenario();
        auto r = std::make_unique<CRequest>();
        r->setMethod(CRequest::kGet);
        s->requests().addChild(0, std::move(r));
        s->run().useRequestLimit = true;
        s->run().clients = c.clients;
        s->run().cycling = c.cycling;
        s->run().cycleFrom = c.from;
        s->run().cycleTo = c.to;
        const StatusOr<std::string> made = s->generateScript(settings::GlobalSettings());
        const std::string& error = made.status().message();
        EXPECT_EQ(made.status().code(), StatusCode::kInvalid);
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_NE(error.find("at least 1 user"), std::string::npos) << error;
    }
    // A limit with no requests at all cannot be divided among them either.
    auto s = emptyScenario();
    s->run().useTimeLimit = true;
    const StatusOr<std::string> made = s->generateScript(settings::GlobalSettings());
    EXPECT_FALSE(made);
    EXPECT_EQ(made.status().message(), "The scenario has no requests.");
}

TEST(ScriptGenerator, SequencesSkipEmptyEntriesAndHeaderCarriesTheUserAgent) {
    auto s = emptyScenario();
    CRunSection& run = s->run();
    run.useInitialSequence = true;
    run.initialSequence = {"login", ""};
    run.mainSequence = {"a", "", "b(q=1)"};
    run.finalSequence = {"logout"};  // switch off: not written
    s->general().useUserAgent = true;
    const std::string text = generate(*s);
    EXPECT_TRUE(
        text.ends_with("log=0\r\n\r\n[InitSeq]\r\nlogin\r\n\r\n[TestSeq]\r\na\r\nb(q=1)\r\n"
                       "\r\n[Header]\r\nUser-Agent: * VELK *\r\n"))
        << text;
    run.useMainSequence = false;
    run.useInitialSequence = false;
    run.useFinalSequence = true;
    EXPECT_TRUE(generate(*s).ends_with(
        "log=0\r\n\r\n[FinalSeq]\r\nlogout\r\n\r\n[Header]\r\nUser-Agent: * VELK *\r\n"));
}

TEST(ScriptGenerator, GlobalSettingsLines) {
    settings::GlobalSettings settings;
    settings::GlobalSettings::Values v;
    v.timeout = 7;
    v.useProxy = true;
    v.proxyType = 3;
    v.proxyServer = "proxy";
    v.proxyPort = 1080;
    v.proxyAuth = true;
    v.proxyUser = "u";
    v.proxyPassword = "p";
    v.httpVersion = 0;
    v.sslVersion = 0;
    ASSERT_TRUE(settings.setValues(v));
    EXPECT_TRUE(
        generate(*emptyScenario(), settings)
            .starts_with(
                "\r\n[General]\r\ntimeout=7\r\nproxy=socks5://u:p@proxy:1080\r\nhttpver=0\r\n"
                "sslver=0\r\n"));
}

TEST(ScriptGenerator, WholeScriptWithOneRequest) {
    auto s = emptyScenario();
    CRequest::resetIdCounter();
    auto r = std::make_unique<CRequest>();
    r->setName("");
    r->setMethod(CRequest::kGet);
    r->setServer("host");
    r->setUri("index.html");
    r->setSecure(1);
    s->requests().addChild(0, std::move(r));
    EXPECT_TRUE(
        generate(*s).ends_with("log=0\r\n\r\n[req_1]\r\n$method=GET\r\n$server=host\r\n$port="
                               "80\r\n$uri=/index.html\r\n$secure=1\r\n"
                               "$header=Content-Type: \r\n\r\n"));
}

TEST(ScriptGenerator, ARequestWithAnotherMethodFailsTheScript) {
    auto s = emptyScenario();
    for (int32_t method : {1, 0, 2}) {
        auto r = std::make_unique<CRequest>();
        r->setName("m" + std::to_string(method));
        r->setMethod(method);
        s->requests().addChild(0, std::move(r));
    }
    const StatusOr<std::string> made = s->generateScript(settings::GlobalSettings());
    EXPECT_FALSE(made);
    EXPECT_EQ(made.status().message(),
              "Request m0 has no method VELK knows (GET, POST, PUT, PATCH, DELETE, HEAD or "
              "OPTIONS).");
}

// A single-line field holding a line break would write script lines of its own
// (options, a [script] section): the script is refused, naming the field.
TEST(ScriptGenerator, SingleLineFieldsWithLineBreaksAreRefused) {
    const struct {
        std::function<void(CScenario&)> spoil;
        const char* error;
    } cases[] = {
        {[](CScenario& s) { s.run().description = "ok\r\nappendresult=1"; },
         "The description holds a line break; it must be a single line."},
        {[](CScenario& s) {
             s.general().useUserAgent = true;
             s.general().userAgent = "UA\n[script]";
         },
         "The user agent holds a line break; it must be a single line."},
        {[](CScenario& s) { s.requests().flattened()[0]->setName("home\nreportdir=/"); },
         "Request home: the name holds a line break; it must be a single line."},
        {[](CScenario& s) {
             auto p = std::make_unique<CReqParam>();
             p->setName("q\rx");
             s.requests().flattened()[0]->setName("home");
             s.requests().flattened()[0]->insertParam(0, std::move(p));
         },
         "Request home: the parameter name q holds a line break; it must be a single line."},
    };
    for (const auto& c : cases) {
        auto s = emptyScenario();
        addGet(*s);
        c.spoil(*s);
        const StatusOr<std::string> made = s->generateScript(settings::GlobalSettings());
        EXPECT_FALSE(made);
        EXPECT_EQ(made.status().message(), c.error);
    }
}

}  // namespace
}  // namespace velk::scenario
