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
  // What the page gave the browser, for the proposals and checks made when
  // recording stops: its title, hidden inputs, and the query parameters of
  // its links and form actions.  The top frame's page only: the engine
  // replays pages, not frames.
  if (window.top !== window) return;
  function facts() {
    try {
      const hidden = [], links = [];
      const inputs = document.querySelectorAll('input[type=hidden]');
      for (let i = 0; i < inputs.length && hidden.length < 500; ++i) {
        const input = inputs[i];
        if (!input.name) continue;
        hidden.push({ name: input.name, value: input.value,
                      action: input.form ? String(input.form.action) : '' });
      }
      const targets = [];
      const anchors = document.querySelectorAll('a[href], area[href]');
      for (let i = 0; i < anchors.length && i < 2000; ++i) targets.push(anchors[i].href);
      const forms = document.querySelectorAll('form[action]');
      for (let i = 0; i < forms.length && i < 500; ++i) targets.push(String(forms[i].action));
      for (const target of targets) {
        let url;
        try { url = new URL(target, document.baseURI); } catch (e) { continue; }
        for (const [name, value] of url.searchParams.entries()) {
          if (links.length >= 2000) break;
          links.push({ name: name, value: value, source: url.href });
        }
      }
      const html = document.documentElement ? document.documentElement.outerHTML : '';
      log(marker + JSON.stringify({ page: String(location.href), title: document.title,
                                    size: html.length, hidden: hidden, links: links }));
    } catch (err) { /* a page that cannot be read gives no facts */ }
  }
  if (document.readyState === 'complete') facts();
  else window.addEventListener('load', facts, { once: true });
})();)JS";

}  // namespace

QString newCaptureMarker() {
    quint64 words[2];
    QRandomGenerator::system()->fillRange(words);
    return QStringLiteral("velk-capture-%1%2:")
        .arg(words[0], 16, 16, QLatin1Char('0'))
        .arg(words[1], 16, 16, QLatin1Char('0'));
}

QString captureScriptSource(const QString& marker) {
    return QString::fromLatin1(kCaptureScript).replace(QStringLiteral("%MARKER%"), marker);
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
    constexpr qsizetype kMaxItems = 2000;
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
    return facts;
}

QString normalisedUrl(const QString& url) {
    return QUrl(url).adjusted(QUrl::RemoveFragment).toString(QUrl::FullyEncoded);
}

}  // namespace velk::recorder
