#include "gui/recorder/recorder_browser.h"

#include <QWebEngineLoadingInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <algorithm>

#include "app/recorder/recorder_hook.h"
#include "gui/recorder/capture_script.h"
#include "gui/recorder/navigation_interceptor.h"

namespace velk::recorder {

// The page, to hear the capture script's console messages and the redirects.
class RecorderBrowser::Page : public QWebEnginePage {
public:
    explicit Page(RecorderBrowser& view) : QWebEnginePage(&view), m_view(view) {}

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                  int line, const QString& source) override {
        if (!m_view.onConsoleMessage(message))
            QWebEnginePage::javaScriptConsoleMessage(level, message, line, source);
    }

    // A server's redirect is announced here just before its next hop reaches
    // the interceptor, which cannot tell it from the navigation itself.
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        if (type == NavigationTypeRedirect) m_view.onRedirect(url);
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    }

private:
    RecorderBrowser& m_view;
};

RecorderBrowser::RecorderBrowser(RecorderHook& hook, QWidget* parent)
    : QWebEngineView(parent), m_hook(hook), m_marker(newCaptureMarker()) {
    m_clock.start();
    auto* page = new Page(*this);
    setPage(page);

    QWebEngineScript script;
    script.setName(QStringLiteral("velk-capture"));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::ApplicationWorld);
    script.setRunsOnSubFrames(true);
    script.setSourceCode(captureScriptSource(m_marker));
    page->scripts().insert(script);

    // Before any page script: the page's fetch() and XMLHttpRequest are
    // wrapped in its own world, where its scripts call them.
    QWebEngineScript wrapper;
    wrapper.setName(QStringLiteral("velk-script-requests"));
    wrapper.setInjectionPoint(QWebEngineScript::DocumentCreation);
    wrapper.setWorldId(QWebEngineScript::MainWorld);
    wrapper.setRunsOnSubFrames(true);
    wrapper.setSourceCode(pageScriptSource());
    page->scripts().insert(wrapper);

    auto* interceptor = new NavigationInterceptor(page);
    connect(interceptor, &NavigationInterceptor::navigation, this, &RecorderBrowser::onNavigation);
    connect(interceptor, &NavigationInterceptor::scriptRequest, this,
            &RecorderBrowser::onScriptSeen);
    page->setUrlRequestInterceptor(interceptor);

    connect(page, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo& info) {
        if (info.status() == QWebEngineLoadingInfo::LoadSucceededStatus)
            emit pageStatus(info.url(), 200);
        else if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus &&
                 info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain)
            emit pageStatus(info.url(), info.errorCode());
    });

    // A link with target=_blank or window.open() opens here, in the same
    // view, so it is seen and recorded like any navigation.
    connect(page, &QWebEnginePage::newWindowRequested, this,
            [page](QWebEngineNewWindowRequest& request) {
                const QUrl url = request.requestedUrl();
                if (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"))
                    page->load(url);
            });

    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &RecorderBrowser::release);
    m_confirm.setSingleShot(true);
    connect(&m_confirm, &QTimer::timeout, this, &RecorderBrowser::confirmScripts);
}

RecorderBrowser::~RecorderBrowser() {
    // The interceptor is the page's child: stop it before either goes.
    page()->setUrlRequestInterceptor(nullptr);
}

void RecorderBrowser::dropPending() {
    m_matcher.clear();
    m_retry.stop();
    m_reported.clear();
    m_confirm.stop();
}

void RecorderBrowser::onScriptSeen(const QUrl& url, const QByteArray& method) {
    const int64_t now = m_clock.elapsed();
    while (!m_sent.empty() &&
           (m_sent.size() >= kMaxSent || now - m_sent.front().atMs > kSentLifeMs))
        m_sent.pop_front();
    m_sent.push_back({method.toUpper().toStdString(),
                      normalisedUrl(url.toString(QUrl::FullyEncoded)).toStdString(), now});
    confirmScripts();
}

void RecorderBrowser::onScriptReport(ScriptRequest request) {
    // Images, style sheets, fonts and scripts are left out, as for pages.
    if (isStaticAnswer(request)) return;
    m_reported.push_back({std::move(request), m_clock.elapsed()});
    if (m_reported.size() > kMaxSent) m_reported.pop_front();
    confirmScripts();
}

void RecorderBrowser::confirmScripts() {
    const int64_t now = m_clock.elapsed();
    // In the page's order: a report waiting for its request holds back those
    // after it, as their requests are recorded in order.
    while (!m_reported.empty()) {
        ScriptRequest& request = m_reported.front().request;
        auto sent = std::find_if(m_sent.begin(), m_sent.end(), [&](const Sent& s) {
            return s.method == request.method && s.url == request.url;
        });
        if (sent == m_sent.end()) {
            if (now - m_reported.front().atMs < kReportWaitMs) break;
            // The page said it sent what the browser never sent.
            emit notRecorded(tr("a request the browser did not send"),
                             QString::fromStdString(request.url));
            m_reported.pop_front();
            continue;
        }
        m_sent.erase(sent);
        if (m_scriptCount < kMaxScriptRequests && m_hook.onScriptRequest(request)) {
            if (++m_scriptCount == kMaxScriptRequests)
                emit notRecorded(tr("script requests past the first %1").arg(kMaxScriptRequests),
                                 QString::fromStdString(request.url));
            emit scriptRecorded(request);
        }
        m_reported.pop_front();
    }
    if (!m_reported.empty()) m_confirm.start(int(kReportWaitMs));
}

void RecorderBrowser::onNavigation(const QUrl& url, bool post) {
    m_matcher.addNavigation(normalisedUrl(url.toString(QUrl::FullyEncoded)).toStdString(), post,
                            m_clock.elapsed());
    release();
}

void RecorderBrowser::onRedirect(const QUrl& url) {
    m_matcher.addRedirect(normalisedUrl(url.toString(QUrl::FullyEncoded)).toStdString(),
                          m_clock.elapsed());
}

bool RecorderBrowser::onConsoleMessage(const QString& message) {
    if (auto script = readScriptReport(message, m_marker)) {
        if (!script->stream.isEmpty())
            emit notRecorded(script->stream, QString::fromStdString(script->request.url));
        else
            onScriptReport(std::move(script->request));
        return true;
    }
    const auto report = readFormReport(message, m_marker);
    if (!report) {
        auto facts = readPageReport(message, m_marker);
        if (!facts) return false;
        emit pageRead(*facts);
        return true;
    }
    std::vector<std::string> files;
    for (const QString& name : report->fileFields) files.push_back(name.toStdString());
    m_matcher.addSubmission(report->url.toStdString(), report->body.toStdString(),
                            m_clock.elapsed(), report->multipart, std::move(files));
    release();
    return true;
}

void RecorderBrowser::release() {
    for (const auto& ready : m_matcher.takeReady(m_clock.elapsed())) {
        const bool recorded = m_hook.onBeforeNavigate(ready.url, ready.postData, ready.headers,
                                                      ready.post, ready.fileFields);
        if (recorded && ready.bodyMissing)
            emit postWithoutBody(QUrl(QString::fromStdString(ready.url)));
        if (recorded && !ready.fileFields.empty()) {
            QStringList names;
            for (const auto& name : ready.fileFields) names << QString::fromStdString(name);
            emit filesRecorded(QUrl(QString::fromStdString(ready.url)), names);
        }
    }
    if (m_matcher.waiting()) m_retry.start(int(CaptureMatcher::kBodyWaitMs));
}

}  // namespace velk::recorder
