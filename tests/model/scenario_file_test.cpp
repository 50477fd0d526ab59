#include "app/scenario/scenario_file.h"

#include <gtest/gtest.h>

#include <random>

#include "app/scenario/vts_reader.h"
#include "app/scenario/vts_writer.h"
#include "common/status_assert.h"

namespace velk::scenario {
namespace {

std::string le(std::initializer_list<int32_t> values) {
    VtsWriter w;
    for (int32_t v : values) w.writeInt(v);
    return w.bytes();
}

std::string counted(std::string_view text) {
    VtsWriter w;
    w.writeString(text);
    return w.bytes();
}

std::unique_ptr<CScenario> freshScenario() {
    auto s = std::make_unique<CScenario>();
    s->reset();
    return s;
}

TEST(ScenarioFile, AFreshScenarioStartsWithTheKnown83Bytes) {
    const std::string bytes = scenarioFileBytes(*freshScenario());
    const std::string head = le({1, 1, 1, 1, 0, 0, 0, 0, 1, -1, 0}) + counted("* VELK *") +
                             counted("") + counted("") + counted("192.168.$C2.$C1");
    ASSERT_EQ(head.size(), 83u);
    ASSERT_GE(bytes.size(), 83u);
    EXPECT_EQ(bytes.substr(0, 83), head);
    EXPECT_EQ(bytes.substr(36, 4), std::string("\xff\xff\xff\xff", 4));  // the speed limit
}

TEST(ScenarioFile, AFreshScenarioHasTheDefaultRunRecordAndNoRequests) {
    auto s = freshScenario();
    const std::string bytes = scenarioFileBytes(*s);
    const CRunSection& run = s->run();
    EXPECT_TRUE(run.logDirectory.starts_with("/") && run.logDirectory.ends_with("/Logs"))
        << run.logDirectory;
    EXPECT_TRUE(run.reportDirectory.starts_with("/") && run.reportDirectory.ends_with("/Reports"));
    const std::string runRecord = le({1, 1, 0,   0, 1, 0, 0, 0,  0, 1, 0,  1,  1, 1,
                                      1, 0, 100, 5, 0, 1, 1, 10, 1, 0, 20, 20, 0, 0}) +
                                  counted("") + counted(run.logDirectory) +
                                  counted("%n-%cx%r.xls") + counted(run.reportDirectory) +
                                  le({0, 0, 0});
    EXPECT_EQ(bytes.substr(83), runRecord + le({1, 0}));
}

// A scenario with every field away from its default and a tree of depth three.
void fillEverything(CScenario& s) {
    CGeneralSection& g = s.general();
    g.proxyMask = "10.$C1.$C2.1";
    g.proxyEmulation = true;
    g.useAuthorization = true;
    g.authorizationPassword = "pa:ss";
    g.authorizationUser = "user";
    g.userAgent = "Agent/1.0";
    g.useUserAgent = true;
    g.keepAlive = true;
    g.ignoreErrors = false;
    g.useDelays = true;
    g.useSpeedLimit = false;
    g.speedLimit = 56000;
    CRunSection& r = s.run();
    int32_t n = 100;
    for (int32_t* f : {&r.clients, &r.requestsPerUser, &r.requestLimit, &r.timeLimit, &r.rateMode,
                       &r.rateValue, &r.cycleFrom, &r.cycleTo, &r.cycleStep, &r.pauseSeconds,
                       &r.startDelay, &r.timingMode, &r.rounding})
        *f = n++;
    for (bool* f :
         {&r.useRequestLimit, &r.useTimeLimit, &r.writeLog, &r.useReportDirectory, &r.details,
          &r.timeStamps, &r.useInitialSequence, &r.useFinalSequence, &r.cycleByIterations})
        *f = true;
    for (bool* f :
         {&r.timeoutCheck, &r.useMainSequence, &r.cycling, &r.pauseBetweenPasses, &r.useStartDelay})
        *f = false;
    r.description = "line one\r\nline two";
    r.outputFileTemplate = "";
    r.logDirectory = "/var/log/velk";
    r.reportDirectory = "reports";
    r.initialSequence = {"login", ""};
    r.mainSequence = {"a", "b(q=1,$method=POST)", "c\r\nd"};
    r.finalSequence = {"logout"};

    CRequestsContainer& c = s.requests();
    auto add = [&](int32_t parent, const char* name) {
        auto req = std::make_unique<CRequest>();
        req->setName(name);
        // The methods older programs do not know are kept as well.
        req->setMethod(parent == 0      ? CRequest::kGet
                       : name[2] == '2' ? CRequest::kOptions
                                        : CRequest::kPost);
        req->setSecure(2);
        req->setDelayFrom(1);
        req->setDelayTo(4);
        req->setUseDelay(true);
        req->setServer("host:81");
        req->setUri(std::string("p/") + name);
        req->setContentType("text/plain");
        auto p = std::make_unique<CReqParam>();
        p->setNameAndEncode(std::string("param-") + name, true);
        p->setNote("a note");
        for (int32_t kind = 0; kind < CReqParamFunction::kKindCount; ++kind) {
            auto f = std::make_unique<CReqParamFunction>();
            f->setKind(kind);
            f->setText("t,ext");
            f->setExtra("ex");
            f->setFrom(kind);
            f->setTo(-kind);
            f->setShift(kind * 7);
            p->insert(-1, std::move(f));
        }
        req->insertParam(-1, std::move(p));
        return c.addChild(parent, std::move(req))->getId();
    };
    const int32_t a = add(0, "a");
    const int32_t a1 = add(a, "a1");
    add(a1, "a11");
    add(a1, "a12");
    add(a, "a2");
    add(0, "b");
}

TEST(ScenarioFile, EveryFieldAndTheTreeRoundTrip) {
    auto original = freshScenario();
    fillEverything(*original);
    const std::string bytes = scenarioFileBytes(*original);

    CRequest::resetIdCounter();
    for (int i = 0; i < 50; ++i) CRequest burn;  // ids after loading start at 1 regardless
    auto loaded = freshScenario();
    loaded->general().projectName = "kept";
    ASSERT_TRUE(velk::test::isOk(readScenarioBytes(*loaded, bytes)));
    EXPECT_EQ(scenarioFileBytes(*loaded), bytes);
    EXPECT_EQ(loaded->general().projectName, "kept");
    EXPECT_EQ(loaded->run().description, "line one\r\nline two");
    EXPECT_EQ(loaded->run().initialSequence, (std::vector<std::string>{"login", ""}));

    const auto all = loaded->requests().flattened();
    std::string names;
    for (size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i]->getId(), int32_t(i + 1));
        names += all[i]->getName() + " ";
    }
    EXPECT_EQ(names, "a a1 a11 a12 a2 b ");
    const auto* a12 = loaded->requests().findNode(4);
    ASSERT_NE(a12, nullptr);
    EXPECT_EQ(a12->parent->request->getName(), "a1");
    EXPECT_EQ(a12->parent->parent->request->getName(), "a");
    const CReqParamFunction* f = all[3]->getParam(0)->get(5);
    EXPECT_EQ(f->getKind(), 5);
    EXPECT_EQ(f->getText(), "t,ext");
    EXPECT_EQ(f->getTo(), -5);
    EXPECT_EQ(f->getShift(), 35);
    EXPECT_EQ(all[3]->getParam(0)->getNote(), "a note");
}

