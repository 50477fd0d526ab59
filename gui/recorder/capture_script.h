#pragma once
// The script the recorder puts into every frame of its browser, and the
// reading of what it reports.
//
// The capture script runs in the isolated application world, where page
// scripts cannot reach it: on each form submission's "formdata" event (which
// the browser fires with the very entries it will send, the pressed button
// included, for a click, requestSubmit() and form.submit() alike) it builds
// the urlencoded body as the browser encodes it and reports it, with the
// form's target URL, as a console message that starts with a random marker
// made for this run.  Pages cannot forge a report, as they never see the
// marker.  A "submit" event seen before tells which button submitted the
// form, for its formaction and formmethod overrides.
//
// The page's own fetch() and XMLHttpRequest calls, and the streams it opens,
// reach the capture script from a main-world wrapper (pageScriptSource) as
// DOM events; it reports them with the same marker.  A page can forge those
// events, so the browser only records calls its request interceptor saw.
//
// Once the top frame's page has loaded, the script also reports what the
// page gave the browser (title, hidden inputs, link and action parameters)
// with the same marker; see app/recorder/correlation.h.
//
// Plain functions; safe from any thread.
#include <QString>
#include <QStringList>
#include <optional>

#include "app/recorder/correlation.h"
#include "app/recorder/script_request.h"

namespace velk::recorder {

struct FormReport {
    QString url;             // the form's target, fragment removed, fully encoded
    QString body;            // urlencoded, a file field's value its file's name
    bool multipart = false;  // the form is sent as multipart/form-data
    QStringList fileFields;  // names of its file fields
};

// A fetch()/XMLHttpRequest call reported by the page, or a stream it opened.
struct ScriptReport {
    QString stream;  // "WebSocket" or "EventSource" (request.url its address); empty for a call
    ScriptRequest request;
};

// A fresh unguessable marker for one browser page.
QString newCaptureMarker();
// The application-world script, reporting with this marker.
QString captureScriptSource(const QString& marker);
// A console message of the capture script, or nothing for any other message
// (or one that is malformed or larger than the recorder accepts).
std::optional<FormReport> readFormReport(const QString& message, const QString& marker);
// A page report of the capture script, or nothing for any other message.
std::optional<PageFacts> readPageReport(const QString& message, const QString& marker);
// The main-world script that hands the page's script requests to the
// capture script (see capture_script.cpp).
QString pageScriptSource();
// A script request or stream the capture script passed on, or nothing.
std::optional<ScriptReport> readScriptReport(const QString& message, const QString& marker);
// Navigation URLs are compared in this form.
QString normalisedUrl(const QString& url);

}  // namespace velk::recorder
