#include "app/scenario/request.h"

#include <gtest/gtest.h>

namespace velk::scenario {
namespace {

TEST(Request, SetUrlSplitsServerAndUri) {
    struct Case {
        const char* url;
        int32_t secureBefore;
        const char* server;
        const char* uri;
        int32_t secureAfter;
    } cases[] = {
        {"https://host:8443/a/b?c=d", 0, "host:8443", "a/b?c=d", 2},
        {"http://host/", 0, "host", "", 1},
        {"host/x", 0, "host", "x", 0},
        {"http://host", 0, "host", "", 1},
        {"https://host/x", 1, "host", "x", 1},
        {"HTTP://host/x", 0, "host", "x", 0},
        {"http:\\\\host\\dir\\page", 0, "host", "dir/page", 1},
        {"", 0, "", "", 0},
    };
    for (const Case& c : cases) {
        CRequest r;
        r.setSecure(c.secureBefore);
        r.setUseDelay(true);
        r.setServer("old");
        r.setUri("old");
        r.setUrl(c.url);
        EXPECT_EQ(r.getServer(), c.server) << c.url;
        EXPECT_EQ(r.getUri(), c.uri) << c.url;
        EXPECT_EQ(r.getSecure(), c.secureAfter) << c.url;
        EXPECT_FALSE(r.getUseDelay());
    }
}

TEST(Request, NewRequestsTakeIncreasingIdsAndNameThemselves) {
    CRequest::resetIdCounter();
    CRequest a, b;
    EXPECT_EQ(a.getId(), 1);
    EXPECT_EQ(b.getId(), 2);
    EXPECT_EQ(b.getName(), "req_2");
    EXPECT_EQ(a.getMethod(), 0);
    EXPECT_EQ(a.paramCount(), 0);
}

std::unique_ptr<CRequest> getRequest(const char* server, int32_t secure, const char* uri) {
    auto r = std::make_unique<CRequest>();
    r->setMethod(CRequest::kGet);
    r->setServer(server);
    r->setSecure(secure);
    r->setUri(uri);
    return r;
}

std::string section(const CRequest& r) {
    std::string out;
    EXPECT_TRUE(r.writeSection(out));
    return out;
}

TEST(Request, SectionOfAPlainGet) {
    CRequest::resetIdCounter();
    CRequest r;
    r.setName("");
    r.setMethod(CRequest::kGet);
    r.setServer("host");
    r.setSecure(1);
    r.setUri("index.html");
    EXPECT_EQ(section(r),
              "\r\n[req_1]\r\n$method=GET\r\n$server=host\r\n$port=80\r\n$uri=/"
              "index.html\r\n$secure=1\r\n"
              "$header=Content-Type: \r\n\r\n");
}

TEST(Request, SectionLinesForPortsUrisAndDelays) {
    struct Case {
        const char* server;
        int32_t secure;
        const char* uri;
        bool useDelay;
        int32_t from, to;
        const char* lines;
    } cases[] = {
        {"host:8080", 2, "x", false, 0, 0, "$server=host\r\n$port=8080\r\n$uri=/x\r\n"},
        {"host", 2, "x", false, 0, 0, "$server=host\r\n$port=443\r\n$uri=/x\r\n"},
        {"host:", 0, "", false, 0, 0, "$server=host\r\n$port=\r\n$uri=/\r\n"},
        {"h:1:2", 1, "/abs", false, 0, 0, "$server=h\r\n$port=1:2\r\n$uri=/abs\r\n"},
        {"host", 1, "$var(x)", false, 0, 0, "$port=80\r\n$uri=$var(x)\r\n"},
        {"host", 1, "\\win", false, 0, 0, "$uri=\\win\r\n"},
        {"host", 1, "x", true, 3, 3, "$port=80\r\n$delay=3000\r\n$uri=/x\r\n"},
        {"host", 1, "x", true, 2, 5, "$delay=2000-5000\r\n"},
        {"host", 1, "x", true, 5, 2, "$delay=5000\r\n"},
        {"host", 1, "x", true, 3000000, 3000000, "$delay=3000000000\r\n"},
        {"host", 1, "x", false, 2, 5, "$port=80\r\n$uri=/x\r\n"},
    };
    for (const Case& c : cases) {
        auto owner = getRequest(c.server, c.secure, c.uri);
        CRequest& r = *owner;
        r.setUseDelay(c.useDelay);
        r.setDelayFrom(c.from);
        r.setDelayTo(c.to);
        const std::string text = section(r);
        EXPECT_NE(text.find(c.lines), std::string::npos) << c.server << " " << c.uri << "\n"
                                                         << text;
    }
}

TEST(Request, ParametersAreWrittenWithStoredCommas) {
    auto owner = getRequest("host", 1, "");
    CRequest& r = *owner;
    r.setName("search");
    r.setMethod(CRequest::kPost);
    r.setContentType("application/x-www-form-urlencoded");
    auto p = std::make_unique<CReqParam>();
    p->setNameAndEncode("q", false);
    auto f = std::make_unique<CReqParamFunction>();
    f->setKind(CReqParamFunction::kRandomFromList);
    f->setList("red\r\ngreen,blue");
    p->insert(-1, std::move(f));
    r.insertParam(-1, std::move(p));
    EXPECT_EQ(section(r),
              "\r\n[search]\r\n$method=POST\r\n$server=host\r\n$port=80\r\n$uri=/\r\n$secure=1\r\n"
              "$header=Content-Type: "
              "application/x-www-form-urlencoded\r\nq=$LRand(red,green%2cblue)\r\n\r\n");
}

TEST(Request, MethodOtherThanGetOrPostFailsAfterTheSectionHead) {
    for (int32_t method : {0, 3, -1}) {
        auto owner = getRequest("host", 1, "");
        CRequest& r = *owner;
        r.setName("bad");
        r.setMethod(method);
        std::string out = "before";
        EXPECT_FALSE(r.writeSection(out));
        EXPECT_EQ(out, "before\r\n[bad]\r\n");
    }
}

TEST(Request, ParametersByIndexAndByNameWithoutCase) {
    CRequest r;
    auto make = [](const char* name) {
        auto p = std::make_unique<CReqParam>();
        p->setName(name);
        return p;
    };
    r.insertParam(-1, make("b"));
    r.insertParam(0, make("a"));
    r.insertParam(5, make("Token"));
    ASSERT_EQ(r.paramCount(), 3);
    EXPECT_EQ(r.getParam(0)->getName(), "a");
    EXPECT_EQ(r.getParam(2)->getName(), "Token");
    EXPECT_EQ(r.findParam("TOKEN"), r.getParam(2));
    EXPECT_EQ(r.findParam("c"), nullptr);
    EXPECT_TRUE(r.removeParam("tOkEn"));
    EXPECT_FALSE(r.removeParam("token"));
    EXPECT_EQ(r.paramCount(), 2);
}

}  // namespace
}  // namespace velk::scenario