TEST(ScenarioFile, SavesAndLoadsThroughAFile) {
    auto original = freshScenario();
    fillEverything(*original);
    const std::string path = ::testing::TempDir() + "velk-model-roundtrip.vts";
    ASSERT_TRUE(velk::test::isOk(saveScenarioFile(*original, path)));
    auto loaded = freshScenario();
    ASSERT_TRUE(velk::test::isOk(loadScenarioFile(*loaded, path)));
    EXPECT_EQ(scenarioFileBytes(*loaded), scenarioFileBytes(*original));
    std::remove(path.c_str());
    // Missing, a directory, a device: a message, never an exception or a hang.
    for (const std::string& bad : {path, ::testing::TempDir(), std::string("/dev/zero")}) {
        const Status status = loadScenarioFile(*loaded, bad);
        EXPECT_EQ(status.code(), StatusCode::kIo) << bad;
        EXPECT_EQ(status.message().rfind("Failed to open document: " + bad, 0), 0u)
            << status.message();
    }
}

TEST(ScenarioFile, EveryTruncationFailsWithAMessage) {
    auto s = freshScenario();
    fillEverything(*s);
    const std::string bytes = scenarioFileBytes(*s);
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        auto target = freshScenario();
        const Status status = readScenarioBytes(*target, std::string_view(bytes).substr(0, cut));
        EXPECT_EQ(status.code(), StatusCode::kInvalid) << cut;
        EXPECT_TRUE(status.message().starts_with("Unexpected file format: ")) << status.message();
    }
}

