// The recorder page and the recording commands through their real widgets:
// the address box, history buttons, the list with Delete and Clear, the
// split, and Start/Stop Recording with New and Open.
#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QSplitter>
#include <QSplitterHandle>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include "app/recorder/request_list_rows.h"
#include "browser_fixture.h"
#include "gui/recorder/capture_script.h"
#include "gui/recorder/proposals_dialog.h"
#include "gui/recorder/recorder_controller.h"
#include "gui/shell/main_window.h"
#include "support/test_http_server.h"

namespace velk::recorder::test {

using shell::MainWindow;

namespace {

QPushButton* button(QWidget* parent, const QString& text) {
    for (auto* b : parent->findChildren<QPushButton*>())
        if (b->text() == text) return b;
    return nullptr;
}

QToolButton* toolButton(QWidget* parent, const QString& toolTip) {
    for (auto* b : parent->findChildren<QToolButton*>())
        if (b->toolTip() == toolTip) return b;
    return nullptr;
}

// Answers the next message box with the given button.
void answerNextQuestion(QMessageBox::StandardButton answer, QString* text) {
    QTimer::singleShot(0, [answer, text] {
        for (int i = 0; i < 100; ++i) {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                *text = box->text();
                box->button(answer)->click();
                return;
            }
            QTest::qWait(20);
        }
    });
}

}  // namespace

class RecorderPageTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY(m_config.isValid());
        qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
        m_server.setHandler([](const velk::test::ReceivedRequest& r, velk::test::Responder& out) {
            out.respond(200, "<html><body>" + r.target + "</body></html>",
                        "Content-Type: text/html\r\n");
        });
    }

    // Only the capture script, which alone knows the run's marker, reports forms.
    void formReportsNeedTheMarkerAndWellFormedJson() {
        const QString marker = newCaptureMarker();
        QVERIFY(marker != newCaptureMarker());
        QVERIFY(marker.size() >= 32);
        const auto good = readFormReport(
            marker + "{\"url\":\"http://h/login?a=1#top\",\"body\":\"a=1&b=%41\"}", marker);
        QVERIFY(good.has_value());
        QCOMPARE(good->url, QStringLiteral("http://h/login?a=1"));
        QCOMPARE(good->body, QStringLiteral("a=1&b=%41"));
        const QString forged[] = {
            QStringLiteral("velk-capture-0000:{\"url\":\"http://h/\",\"body\":\"x=1\"}"),
            QStringLiteral("{\"url\":\"http://h/\",\"body\":\"x=1\"}"),
            marker + QStringLiteral("{\"url\":\"http://h/\",\"body\":1}"),
            marker + QStringLiteral("{\"url\":\"http://h/\"}"),
            marker + QStringLiteral("[\"http://h/\",\"x=1\"]"),
            marker + QStringLiteral("{\"url\":\"http://h/\",\"body\":\"x=1\""),
            marker + QStringLiteral("{\"url\":\"http://h/\",\"body\":\"") +
                QString(5 * 1024 * 1024, QLatin1Char('a')) + QStringLiteral("\"}"),
        };
        for (const QString& message : forged)
            QVERIFY2(!readFormReport(message, marker), qPrintable(message.left(80)));
        QVERIFY(!readFormReport(QStringLiteral("anything"), QString()));
    }

    void goBackAndForward() {
        BrowserFixture b;
        QToolButton* back = toolButton(b.view.get(), QStringLiteral("Back"));
        QToolButton* forward = toolButton(b.view.get(), QStringLiteral("Forward"));
        QVERIFY(back && forward);
        QVERIFY(b.type(url("/one")));
        QVERIFY(b.type(url("/two")));
        QTRY_VERIFY_WITH_TIMEOUT(back->isEnabled(), 10000);
        QVERIFY(!forward->isEnabled());
        QSignalSpy loaded(b.view->browser(), &QWebEngineView::loadFinished);
        QTest::mouseClick(back, Qt::LeftButton);
        QVERIFY(loaded.wait(kLoadTimeoutMs));
        QTRY_VERIFY_WITH_TIMEOUT(forward->isEnabled(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(b.view->addressBox()->text(), url("/one"), 10000);
        // An empty address shows an empty page.
        QVERIFY(b.type(QString()));
        QCOMPARE(b.view->browser()->url(), QUrl(QStringLiteral("about:blank")));
        QVERIFY(b.view->addressBox()->maxLength() == 1024);
    }

    void newCapturesAreListedAndTheNewestIsShown() {
        BrowserFixture b;
        QTreeWidget* list = b.view->requestList();
        b.view->hook().start();
        for (int i = 0; i < 40; ++i)
            b.view->hook().onBeforeNavigate("http://h:81/p" + std::to_string(i) + "?a=1&b=%41", "",
                                            "");
        QTRY_COMPARE_WITH_TIMEOUT(list->topLevelItemCount(), 40, 10000);
        QTreeWidgetItem* last = list->topLevelItem(39);
        QCOMPARE(last->text(1), QStringLiteral("http://h:81/p39"));
        QCOMPARE(last->text(2), QStringLiteral("a=1&b=A"));
        QCOMPARE(last->text(3), QStringLiteral("0 sec"));
        QTRY_VERIFY_WITH_TIMEOUT(list->viewport()->rect().intersects(list->visualItemRect(last)),
                                 10000);
        QVERIFY(b.document.isModified());
        // Widths follow the list's width.
        const auto widths = requestColumnWidths(list->width());
        QCOMPARE(list->columnWidth(0), widths[0]);
        QCOMPARE(list->columnWidth(1), widths[1]);
        QCOMPARE(list->columnWidth(3), 50);
    }

    void deleteAndClearRemoveRequestsAndEmptyTheSequences() {
        BrowserFixture b;
        QTreeWidget* list = b.view->requestList();
        QPushButton* del = button(b.view.get(), QStringLiteral("&Delete"));
        QPushButton* clear = button(b.view.get(), QStringLiteral("C&lear"));
        QVERIFY(del && clear);
        QVERIFY(!del->isEnabled());
        QVERIFY(!clear->isEnabled());
        b.view->hook().start();
        for (const char* p : {"a", "b", "c", "d"})
            b.view->hook().onBeforeNavigate(std::string("http://h/") + p, "", "");
        QTRY_COMPARE_WITH_TIMEOUT(list->topLevelItemCount(), 4, 10000);
        b.view->hook().stop();
        QVERIFY(clear->isEnabled());
        QVERIFY(!del->isEnabled());
        b.document.scenario().run().mainSequence = {"req_1"};
        b.document.scenario().run().finalSequence = {"req_4"};
        b.document.setModified(false);

        list->topLevelItem(1)->setSelected(true);
        list->topLevelItem(2)->setSelected(true);
        QVERIFY(del->isEnabled());
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Delete);
        QCOMPARE(list->topLevelItemCount(), 2);
        QCOMPARE(list->topLevelItem(0)->text(1), QStringLiteral("http://h/a"));
        QCOMPARE(list->topLevelItem(1)->text(1), QStringLiteral("http://h/d"));
        // The row at the last removed one's place, or the last row.
        QVERIFY(list->topLevelItem(1)->isSelected());
        QCOMPARE(b.document.scenario().requests().count(), 2);
        QVERIFY(b.document.scenario().run().mainSequence.empty());
        QVERIFY(b.document.scenario().run().finalSequence.empty());
        QVERIFY(b.document.isModified());

        QTest::mouseClick(del, Qt::LeftButton);
        QCOMPARE(list->topLevelItemCount(), 1);
        QVERIFY(list->topLevelItem(0)->isSelected());

        QString asked;
        answerNextQuestion(QMessageBox::No, &asked);
        QTest::mouseClick(clear, Qt::LeftButton);
        QCOMPARE(asked, QStringLiteral("Are you sure you want to clear the list of requests?"));
        QCOMPARE(list->topLevelItemCount(), 1);
        b.document.scenario().run().initialSequence = {"req_1"};
        answerNextQuestion(QMessageBox::Yes, &asked);
        QTest::mouseClick(clear, Qt::LeftButton);
        QCOMPARE(list->topLevelItemCount(), 0);
        QCOMPARE(b.document.scenario().requests().count(), 0);
        QVERIFY(b.document.scenario().run().initialSequence.empty());
        QVERIFY(!clear->isEnabled());
        QVERIFY(!del->isEnabled());
    }

    void theSplitKeepsItsLimitsAndIsRemembered() {
        QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                           QStringLiteral("Orvantis"), QStringLiteral("VELK"));
        settings.remove(QStringLiteral("Layout/Recorder/LastSplit"));
        settings.sync();
        int dragged = 0;
        {
            BrowserFixture b;
            QSplitter* split = b.view->splitter();
            QTRY_VERIFY_WITH_TIMEOUT(split->sizes().value(1) > 0, 5000);
            // Dragging far up or down stops at the limits.
            QSplitterHandle* handle = split->handle(1);
            const QPoint middle = handle->rect().center();
            QTest::mousePress(handle, Qt::LeftButton, {}, middle);
            QTest::mouseMove(handle, middle - QPoint(0, 2000));
            QTest::mouseRelease(handle, Qt::LeftButton, {}, middle - QPoint(0, 2000));
            QVERIFY(split->sizes().value(0) >= RecorderPage::kMinBrowserHeight);
            QTest::mousePress(handle, Qt::LeftButton, {}, middle);
            QTest::mouseMove(handle, middle + QPoint(0, 2000));
            QTest::mouseRelease(handle, Qt::LeftButton, {}, middle + QPoint(0, 2000));
            QVERIFY(split->sizes().value(1) >= RecorderPage::kMinListHeight);
            dragged = split->sizes().value(0);
        }
        settings.sync();
        QCOMPARE(settings.value(QStringLiteral("Layout/Recorder/LastSplit")).toInt(), dragged);
        // The file also holds the proxy password.
        QCOMPARE(QFileInfo(settings.fileName()).permissions() &
                     (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup |
                      QFileDevice::WriteOther),
                 QFileDevice::Permissions());
        {
            BrowserFixture b;
            QTRY_COMPARE_WITH_TIMEOUT(b.view->splitter()->sizes().value(0), dragged, 5000);
        }
        settings.setValue(QStringLiteral("Layout/Recorder/LastSplit"), QStringLiteral("tall"));
        settings.sync();
        {
            BrowserFixture b;
            QTRY_VERIFY_WITH_TIMEOUT(b.view->splitter()->sizes().value(1) > 0, 5000);
            QVERIFY(b.view->splitter()->sizes().value(0) != dragged);
        }
    }

    void startStopNewAndOpen() {
        scenario::ScenarioDocument document;
        document.newDocument();
        MainWindow frame;
        auto* view = new RecorderPage(document);
        frame.installPage(MainWindow::kRecorderPage, view);
        RecorderController recorder(frame, *view);
        frame.showPage(MainWindow::kEditorPage);
        frame.show();
        QAction* start = frame.action(MainWindow::kStartRecording);
        QAction* stop = frame.action(MainWindow::kStopRecording);
        QSignalSpy changed(&recorder, &RecorderController::recordingChanged);
        QVERIFY(start->isEnabled() && !stop->isEnabled());

        start->trigger();
        QVERIFY(recorder.isRecording() && view->hook().isRecording());
        QCOMPARE(frame.shownPage(), int(MainWindow::kRecorderPage));
        QVERIFY(!start->isEnabled() && stop->isEnabled());
        QCOMPARE(changed.count(), 1);
        view->hook().onBeforeNavigate("http://h/x", "", "");
        QCOMPARE(document.scenario().requests().count(), 1);

        stop->trigger();
        QVERIFY(!recorder.isRecording() && !view->hook().isRecording());
        QCOMPARE(frame.shownPage(), int(MainWindow::kEditorPage));
        QCOMPARE(changed.count(), 2);

        // Stopped while a test runs: the page stays.
        recorder.setTestRunning(true);
        start->trigger();
        frame.showPage(MainWindow::kRunnerPage);
        stop->trigger();
        QCOMPARE(frame.shownPage(), int(MainWindow::kRunnerPage));
        recorder.setTestRunning(false);

        // A new scenario: recording stops, the browser is blanked, numbers
        // start again at 1 and the recorder is shown.
        start->trigger();
        QSignalSpy loaded(view->browser(), &QWebEngineView::loadFinished);
        document.newDocument();
        recorder.onDocumentReplaced();
        QVERIFY(!recorder.isRecording() && !view->hook().isRecording());
        QVERIFY(start->isEnabled() && !stop->isEnabled());
        QCOMPARE(frame.shownPage(), int(MainWindow::kRecorderPage));
        QCOMPARE(view->browser()->url(), QUrl(QStringLiteral("about:blank")));
        start->trigger();
        view->hook().onBeforeNavigate("http://h/new", "", "");
        {
            std::lock_guard<scenario::CRequestsContainer> lock(document.scenario().requests());
            QCOMPARE(document.scenario().requests().flattened().at(0)->getId(), 1);
        }
        QTRY_COMPARE_WITH_TIMEOUT(view->requestList()->topLevelItemCount(), 1, 10000);

        // An opened scenario: recording stops, the editor is shown, and the
        // next recording goes into the opened scenario's requests.
        QTemporaryDir dir;
        const std::string path = dir.filePath(QStringLiteral("s.vts")).toStdString();
        QVERIFY(document.saveAs(path).isOk());
        QVERIFY(document.open(path).isOk());
        recorder.onDocumentReplaced();
        QVERIFY(!recorder.isRecording());
        QCOMPARE(frame.shownPage(), int(MainWindow::kEditorPage));
        QVERIFY(!view->hook().onBeforeNavigate("http://h/after", "", ""));
        start->trigger();
        QVERIFY(view->hook().onBeforeNavigate("http://h/opened", "", ""));
        QCOMPARE(document.scenario().requests().count(), 2);
    }

    // A page with more hidden fields than the recorder reads: the page's
    // script stops at the core's limit, and the page says so.
    void aPageBeyondTheHiddenFieldLimitSaysSo() {
        velk::test::TestHttpServer many;
        many.setHandler([](const velk::test::ReceivedRequest&, velk::test::Responder& out) {
            std::string body = "<html><body><form action=/next method=post>";
            for (int i = 0; i < kMaxPageItems + 50; ++i)
                body += "<input type=hidden name=f" + std::to_string(i) + " value=v>";
            out.respond(200, body + "</form></body></html>", "Content-Type: text/html\r\n");
        });
        BrowserFixture b;
        b.view->hook().start();
        QVERIFY(b.type(QStringLiteral("http://127.0.0.1:%1/form").arg(many.port())));
        const QString limit = QString::number(kMaxPageItems);
        const auto told = [&] {
            for (const QLabel* label : b.view->findChildren<QLabel*>())
                if (label->isVisible() &&
                    label->text().contains(QStringLiteral("more than ") + limit))
                    return true;
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(told(), kLoadTimeoutMs);
        QVERIFY(captureScriptSource(QStringLiteral("m:"))
                    .contains(QStringLiteral("const max = ") + limit + QLatin1Char(';')));
    }

    // A recorded value of a hundred kilobytes: its cell shows its start, the
    // tooltip more, and the column stays narrow.
    void aLongRecordedValueIsElidedInTheProposals() {
        Proposal p;
        p.requestName = "login";
        p.parameter = "state";
        p.recordedValue = std::string(100 * 1024, 'x');
        p.replacement = "$Hidden(state)";
        ProposalsDialog dialog({p}, 0, false, true);
        dialog.show();
        QTableWidgetItem* value = dialog.table()->item(0, 2);
        QVERIFY(value->text().size() <= 121);
        QVERIFY(value->toolTip().startsWith(QString(100, QLatin1Char('x'))));
        QVERIFY(value->toolTip().contains(QStringLiteral("102400 characters")));
        QVERIFY(dialog.table()->columnWidth(2) < dialog.width());
        QVERIFY(dialog.table()->columnWidth(3) > 0);
    }

private:
    QString url(const char* path) const {
        return QStringLiteral("http://127.0.0.1:%1%2")
            .arg(m_server.port())
            .arg(QLatin1String(path));
    }

    QTemporaryDir m_config;
    velk::test::TestHttpServer m_server;
};

}  // namespace velk::recorder::test

QTEST_MAIN(velk::recorder::test::RecorderPageTest)
#include "recorder_page_test.moc"
