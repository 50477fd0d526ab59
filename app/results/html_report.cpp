#include "app/results/html_report.h"

#include <array>
#include <cstdio>

#include "app/results/svg_chart.h"

namespace velk::results {
namespace {

const char* const kStyle = R"(
:root{color-scheme:light;--ink:#1d2733;--muted:#5b6776;--line:#dde3ea;--card:#f5f7fa;--accent:#1f6feb;--bad:#c62828;--good:#2e7d32}
*{box-sizing:border-box}
body{margin:0;padding:28px 36px 48px;font:14px/1.45 system-ui,-apple-system,"Segoe UI",Roboto,"DejaVu Sans",sans-serif;color:var(--ink);background:#fff}
h1{font-size:22px;margin:0 0 4px}h2{font-size:16px;margin:30px 0 10px;padding-bottom:4px;border-bottom:1px solid var(--line)}
.sub{color:var(--muted);margin:0 0 18px}
.cards{display:grid;grid-template-columns:repeat(auto-fill,minmax(150px,1fr));gap:10px}
.card{background:var(--card);border:1px solid var(--line);border-radius:8px;padding:10px 14px}
.card .k{color:var(--muted);font-size:12px;text-transform:uppercase;letter-spacing:.04em}
.card .v{font-size:22px;font-weight:600;font-variant-numeric:tabular-nums}
.card .v small{font-size:13px;font-weight:400;color:var(--muted)}
table{border-collapse:collapse;font-variant-numeric:tabular-nums;min-width:50%}
th,td{padding:5px 10px;border-bottom:1px solid var(--line);text-align:right;white-space:nowrap}
th{background:var(--card);font-weight:600;font-size:12px;color:var(--muted)}
td:first-child,th:first-child{text-align:left;white-space:normal;overflow-wrap:break-word;min-width:12ch;max-width:260px}
tr.all td{font-weight:600;border-top:2px solid var(--line)}
.scroll{overflow-x:auto}
.ok{color:var(--good);font-weight:600}.failed{color:var(--bad);font-weight:600}.bad{color:var(--bad)}
.charts{display:grid;grid-template-columns:repeat(auto-fit,minmax(520px,1fr));gap:18px}
figure{margin:0;background:#fff;border:1px solid var(--line);border-radius:8px;padding:10px 12px 4px}
figcaption{font-weight:600;margin-bottom:4px}
svg{width:100%;height:auto;display:block}
svg .grid{stroke:#e8ecf1;stroke-width:1}svg .axis{stroke:#9aa5b1;stroke-width:1}
svg text{font-family:inherit;fill:#5b6776}svg .tick{font-size:11px}svg .unit{font-size:11px}svg .legend{font-size:12px;fill:#1d2733}
.note{color:var(--muted);font-size:13px;max-width:900px}
.warn{color:#a40000;max-width:900px}
footer{margin-top:32px;color:var(--muted);font-size:12px}
)";

const char* const kColors[VELK_PERCENTILE_COUNT] = {"#9ecae1", "#4292c6", "#2171b5", "#e6550d",
                                                    "#a50f15"};

std::string fmt(double v, int decimals = 2) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

std::string card(const std::string& key, const std::string& value, const std::string& unit = "") {
    return "<div class=\"card\"><div class=\"k\">" + key + "</div><div class=\"v\">" + value +
           (unit.empty() ? "" : " <small>" + unit + "</small>") + "</div></div>";
}

std::string errorShare(const LatencyFigures& r) {
    return r.results() ? fmt(100.0 * double(r.errorTotal()) / double(r.results())) + "%" : "-";
}

std::string ms(const LatencyFigures& r, double v) {
    return r.count ? fmt(v) : "-";
}

std::string row(const PassFigures& f, const LatencyFigures& r, const std::string& name, bool paced,
                bool all) {
    const LatencyFigures& s = r;
    std::string html = all ? "<tr class=\"all\">" : "<tr>";
    html += "<td>" + name + "</td><td>" + std::to_string(s.count) + "</td><td" +
            (r.errorTotal() ? " class=\"bad\"" : "") + ">" + std::to_string(r.errorTotal()) +
            "</td><td>" + errorShare(r) + "</td><td>" + fmt(f.perSecond(r)) + "</td><td>" +
            ms(r, s.minMs) + "</td><td>" + ms(r, s.meanMs) + "</td>";
    for (double p : s.percentilesMs) html += "<td>" + ms(r, p) + "</td>";
    html += "<td>" + ms(r, s.maxMs) + "</td><td>" + ms(r, s.stddevMs) + "</td>";
    if (paced)
        html += "<td>" + (s.intendedCount ? fmt(s.intendedPercentilesMs[3]) : std::string("-")) +
                "</td><td>" +
                (s.intendedCount ? fmt(s.intendedPercentilesMs[4]) : std::string("-")) + "</td>";
    return html + "</tr>\n";
}

std::string requestTable(const PassFigures& f, bool paced) {
    std::string html =
        "<div "
        "class=\"scroll\"><table><thead><tr><th>Request</th><th>Timed</th><th>Errors</th><th>Error "
        "%</th>"
        "<th>Results per second</th><th>Min</th><th>Mean</th>";
    for (const char* p : kPercentileNames) html += std::string("<th>") + p + "</th>";
    html += "<th>Max</th><th>Std dev</th>";
    if (paced) html += "<th>p99 from due</th><th>p99.9 from due</th>";
    html += "</tr></thead><tbody>\n";
    for (const LatencyFigures& r : f.requests) html += row(f, r, htmlEscape(r.name), paced, false);
    html += row(f, f.overall, "All requests", paced, true);
    return html +
           "</tbody></table></div>\n<p class=\"note\">Times in milliseconds. Errors by class: " +
           [&] {
               const std::array<int64_t, 4>& e = f.overall.errors;
               return "network " + std::to_string(e[0]) + ", HTTP " + std::to_string(e[1]) +
                      ", failed check " + std::to_string(e[2]) + ", time-out " +
                      std::to_string(e[3]);
           }() +
           ".</p>\n";
}

std::string thresholdTable(const PassFigures& f, const std::vector<Threshold>& thresholds) {
    if (thresholds.empty()) return {};
    std::string html =
        "<h2>Thresholds</h2><table><thead><tr><th>Threshold</th><th>Measured</th><th>Verdict</th>"
        "</tr></thead><tbody>\n";
    for (const Threshold& t : thresholds) {
        const ThresholdResult r = evaluateThreshold(t, f);
        html += "<tr><td>" + htmlEscape(t.text) + "</td><td>" +
                (r.measured ? fmt(r.value) : "not measured") + "</td><td class=\"" +
                (r.ok ? "ok\">ok" : "failed\">FAILED") + "</td></tr>\n";
    }
    return html + "</tbody></table>\n";
}

std::string charts(const PassFigures& f) {
    std::vector<std::string> names;
    std::vector<SvgSeries> percentiles;
    for (int i = 0; i < VELK_PERCENTILE_COUNT; ++i)
        percentiles.push_back({kPercentileNames[i], kColors[i], {}});
    for (const LatencyFigures& r : f.requests) {
        names.push_back(r.name);
        for (size_t i = 0; i < VELK_PERCENTILE_COUNT; ++i)
            percentiles[i].values.push_back(r.percentilesMs[i]);
    }
    const double span = f.spanMs / 1000.0;
    SvgSeries requests{"HTTP requests sent/s", "#1f6feb", {}}, errors{"errors/s", "#c62828", {}},
        users{"users", "#6a3d9a", {}};
    for (const TimelineSpan& p : f.timeline) {
        requests.values.push_back(p.requests / span);
        errors.values.push_back(p.errors / span);
        users.values.push_back(p.usersActive);
    }
    return "<div class=\"charts\">\n<figure><figcaption>Response-time percentiles per "
           "request</figcaption>" +
           svgBarChart(names, percentiles, "ms") +
           "</figure>\n<figure><figcaption>HTTP requests sent and errors per second</figcaption>" +
           svgLineChart({requests, errors}, span, "per s", false) +
           "</figure>\n<figure><figcaption>Active users</figcaption>" +
           svgLineChart({users}, span, "users", true) + "</figure>\n</div>\n";
}

// The warning when the load generator was late, and each loop's lag.
std::string generatorLag(const RunTotals& f) {
    std::string html;
    if (!f.lagWarning.empty())
        html += "<p class=\"warn\"><strong>" + htmlEscape(f.lagWarning) + "</strong></p>\n";
    if (f.loopLag.empty()) return html;
    html += "<p class=\"note\">Event-loop lag (how late users were resumed), per loop:";
    for (size_t i = 0; i < f.loopLag.size(); ++i)
        html += std::string(i ? ";" : "") + " loop " + std::to_string(i) + " p99 " +
                fmt(f.loopLag[i].p99Ms) + " ms, max " + fmt(f.loopLag[i].maxMs) + " ms";
    return html + ".</p>\n";
}

}  // namespace

std::string htmlReport(const PassFigures& f, const std::vector<Threshold>& thresholds,
                       const std::string& maker) {
    const RunTotals& t = f.run();
    const LatencyFigures& all = f.overall;
    const bool paced = all.paced != 0;
    const std::string name = htmlEscape(t.testName);
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
        "<title>VELK report: " +
        name + "</title>\n<style>" + kStyle + "</style></head>\n<body>\n";
    html += "<h1>Load test report: " + name + "</h1>\n<p class=\"sub\">" + isoTime(t.startTime) +
            " to " + isoTime(t.endTime) + " &middot; " + fmt(t.durationMs / 1000.0, 1) +
            " s &middot; " + std::to_string(t.users) + " virtual users &middot; " +
            (t.iterations < 0 ? std::string("driven by a script")
                              : std::to_string(t.iterations) + " iterations") +
            "</p>\n";
    // Named by what they count, as docs/reading-the-report.md's "Which count is which" explains:
    // HTTP requests include redirects; results are the timed responses and errors.
    const std::string overRun = "over " + fmt(t.durationMs / 1000.0, 1) + " s";
    html += "<div class=\"cards\">" + card("HTTP requests sent", std::to_string(t.httpRequests));
    if (t.httpRequestsPerSecond >= 0)
        html += card("HTTP requests sent per second", fmt(t.httpRequestsPerSecond, 1),
                     t.httpRateOverWholeRun ? overRun : "while all users ran");
    html += card("Results", std::to_string(all.results())) +
            card("Errors", std::to_string(all.errorTotal()), errorShare(all)) +
            card("Results per second", fmt(f.perSecond(all), 1), overRun) +
            card("Mean", ms(all, all.meanMs), "ms") +
            card("p50", ms(all, all.percentilesMs[0]), "ms") +
            card("p95", ms(all, all.percentilesMs[2]), "ms") +
            card("p99", ms(all, all.percentilesMs[3]), "ms");
    if (paced && all.intendedCount)
        html += card("p99 from due", fmt(all.intendedPercentilesMs[3]), "ms");
    html += "</div>\n";
    html += generatorLag(t);
    html += thresholdTable(f, thresholds);
    html += "<h2>Requests</h2>\n" + requestTable(f, paced);
    if (paced)
        html +=
            "<p class=\"note\">Requests were paced (rate). \"From due\" times count each response "
            "from "
            "when its request was due, and add the requests a slow answer kept from being sent, so "
            "a "
            "stalled server shows in them even though the users slowed down with it.</p>\n";
    html += "<h2>Charts</h2>\n" + charts(f);
    html +=
        "<h2>Status codes and "
        "traffic</h2>\n<table><thead><tr><th>Status</th><th>Responses</th></tr></thead>"
        "<tbody>\n";
    for (const auto& [code, count] : t.statusCodes)
        html += "<tr><td>" + std::to_string(code) + "</td><td>" + std::to_string(count) +
                "</td></tr>\n";
    html += "</tbody></table>\n<p class=\"note\">" + std::to_string(t.httpRequests) +
            " HTTP requests sent (redirects included); " + std::to_string(t.bytesSent) +
            " bytes sent, " + std::to_string(t.bytesReceived) + " bytes received.</p>\n";
    html += "<footer>Made by " + htmlEscape(maker) +
            ". Percentiles come from histograms with under 1% relative error.</footer>\n"
            "</body></html>\n";
    return html;
}

}  // namespace velk::results
