#include "gui/recorder/capture_script.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QUrl>

namespace velk::recorder {
namespace {

// Bodies larger than this are not recorded (a form with a huge text area
// would otherwise be copied whole into the scenario).
constexpr qsizetype kMaxReport = 4 * 1024 * 1024;

// %MARKER% is replaced by the run's marker.  Encoding as the browser's
// urlencoded serializer: everything but letters, digits and *-._ is
// percent-encoded from UTF-8, blanks become "+", line breaks are CR LF and a
// lone surrogate becomes U+FFFD.  A file field sends its file's name.
constexpr const char* kCaptureScript = R"JS((function () {
  'use strict';
  const marker = '%MARKER%';
  const log = console.log.bind(console);
  const lone = /[\uD800-\uDBFF](?![\uDC00-\uDFFF])|(^|[^\uD800-\uDBFF])[\uDC00-\uDFFF]/g;
  function enc(s) {
    s = String(s).replace(lone, function (m, p) { return (p || '') + '\uFFFD'; });
    s = s.replace(/\r\n|\r|\n/g, '\r\n');
    return encodeURIComponent(s).replace(/[!'()~]/g, function (c) {
      return '%' + c.charCodeAt(0).toString(16).toUpperCase();
    }).replace(/%20/g, '+');
  }
  const submitters = new WeakMap();
  document.addEventListener('submit', function (e) {
    if (e.target instanceof HTMLFormElement) submitters.set(e.target, e.submitter || null);
  }, true);
  document.addEventListener('formdata', function (e) {
    try {
      const form = e.target;
      if (!(form instanceof HTMLFormElement)) return;
      const by = submitters.get(form) || null;
      submitters.delete(form);
      let action = form.action, method = form.method, enctype = form.enctype;
      if (by && by.hasAttribute('formaction')) action = by.formAction;
      if (by && by.hasAttribute('formmethod')) method = by.formMethod;
      if (by && by.hasAttribute('formenctype')) enctype = by.formEnctype;
      if (String(method).toLowerCase() !== 'post') return;
      const parts = [], files = [];
      for (const [name, value] of e.formData.entries()) {
        if (typeof value !== 'string') files.push(name);
        parts.push(enc(name) + '=' + enc(typeof value === 'string' ? value : value.name));
      }
      log(marker + JSON.stringify({ url: String(action), body: parts.join('&'),
                                    multipart: enctype === 'multipart/form-data',
                                    files: files }));
    } catch (err) { /* a page's odd form must not break its submission */ }
  }, true);
  // The page's own fetch() and XMLHttpRequest calls, handed over by the
  // main-world wrapper; only their own fields are passed on, and the
  // recorder keeps none that the browser did not really send.
  document.addEventListener('%EVENT%', function (e) {
    try {
      if (typeof e.detail !== 'string') return;
      const d = JSON.parse(e.detail);
      let out = JSON.stringify({ script: d });
      // Too large to report whole: the call is still recorded, without its body.
      if (out.length > %MAXREPORT%)
        out = JSON.stringify({ script: { method: String(d.method), url: String(d.url),
                                         headers: [], kind: 'toolarge', status: d.status } });
      log(marker + out);
    } catch (err) { /* a malformed hand-over is not recorded */ }
  }, true);
  // What the page gave the browser, for the proposals and checks made when
  // recording stops: its title, hidden inputs, and the query parameters of
  // its links and form actions.  The top frame's page only: the engine
  // replays pages, not frames.
  if (window.top !== window) return;
  function facts() {
    try {
      const max = %MAXITEMS%;
      const hidden = [], links = [];
      let more = false;
      const inputs = document.querySelectorAll('input[type=hidden]');
      for (let i = 0; i < inputs.length && !more; ++i) {
        const input = inputs[i];
        if (!input.name) continue;
        if (hidden.length >= max) { more = true; break; }
        hidden.push({ name: input.name, value: input.value,
                      action: input.form ? String(input.form.action) : '' });
      }
      const targets = [];
      const anchors = document.querySelectorAll('a[href], area[href]');
      const forms = document.querySelectorAll('form[action]');
      if (anchors.length > max || forms.length > max) more = true;
      for (let i = 0; i < anchors.length && i < max; ++i) targets.push(anchors[i].href);
      for (let i = 0; i < forms.length && i < max; ++i) targets.push(String(forms[i].action));
      for (const target of targets) {
        let url;
        try { url = new URL(target, document.baseURI); } catch (e) { continue; }
        for (const [name, value] of url.searchParams.entries()) {
          if (links.length >= max) { more = true; break; }
          links.push({ name: name, value: value, source: url.href });
        }
      }
      const meta = [];
      const tags = document.querySelectorAll('meta[content]');
      for (let i = 0; i < tags.length && meta.length < max; ++i) {
        const key = tags[i].getAttribute('name') || tags[i].getAttribute('property');
        if (key) meta.push([key, tags[i].getAttribute('content')]);
      }
      const html = document.documentElement ? document.documentElement.outerHTML : '';
      log(marker + JSON.stringify({ page: String(location.href), title: document.title,
                                    size: html.length, hidden: hidden, links: links, meta: meta,
                                    more: more }));
    } catch (err) { /* a page that cannot be read gives no facts */ }
  }
  if (document.readyState === 'complete') facts();
  else window.addEventListener('load', facts, { once: true });
})();)JS";