TEST(ScenarioFile, CountsAndLengthsBeyondTheFileAreRefused) {
    const std::string general = le({1, 1, 0, 0, 0, 0, 1, -1, 0});
    const std::string strings = counted("ua") + counted("") + counted("") + counted("m");
    auto s = freshScenario();
    const std::string run = scenarioFileBytes(*s).substr(83, scenarioFileBytes(*s).size() - 83 - 8);
    struct Case {
        const char* what;
        std::string bytes;
        const char* message;
    } cases[] = {
        {"string length", le({1, 1}) + general + le({0x7fffffff}) + "abc",
         "claims 2147483647 bytes"},
        {"negative length", le({1, 1}) + general + le({-1}), "claims -1 bytes"},
        {"node count", le({1, 1}) + general + strings + run + le({1, 1000000000}),
         "claims 1000000000 entries"},
        {"negative count", le({1, 1}) + general + strings + run + le({1, -5}), "claims -5 entries"},
        {"parameter count",
         le({1, 1}) + general + strings + run + le({1, 1, 1, 0, 0, 0, 0, 1}) + le({0, 0, 0, 0}) +
             le({50, 0}),
         "claims 50 entries"},
        {"sequence count",
         le({1, 1}) + general + strings + run.substr(0, run.size() - 4) + le({0x10000000}),
         "claims 268435456"},
    };
    for (const Case& c : cases) {
        auto target = freshScenario();
        const Status status = readScenarioBytes(*target, c.bytes);
        EXPECT_FALSE(status) << c.what;
        EXPECT_NE(status.message().find(c.message), std::string::npos)
            << c.what << ": " << status.message();
    }
}

TEST(ScenarioFile, AnotherSchemaNumberEndsThatRecordQuietly) {
    auto original = freshScenario();
    fillEverything(*original);
    const std::string bytes = scenarioFileBytes(*original);
    // At the document and scenario level the rest of the file is ignored.
    for (size_t at : {size_t(0), size_t(4)}) {
        std::string patched = bytes;
        patched.replace(at, 4, le({2}));
        auto target = freshScenario();
        target->requests().addChild(0, std::make_unique<CRequest>());
        EXPECT_TRUE(velk::test::isOk(readScenarioBytes(*target, patched)));
        EXPECT_EQ(target->general().userAgent, "* VELK *");
        EXPECT_EQ(target->requests().count(), 1);
    }
    // Deeper down the owner reads on from there: the load either succeeds or
    // fails with a message, whichever record it is.
    size_t schemaOffsets = 0;
    for (size_t at = 8; at + 4 <= bytes.size(); at += 4) {
        if (bytes.compare(at, 4, le({1})) != 0) continue;
        std::string patched = bytes;
        patched.replace(at, 4, le({0}));
        auto target = freshScenario();
        if (const Status status = readScenarioBytes(*target, patched); !status) {
            EXPECT_TRUE(status.message().starts_with("Unexpected file format"));
        }
        ++schemaOffsets;
    }
    EXPECT_GT(schemaOffsets, 20u);
}

TEST(ScenarioFile, AGeneralRecordWithAnotherSchemaKeepsItsFields) {
    auto s = freshScenario();
    s->general().userAgent = "mine";
    // General schema 2; the scenario then reads the run record where the general
    // record's fields would have been.
    const std::string bytes = le({1, 1, 2}) + scenarioFileBytes(*freshScenario()).substr(83);
    EXPECT_TRUE(velk::test::isOk(readScenarioBytes(*s, bytes)));
    EXPECT_EQ(s->general().userAgent, "mine");
    EXPECT_EQ(s->run().clients, 20);
}

TEST(ScenarioFile, ATreeAsDeepAsTheFileAllowsLoadsAndFrees) {
    constexpr int kDepth = 100000;
    std::string bytes = le({1, 1}) + le({1, 1, 0, 0, 0, 0, 1, -1, 0}) + counted("") + counted("") +
                        counted("") + counted("");
    auto s = freshScenario();
    const std::string full = scenarioFileBytes(*s);
    bytes += full.substr(83, full.size() - 83 - 8);
    bytes += le({1, 1});  // requests record, one root
    // Each node: a request record that stops at schema 0, then one child.
    for (int i = 0; i < kDepth; ++i) bytes += le({0, i + 1 < kDepth ? 1 : 0});
    ASSERT_TRUE(velk::test::isOk(readScenarioBytes(*s, bytes)));
    EXPECT_EQ(s->requests().count(), kDepth);
    EXPECT_EQ(s->requests().findNode(kDepth)->request->getName(), "req_" + std::to_string(kDepth));
    s->reset();
    EXPECT_EQ(s->requests().count(), 0);
}

