// How each answer's status is judged over real sockets: whether the request
// counts as a success, what was followed, and the exact bytes the server got
// for a redirected request.
#include "http/status_line.h"
#include "http_fixture.h"

namespace velk::test {
namespace {

struct StatusCase {
    const char* name;
    const char* request;  // the request section's lines after [start]
    const char* answer;   // raw answer to /start; /next answers 200 "landed"
    bool success;
    const char* redirected;  // what /next received, "$HOST" and "$REF" filled in; "" none
    const char* body;        // body of the last response
};

// The answer keeps the connection open and announces a body it never sends
// where no body may come: waiting for one would end in the 2 s time-out.
const StatusCase kCases[] = {
    {"201", "$method=post\na=1\n", "HTTP/1.1 201 Created\r\nContent-Length: 6\r\n\r\norder7", true,
     "", "order7"},
    {"204", "$method=DELETE\n", "HTTP/1.1 204 No Content\r\nContent-Length: 9\r\n\r\n", true, "",
     ""},
    {"206", "", "HTTP/1.1 206 Partial Content\r\nContent-Length: 2\r\n\r\nab", true, "", "ab"},
    {"304", "", "HTTP/1.1 304 Not Modified\r\nContent-Length: 40\r\n\r\n", true, "", ""},
    {"HEAD", "$method=Head\nq=1\n", "HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\n", true, "", ""},
    {"303", "$method=POST\na=1\n", "HTTP/1.1 303 See Other\r\nLocation: /next\r\n\r\n", true,
     "GET /next HTTP/1.1\r\n$HOST$REFConnection: close\r\n\r\n", "landed"},
    {"307", "$method=PUT\na=1\nb=2\n",
     "HTTP/1.1 307 Temporary Redirect\r\nLocation: /next\r\nContent-Length: 0\r\n\r\n", true,
     "PUT /next HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded\r\n"
     "Content-Length: 7\r\n$HOST$REFConnection: close\r\n\r\na=1&b=2",
     "landed"},
    {"308", "$content=<<END\n{\"id\":1}\nEND\n$header=Content-Type: application/json\n",
     "HTTP/1.1 308 Permanent Redirect\r\nLocation: /next\r\nContent-Length: 0\r\n\r\n", true,
     "POST /next HTTP/1.1\r\nContent-Type: application/json\r\nContent-Length: 9\r\n"
     "$HOST$REFConnection: close\r\n\r\n{\"id\":1}\n",
     "landed"},
    {"100", "", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", true,
     "", "ok"},
    {"200", "", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", true, "", "ok"},
    {"301", "$method=POST\na=1\n", "HTTP/1.1 301 Moved\r\nLocation: /next\r\n\r\n", true,
     "GET /next HTTP/1.1\r\n$HOST$REFConnection: close\r\n\r\n", "landed"},
    {"302", "", "HTTP/1.1 302 Found\r\nLocation: /next\r\n\r\n", true,
     "GET /next HTTP/1.1\r\n$HOST$REFConnection: close\r\n\r\n", "landed"},
    {"302 HEAD", "$method=HEAD\n", "HTTP/1.1 302 Found\r\nLocation: /next\r\n\r\n", true,
     "HEAD /next HTTP/1.1\r\n$HOST$REFConnection: close\r\n\r\n", ""},
    {"300", "", "HTTP/1.1 300 Multiple Choices\r\nLocation: /next\r\n\r\n", false, "", ""},
    {"404", "", "HTTP/1.1 404 Not Found\r\nContent-Length: 1\r\n\r\nx", false, "", "x"},
};

std::string filled(std::string text, const std::string& host, const std::string& referer) {
    for (auto [mark, value] : {std::pair{"$HOST", host}, std::pair{"$REF", referer}})
        if (size_t at = text.find(mark); at != std::string::npos)
            text.replace(at, std::string_view(mark).size(), value);
    return text;
}

using StatusClasses = HttpFixture;

TEST_F(StatusClasses, EachStatusIsCountedFollowedAndSentAsTheRuleSays) {
    for (const StatusCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const std::string answer = c.answer;
        m_server.setHandler([answer](const ReceivedRequest& req, Responder& r) {
            if (req.target.starts_with("/next")) {
                r.respond(200, "landed", "Connection: close\r\n");
                r.close();
                return;
            }
            r.send(answer);
            if (answer.find("Location") != std::string::npos) r.close();
        });
        const int before = m_server.requestCount();
        load(std::string("timeout=2\n[start]\n$uri=/start\n") + c.request);
        const int32_t result = run("start");
        if (c.success) {
            EXPECT_GE(result, 0) << logText();
        } else {
            EXPECT_EQ(result, -2) << logText();
        }
        // An interim 100 is not counted: the answer after it is.
        const int status = c.name[0] == 'H' || c.name[0] == '1' ? 200 : std::stoi(c.name);
        EXPECT_EQ(m_set->httpCounters.statusCodes[size_t(status)].load(), 1);
        EXPECT_EQ(body(), c.body);

        const auto received = m_server.requests();
        const std::string redirected = c.redirected;
        ASSERT_EQ(received.size() - size_t(before), redirected.empty() ? 1u : 2u);
        const ReceivedRequest& first = received[size_t(before)];
        if (c.name[0] == 'H') {
            EXPECT_EQ(first.raw,
                      "HEAD /start?q=1 HTTP/1.1\r\n" + hostHeader() + "Connection: close\r\n\r\n");
        }
        if (!redirected.empty()) {
            const std::string referer =
                "Referer: http://127.0.0.1:" + std::to_string(m_server.port()) + "/start\r\n";
            EXPECT_EQ(received.back().raw, filled(redirected, hostHeader(), referer));
            EXPECT_EQ(m_set->httpCounters.statusCodes[200].load(), 1);
        }
    }
}

}  // namespace
}  // namespace velk::test