// The main-world wrapper: the page's fetch(), XMLHttpRequest, WebSocket and
// EventSource are replaced before any page script runs.  Each call is handed
// to the capture script above as a DOM event holding JSON text once its
// answer came (a stream when it opens): what the script sent, and the
// answer's status, type, header lines and text up to %MAXANSWER% characters.
// The page can see and forge these events; the recorder cross-checks each
// against what the browser really sent.
constexpr const char* kPageScript = R"JS((function () {
  'use strict';
  const EVENT = '%EVENT%', MAXSENT = %MAXSENT%, MAXANSWER = %MAXANSWER%, MAXHEADERS = %MAXHEADERS%;
  const dispatch = EventTarget.prototype.dispatchEvent, Custom = window.CustomEvent;
  const stringify = JSON.stringify;
  function tell(record) {
    try { dispatch.call(document, new Custom(EVENT, { detail: stringify(record) })); } catch (e) {}
  }
  function absolute(u) {
    try { const url = new URL(String(u), document.baseURI); url.hash = ''; return url.href; }
    catch (e) { return String(u); }
  }
  function headerList(h) {
    const out = [];
    try {
      if (!h) return out;
      if (h instanceof Headers) h.forEach(function (v, k) { out.push([k, v]); });
      else if (Array.isArray(h)) { for (const p of h) if (p && p.length === 2) out.push([String(p[0]), String(p[1])]); }
      else if (typeof h === 'object') for (const k of Object.keys(h)) out.push([k, String(h[k])]);
    } catch (e) {}
    return out.slice(0, MAXHEADERS);
  }
  function describe(body, rec) {
    if (body === undefined || body === null) return;
    if (typeof body === 'string') { rec.kind = 'text'; rec.body = body; }
    else if (body instanceof URLSearchParams) { rec.kind = 'urlencoded'; rec.body = body.toString(); }
    else if (body instanceof FormData) {
      rec.kind = 'multipart'; rec.fields = [];
      let size = 0;
      for (const [n, v] of body.entries()) {
        const file = typeof v !== 'string', value = file ? (v.name || '') : v;
        size += n.length + value.length;
        rec.fields.push([n, value, file]);
      }
      if (size > MAXSENT) { rec.kind = 'toolarge'; rec.fields = []; }
    } else rec.kind = 'unreadable';
    if (rec.body && rec.body.length > MAXSENT) { rec.kind = 'toolarge'; rec.body = ''; }
  }
  function answerLines(text) {
    const out = [];
    for (const line of String(text || '').split(/\r?\n/)) {
      const colon = line.indexOf(':');
      if (colon > 0 && out.length < MAXHEADERS) out.push([line.slice(0, colon).trim(), line.slice(colon + 1).trim()]);
    }
    return out;
  }
  // Reads at most MAXANSWER characters of a fetch answer's copy, then stops.
  function readSome(response, rec) {
    const reader = response.body ? response.body.getReader() : null;
    if (!reader) return Promise.resolve();
    const decoder = new TextDecoder();
    let text = '';
    function next() {
      return reader.read().then(function (part) {
        if (part.done) { text += decoder.decode(); rec.answer = text.slice(0, MAXANSWER); rec.answerCut = text.length > MAXANSWER; return; }
        text += decoder.decode(part.value, { stream: true });
        if (text.length > MAXANSWER) { rec.answer = text.slice(0, MAXANSWER); rec.answerCut = true; reader.cancel(); return; }
        return next();
      });
    }
    return next();
  }
  const fetch0 = window.fetch;
  if (fetch0) {
    window.fetch = function (input, init) {
      const rec = { method: 'GET', url: '', headers: [], kind: 'none', status: 0 };
      try {
        const req = input instanceof Request ? input : null;
        rec.url = absolute(req ? req.url : input);
        rec.method = String((init && init.method) || (req ? req.method : 'GET')).toUpperCase();
        rec.headers = headerList(init && init.headers !== undefined ? init.headers : req && req.headers);
        if (init && init.body !== undefined) describe(init.body, rec);
        else if (req && req.method !== 'GET' && req.method !== 'HEAD') rec.kind = 'unreadable';
      } catch (e) {}
      const started = fetch0.apply(this, arguments);
      started.then(function (response) {
        rec.status = response.status;
        rec.type = response.headers.get('content-type') || '';
        rec.answerHeaders = [];
        response.headers.forEach(function (v, k) { if (rec.answerHeaders.length < MAXHEADERS) rec.answerHeaders.push([k, v]); });
        let copy = null;
        try { copy = response.clone(); } catch (e) {}
        (copy ? readSome(copy, rec) : Promise.resolve()).then(function () { tell(rec); }, function () { tell(rec); });
      }, function () { tell(rec); });
      return started;
    };
  }
  const XHR = window.XMLHttpRequest;
  if (XHR) {
    const calls = new WeakMap(), proto = XHR.prototype;
    const open = proto.open, setHeader = proto.setRequestHeader, send = proto.send;
    proto.open = function (method, url) {
      calls.set(this, { method: String(method).toUpperCase(), url: absolute(url), headers: [], kind: 'none', status: 0 });
      return open.apply(this, arguments);
    };
    proto.setRequestHeader = function (name, value) {
      const rec = calls.get(this);
      if (rec && rec.headers.length < MAXHEADERS) rec.headers.push([String(name), String(value)]);
      return setHeader.apply(this, arguments);
    };
    proto.send = function (body) {
      const rec = calls.get(this), xhr = this;
      if (rec) {
        if (rec.method !== 'GET' && rec.method !== 'HEAD') describe(body, rec);
        xhr.addEventListener('loadend', function () {
          try {
            rec.status = xhr.status;
            rec.type = xhr.getResponseHeader('content-type') || '';
            rec.answerHeaders = answerLines(xhr.getAllResponseHeaders());
            let text = '';
            if (xhr.responseType === '' || xhr.responseType === 'text') text = xhr.responseText;
            else if (xhr.responseType === 'json') text = stringify(xhr.response);
            text = String(text || '');
            rec.answer = text.slice(0, MAXANSWER);
            rec.answerCut = text.length > MAXANSWER;
          } catch (e) {}
          tell(rec);
        });
      }
      return send.apply(this, arguments);
    };
  }
  // Streams cannot be replayed: the recorder tells the user they were opened.
  for (const name of ['WebSocket', 'EventSource']) {
    const Original = window[name];
    if (!Original) continue;
    const Wrapped = function (url, more) {
      tell({ stream: name, url: absolute(url) });
      return arguments.length > 1 ? new Original(url, more) : new Original(url);
    };
    Wrapped.prototype = Original.prototype;
    for (const k of ['CONNECTING', 'OPEN', 'CLOSING', 'CLOSED'])
      if (k in Original) Object.defineProperty(Wrapped, k, { value: Original[k] });
    window[name] = Wrapped;
  }
})();)JS";

