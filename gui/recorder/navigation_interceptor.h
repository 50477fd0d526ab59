#pragma once
// NavigationInterceptor: watches the requests of one browser page and reports
// those that are navigations of the page or of one of its frames, with their
// URL and whether they are POSTs.  Images, style sheets, scripts, fonts,
// XHR/fetch calls and the like are not navigations; fetch() and
// XMLHttpRequest calls are told apart (scriptRequest), so that a page's
// report of one can be checked against what the browser really sent.  (The hops of a server's
// redirect come here as navigations; the page tells them apart.)
//
// Chromium may call interceptRequest on a thread of its own: navigation() is
// a signal, so receivers on the page's thread get it queued.
#include <QUrl>
#include <QWebEngineUrlRequestInterceptor>

namespace velk::recorder {

class NavigationInterceptor : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override;

signals:
    void navigation(const QUrl& url, bool post);
    void scriptRequest(const QUrl& url, const QByteArray& method);
};

}  // namespace velk::recorder
