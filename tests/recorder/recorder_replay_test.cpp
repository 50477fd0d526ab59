// The proof on the demo site through the real browser: a login recorded with
// its one-time token, the proposals applied when recording stops, saved and
// run by velkrun at 3 users x 2 iterations without an error; the same
// recording with the proposals refused fails its checks and --verify exits 6.
#include <QAction>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include "app/scenario/scenario_file.h"
#include "browser_fixture.h"
#include "common/build_tree.h"
#include "demo_server.h"
#include "gui/recorder/proposals_dialog.h"
#include "gui/recorder/recorder_controller.h"
#include "gui/recorder/verify_dialog.h"
#include "gui/shell/main_window.h"
#include "support/spa_server.h"
#include "support/test_http_server.h"

namespace velk::recorder::test {

using velk::test::ReceivedRequest;
using velk::test::Responder;
using velk::test::TestHttpServer;

class RecorderReplayTest : public QObject {
    Q_OBJECT private slots : void initTestCase() {
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
        m_demo.start(0);
    }

    void acceptedProposalsReplayEveryLogin() {
        BrowserFixture b;
        record(b);
        QStringList rows;
        answer(b, true, &rows);
        QCOMPARE(rows, QStringList{loginName(b) + QStringLiteral(" token $Hidden(token)")});
        {
            auto& requests = b.document.scenario().requests();
            std::lock_guard<scenario::CRequestsContainer> lock(requests);
            QVERIFY(requests.getRecordedChecks());
            const auto all = requests.flattened();
            QCOMPARE(all[1]->findParam("token")->buildValue(false, '&'),
                     std::string("$Hidden(token)"));
            QVERIFY(all[1]->getOutcome());
            QCOMPARE(all[1]->getOutcome()->location, std::string("/account"));
            QCOMPARE(all[1]->getOutcome()->title, std::string("Your account - VELK demo shop"));
            QCOMPARE(all[1]->getOutcome()->status, 200);
        }
        const QString path = save(b);
        const auto [status, out, err] = velkrun({QStringLiteral("--report"), path});
        QVERIFY2(status == 0, qPrintable(err));
        // Three requests and a redirect per iteration, and every login
        // redirected to the account page, whose title check passed.
        QVERIFY2(err.contains(QStringLiteral("velkrun: 24 HTTP requests sent (")), qPrintable(err));
        QVERIFY2(out.contains(QStringLiteral("302\t6\n")), qPrintable(out));
        const auto verified = velkrun({QStringLiteral("--verify"), path});
        QVERIFY2(std::get<0>(verified) == 0, qPrintable(std::get<1>(verified)));
    }

    void refusedProposalsFailTheChecks() {
        BrowserFixture b;
        record(b);
        answer(b, false, nullptr);
        // Test > Verify Scenario in the desktop program marks the login.
        QString summary;
        QStringList marked;
        verifyScenario(b.view.get(), b.document.scenario(), [&](QDialog* d) {
            auto* dialog = static_cast<VerifyDialog*>(d);
            summary = dialog->summary()->text();
            for (int row = 0; row < dialog->table()->topLevelItemCount(); ++row) {
                QTreeWidgetItem* item = dialog->table()->topLevelItem(row);
                if (item->font(0).bold())
                    marked << item->text(0) + QLatin1Char(':') + item->text(1);
            }
            QTimer::singleShot(0, dialog, &QDialog::reject);
        });
        QVERIFY2(summary.startsWith(QStringLiteral("1 of 3 requests played differ")),
                 qPrintable(summary));
        QCOMPARE(marked, QStringList{loginName(b) + QStringLiteral(":redirect, title")});
        const QString path = save(b);
        const auto [status, out, err] = velkrun({QStringLiteral("--report"), path});
        // Every replayed login lands on the form again: a failed check each.
        QVERIFY2(err.contains(QStringLiteral("velkrun: 18 HTTP requests sent (")), qPrintable(err));
        QVERIFY2(err.contains(QStringLiteral(", 6 errors (6 failed checks)\n")), qPrintable(err));
        QVERIFY2(out.contains(QStringLiteral("Fail: 6")), qPrintable(out));
        const auto verified = velkrun({QStringLiteral("--verify"), path});
        QCOMPARE(std::get<0>(verified), 6);
        QVERIFY2(std::get<1>(verified).contains(QStringLiteral("! ") + loginName(b) + '\t'),
                 qPrintable(std::get<1>(verified)));
    }