// The event name the two scripts share (the page may know it: see above).
constexpr const char* kScriptEvent = "velk-script-request";
constexpr qsizetype kMaxScriptHeaders = qsizetype(ScriptRequest::kMaxHeaders);

// An array of [name, value] pairs, at most kMaxScriptHeaders, strings only.
std::vector<std::pair<std::string, std::string>> pairsOf(const QJsonValue& value) {
    std::vector<std::pair<std::string, std::string>> out;
    const QJsonArray list = value.toArray();
    for (qsizetype i = 0; i < list.size() && i < kMaxScriptHeaders; ++i) {
        const QJsonArray pair = list[i].toArray();
        if (pair.size() != 2 || !pair[0].isString() || !pair[1].isString()) continue;
        out.emplace_back(pair[0].toString().toStdString(), pair[1].toString().toStdString());
    }
    return out;
}

}  // namespace

QString pageScriptSource() {
    return QString::fromLatin1(kPageScript)
        .replace(QStringLiteral("%EVENT%"), QLatin1String(kScriptEvent))
        .replace(QStringLiteral("%MAXSENT%"), QString::number(ScriptRequest::kMaxSent))
        .replace(QStringLiteral("%MAXANSWER%"), QString::number(ScriptRequest::kMaxAnswer))
        .replace(QStringLiteral("%MAXHEADERS%"), QString::number(ScriptRequest::kMaxHeaders));
}

