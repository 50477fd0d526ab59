#include "script/script_parser.h"

#include <gtest/gtest.h>

#include <random>

#include "base/message.h"
#include "common/message_capture.h"
#include "common/temp_dir.h"
#include "script/parsed_test.h"

namespace velk {
namespace {

using test::MessageCapture;
using test::TempDir;

class ScriptParserTest : public ::testing::Test {
protected:
    void SetUp() override { setOutFunc(&m_capture, MessageCapture::sink); }
    void TearDown() override { setOutFunc(nullptr, nullptr); }

    bool parse(std::string_view text) { return reportIfFailed(ScriptParser(m_set).parse(text)); }

    static std::vector<std::string> names(const Sequence& seq) {
        std::vector<std::string> out;
        for (size_t i = 0; i < seq.length(); ++i) out.push_back(seq[i].name);
        return out;
    }
    std::vector<std::string> testSeq() const { return names(m_set.testSeq); }

    const RequestDef& request(const std::string& name) const {
        auto it = m_set.requests.find(name);
        EXPECT_NE(it, m_set.requests.end()) << name;
        return *it->second;
    }
    // Literal pieces as their text, expressions as <kind>.
    static std::string literalValue(const ParamEntry& p) {
        std::string v;
        for (const auto& piece : p.pieces)
            v += piece.kind == ValuePiece::Kind::Literal
                     ? piece.text
                     : "<" + std::to_string(int(piece.kind)) + ">";
        return v;
    }