    // A second framework: Flask-WTF's CSRF token in a hidden input, bound to
    // the session cookie, so a replayed recorded token is refused with 400.
    void aFlaskLoginReplaysWithTheProposals() {
        // Debian's packages are the system Python's, whatever else is on the path.
        const QString python = QStringLiteral("/usr/bin/python3");
        QProcess check;
        check.start(python, {QStringLiteral("-c"), QStringLiteral("import flask, flask_wtf")});
        if (!check.waitForFinished(30000) || check.exitCode() != 0)
            QSKIP("python3-flask and python3-flaskext.wtf are not installed");
        const QString portFile = m_dir.filePath(QStringLiteral("flask-port"));
        QProcess site;
        site.start(python, {QStringLiteral(VELK_FLASK_APP), portFile});
        QString port;
        for (int i = 0; i < 400 && port.isEmpty(); ++i) {
            QTest::qWait(25);
            QFile file(portFile);
            if (file.open(QIODevice::ReadOnly))
                port = QString::fromLatin1(file.readAll()).trimmed();
        }
        QVERIFY2(!port.isEmpty(), site.readAllStandardError().constData());
        const QString base = QStringLiteral("http://127.0.0.1:") + port;

        BrowserFixture b;
        b.view->beginRecording();
        b.view->hook().start();
        QVERIFY(b.type(base + QStringLiteral("/login")));
        QVERIFY(
            b.navigateBy("document.querySelector('input[name=user]').value = 'flask';"
                         "document.querySelector('input[name=password]').value = 'secret';"
                         "document.querySelector('button[type=submit]').click()"));
        QCOMPARE(b.view->browser()->url().path(), QStringLiteral("/account"));
        QTRY_COMPARE_WITH_TIMEOUT(b.recorded().size(), size_t(2), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(b.view->recordedPages().size(), size_t(2), 10000);
        b.view->hook().stop();
        QStringList rows;
        answer(b, true, &rows);
        QCOMPARE(rows,
                 QStringList{loginName(b) + QStringLiteral(" csrf_token $Hidden(csrf_token)")});

        const QString path = save(b);
        scenario::CScenario& scenario = b.document.scenario();
        scenario.run().clients = 2;
        QVERIFY(scenario::saveScenarioFile(scenario, path.toStdString()).isOk());
        const auto [status, out, err] = velkrun({QStringLiteral("--report"), path});
        site.kill();
        site.waitForFinished(10000);
        QVERIFY2(status == 0, qPrintable(err));
        // Each iteration: the form, the login and its redirect to the account.
        QVERIFY2(err.contains(QStringLiteral("velkrun: 12 HTTP requests sent (")), qPrintable(err));
        QVERIFY2(out.contains(QStringLiteral("302\t4\n")), qPrintable(out));
    }

    // A single-page sign-in recorded as a person does it: the page's script
    // posts JSON with the meta tag's token, then calls the API with the
    // bearer token of the answer.  With the proposals, every replayed sign-in
    // and API call of 2 users x 3 new-visitor iterations succeeds, as the
    // server counts; refused, the replay reports errors and --verify exits 6.
    void aSinglePageSignInReplaysEveryIterationWithTheProposals() {
        for (const bool accept : {true, false}) {
            velk::test::SpaServer spa;
            BrowserFixture b;
            b.view->beginRecording();
            b.view->hook().start();
            QVERIFY(b.type(QString::fromStdString(spa.baseUrl() + "/")));
            QCOMPARE(b.evaluate("document.getElementById('user').value = 'ann';"
                                "document.getElementById('password').value = 'secret';"
                                "document.querySelector('#signin button').click(); 1")
                         .toInt(),
                     1);
            QTRY_COMPARE_WITH_TIMEOUT(
                b.evaluate("document.getElementById('who').textContent").toString(),
                QStringLiteral("Signed in as ann"), 10000);
            QTRY_COMPARE_WITH_TIMEOUT(b.view->recordedScripts().size(), size_t(2), 10000);
            b.view->hook().stop();
            QCOMPARE(b.recorded().size(), size_t(3));
            QVERIFY(b.document.scenario().general().newVisitor);
            QStringList rows;
            answer(b, accept, &rows);
            // The meta tag's token and the answer's bearer token, nothing the user typed.
            QString me;
            {
                std::lock_guard<scenario::CRequestsContainer> lock(
                    b.document.scenario().requests());
                me = QString::fromStdString(
                    b.document.scenario().requests().flattened().at(2)->getName());
            }
            QCOMPARE(rows, (QStringList{loginName(b) + " header X-CSRF-Token $Meta(csrf-token)",
                                        me + " header Authorization $var(token)"}));

            scenario::CScenario& scenario = b.document.scenario();
            save(b);
            scenario.run().clients = 2;
            scenario.run().requestsPerUser = 3;
            const QString path = save(b, false);
            const int signIns = spa.signIns(), calls = spa.signedInCalls();
            const auto [status, out, err] = velkrun({QStringLiteral("--report"), path});
            if (accept) {
                QVERIFY2(status == 0, qPrintable(err + out));
                QCOMPARE(spa.signIns() - signIns, 6);
                QCOMPARE(spa.signedInCalls() - calls, 6);
                const auto verified = velkrun({QStringLiteral("--verify"), path});
                QVERIFY2(std::get<0>(verified) == 0, qPrintable(std::get<1>(verified)));
            } else {
                // Each iteration's sign-in (419) and API call (401) fail.
                QVERIFY2(err.contains(QStringLiteral(", 12 errors (12 HTTP errors)")),
                         qPrintable(err));
                QCOMPARE(spa.signIns() - signIns, 0);
                QCOMPARE(std::get<0>(velkrun({QStringLiteral("--verify"), path})), 6);
            }
        }
    }

    // File > Import HAR...: a visit saved by a browser becomes requests of the
    // scenario, offered with the same proposals; a file that is no HAR is
    // refused with the reason.
    void aHarFileImportsWithTheProposalsAndADamagedOneIsRefused() {
        const QString csrf = QStringLiteral("Zq3xT9mK2pL8vN4wR7yB"),
                      bearer = QStringLiteral("tK9w2Lm4Qx7Zp3Rv8Ny5");
        // One entry as a browser saves it: a header list holds name and value.
        auto entry = [](const char* type, const char* method, const char* path,
                        const QJsonArray& headers, const QString& sent, const char* mime,
                        const QString& text) {
            QJsonObject request{{"method", method},
                                {"url", QStringLiteral("http://127.0.0.1:9/") + path},
                                {"headers", headers}};
            if (!sent.isEmpty())
                request["postData"] = QJsonObject{{"mimeType", "application/json"}, {"text", sent}};
            return QJsonObject{
                {"startedDateTime", "2026-12-10T05:30:00.000Z"},
                {"_resourceType", type},
                {"request", request},
                {"response",
                 QJsonObject{{"status", 200},
                             {"headers", QJsonArray{}},
                             {"content", QJsonObject{{"mimeType", mime}, {"text", text}}}}}};
        };
        auto header = [](const char* name, const QString& value) {
            return QJsonArray{QJsonObject{{"name", name}, {"value", value}}};
        };
        const QJsonArray entries{
            entry("document", "GET", "", {}, {}, "text/html",
                  "<meta name=\"csrf-token\" content=\"" + csrf + "\">"),
            entry("fetch", "POST", "api/login", header("X-CSRF-Token", csrf), "{}",
                  "application/json", "{\"token\":\"" + bearer + "\"}"),
            entry("fetch", "GET", "api/me", header("Authorization", "Bearer " + bearer), {},
                  "application/json", "{}")};
        const QString har = QString::fromUtf8(
            QJsonDocument(QJsonObject{{"log", QJsonObject{{"version", "1.2"},
                                                          {"creator", QJsonObject{{"name", "t"}}},
                                                          {"entries", entries}}}})
                .toJson());
        const QString good = m_dir.filePath(QStringLiteral("visit.har"));
        const QString bad = m_dir.filePath(QStringLiteral("bad.har"));
        for (const auto& [path, text] :
             {std::pair{good, har}, std::pair{bad, QStringLiteral("GET /")}}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(text.toUtf8());
        }
        BrowserFixture b;
        QString refusal;
        auto connection = QObject::connect(b.view.get(), &RecorderPage::proposalsOffered,
                                           b.view.get(), [&](QDialog* d) {
                                               if (auto* box = qobject_cast<QMessageBox*>(d))
                                                   refusal = box->text();
                                               QTimer::singleShot(0, d, &QDialog::reject);
                                           });
        QVERIFY(!b.view->importHar(bad));
        QObject::disconnect(connection);
        QVERIFY2(refusal.contains(QStringLiteral("not a HAR file")), qPrintable(refusal));
        QCOMPARE(b.recorded().size(), size_t(0));

        QStringList rows;
        int offered = 0;
        connection = QObject::connect(
            b.view.get(), &RecorderPage::proposalsOffered, b.view.get(), [&](QDialog* d) {
                ++offered;
                auto* table = static_cast<ProposalsDialog*>(d)->table();
                for (int row = 0; row < table->rowCount(); ++row)
                    rows << table->item(row, 1)->text() + ' ' + table->item(row, 3)->text();
                QTimer::singleShot(0, d, &QDialog::accept);
            });
        QVERIFY(b.view->importHar(good));
        QObject::disconnect(connection);
        QCOMPARE(offered, 1);
        QCOMPARE(b.recorded().size(), size_t(3));
        QCOMPARE(rows, (QStringList{QStringLiteral("header X-CSRF-Token $Meta(csrf-token)"),
                                    QStringLiteral("header Authorization $var(token)")}));
    }

    // The recorder's texts and what it tells the user.
    void commandTextsAndThePostWithoutBodyNotice() {
        BrowserFixture b;
        shell::MainWindow frame;
        RecorderController controller(frame, *b.view);
        QAction* start = frame.action(shell::MainWindow::kStartRecording);
        QAction* stop = frame.action(shell::MainWindow::kStopRecording);
        QCOMPARE(start->statusTip(), QStringLiteral("Start recording"));
        QCOMPARE(start->toolTip(), QStringLiteral("Start Recording"));
        QCOMPARE(stop->statusTip(), QStringLiteral("Stop recording"));
        QCOMPARE(stop->toolTip(), QStringLiteral("Stop Recording"));
        QToolButton* stopButton = nullptr;
        for (auto* button : b.view->findChildren<QToolButton*>())
            if (button->toolTip() == QStringLiteral("Stop")) stopButton = button;
        QVERIFY(stopButton);
        QCOMPARE(stopButton->defaultAction()->statusTip(),
                 QStringLiteral("Stop navigation in the browser"));

        QVERIFY(!b.view->notice()->isVisibleTo(b.view.get()));
        emit b.view->browser()->postWithoutBody(QUrl(QStringLiteral("http://h/send")));
        QVERIFY(b.view->notice()->isVisibleTo(b.view.get()));
        QVERIFY2(b.view->notice()->text().contains(
                     QStringLiteral("The POST to http://h/send was recorded without its body")),
                 qPrintable(b.view->notice()->text()));
        b.view->beginRecording();
        QVERIFY(!b.view->notice()->isVisibleTo(b.view.get()));
    }

    // Links that open a new window open in the recorder's view and are recorded.
    void newWindowsOpenInTheViewAndAreRecorded() {
        BrowserFixture b;
        QVERIFY(b.type(demo("/")));
        b.view->hook().start();
        QVERIFY(
            b.navigateBy("document.body.insertAdjacentHTML('beforeend',"
                         "'<a id=\"nw\" target=\"_blank\" href=\"/products\">x</a>');"
                         "document.getElementById('nw').click()"));
        QCOMPARE(b.view->browser()->url().path(), QStringLiteral("/products"));
        QVERIFY(b.navigateBy("window.open('/login?from=popup')"));
        QCOMPARE(b.view->browser()->url().path(), QStringLiteral("/login"));
        const std::string host = "127.0.0.1:" + std::to_string(m_demo.port());
        QTRY_COMPARE_WITH_TIMEOUT(
            b.recorded(),
            (std::vector<std::string>{"GET http://" + host + "/products  [text/html]",
                                      "GET http://" + host + "/login from=popup [text/html]"}),
            10000);
    }

    // A multipart form with a chosen file is recorded as multipart, the file
    // field as a File function naming the file; the replay sends multipart.
    void aMultipartFormIsRecordedAsMultipart() {
        TestHttpServer server;
        server.setHandler([](const ReceivedRequest& request, Responder& r) {
            if (request.target == "/form")
                r.respond(200,
                          "<html><head><title>Upload</title></head><body>"
                          "<form method=post action=/up enctype=multipart/form-data>"
                          "<input name=title value='Q1 notes'><input type=file name=doc>"
                          "<button>Send</button></form></body></html>",
                          "Content-Type: text/html\r\n");
            else
                r.respond(200, "<html><head><title>Thanks</title></head></html>",
                          "Content-Type: text/html\r\n");
        });
        BrowserFixture b;
        b.view->beginRecording();
        b.view->hook().start();
        const QString base = QStringLiteral("http://127.0.0.1:%1").arg(server.port());
        QVERIFY(b.type(base + QStringLiteral("/form")));
        QVERIFY(
            b.navigateBy("const dt = new DataTransfer();"
                         "dt.items.add(new File(['abc'], 'notes.txt', {type: 'text/plain'}));"
                         "document.querySelector('input[type=file]').files = dt.files;"
                         "document.querySelector('button').click()"));
        const std::string host = "127.0.0.1:" + std::to_string(server.port());
        QTRY_COMPARE_WITH_TIMEOUT(
            b.recorded(),
            (std::vector<std::string>{"GET http://" + host + "/form  [text/html]",
                                      "POST http://" + host +
                                          "/up title=Q1 notes&doc=$File(notes.txt) "
                                          "[multipart/form-data]"}),
            10000);
        b.view->hook().stop();
        QVERIFY(b.view->notice()->isVisibleTo(b.view.get()));
        QVERIFY2(b.view->notice()->text().contains(QStringLiteral("(doc)")),
                 qPrintable(b.view->notice()->text()));

        scenario::CScenario& scenario = b.document.scenario();
        scenario.requests().setRecordedChecks(false);
        const QString path = save(b);
        const int before = server.requestCount();
        const auto verified = velkrun({QStringLiteral("--verify"), path});
        QVERIFY2(std::get<0>(verified) == 0,
                 qPrintable(std::get<1>(verified) + std::get<2>(verified)));
        const auto received = server.requests();
        // Verify plays both requests in each of its two iterations.
        QCOMPARE(int(received.size()), before + 4);
        const ReceivedRequest& up = received.back();
        QCOMPARE(up.method, std::string("POST"));
        QVERIFY2(up.header("content-type").starts_with("multipart/form-data; boundary="),
                 up.raw.c_str());
        QVERIFY2(up.body.find("name=\"title\"\r\n\r\nQ1 notes\r\n") != std::string::npos,
                 up.body.c_str());
        QVERIFY2(up.body.find("name=\"doc\"; filename=\"notes.txt\"") != std::string::npos,
                 up.body.c_str());
    }

private:
    static QString loginName(BrowserFixture& b) {
        auto& requests = b.document.scenario().requests();
        std::lock_guard<scenario::CRequestsContainer> lock(requests);
        return QString::fromStdString(requests.flattened().at(1)->getName());
    }

    // A visit: the login form, the login, the products page.
    void record(BrowserFixture& b) {
        b.view->beginRecording();
        b.view->hook().start();
        QVERIFY(b.type(demo("/login")));
        QVERIFY(
            b.navigateBy("document.querySelector('input[name=user]').value = 'rec';"
                         "document.querySelector('input[name=password]').value = 'secret';"
                         "document.querySelector('button[type=submit]').click()"));
        QVERIFY(b.navigateBy("document.querySelector('p a[href=\"/products\"]').click()"));
        QTRY_COMPARE_WITH_TIMEOUT(b.recorded().size(), size_t(3), 10000);
        // Each page's facts and status come with its load.
        QTRY_COMPARE_WITH_TIMEOUT(b.view->recordedPages().size(), size_t(3), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(b.view->recordedPages().back().second.status == 200, 10000);
        b.view->hook().stop();
    }

    // Answers the proposals dialog with OK or Cancel; rows gets its lines.
    void answer(BrowserFixture& b, bool ok, QStringList* rows) {
        int offered = 0;
        auto connection = QObject::connect(
            b.view.get(), &RecorderPage::proposalsOffered, b.view.get(), [&](QDialog* d) {
                ++offered;
                auto* dialog = static_cast<ProposalsDialog*>(d);
                QTableWidget* table = dialog->table();
                for (int row = 0; rows && row < table->rowCount(); ++row)
                    rows->append(table->item(row, 0)->text() + QLatin1Char(' ') +
                                 table->item(row, 1)->text() + QLatin1Char(' ') +
                                 table->item(row, 3)->text());
                const QString shot = qEnvironmentVariable("VELK_PROPOSALS_SCREENSHOT");
                QTimer::singleShot(200, dialog, [dialog, ok, shot] {
                    if (!shot.isEmpty()) dialog->grab().save(shot);
                    ok ? dialog->accept() : dialog->reject();
                });
            });
        b.view->offerProposals();
        QObject::disconnect(connection);
        QCOMPARE(offered, 1);
    }

    // With runDefaults, 3 users x 2 iterations.
    QString save(BrowserFixture& b, bool runDefaults = true) {
        scenario::CScenario& scenario = b.document.scenario();
        if (runDefaults) {
            scenario.run().clients = 3;
            scenario.run().requestsPerUser = 2;
        }
        scenario.run().cycling = false;
        scenario.run().useStartDelay = false;
        scenario.run().useReportDirectory = true;
        scenario.run().reportDirectory = m_dir.path().toStdString();
        const QString path = m_dir.filePath(QStringLiteral("recorded.vts"));
        if (const Status saved = scenario::saveScenarioFile(scenario, path.toStdString()); !saved)
            qWarning("%s", saved.message().c_str());
        return path;
    }

    std::tuple<int, QString, QString> velkrun(QStringList args) {
        QProcess process;
        args.prepend(QStringLiteral("--quiet"));
        process.start(QString::fromUtf8(VELKRUN_PATH), args);
        if (!process.waitForFinished(120000)) return {-1, {}, {}};
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }

    QString demo(const char* path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_demo.port()).arg(QLatin1String(path));
    }

    QTemporaryDir m_config, m_dir;
    velk::demo::DemoServer m_demo;
};

}  // namespace velk::recorder::test

QTEST_MAIN(velk::recorder::test::RecorderReplayTest)
#include "recorder_replay_test.moc"
