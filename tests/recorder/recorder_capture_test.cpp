// The recorder's real browser against loopback servers: what each kind of
// navigation becomes, and what is never recorded.
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

    void imagesStyleSheetsScriptsAndFetchesAreNotNavigations() {
        BrowserFixture b;
        b.view->hook().start();
        QVERIFY(b.type(pages("/assets")));
        // Everything the page loads has reached the server before counting.
        QTRY_VERIFY_WITH_TIMEOUT(served("/api?x=1") && served("/a.png") && served("/b.gif") &&
                                     served("/s.css") && served("/j.js"),
                                 10000);
        // A link to a new window opens in the recorder's view and is recorded.
        QCOMPARE(b.evaluate("document.getElementById('w').click(); 1").toInt(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(served("/popup") && b.recorded().size() == 2, 10000);
        // The popup's own load may end after typing starts and stand for this one.
        QVERIFY(b.type(pages("/after")));
        QTRY_COMPARE_WITH_TIMEOUT(
            b.recorded(),
            (std::vector<std::string>{"GET http://" + pagesHost() + "/assets  [text/html]",
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
        std::string error;
        const QString path = dir.filePath(QStringLiteral("recorded.vts"));
        QVERIFY2(scenario::saveScenarioFile(scenario, path.toStdString(), error), error.c_str());

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
