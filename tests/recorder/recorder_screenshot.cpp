// Renders the recorder page after recording a short visit to the demo shop,
// into the PNG file named on the command line (the README's picture); with
// "spa", after a sign-in on the single-page test application whose script
// requests are recorded and which then opens a WebSocket.
//   QT_QPA_PLATFORM=offscreen recorder_screenshot docs/screenshots/recorder.png
//   QT_QPA_PLATFORM=offscreen recorder_screenshot spa.png spa
#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QWebEnginePage>
#include <cstdio>

#include "app/scenario/scenario_document.h"
#include "demo_server.h"
#include "gui/recorder/recorder_browser.h"
#include "gui/recorder/recorder_page.h"
#include "support/spa_server.h"

namespace {

// Runs script (or loads url) and waits, at most 30 s, for the page to load.
bool step(velk::recorder::RecorderBrowser* browser, const QString& script, const QUrl& url = {}) {
    QEventLoop loop;
    bool ok = false;
    QObject::connect(browser, &QWebEngineView::loadFinished, &loop, [&](bool loaded) {
        ok = loaded;
        loop.quit();
    });
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    if (url.isValid())
        browser->setUrl(url);
    else
        browser->page()->runJavaScript(script);
    loop.exec();
    return ok;
}

void settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool spa = argc == 3 && QLatin1String(argv[2]) == QLatin1String("spa");
    if (argc != 2 && !spa) {
        std::fprintf(stderr, "usage: recorder_screenshot OUT.png [spa]\n");
        return 2;
    }
    velk::demo::DemoServer server;
    server.start(0);
    velk::scenario::ScenarioDocument document;
    document.newDocument();
    velk::recorder::RecorderPage view(document);
    view.resize(765, 550);
    view.show();
    view.reattach(true);
    view.hook().start();
    auto* browser = view.browser();
    if (spa) {
        velk::test::SpaServer site;
        view.beginRecording();
        if (!step(browser, {}, QUrl(QString::fromStdString(site.baseUrl() + "/")))) {
            std::fprintf(stderr, "recorder_screenshot: the single-page application did not load\n");
            return 1;
        }
        browser->page()->runJavaScript(
            "document.getElementById('user').value = 'ann';"
            "document.getElementById('password').value = 'secret';"
            "document.querySelector('#signin button').click();"
            "setTimeout(() => new WebSocket('ws://' + location.host + '/live'), 500)");
        settle(2500);
        return view.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
    }
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(server.port());
    const bool ok = step(browser, {}, QUrl(base + QStringLiteral("/login"))) &&
                    step(browser,
                         "document.querySelector('input[name=user]').value = 'shopper';"
                         "document.querySelector('input[name=password]').value = 'secret';"
                         "document.querySelector('button[type=submit]').click()") &&
                    step(browser, "document.querySelector('p a[href=\"/products\"]').click()") &&
                    step(browser, {}, QUrl(base + QStringLiteral("/search?q=lamp")));
    if (!ok) {
        std::fprintf(stderr, "recorder_screenshot: the demo shop did not load\n");
        return 1;
    }
    settle(1500);
    if (!view.grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "recorder_screenshot: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
