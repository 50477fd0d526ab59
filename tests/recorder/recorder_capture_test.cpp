// The recorder's real browser against loopback servers: what each kind of
// navigation becomes, and what is never recorded.
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineCertificateError>

#include "app/scenario/req_param_function.h"
#include "app/scenario/scenario_file.h"
#include "browser_fixture.h"
#include "common/build_tree.h"
#include "demo_server.h"
#include "support/test_http_server.h"

namespace velk::recorder::test {

using velk::test::ReceivedRequest;
using velk::test::Responder;
using velk::test::TestHttpServer;

namespace {

const char* const kHtml = "Content-Type: text/html; charset=utf-8\r\n";

// A page whose scripts call the server: each entry of calls starts one call
// and gives its promise.
const char* const kCallsPage = R"HTML(<html><body><script>
window.calls = {
  json: () => fetch('/api/login?v=2', {method: 'POST',
      headers: {'Content-Type': 'application/json', 'X-CSRF-Token': 't0k'},
      body: JSON.stringify({user: 'ann', password: 's e'})}),
  get: () => fetch('/api/me?id=7&q=a%20b', {headers: {'Authorization': 'Bearer abc'}}),
  put: () => new Promise(done => { const x = new XMLHttpRequest();
      x.open('PUT', '/api/item/3?x=1'); x.setRequestHeader('X-Mode', 'fast');
      x.onloadend = done; x.send(new URLSearchParams({name: 'a b', n: '1'})); }),
  form: () => { const f = new FormData(); f.append('title', 'hi');
      return fetch('/api/upload', {method: 'POST', body: f}); },
  del: () => fetch('/api/item/3', {method: 'DELETE'}),
  image: () => fetch('/pic.png'),
  socket: () => { new WebSocket('ws://' + location.host + '/live'); return 1; },
  forged: () => { document.dispatchEvent(new CustomEvent('velk-script-request', {detail:
      JSON.stringify({method: 'POST', url: location.origin + '/api/forged', headers: [],
                      kind: 'text', body: 'x', status: 200})})); return 1; },
};
</script></body></html>)HTML";

// Pages that load images, a style sheet, a script and a fetch call, hold a
// frame, or post a form from a script.
void servePages(const ReceivedRequest& request, Responder& r) {
    const std::string& t = request.target;
    if (t == "/assets")
        r.respond(200,
                  "<html><head><link rel=stylesheet href=/s.css><script src=/j.js></script>"
                  "</head><body><img src=/a.png><img src=/b.gif>"
                  "<a id=w target=_blank href=/popup>new window</a>"
                  "<script>fetch('/api?x=1', {method: 'POST', body: 'a=1'})</script></body></html>",
                  kHtml);
    else if (t == "/framed")
        r.respond(200, "<html><body><p>outer</p><iframe src=\"/inner?f=1\"></iframe></body></html>",
                  kHtml);
    else if (t.starts_with("/inner"))
        r.respond(200, "<html><body>inner</body></html>", kHtml);
    else if (t == "/scripted")
        r.respond(200,
                  "<html><body><form id=f method=post action=\"/took?q=1\">"
                  "<input type=hidden name=token value=\"a&amp;b c\">"
                  "<textarea name=note>line1\nline2 (x)!</textarea>"
                  "<input name=user value=\"J\xc3\xa9r\xc3\xb4me\"></form></body></html>",
                  kHtml);
    else if (t.starts_with("/took"))
        r.respond(200, "<html><body>took it</body></html>", kHtml);
    else if (t == "/calls")
        r.respond(200, kCallsPage, kHtml);
    else if (t.starts_with("/api/"))
        r.respond(200, "{\"ok\":true,\"id\":7}", "Content-Type: application/json\r\n");
    else if (t == "/pic.png")
        r.respond(200, "\x89PNG", "Content-Type: image/png\r\n");
    else if (t == "/s.css")
        r.respond(200, "body{color:#333}", "Content-Type: text/css\r\n");
    else
        r.respond(200, "", "Content-Type: application/octet-stream\r\n");
}

}  // namespace

class RecorderCaptureTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
        m_demo.start(0);
        m_pages.setHandler(servePages);
    }

    void typedAddressGivesOneGetWithItsPairs() {
        BrowserFixture b;
        b.view->hook().start();
        QVERIFY(b.type(demo("/products?x=1&y=2")));
        QTRY_COMPARE_WITH_TIMEOUT(b.recorded(),
                                  (std::vector<std::string>{"GET http://" + demoHost() +
                                                            "/products x=1&y=2 [text/html]"}),
                                  10000);
    }

    void linksAndTheLoginFormAreRecordedButNotTheRedirect() {
        BrowserFixture b;
        QVERIFY(b.type(demo("/")));
        b.view->hook().start();
        QVERIFY(b.navigateBy("document.querySelector('li a[href=\"/login\"]').click()"));
        const QString token =
            b.evaluate("document.querySelector('input[name=token]').value").toString();
        QVERIFY(!token.isEmpty());
        QVERIFY(
            b.navigateBy("document.querySelector('input[name=user]').value = 'Ann Lee';"
                         "document.querySelector('input[name=password]').value = 'secret';"
                         "document.querySelector('button[type=submit]').click()"));
        QCOMPARE(b.view->browser()->url().path(), QStringLiteral("/account"));
        QVERIFY(b.navigateBy("document.querySelector('p a[href=\"/products\"]').click()"));
        QTRY_COMPARE_WITH_TIMEOUT(
            b.recorded(),
            (std::vector<std::string>{
                "GET http://" + demoHost() + "/login  [text/html]",
                "POST http://" + demoHost() + "/login user=Ann+Lee&password=secret&token=" +
                    token.toStdString() + " [application/x-www-form-urlencoded]",
                "GET http://" + demoHost() + "/products  [text/html]"}),
            10000);
    }

    // Each call of the page's scripts becomes a request with its method, the
    // header lines the script set and its body; velkrun then sends the same.
    void scriptRequestsAreRecordedAndReplayedAsSent() {
        struct Row {
            const char* call;
            std::string recorded;  // "" when the call is not recorded
        };
        const std::string h = "http://" + pagesHost();
        const Row rows[] = {
            {"json", "POST " + h + "/api/login?v=2 $header=X-CSRF-Token: t0k&" +
                         "$content=<<VELK_BODY_END\r\n" + R"({"user":"ann","password":"s e"})" +
                         "\r\nVELK_BODY_END [application/json]"},
            {"get",
             "GET " + h + "/api/me $header=Authorization: Bearer abc&id=7&q=a+b [text/html]"},
            {"put", "PUT " + h +
                        "/api/item/3?x=1 $header=X-Mode: fast&name=a+b&n=1 "
                        "[application/x-www-form-urlencoded]"},
            {"form", "POST " + h + "/api/upload title=hi [application/x-www-form-urlencoded]"},
            {"del", "DELETE " + h + "/api/item/3  [text/html]"},
            {"image", ""},
        };
        BrowserFixture b;
        QVERIFY(b.type(pages("/calls")));
        b.view->hook().start();
        std::vector<std::string> expected;
        for (const Row& row : rows) {
            const int before = m_pages.requestCount();
            QCOMPARE(b.evaluate(QStringLiteral("calls.%1(); 1").arg(row.call)).toInt(), 1);
            QVERIFY(m_pages.waitForRequests(before + 1, 10000));
            if (!row.recorded.empty()) expected.push_back(row.recorded);
            QTRY_COMPARE_WITH_TIMEOUT(calls(b), expected, 10000);
        }
        // The image's call is left out for good, not late.
        QTest::qWait(300);
        QCOMPARE(calls(b), expected);
        b.view->hook().stop();

        const int browserCount = m_pages.requestCount();
        QTemporaryDir dir;
        const auto [status, err] = replay(b, dir);
        QVERIFY2(status == 0, qPrintable(err));
        const auto all = m_pages.requests();
        QCOMPARE(int(all.size()), browserCount + 5);
        for (size_t i = size_t(browserCount); i < all.size(); ++i) {
            const ReceivedRequest& sent = all[i];
            // The model writes a blank of a query as "+", a browser as "%20".
            auto plus = [](std::string t) {
                for (size_t at; (at = t.find("%20")) != std::string::npos;) t.replace(at, 3, "+");
                return t;
            };
            const auto original = std::find_if(all.begin(), all.end(), [&](const auto& r) {
                return r.method == sent.method && plus(r.target) == sent.target && &r != &sent;
            });
            QVERIFY2(original != all.end(), sent.raw.c_str());
            for (const char* name : {"X-CSRF-Token", "Authorization", "X-Mode"})
                QCOMPARE(sent.header(name), original->header(name));
            if (original->header("Content-Type").starts_with("multipart/")) {
                // FormData without a file replays as a form.
                QCOMPARE(sent.body, std::string("title=hi"));
            } else {
                // Every generated request names a type, as navigations always did.
                if (original->hasHeader("Content-Type"))
                    QCOMPARE(sent.header("Content-Type").substr(0, 16),
                             original->header("Content-Type").substr(0, 16));
                // A content block ends with its line end; JSON readers skip it.
                const std::string body = sent.header("Content-Type") == "application/json"
                                             ? sent.body.substr(0, sent.body.size() - 1)
                                             : sent.body;
                QCOMPARE(body, original->body);
            }
        }
    }

    // Streams cannot be replayed, and a page's forged report of a call the
    // browser never made is not a request: both are told below the list.
    void streamsAndForgedCallsAreToldNotRecorded() {
        BrowserFixture b;
        QVERIFY(b.type(pages("/calls")));
        b.view->beginRecording();
        b.view->hook().start();
        QCOMPARE(b.evaluate(QStringLiteral("calls.socket()")).toInt(), 1);
        QCOMPARE(b.evaluate(QStringLiteral("calls.forged()")).toInt(), 1);
        const QString host = QString::fromStdString(pagesHost());
        QTRY_COMPARE_WITH_TIMEOUT(
            b.view->notRecordedNotice()->text(),
            QStringLiteral("not recorded: WebSocket ws://%1/live\n"
                           "not recorded: a request the browser did not send http://%1/api/forged")
                .arg(host),
            10000);
        QVERIFY(b.view->notRecordedNotice()->isVisible());
        QCOMPARE(calls(b), std::vector<std::string>{});
    }

    void imagesStyleSheetsAndScriptsAreNotRecordedButTheFetchIs() {
        BrowserFixture b;
        b.view->hook().start();
        QVERIFY(b.type(pages("/assets")));
        // Everything the page loads has reached the server before counting.
        QTRY_VERIFY_WITH_TIMEOUT(served("/api?x=1") && served("/a.png") && served("/b.gif") &&
                                     served("/s.css") && served("/j.js"),
                                 10000);
        // A link to a new window opens in the recorder's view and is recorded.
        QCOMPARE(b.evaluate("document.getElementById('w').click(); 1").toInt(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(served("/popup") && b.recorded().size() == 3, 10000);
        // The popup's own load may end after typing starts and stand for this one.
        QVERIFY(b.type(pages("/after")));
        QTRY_COMPARE_WITH_TIMEOUT(
            b.recorded(),
            (std::vector<std::string>{
                "GET http://" + pagesHost() + "/assets  [text/html]",
                "POST http://" + pagesHost() +
                    "/api?x=1 $content=<<VELK_BODY_END\r\na=1\r\nVELK_BODY_END "
                    "[text/plain;charset=UTF-8]",
                "GET http://" + pagesHost() + "/popup  [text/html]",
                "GET http://" + pagesHost() + "/after  [text/html]"}),
            10000);
    }

    void aFramesNavigationIsRecorded() {
        BrowserFixture b;
        b.view->hook().start();
        QVERIFY(b.type(pages("/framed")));
        QTRY_COMPARE_WITH_TIMEOUT(
            b.recorded(),
            (std::vector<std::string>{"GET http://" + pagesHost() + "/framed  [text/html]",
                                      "GET http://" + pagesHost() + "/inner f=1 [text/html]"}),
            10000);
    }

    void aFormSubmittedByScriptIsRecordedWithTheBodyAsSent() {
        BrowserFixture b;
        QVERIFY(b.type(pages("/scripted")));
        b.view->hook().start();
        const int before = m_pages.requestCount();
        QVERIFY(b.navigateBy("document.getElementById('f').submit()"));
        QVERIFY(m_pages.waitForRequests(before + 1, 10000));
        std::string body;
        for (const auto& r : m_pages.requests())
            if (r.method == "POST") body = r.body;
        QCOMPARE(body, std::string(
                           "token=a%26b+c&note=line1%0D%0Aline2+%28x%29%21&user=J%C3%A9r%C3%B4me"));
        // Stored decoded; the model writes its own encoding of the same bytes.
        QTRY_COMPARE_WITH_TIMEOUT(
            b.recorded(),
            (std::vector<std::string>{"POST http://" + pagesHost() +
                                      "/took token=a%26b+c&note=line1%0d%0aline2+%28x%29%21&"
                                      "user=J%c3%a9r%c3%b4me [application/x-www-form-urlencoded]"}),
            10000);
    }

    void capitalSchemesAreRecordedAboutBlankAndFilesAreNot() {
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("local.html")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<html><body>local</body></html>");
        file.close();
        BrowserFixture b;
        b.view->hook().start();
        QVERIFY(b.type(QStringLiteral("about:blank")));
        QVERIFY(b.type(QUrl::fromLocalFile(file.fileName()).toString()));
        QVERIFY(b.type(QStringLiteral("HTTP://127.0.0.1:%1/products").arg(m_demo.port())));
        QTRY_COMPARE_WITH_TIMEOUT(
            b.recorded(),
            (std::vector<std::string>{"GET http://" + demoHost() + "/products  [text/html]"}),
            10000);
    }

    void anHttpsPageIsRecordedAsSecure() {
        TestHttpServer tls(TestHttpServer::Options{true});
        tls.setHandler([](const ReceivedRequest&, Responder& r) {
            r.respond(200, "<html><body>secure</body></html>", kHtml);
        });
        BrowserFixture b;
        // This test's own server: its self-signed certificate is taken here only.
        connect(b.page(), &QWebEnginePage::certificateError,
                [](QWebEngineCertificateError error) { error.acceptCertificate(); });
        b.view->hook().start();
        QVERIFY(b.type(QStringLiteral("https://127.0.0.1:%1/secure?s=1").arg(tls.port())));
        QTRY_COMPARE_WITH_TIMEOUT(
            b.recorded(),
            (std::vector<std::string>{"GET https://127.0.0.1:" + std::to_string(tls.port()) +
                                      "/secure s=1 [text/html]"}),
            10000);
        QVERIFY(tls.requestCount() >= 1);
    }

    // The user's whole road: record the shop, mark the login's token as taken
    // from the form the server sent, save, and replay with velkrun.
    void aRecordedShopVisitReplaysWithoutErrors() {
        BrowserFixture b;
        b.view->hook().start();
        QVERIFY(b.type(demo("/login")));
        QVERIFY(
            b.navigateBy("document.querySelector('input[name=user]').value = 'rec';"
                         "document.querySelector('input[name=password]').value = 'secret';"
                         "document.querySelector('button[type=submit]').click()"));
        QVERIFY(b.navigateBy("document.querySelector('p a[href=\"/products\"]').click()"));
        QVERIFY(b.navigateBy("document.querySelector('a[href^=\"/product?id=\"]').click()"));
        QTRY_COMPARE_WITH_TIMEOUT(b.recorded().size(), size_t(4), 10000);
        b.view->hook().stop();

        scenario::CScenario& scenario = b.document.scenario();
        {
            std::lock_guard<scenario::CRequestsContainer> lock(scenario.requests());
            scenario::CRequest* login = scenario.requests().flattened()[1];
            QCOMPARE(login->getMethod(), 2);
            scenario::CReqParam* token = login->findParam("token");
            QVERIFY(token && token->count() == 1);
            // The editor's "hidden parameter" choice: the value comes from the
            // previous response's form field of that name.
            token->get(0)->setKind(scenario::CReqParamFunction::kHiddenParameter);
            token->get(0)->setText("token");
            for (const scenario::CRequest* r : scenario.requests().flattened())
                scenario.run().mainSequence.push_back(r->getName());
        }
        QTemporaryDir dir;
        scenario.run().clients = 2;
        scenario.run().requestsPerUser = 1;
        scenario.run().cycling = false;
        scenario.run().useStartDelay = false;
        scenario.run().useReportDirectory = true;
        scenario.run().reportDirectory = dir.path().toStdString();
        scenario.run().useMainSequence = true;
        const QString path = dir.filePath(QStringLiteral("recorded.vts"));
        const Status saved = scenario::saveScenarioFile(scenario, path.toStdString());
        QVERIFY2(saved.isOk(), saved.message().c_str());

        QProcess velkrun;
        velkrun.start(QString::fromUtf8(VELKRUN_PATH),
                      {QStringLiteral("--quiet"), QStringLiteral("--report"), path});
        QVERIFY(velkrun.waitForFinished(120000));
        const QString out = QString::fromUtf8(velkrun.readAllStandardOutput());
        const QString err = QString::fromUtf8(velkrun.readAllStandardError());
        QVERIFY2(velkrun.exitCode() == 0, qPrintable(err));
        // Eight requests and the two redirects after the logins.
        QVERIFY2(err.contains(QStringLiteral("velkrun: 10 HTTP requests sent (")), qPrintable(err));
        // Both shoppers' logins were accepted (a refused one answers 200).
        QVERIFY2(out.contains(QStringLiteral("302\t2\n")), qPrintable(out));
    }

private:
    // "METHOD http://server/uri name=value&... [content type]" per request.
    static std::vector<std::string> calls(BrowserFixture& b) {
        std::vector<std::string> out;
        auto& requests = b.document.scenario().requests();
        std::lock_guard<scenario::CRequestsContainer> lock(requests);
        for (const scenario::CRequest* r : requests.flattened()) {
            std::string line(scenario::CRequest::methodName(r->getMethod()));
            line += " http://" + r->getServer() + "/" + r->getUri() + " ";
            for (int32_t i = 0; i < r->paramCount(); ++i)
                line += (i ? "&" : "") + r->getParam(i)->getName() + "=" +
                        r->getParam(i)->buildValue(false, '&');
            out.push_back(line + " [" + r->getContentType() + "]");
        }
        // The page itself was typed before recording started.
        return out;
    }

    // Saves the recording with every request in the test sequence and plays
    // it once with velkrun: its exit status and standard error.
    std::pair<int, QString> replay(BrowserFixture& b, QTemporaryDir& dir) {
        scenario::CScenario& scenario = b.document.scenario();
        {
            std::lock_guard<scenario::CRequestsContainer> lock(scenario.requests());
            for (const scenario::CRequest* r : scenario.requests().flattened())
                scenario.run().mainSequence.push_back(r->getName());
        }
        scenario.run().clients = 1;
        scenario.run().requestsPerUser = 1;
        scenario.run().cycling = false;
        scenario.run().useStartDelay = false;
        scenario.run().useReportDirectory = true;
        scenario.run().reportDirectory = dir.path().toStdString();
        scenario.run().useMainSequence = true;
        const QString path = dir.filePath(QStringLiteral("recorded.vts"));
        if (const Status saved = scenario::saveScenarioFile(scenario, path.toStdString()); !saved)
            return {-1, QString::fromStdString(saved.message())};
        QProcess velkrun;
        velkrun.setWorkingDirectory(dir.path());
        velkrun.start(QString::fromUtf8(VELKRUN_PATH),
                      {QStringLiteral("--quiet"), QStringLiteral("--report"), path});
        if (!velkrun.waitForFinished(120000)) return {-1, QStringLiteral("velkrun hangs")};
        return {velkrun.exitCode(), QString::fromUtf8(velkrun.readAllStandardError())};
    }

    QString demo(const char* path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_demo.port()).arg(QLatin1String(path));
    }
    QString pages(const char* path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_pages.port()).arg(QLatin1String(path));
    }
    std::string demoHost() const { return "127.0.0.1:" + std::to_string(m_demo.port()); }
    std::string pagesHost() const { return "127.0.0.1:" + std::to_string(m_pages.port()); }
    bool served(const std::string& target) const {
        for (const auto& r : m_pages.requests())
            if (r.target == target) return true;
        return false;
    }

    QTemporaryDir m_config;
    velk::demo::DemoServer m_demo;
    TestHttpServer m_pages;
};

}  // namespace velk::recorder::test

QTEST_MAIN(velk::recorder::test::RecorderCaptureTest)
#include "recorder_capture_test.moc"