std::optional<ScriptReport> readScriptReport(const QString& message, const QString& marker) {
    if (marker.isEmpty() || !message.startsWith(marker) || message.size() > kMaxReport)
        return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument json = QJsonDocument::fromJson(message.mid(marker.size()).toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !json.isObject()) return std::nullopt;
    const QJsonValue script = json.object().value(QStringLiteral("script"));
    if (!script.isObject()) return std::nullopt;
    const QJsonObject o = script.toObject();
    auto text = [&o](const char* key, qsizetype cap) {
        return o.value(QLatin1String(key)).toString().left(cap).toStdString();
    };
    ScriptReport report;
    if (o.value(QStringLiteral("stream")).isString()) {
        report.stream = o.value(QStringLiteral("stream")).toString().left(32);
        report.request.url = text("url", 2048);
        return report;
    }
    if (!o.value(QStringLiteral("url")).isString() || !o.value(QStringLiteral("method")).isString())
        return std::nullopt;
    ScriptRequest& r = report.request;
    r.url = normalisedUrl(o.value(QStringLiteral("url")).toString()).toStdString();
    r.method = text("method", 16);
    r.headers = pairsOf(o.value(QStringLiteral("headers")));
    const QString kind = o.value(QStringLiteral("kind")).toString();
    const auto sentCap = qsizetype(ScriptRequest::kMaxSent);
    if (kind == QLatin1String("text") || kind == QLatin1String("urlencoded")) {
        r.body = kind == QLatin1String("text") ? ScriptRequest::Body::kText
                                               : ScriptRequest::Body::kUrlEncoded;
        if (o.value(QStringLiteral("body")).toString().size() > sentCap)
            r.body = ScriptRequest::Body::kTooLarge;
        else
            r.text = text("body", sentCap);
    } else if (kind == QLatin1String("multipart")) {
        r.body = ScriptRequest::Body::kMultipart;
        const QJsonArray fields = o.value(QStringLiteral("fields")).toArray();
        for (qsizetype i = 0; i < fields.size() && i < 1000; ++i) {
            const QJsonArray f = fields[i].toArray();
            if (f.size() != 3) continue;
            r.fields.push_back(
                {f[0].toString().toStdString(), f[1].toString().toStdString(), f[2].toBool(false)});
        }
    } else if (kind == QLatin1String("unreadable")) {
        r.body = ScriptRequest::Body::kUnreadable;
    } else if (kind == QLatin1String("toolarge")) {
        r.body = ScriptRequest::Body::kTooLarge;
    }
    const double status = o.value(QStringLiteral("status")).toDouble(0);
    r.status = status >= 0 && status < 1000 ? int32_t(status) : 0;
    r.answerType = text("type", 1024);
    r.answerHeaders = pairsOf(o.value(QStringLiteral("answerHeaders")));
    const QString answer = o.value(QStringLiteral("answer")).toString();
    r.answer = answer.left(qsizetype(ScriptRequest::kMaxAnswer)).toStdString();
    r.answerCut = o.value(QStringLiteral("answerCut")).toBool(false) ||
                  answer.size() > qsizetype(ScriptRequest::kMaxAnswer);
    return report;
}

