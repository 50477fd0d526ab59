#pragma once
// A recorder page on a fresh scenario, recording, with helpers that drive its
// real browser and read what it recorded.  Every wait is bounded.
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <memory>
#include <string>
#include <vector>

#include "app/scenario/scenario_document.h"
#include "gui/recorder/recorder_browser.h"
#include "gui/recorder/recorder_page.h"

// Failed comparisons of recorded requests print them.
namespace QTest {
template <>
inline char* toString(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += "\n      " + line;
    return qstrdup(text.c_str());
}
}  // namespace QTest

namespace velk::recorder::test {

constexpr int kLoadTimeoutMs = 30000;

class BrowserFixture {
public:
    BrowserFixture() {
        document.newDocument();
        view = std::make_unique<RecorderPage>(document);
        view->resize(765, 550);
        view->show();
    }

    QWebEnginePage* page() const { return view->browser()->page(); }

    // Types the address and presses Return; true once the page loaded.
    bool type(const QString& address) {
        QSignalSpy loaded(view->browser(), &QWebEngineView::loadFinished);
        view->addressBox()->setText(address);
        QTest::keyClick(view->addressBox(), Qt::Key_Return);
        return loaded.wait(kLoadTimeoutMs);
    }

    // Runs script in the page and waits for the navigation it makes.
    bool navigateBy(const QString& script) {
        QSignalSpy loaded(view->browser(), &QWebEngineView::loadFinished);
        page()->runJavaScript(script);
        return loaded.wait(kLoadTimeoutMs);
    }

    // The value of a script's result.
    QVariant evaluate(const QString& script) {
        QVariant result;
        bool done = false;
        page()->runJavaScript(script, [&](const QVariant& v) {
            result = v;
            done = true;
        });
        for (int i = 0; i < 300 && !done; ++i) QTest::qWait(50);
        return result;
    }

    // "GET http://server/uri a=1&b=2 [content type]" per request, in order.
    std::vector<std::string> recorded() const {
        std::vector<std::string> out;
        auto& requests = const_cast<scenario::ScenarioDocument&>(document).scenario().requests();
        std::lock_guard<scenario::CRequestsContainer> lock(requests);
        for (const scenario::CRequest* r : requests.flattened()) {
            std::string line = r->getMethod() == 2 ? "POST " : "GET ";
            line += r->getSecure() == 2 ? "https://" : r->getSecure() == 1 ? "http://" : "?://";
            line += r->getServer() + "/" + r->getUri();
            std::string data;
            for (int32_t i = 0; i < r->paramCount(); ++i)
                data += (i ? "&" : "") + r->getParam(i)->getName() + "=" +
                        r->getParam(i)->buildValue(false, '&');
            line += " " + data + " [" + r->getContentType() + "]";
            out.push_back(line);
        }
        return out;
    }

    scenario::ScenarioDocument document;
    std::unique_ptr<RecorderPage> view;
};

}  // namespace velk::recorder::test
