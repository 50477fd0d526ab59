#include "gui/recorder/capture_script.h"

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
      let action = form.action, method = form.method;
      if (by && by.hasAttribute('formaction')) action = by.formAction;
      if (by && by.hasAttribute('formmethod')) method = by.formMethod;
      if (String(method).toLowerCase() !== 'post') return;
      const parts = [];
      for (const [name, value] of e.formData.entries())
        parts.push(enc(name) + '=' + enc(typeof value === 'string' ? value : value.name));
      log(marker + JSON.stringify({ url: String(action), body: parts.join('&') }));
    } catch (err) { /* a page's odd form must not break its submission */ }
  }, true);
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
    return FormReport{normalisedUrl(object.value(QStringLiteral("url")).toString()),
                      object.value(QStringLiteral("body")).toString()};
}

QString normalisedUrl(const QString& url) {
    return QUrl(url).adjusted(QUrl::RemoveFragment).toString(QUrl::FullyEncoded);
}

}  // namespace velk::recorder