TEST(ScenarioFile, RandomBytesLoadOrFailCleanly) {
    std::mt19937 random(20240607);
    auto s = freshScenario();
    fillEverything(*s);
    const std::string valid = scenarioFileBytes(*s);
    for (int round = 0; round < 300; ++round) {
        std::string bytes;
        if (round % 2 == 0) {
            bytes.resize(random() % 600);
            for (char& c : bytes)
                c = static_cast<char>(random() % 4 == 0 ? random() : random() % 3);
        } else {
            bytes = valid;
            for (int flips = 0; flips < 4; ++flips)
                bytes[random() % bytes.size()] = static_cast<char>(random());
        }
        auto target = freshScenario();
        if (const Status status = readScenarioBytes(*target, bytes); !status) {
            EXPECT_FALSE(status.message().empty());
        }
    }
}

// The Runner page's global variable values are kept after everything that
// older programs read: the bytes before them are those of a file without
// them, and readers that know no such block stop before it.
TEST(ScenarioFile, GlobalVariableValuesFollowWhatOlderProgramsRead) {
    auto s = freshScenario();
    const std::string before = scenarioFileBytes(*s);
    s->globalValues() = {{"port", "8081"}, {"host", "shop.test"}, {"unset", ""}};
    const std::string bytes = scenarioFileBytes(*s);
    ASSERT_GT(bytes.size(), before.size());
    EXPECT_EQ(bytes.substr(0, before.size()), before);
    EXPECT_EQ(bytes.substr(before.size(), 4), "VKGV");
    auto back = freshScenario();
    ASSERT_TRUE(velk::test::isOk(readScenarioBytes(*back, bytes)));
    // Empty values mean the script's default and are not kept.
    EXPECT_EQ(back->globalValues(),
              (CScenario::GlobalValues{{"host", "shop.test"}, {"port", "8081"}}));
    back->reset();
    EXPECT_TRUE(back->globalValues().empty());

    // Damaged blocks: cut short, a count the file cannot hold, an empty name.
    const size_t block = before.size();
    ASSERT_EQ(bytes.substr(block + 4, 8), le({1, 2}));
    const std::string damaged[] = {
        bytes.substr(0, bytes.size() - 2),
        bytes.substr(0, block + 8) + le({0x7fffffff}) + bytes.substr(block + 12),
        before + le({0x56474B56, 1, 1}) + counted("") + counted("x"),
    };
    for (const std::string& d : damaged) {
        auto t = freshScenario();
        EXPECT_FALSE(readScenarioBytes(*t, d));
    }
}

// newvisitor goes in a block of its own after every other: an older program
// reads the file as before and runs without it; a file without it reads as off.
TEST(ScenarioFile, NewVisitorFollowsWhatOlderProgramsRead) {
    auto s = freshScenario();
    s->globalValues() = {{"host", "shop.test"}};
    const std::string before = scenarioFileBytes(*s);
    s->general().newVisitor = true;
    const std::string bytes = scenarioFileBytes(*s);
    EXPECT_EQ(bytes, before + le({0x4F504B56, 1, 1}));
    auto back = freshScenario();
    back->general().newVisitor = true;
    ASSERT_TRUE(velk::test::isOk(readScenarioBytes(*back, before)));
    EXPECT_FALSE(back->general().newVisitor);
    ASSERT_TRUE(velk::test::isOk(readScenarioBytes(*back, bytes)));
    EXPECT_TRUE(back->general().newVisitor);
    // A later version of the block is left to the program that wrote it.
    ASSERT_TRUE(velk::test::isOk(readScenarioBytes(*back, before + le({0x4F504B56, 2, 1}))));
    EXPECT_FALSE(back->general().newVisitor);
}

TEST(ScenarioFile, AnEmptyOrForeignFileIsRefused) {
    for (std::string bytes :
         {std::string(), std::string("\1\0\0", 3), std::string("\1\0\0\0", 4)}) {
        auto s = freshScenario();
        const Status status = readScenarioBytes(*s, bytes);
        EXPECT_TRUE(status.message().starts_with("Unexpected file format")) << status.message();
    }
}

}  // namespace
}  // namespace velk::scenario
