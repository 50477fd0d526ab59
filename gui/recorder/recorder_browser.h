#pragma once
// RecorderBrowser: the recorder page's browser.  Every navigation of its page and
// frames is fed to the recording hook before it leaves: the request
// interceptor gives the URL and method, the capture script the body of a
// submitted form (see capture_script.h), and the capture matcher joins the
// two.  A new window's page (target=_blank, window.open) opens in this view
// instead and is recorded like any other navigation.
//
// User-interface thread only.  The hook must outlive the view.
#include <QElapsedTimer>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <deque>

#include "app/recorder/capture_matcher.h"
#include "app/recorder/correlation.h"
#include "app/recorder/script_request.h"

namespace velk::recorder {

class RecorderHook;

class RecorderBrowser : public QWebEngineView {
    Q_OBJECT
public:
    explicit RecorderBrowser(RecorderHook& hook, QWidget* parent = nullptr);
    ~RecorderBrowser() override;

    // Forgets navigations still waiting for a form's body (recording stopped
    // or the document replaced).
    void dropPending();
    // A recording starts: the count of script requests starts again.
    void resetScriptCount() { m_scriptCount = 0; }

    // Script requests recorded per recording; past it they are not recorded
    // and the user is told once.
    static constexpr int kMaxScriptRequests = 2000;
    // How long a request the browser sent waits for the page's report of it,
    // and how many are kept.
    static constexpr int64_t kSentLifeMs = 120000;
    static constexpr size_t kMaxSent = 256;
    // How long a page's report waits for the browser's request.
    static constexpr int64_t kReportWaitMs = 2000;

signals:
    // A POST was recorded without its body: the page sent it in a way the
    // capture script could not see.
    void postWithoutBody(const QUrl& url);
    // A multipart form was recorded with file fields: only their file names
    // could be read from the page.
    void filesRecorded(const QUrl& url, const QStringList& fields);
    // The capture script read what the top frame's page gave the browser.
    void pageRead(const velk::recorder::PageFacts& facts);
    // The top frame finished loading with this HTTP status (200 when the
    // browser reported no HTTP error).
    void pageStatus(const QUrl& url, int status);
    // A fetch() or XMLHttpRequest call of the page became a request (it is
    // the container's last recorded one).
    void scriptRecorded(const velk::recorder::ScriptRequest& request);
    // Something the page did that the recording does not hold: what it was
    // ("WebSocket", "EventSource", ...) and its address.
    void notRecorded(const QString& what, const QString& url);

private:
    class Page;
    void onNavigation(const QUrl& url, bool post);
    void onRedirect(const QUrl& url);
    // True when the message was the capture script's.
    bool onConsoleMessage(const QString& message);
    void release();
    void onScriptSeen(const QUrl& url, const QByteArray& method);
    void onScriptReport(ScriptRequest request);
    // Records the reports the browser's requests confirm; drops those that
    // waited too long.
    void confirmScripts();

    struct Sent {
        std::string method, url;
        int64_t atMs;
    };
    struct Reported {
        ScriptRequest request;
        int64_t atMs;
    };

    RecorderHook& m_hook;
    CaptureMatcher m_matcher;
    QString m_marker;
    QElapsedTimer m_clock;
    QTimer m_retry;
    std::deque<Sent> m_sent;
    std::deque<Reported> m_reported;
    QTimer m_confirm;
    int m_scriptCount = 0;
};

}  // namespace velk::recorder