QString newCaptureMarker() {
    quint64 words[2];
    QRandomGenerator::system()->fillRange(words);
    return QStringLiteral("velk-capture-%1%2:")
        .arg(words[0], 16, 16, QLatin1Char('0'))
        .arg(words[1], 16, 16, QLatin1Char('0'));
}

QString captureScriptSource(const QString& marker) {
    return QString::fromLatin1(kCaptureScript)
        .replace(QStringLiteral("%MARKER%"), marker)
        .replace(QStringLiteral("%MAXITEMS%"), QString::number(kMaxPageItems))
        .replace(QStringLiteral("%EVENT%"), QLatin1String(kScriptEvent))
        .replace(QStringLiteral("%MAXREPORT%"), QString::number(kMaxReport / 2));
}

std::optional<FormReport> readFormReport(const QString& message, const QString& marker) {
    if (marker.isEmpty() || !message.startsWith(marker) || message.size() > kMaxReport)
        return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument json = QJsonDocument::fromJson(message.mid(marker.size()).toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !json.isObject()) return std::nullopt;
    const QJsonObject object = json.object();
    if (!object.value(QStringLiteral("url")).isString() ||
        !object.value(QStringLiteral("body")).isString())
        return std::nullopt;
    FormReport report;
    report.url = normalisedUrl(object.value(QStringLiteral("url")).toString());
    report.body = object.value(QStringLiteral("body")).toString();
    report.multipart = object.value(QStringLiteral("multipart")).toBool(false);
    const QJsonArray files = object.value(QStringLiteral("files")).toArray();
    for (qsizetype i = 0; i < files.size() && i < 1000; ++i)
        if (files[i].isString()) report.fileFields.append(files[i].toString());
    return report;
}

std::optional<PageFacts> readPageReport(const QString& message, const QString& marker) {
    if (marker.isEmpty() || !message.startsWith(marker) || message.size() > kMaxReport)
        return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument json = QJsonDocument::fromJson(message.mid(marker.size()).toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !json.isObject()) return std::nullopt;
    const QJsonObject object = json.object();
    if (!object.value(QStringLiteral("page")).isString()) return std::nullopt;
    auto text = [](const QJsonValue& v) { return v.toString().toStdString(); };
    PageFacts facts;
    facts.url = text(object.value(QStringLiteral("page")));
    facts.title = text(object.value(QStringLiteral("title")))
                      .substr(0, scenario::RecordedOutcome::kMaxTitle * 4);
    const double size = object.value(QStringLiteral("size")).toDouble(-1);
    facts.size = size >= 0 && size < 2e9 ? int32_t(size) : -1;
    // The script caps its lists; a forged or odd report is capped here too.
    constexpr qsizetype kMaxItems = kMaxPageItems;
    facts.cut = object.value(QStringLiteral("more")).toBool(false);
    const QJsonArray hidden = object.value(QStringLiteral("hidden")).toArray();
    for (qsizetype i = 0; i < hidden.size() && i < kMaxItems; ++i) {
        const QJsonObject h = hidden[i].toObject();
        facts.hidden.push_back({text(h.value(QStringLiteral("name"))),
                                text(h.value(QStringLiteral("value"))),
                                text(h.value(QStringLiteral("action")))});
    }
    const QJsonArray links = object.value(QStringLiteral("links")).toArray();
    for (qsizetype i = 0; i < links.size() && i < kMaxItems; ++i) {
        const QJsonObject l = links[i].toObject();
        facts.links.push_back({text(l.value(QStringLiteral("name"))),
                               text(l.value(QStringLiteral("value"))),
                               text(l.value(QStringLiteral("source")))});
    }
    const QJsonArray meta = object.value(QStringLiteral("meta")).toArray();
    for (qsizetype i = 0; i < meta.size() && i < kMaxItems; ++i) {
        const QJsonArray m = meta[i].toArray();
        if (m.size() == 2) facts.meta.emplace_back(text(m[0]), text(m[1]));
    }
    facts.cut = facts.cut || hidden.size() > kMaxItems || links.size() > kMaxItems;
    return facts;
}

QString normalisedUrl(const QString& url) {
    return QUrl(url).adjusted(QUrl::RemoveFragment).toString(QUrl::FullyEncoded);
}

}  // namespace velk::recorder
