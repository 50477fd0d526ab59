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

#include "app/recorder/capture_matcher.h"
#include "app/recorder/correlation.h"

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

private:
    class Page;
    void onNavigation(const QUrl& url, bool post);
    void onRedirect(const QUrl& url);
    // True when the message was the capture script's.
    bool onConsoleMessage(const QString& message);
    void release();

    RecorderHook& m_hook;
    CaptureMatcher m_matcher;
    QString m_marker;
    QElapsedTimer m_clock;
    QTimer m_retry;
};

}  // namespace velk::recorder
