// The replay proof of a single-page sign-in saved as a HAR file: the test
// visits the single-page server as a browser would, saves what it sent and got
// as a HAR file, imports it with velkrun and replays it with 2 users x 3
// iterations.  The server counts every sign-in and signed-in call; refused
// proposals give HTTP errors and --verify exits 6.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/child_process.h"
#include "common/temp_dir.h"
#include "support/spa_server.h"

namespace velk::test {
namespace {

using Headers = std::vector<std::pair<std::string, std::string>>;

std::string jsonQuoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string harHeaderList(const Headers& headers) {
    std::string out = "[";
    for (const auto& [n, v] : headers)
        out += (out.size() > 1 ? "," : "") + std::string("{\"name\":") + jsonQuoted(n) +
               ",\"value\":" + jsonQuoted(v) + "}";
    return out + "]";
}

// One exchange with the server, as a HAR entry of the given resource type.
struct HarVisitor {
    uint16_t port;
    std::string entries;
    int second = 0;

    std::string send(const std::string& type, const std::string& method, const std::string& path,
                     const Headers& headers, const std::string& body = "") {
        std::string request = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
        for (const auto& [n, v] : headers) request += n + ": " + v + "\r\n";
        if (!body.empty()) request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
        const std::string answer = loopbackRoundTrip(port, request + "\r\n" + body);
        const size_t headEnd = answer.find("\r\n\r\n");
        Headers responseHeaders;
        std::string mime;
        size_t line = answer.find("\r\n");
        while (line < headEnd) {
            const size_t next = answer.find("\r\n", line + 2);
            const std::string text = answer.substr(line + 2, next - line - 2);
            const size_t colon = text.find(':');
            if (colon != std::string::npos) {
                responseHeaders.emplace_back(text.substr(0, colon), text.substr(colon + 2));
                if (text.starts_with("Content-Type")) mime = text.substr(colon + 2);
            }
            line = next;
        }
        const std::string responseBody =
            headEnd == std::string::npos ? "" : answer.substr(headEnd + 4);
        Headers all = {
            {"User-Agent", "Mozilla/5.0"}, {"Accept", "*/*"}, {"sec-fetch-mode", "cors"}};
        all.insert(all.end(), headers.begin(), headers.end());
        char started[64];
        std::snprintf(started, sizeof started, "2026-12-10T05:30:%02d.000Z", second++);
        entries += std::string(entries.empty() ? "" : ",") + "{\"startedDateTime\":\"" + started +
                   "\",\"_resourceType\":\"" + type + "\",\"request\":{\"method\":\"" + method +
                   "\",\"url\":\"http://127.0.0.1:" + std::to_string(port) + path +
                   "\",\"headers\":" + harHeaderList(all) +
                   (body.empty() ? ""
                                 : ",\"postData\":{\"mimeType\":\"application/json\",\"text\":" +
                                       jsonQuoted(body) + "}") +
                   "},\"response\":{\"status\":" + answer.substr(9, 3) +
                   ",\"headers\":" + harHeaderList(responseHeaders) +
                   ",\"content\":{\"mimeType\":" + jsonQuoted(mime) +
                   ",\"text\":" + jsonQuoted(responseBody) + "}}}";
        return answer;
    }
};

std::string harBetween(const std::string& text, const std::string& after,
                       const std::string& until) {
    const size_t at = text.find(after);
    if (at == std::string::npos) return "";
    const size_t start = at + after.size();
    return text.substr(start, text.find(until, start) - start);
}

struct HarOutcome {
    int status = -1;
    std::string out, err;
};

HarOutcome runVelkrun(const TempDir& dir, std::vector<std::string> args) {
    ChildProcess child(VELKRUN_PATH, std::move(args), dir.file("stdout.txt"),
                       dir.file("stderr.txt"));
    HarOutcome o;
    o.status = child.wait();
    o.out = child.out();
    o.err = child.err();
    return o;
}

TEST(VelkrunHar, ImportedSinglePageSignInReplaysEverySignInWithItsProposals) {
    SpaServer server;
    TempDir dir;
    // The visit, as the page's script makes it: the page, a static file, the
    // sign-in with the meta tag's token, the call with the bearer token.
    HarVisitor visit{server.port(), {}};
    const std::string page = visit.send("document", "GET", "/", {});
    const std::string cookie = "spa_session=" + harBetween(page, "spa_session=", ";");
    const std::string csrf = harBetween(page, "name=\"csrf-token\" content=\"", "\"");
    visit.send("image", "GET", "/logo.png", {{"Cookie", cookie}});
    const std::string login = visit.send(
        "fetch", "POST", "/api/login",
        {{"Content-Type", "application/json"}, {"X-CSRF-Token", csrf}, {"Cookie", cookie}},
        R"({"user":"ann","password":"secret"})");
    const std::string token = harBetween(login, "{\"token\":\"", "\"");
    visit.send("fetch", "GET", "/api/me",
               {{"Authorization", "Bearer " + token}, {"Cookie", cookie}});
    ASSERT_EQ(server.signIns(), 1);
    ASSERT_EQ(server.signedInCalls(), 1);
    const std::string harPath =
        dir.write("visit.har",
                  "{\"log\":{\"version\":\"1.2\",\"creator\":{\"name\":\"test\",\"version\":\"1\"},"
                  "\"entries\":[" +
                      visit.entries + "]}}");

    const HarOutcome imported =
        runVelkrun(dir, {"--import-har", harPath, "--save-scenario", dir.file("spa.vts")});
    ASSERT_EQ(imported.status, 0) << imported.err << imported.out;
    EXPECT_NE(imported.out.find("Imported 3 requests"), std::string::npos) << imported.out;
    EXPECT_NE(imported.out.find("header X-CSRF-Token: $Meta(csrf-token)"), std::string::npos)
        << imported.out;
    EXPECT_NE(imported.out.find("header Authorization: $var(token)"), std::string::npos)
        << imported.out;
    EXPECT_NE(imported.out.find("Applied 2 of 2 proposals."), std::string::npos) << imported.out;

    const HarOutcome run =
        runVelkrun(dir, {dir.file("spa.vts"), "--quiet", "--set", "clients=2", "--set",
                         "requests=3", "--set", "reportdir=" + dir.path().string()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(server.signIns(), 1 + 6);
    EXPECT_EQ(server.signedInCalls(), 1 + 6);
    EXPECT_EQ(server.csrfRefusals() + server.bearerRefusals(), 0);
    EXPECT_EQ(run.err.find("HTTP errors"), std::string::npos) << run.err;

    // Refused: the recorded tokens are replayed, and every one is refused.
    const HarOutcome refused = runVelkrun(
        dir, {"--import-har", harPath, "--save-scenario", dir.file("raw.vts"), "--no-proposals"});
    ASSERT_EQ(refused.status, 0) << refused.err;
    EXPECT_NE(refused.out.find("Proposals refused"), std::string::npos) << refused.out;
    const HarOutcome raw =
        runVelkrun(dir, {dir.file("raw.vts"), "--quiet", "--set", "clients=2", "--set",
                         "requests=3", "--set", "reportdir=" + dir.path().string()});
    EXPECT_EQ(server.signIns(), 7);
    EXPECT_EQ(server.signedInCalls(), 7);
    EXPECT_EQ(server.csrfRefusals(), 6);
    EXPECT_EQ(server.bearerRefusals(), 6);
    EXPECT_NE(raw.err.find("12 errors (12 HTTP errors)"), std::string::npos) << raw.err;
    const HarOutcome verify = runVelkrun(dir, {"--verify", dir.file("raw.vts")});
    EXPECT_EQ(verify.status, 6) << verify.out << verify.err;
}

}  // namespace
}  // namespace velk::test