    ParsedTest m_set;
    MessageCapture m_capture;
};

TEST_F(ScriptParserTest, RequestSectionsMakeTheTestSequenceUntilAnExplicitOneAppears) {
    ASSERT_TRUE(parse("[a]\n[b]\n"));
    EXPECT_EQ(testSeq(), (std::vector<std::string>{"a", "b"}));

    ParsedTest second;
    ASSERT_TRUE(reportIfFailed(ScriptParser(second).parse("[a]\n[b]\n[testseq]\nb\n")));
    EXPECT_EQ(names(second.testSeq), std::vector<std::string>{"b"});

    // Requests defined after an explicit test sequence are not added to it.
    ParsedTest third;
    ASSERT_TRUE(reportIfFailed(ScriptParser(third).parse("[testseq]\nb\n[a]\n[b]\n")));
    EXPECT_EQ(names(third.testSeq), std::vector<std::string>{"b"});
}

TEST_F(ScriptParserTest, SectionNamesIgnoreCaseButRequestNamesDoNot) {
    ASSERT_TRUE(parse("[GENERAL]\nclients=3\n[General]\nrequests=4\n[login]\n[Login]\n"));
    EXPECT_EQ(m_set.options.clients, 3);
    EXPECT_EQ(m_set.options.requests, 4);
    EXPECT_EQ(m_set.requests.size(), 2u);
    EXPECT_EQ(testSeq(), (std::vector<std::string>{"login", "Login"}));
    EXPECT_EQ(m_set.requestSectionCount, 2);
}

TEST_F(ScriptParserTest, TextBeforeTheFirstHeaderIsGeneral) {
    ASSERT_TRUE(parse("clients=7\r\n  ; comment\r\n\r\n\trequests=2\r[a]"));
    EXPECT_EQ(m_set.options.clients, 7);
    EXPECT_EQ(m_set.options.requests, 2);
}

TEST_F(ScriptParserTest, SequenceEntriesKeepTheirArgumentText) {
    ASSERT_TRUE(
        parse("[initseq]\nlogin\n[testseq]\nsearch(q=abc,$method=POST)\n[finalseq]\nlogout()\n"
              "[login]\n[search]\n[logout]\n"));
    ASSERT_EQ(m_set.testSeq.length(), 1u);
    EXPECT_EQ(m_set.testSeq[0].name, "search");
    ASSERT_TRUE(m_set.testSeq[0].arguments);
    EXPECT_EQ(*m_set.testSeq[0].arguments, "q=abc,$method=POST)");
    EXPECT_EQ(names(m_set.initSeq), std::vector<std::string>{"login"});
    EXPECT_FALSE(m_set.initSeq[0].arguments);
    EXPECT_EQ(*m_set.finalSeq[0].arguments, ")");
}

TEST_F(ScriptParserTest, GlobalVariablesAreSubstitutedOnce) {
    m_set.globals["host"] = "web1";
    m_set.globals["loop"] = "$gvar(host)";
    ASSERT_TRUE(
        parse("server=$gvar(host,localhost)\nuri=/$gvar(loop)/"
              "$gvar(none)x\nproxy=$GVAR(missing,dflt)\n"));
    EXPECT_EQ(m_set.options.server, "web1");
    // The inserted value is not expanded again; a missing one without default vanishes.
    EXPECT_EQ(m_set.options.uri, "/$gvar(host)/x");
    EXPECT_EQ(m_set.options.proxy, "dflt");

    ParsedTest other;
    ASSERT_TRUE(reportIfFailed(ScriptParser(other).parse("server=$gvar(host,localhost)\n")));
    EXPECT_EQ(other.options.server, "localhost");
}

TEST_F(ScriptParserTest, UnclosedGlobalVariableIsASyntaxError) {
    EXPECT_FALSE(parse("server=$gvar(host\n"));
    EXPECT_EQ(m_capture.last(), "script:1: Syntax error in this line: server=$gvar(host");
}

TEST_F(ScriptParserTest, GeneralLinesFailOnUnknownNamesSilentlyAndOnBadValuesWithAMessage) {
    EXPECT_FALSE(parse("nosuchoption=1\n"));
    EXPECT_EQ(m_capture.count(), 0u);

    ParsedTest other;
    EXPECT_FALSE(
        reportIfFailed(ScriptParser(other).parse("CLIENTS = 5\n")));  // value begins with a space
    EXPECT_EQ(m_capture.last(), "script:1: Integer number expected as a value of clients");
}

TEST_F(ScriptParserTest, RequestsTakeTheGeneralValuesInForceAtTheirHeader) {
    ASSERT_TRUE(
        parse("uri=/first\ndelay=100\nport=8080\nmethod=post\nkeepalive=1\n[a]\n"
              "[general]\ndelay=200\nuri=/second\n[b]\n"));
    const RequestDef& a = request("a");
    EXPECT_EQ(a.uri, "/first");
    EXPECT_EQ(a.delay, 100);
    EXPECT_EQ(a.port, 8080);
    EXPECT_EQ(a.method, 1);
    EXPECT_EQ(a.keepalive, 1);
    EXPECT_FALSE(a.server);
    EXPECT_EQ(request("b").delay, 200);
    EXPECT_EQ(request("b").uri, "/second");
}

TEST_F(ScriptParserTest, RequestKeysSetTheirFields) {
    ASSERT_TRUE(
        parse("[a]\n$URI=/x?y=1\n$server=example.test\n$port=81\n$method=Get\n"
              "$keepalive=1\n$delay=1000-3000\n$secure=2\n$nothing\n"
              "[b]\n$method=put\n$delay=500\n[c]\n$method=OPTIONS\n[d]\n$method=fetch\n"));
    const RequestDef& a = request("a");
    EXPECT_EQ(a.uri, "/x?y=1");
    EXPECT_EQ(a.server.value_or(""), "example.test");
    EXPECT_EQ(a.port, 81);
    EXPECT_EQ(a.method, 0);
    EXPECT_EQ(a.keepalive, 1);
    EXPECT_EQ(a.delay, 1000);
    EXPECT_EQ(a.delayUpper, 3000);
    EXPECT_EQ(a.secure, 2);
    EXPECT_TRUE(a.params->empty());
    EXPECT_EQ(request("b").method, 2);  // PUT
    EXPECT_EQ(request("c").method, 6);  // OPTIONS
    EXPECT_EQ(request("d").method, 1);  // no method's name: POST, as always
    EXPECT_EQ(request("b").delay, 500);
    EXPECT_EQ(request("b").delayUpper, 0);
}

TEST_F(ScriptParserTest, ParameterLinesKeepOrderAndDoubleDollarEscapes) {
    ASSERT_TRUE(parse("[a]\nuser = bob\nempty\n$$port=1\n$other=2\n"));
    const ParamList& p = *request("a").params;
    ASSERT_EQ(p.size(), 4u);
    EXPECT_EQ(p[0].name, "user");
    EXPECT_EQ(literalValue(p[0]), " bob");
    EXPECT_EQ(p[1].name, "empty");
    EXPECT_EQ(literalValue(p[1]), "");
    EXPECT_EQ(p[2].name, "$port");  // "$$" keeps a "$" name away from the request keys
    EXPECT_EQ(p[3].name, "$other");
    EXPECT_EQ(request("a").port, 80);
}

TEST_F(ScriptParserTest, DuplicateRequestFailsAndKeepsWhatCameBefore) {
    EXPECT_FALSE(parse("clients=4\n[a]\n[b]\n[a]\n"));
    EXPECT_EQ(m_capture.last(), "script:4: Duplicate request definition:a");
    EXPECT_EQ(m_set.options.clients, 4);
    EXPECT_EQ(m_set.requests.size(), 2u);

    // The same text parsed again into the same set fails at its first request.
    ParsedTest twice;
    ASSERT_TRUE(reportIfFailed(ScriptParser(twice).parse("[a]\n")));
    EXPECT_FALSE(reportIfFailed(ScriptParser(twice).parse("[a]\n")));
}

TEST_F(ScriptParserTest, HeaderLinesAccumulateAcrossParses) {
    ASSERT_TRUE(parse("[header]\nUser-Agent: velk\nX-A: 1\n"));
    ASSERT_TRUE(parse("[Header]\nX-B: 2\n"));
    EXPECT_EQ(m_set.headers, (std::vector<std::string>{"User-Agent: velk", "X-A: 1", "X-B: 2"}));
}

TEST_F(ScriptParserTest, InlineScriptRunsToTheExactEndLine) {
    ASSERT_TRUE(parse(
        "[script]\nvar a = 1;\n[/SCRIPT]\n  ; skipped\n[other] stays\n[/script]\nclients=2\n"));
    ASSERT_TRUE(m_set.scriptText);
    EXPECT_EQ(m_set.scriptText->view(), "var a = 1;\n[/SCRIPT]\n[other] stays\n");
    EXPECT_EQ(m_set.options.clients, 2);
    EXPECT_TRUE(m_set.requests.empty());

    ParsedTest custom;
    ASSERT_TRUE(reportIfFailed(
        ScriptParser(custom).parse("endofscript=END\n[script]\nx();\nEND\nrequests=3\n")));
    EXPECT_EQ(custom.scriptText->view(), "x();\n");
    EXPECT_EQ(custom.options.requests, 3);
}

TEST_F(ScriptParserTest, ContentHeredocDropsIndentBlankAndCommentLinesAndSplitsExpressions) {
    ASSERT_TRUE(
        parse("[post]\n$content=<<EOT\n   <a>$nrand(1,5)</a>\n\n;x\n\t<b>$$5 & "
              "$LIST(x,(y))</b>\nEOT\nafter=1\n"));
    const RequestDef& r = request("post");
    EXPECT_TRUE(r.rawContent);
    const ParamList& p = *r.params;
    std::vector<std::string> pieces;
    for (const auto& e : p) pieces.push_back(e.name + ":" + literalValue(e));
    EXPECT_EQ(pieces,
              (std::vector<std::string>{"pcontent:<a>", "pcontent:<0>", "pcontent:</a>\n<b>$$5 & ",
                                        "pcontent:<12>", "pcontent:</b>\n", "after:1"}));
    EXPECT_EQ(p[1].pieces.size(), 1u);
}

TEST_F(ScriptParserTest, ContentMistakesAreSyntaxErrors) {
    EXPECT_FALSE(parse("[a]\n$content=<x\n"));
    EXPECT_EQ(m_capture.last(), "script:2: Syntax error at line 2");

    // A block that is never closed would silently drop its lines: refused.
    ParsedTest open;
    EXPECT_FALSE(reportIfFailed(ScriptParser(open).parse("[a]\n$xmlcontent=<<END\nline\n[b]\n")));
    EXPECT_EQ(m_capture.last(), "script:4: Syntax error at line 4");
    ParsedTest open2;
    EXPECT_FALSE(reportIfFailed(ScriptParser(open2).parse("[a]\n$content=<<END\nline\n")));
    EXPECT_EQ(m_capture.last(), "script:3: Syntax error at line 3");
}

TEST_F(ScriptParserTest, ContentFileIsReadWholeAndReplacesEarlierContent) {
    TempDir dir;
    std::string bytes = "a=1&b=$clid(u)\r\nraw";
    std::string path = dir.write("body.txt", bytes);
    ASSERT_TRUE(parse("[a]\n$content=<<E\nold\nE\n$content=" + path + "\n"));
    const ParamList& p = *request("a").params;
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(literalValue(p[0]), "a=1&b=");
    EXPECT_EQ(literalValue(p[1]), "<11>");
    EXPECT_EQ(literalValue(p[2]), "\r\nraw");

    EXPECT_FALSE(parse("[b]\n$content=" + dir.file("missing.txt") + "\n"));
    EXPECT_EQ(m_capture.last(),
              "script:2: Failed to open request content file:" + dir.file("missing.txt"));
}

TEST_F(ScriptParserTest, HeaderLinesOfARequestAreKeptInOrder) {
    ASSERT_TRUE(parse("[a]\n$header=Content-Type: text/xml\n$HEADER=X-Y: z\n[b]\n$header=X: 1\n"));
    ASSERT_TRUE(request("a").headerLines);
    ASSERT_EQ(request("a").headerLines->size(), 2u);
    EXPECT_EQ(literalValue((*request("a").headerLines)[1]), "X-Y: z");
    EXPECT_TRUE(request("a").headerNamesContentType);
    EXPECT_FALSE(request("b").headerNamesContentType);
}

TEST_F(ScriptParserTest, FailExpressionsAreCheckedAndMayBeInverted) {
    ASSERT_TRUE(parse("[a]\n$fail=/Error/i\n[b]\n$fail=!/Welcome/\n"));
    ASSERT_TRUE(request("a").fail);
    EXPECT_EQ(request("a").fail->text, "/Error/i");
    int pairs = 0;
    EXPECT_TRUE(
        request("a").fail->regex->match("an ERROR here", nullptr, pairs));  // compiled with i
    EXPECT_FALSE(request("a").failInverted);
    EXPECT_TRUE(request("b").failInverted);
    EXPECT_EQ(request("b").fail->text, "/Welcome/");

    for (const char* bad :
         {"[c]\n$fail=Error\n", "[d]\n$fail=/Error/q\n", "[e]\n$fail=/unclosed\n"}) {
        ParsedTest set;
        m_capture.clear();
        EXPECT_FALSE(reportIfFailed(ScriptParser(set).parse(bad))) << bad;
        EXPECT_EQ(m_capture.last(), "script:2: Invalid regexp in $fail parameter") << bad;
    }
}

TEST_F(ScriptParserTest, ExportVariablesAreCheckedWithTheirOwnMessages) {
    ASSERT_TRUE(
        parse("[a]\n$exportvar=token,  /value=\"(\\w+)\\/x\"/i,$1\n"
              "$exportvar=\"my%2cvar\",/a(b)/,\"t\\\"$1\"\n$exportvar=token,/z/,$0\n"));
    const auto& exports = request("a").exports;
    ASSERT_EQ(exports.size(), 2u);
    EXPECT_EQ(exports.at("token").pattern.text, "/z/");  // a second export of a name replaces it
    EXPECT_EQ(exports.at("my,var").pattern.text, "/a(b)/");
    EXPECT_EQ(exports.at("my,var").valueTemplate, "t\"$1");

    struct Case {
        const char* line;
        const char* message;
    } cases[] = {
        {"$exportvar=token,value", "script:2: Regexp expected at $exporvar=token,value"},
        {"$exportvar=token,/x/", "script:2: Invalud $exportvar syntax"},
        {"$exportvar=token,/x/,", "script:2: Invalud $exportvar syntax"},
        {"$exportvar=token,/x/k,$1", "script:2: Invalid regexp:/x/k"},
    };
    for (const Case& c : cases) {
        ParsedTest set;
        m_capture.clear();
        EXPECT_FALSE(reportIfFailed(ScriptParser(set).parse(std::string("[a]\n") + c.line + "\n")))
            << c.line;
        EXPECT_EQ(m_capture.last(), c.message) << c.line;
    }
}

TEST_F(ScriptParserTest, RateRuleReachesRequestsThatKeptTheGeneralDelay) {
    ASSERT_TRUE(parse("delay=50\n[a]\n[b]\n$delay=70\n[general]\nrate=3600\n"));
    EXPECT_EQ(m_set.options.delay, 1000);
    EXPECT_EQ(m_set.options.softdelay, 1);
    EXPECT_EQ(request("a").delay, 1000);
    EXPECT_EQ(request("b").delay, 70);
}

class IncludeTest : public ScriptParserTest {
protected:
    std::string includeLine(const std::string& path) { return "[includes]\n" + path + "\n"; }
    TempDir m_dir;
};

TEST_F(IncludeTest, IncludedFileKeepsItsOwnStateAndSharesTheTestSet) {
    std::string lib = m_dir.write("lib.txt", "[x]\n[y]\n[header]\nX-Lib: 1\n");
    // The include starts in the general section; the includer's section resumes after it.
    ASSERT_TRUE(parse("clients=2\n" + includeLine(lib) + "[testseq]\nx\n[general]\nrequests=5\n"));
    EXPECT_EQ(testSeq(), std::vector<std::string>{"x"});
    EXPECT_EQ(m_set.requests.size(), 2u);
    EXPECT_EQ(m_set.headers, std::vector<std::string>{"X-Lib: 1"});
    EXPECT_EQ(m_set.options.requests, 5);
}

TEST_F(IncludeTest, IncludeThatAddsNoEntriesLeavesTheSequencesAlone) {
    std::string lib = m_dir.write("opts.txt", "clients=9\n");
    ASSERT_TRUE(parse("[a]\n[b]\n" + includeLine(lib) + "[c]\n"));
    EXPECT_EQ(testSeq(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(m_set.options.clients, 9);
}

TEST_F(IncludeTest, SequenceEntriesFromAnIncludeAreReplacedByTheIncludersNextEntries) {
    std::string lib = m_dir.write("seq.txt", "[initseq]\nfromlib\n[fromlib]\n[mine]\n");
    ASSERT_TRUE(parse("[initseq]\nmine\n" + includeLine(lib)));
    EXPECT_EQ(names(m_set.initSeq), std::vector<std::string>{"fromlib"});

    ParsedTest set;
    ASSERT_TRUE(reportIfFailed(ScriptParser(set).parse(
        includeLine(lib) + "[initseq]\nafter1\nafter2\n[after1]\n[after2]\n")));
    EXPECT_EQ(names(set.initSeq), (std::vector<std::string>{"after1", "after2"}));
}

TEST_F(IncludeTest, MissingIncludeAndCyclesFailCleanly) {
    EXPECT_FALSE(parse(includeLine(m_dir.file("nope.txt"))));
    EXPECT_EQ(m_capture.last(), "script:2: Cannot open file " + m_dir.file("nope.txt"));

    std::string a = m_dir.file("a.txt"), b = m_dir.file("b.txt");
    m_dir.write("a.txt", includeLine(b));
    m_dir.write("b.txt", includeLine(a));
    ParsedTest set;
    m_capture.clear();
    EXPECT_FALSE(reportIfFailed(ScriptParser(set).parse(includeLine(a))));
    EXPECT_NE(m_capture.last().find("nested more than 16 deep"), std::string::npos)
        << m_capture.last();
    EXPECT_EQ(m_capture.count(), 1u);

    // A directory is not a script.
    ParsedTest dirSet;
    EXPECT_FALSE(reportIfFailed(ScriptParser(dirSet).parse(includeLine(m_dir.path().string()))));
}

// Hostile scripts meet a limit with a message, never a crash or an endless parse.
TEST_F(IncludeTest, ScriptLimitsEndTheParseWithAMessage) {
    // 16 files each including the next four times would be read 4^16 times.
    std::string next;
    for (int i = 15; i >= 0; --i) {
        std::string text = "[includes]\n";
        for (int k = 0; k < 4 && !next.empty(); ++k) text += next + "\n";
        next = m_dir.write("f" + std::to_string(i) + ".txt",
                           text + "[general]\nclients=" + std::to_string(i + 1) + "\n");
    }
    std::string nested = "[a]\np=";
    for (int i = 0; i < 1100; ++i) nested += "$rxname(/a/,n),";
    const struct {
        std::string script;
        const char* message;
    } cases[] = {
        {includeLine(next), "More than 1000 files are included: "},
        {nested + "x\n", "Error: $rxname nested deeper than 64 levels"},
    };
    for (const auto& c : cases) {
        ParsedTest set;
        m_capture.clear();
        EXPECT_FALSE(reportIfFailed(ScriptParser(set).parse(c.script)));
        EXPECT_NE(m_capture.last().find(c.message), std::string::npos) << m_capture.last();
    }
    // A byte-order mark is no part of the first line.
    ASSERT_TRUE(
        parse("\xEF\xBB\xBF"
              "clients=2\n[a]\n"));
    EXPECT_EQ(m_set.options.clients, 2);
}

// Mistakes a script likely holds: refused with the file and line, or (with
// warnings=1, as velkrun --check sets) reported while the script still reads.
TEST_F(ScriptParserTest, LikelyMistakesAreRefusedOrWarnedAboutWithTheirLine) {
    const struct {
        std::string script;
        bool parses;
        std::string message;  // the last one reported; "" none
    } cases[] = {
        {"[a]\n[testseq]\na\nnosuch\n", false, "script:4: Request nosuch not found!"},
        {"[a]\n[initseq]\nlogn\n", false, "script:3: Request logn not found!"},
        {"[a]\n[finalseq]\nbye(x=1)\n", false, "script:3: Request bye not found!"},
        {"[a]\n[testseq]\n", false, "script:2: Error: empty test sequence!"},
        {"script=x.js\n[testseq]\n", true, ""},  // a script drives the test
        {"[a]\n$metod=POST\n", false,
         "script:2: Unknown request key $metod, did you mean $method? (write $$metod for a "
         "parameter of that name)"},
        {"[a]\n$headr=X: 1\n", false,
         "script:2: Unknown request key $headr, did you mean $header? (write $$headr for a "
         "parameter of that name)"},
        {"[a]\n$URL=/x\n", false,
         "script:2: Unknown request key $URL, did you mean $uri? (write $$URL for a parameter "
         "of that name)"},
        {"[a]\n$exportjsn=t,token\n", false,
         "script:2: Unknown request key $exportjsn, did you mean $exportjson? (write "
         "$$exportjsn for a parameter of that name)"},
        {"[a]\n$$url=/x\n", true, ""},
        {"[a]\n$customer=5\n", true, ""},  // warnings are off by default
        {"warnings=1\n[a]\n$customer=5\n", true,
         "script:3: warning: $customer is no request key: it is sent as a parameter of that "
         "name"},
        {"[a]\nq=a b\n", true, ""},
        {"warnings=1\n[a]\nq=a b\nr=ok\n", true,
         "script:3: warning: the value of q holds a blank, control character or non-ASCII "
         "byte, sent as written (encodevalues=1 encodes it)"},
        {"warnings=1\n[a]\nq=caf\xC3\xA9\n", true,
         "script:3: warning: the value of q holds a blank, control character or non-ASCII "
         "byte, sent as written (encodevalues=1 encodes it)"},
        {"warnings=1\n[a]\nq=a%20b&$Json(x)\n", true, ""},
        {"[a]\n$exportjson=token\n", false,
         "script:2: Invalid $exportjson syntax, NAME,PATH expected: token"},
        {"[a]\n$exportjson=t,a[\n", false, "script:2: Invalid JSON path a[: index expected"},
        {"[a]\n$exportheader=loc,Loc ation\n", false,
         "script:2: Invalid $exportheader syntax, NAME,HEADER expected: loc,Loc ation"},
        {"[a]\n$exportheadr=loc,Location\n", false,
         "script:2: Unknown request key $exportheadr, did you mean $exportheader? (write "
         "$$exportheadr for a parameter of that name)"},
        {"[a]\n$uri=/o/$Json(a..b)\n", false, "script:2: Invalid JSON path a..b: name expected"},
    };
    for (const auto& c : cases) {
        ParsedTest set;
        set.setTestName("script");
        m_capture.clear();
        EXPECT_EQ(reportIfFailed(ScriptParser(set).parse(c.script)), c.parses) << c.script;
        EXPECT_EQ(m_capture.last(), c.message) << c.script;
    }
}

TEST_F(ScriptParserTest, OverlongLinesAndNamesAreRefusedWithAMessage) {
    EXPECT_FALSE(parse("[a]\nq=" + std::string(200000, 'x') + "\n"));
    EXPECT_EQ(m_capture.last(), "script:2: Line 2 is longer than 65535 characters");

    ParsedTest growing;
    growing.globals["big"] = std::string(40000, 'y');
    EXPECT_FALSE(reportIfFailed(ScriptParser(growing).parse("uri=$gvar(big)$gvar(big)\n")));
    EXPECT_NE(m_capture.last().find("after global variables"), std::string::npos);

    ParsedTest longName;
    EXPECT_TRUE(reportIfFailed(ScriptParser(longName).parse("[" + std::string(399, 'n') + "]\n")));
    EXPECT_FALSE(reportIfFailed(ScriptParser(longName).parse("[" + std::string(400, 'n') + "]\n")));
}

TEST_F(ScriptParserTest, LargeScriptParses) {
    std::string text = "[general]\nclients=1\n";
    for (int i = 0; text.size() < 50u * 1024 * 1024; ++i)
        text += "[r" + std::to_string(i) + "]\n$uri=/page/" + std::to_string(i) +
                "\nname=" + std::string(400, 'v') + "\n";
    ASSERT_TRUE(parse(text));
    EXPECT_GT(m_set.testSeq.length(), 100000u);
}

TEST_F(ScriptParserTest, RandomBytesNeverCrash) {
    std::mt19937 rng(1234);
    for (int round = 0; round < 200; ++round) {
        std::string text(size_t(rng() % 4096), '\0');
        for (char& c : text) {
            unsigned r = rng() % 100;
            // Bias towards the characters the syntax cares about.
            c = r < 10 ? "[]$=\n(),\"<"[r] : char(rng() % 256);
        }
        ParsedTest set;
        reportIfFailed(ScriptParser(set).parse(text));  // any outcome, but no crash or hang
    }
    SUCCEED();
}

// The parser says nothing itself: its first error comes back as the status's
// message, which whoever called it says (or not).
TEST_F(ScriptParserTest, ErrorsComeBackInTheStatusUnsaid) {
    const TempDir dir;
    const std::string bad = dir.write("bad.txt", "[x]\n[x]\n");
    const struct {
        std::string script;
        std::string message;
    } cases[] = {
        {"[a]\n[a]\n", "script:2: Duplicate request definition:a\n"},
        {"clients=x\n", "script:1: Integer number expected as a value of clients\n"},
        {"[a]\np=$nope\n", "script:2: Unknown $ parameter nope\n"},
        {"[a]\n$fail=nope\n", "script:2: Invalid regexp in $fail parameter\n"},
        {"[includes]\n" + bad + "\n",
         bad + ":2: Duplicate request definition:x\n"},  // in the include
        {"nosuchoption=1\n", ""},
    };
    for (const auto& c : cases) {
        ParsedTest set;
        const Status status = ScriptParser(set).parse(c.script);
        EXPECT_FALSE(status.isOk()) << c.script;
        EXPECT_EQ(status.code(), StatusCode::kInvalid) << c.script;
        EXPECT_EQ(status.message(), c.message) << c.script;
    }
    EXPECT_EQ(m_capture.count(), 0u);
    EXPECT_TRUE(ScriptParser(m_set).parse("[a]\n").isOk());
}

}  // namespace
}  // namespace velk
