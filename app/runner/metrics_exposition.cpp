#include "app/runner/metrics_exposition.h"

#include <cinttypes>
#include <cstdio>

#include "app/results/utf8_text.h"

namespace velk::runner {
namespace {

const char* const kOutcomes[5] = {"ok", "network", "http", "failed_check", "timeout"};

// Seconds as Prometheus reads them ("." whatever the locale: integers and
// fixed digits only).
std::string seconds(double ms) {
    const double s = ms / 1000;
    char text[64];
    // Bounds are whole microseconds; sums keep nanoseconds.
    std::snprintf(text, sizeof text, "%" PRId64 ".%09" PRId64, int64_t(s),
                  int64_t((s - double(int64_t(s))) * 1e9 + 0.5));
    std::string out = text;
    while (out.back() == '0') out.pop_back();
    if (out.back() == '.') out.pop_back();
    return out;
}

class Writer {
public:
    void help(const char* name, const char* type, const char* text) {
        m_text +=
            std::string("# HELP ") + name + " " + text + "\n# TYPE " + name + " " + type + "\n";
    }
    void sample(std::string_view name, std::string_view labels, int64_t value) {
        line(name, labels, std::to_string(value));
    }
    void sample(std::string_view name, std::string_view labels, const std::string& value) {
        line(name, labels, value);
    }
    std::string take() { return std::move(m_text); }

private:
    void line(std::string_view name, std::string_view labels, const std::string& value) {
        m_text += name;
        if (!labels.empty()) m_text += "{" + std::string(labels) + "}";
        m_text += " " + value + "\n";
    }
    std::string m_text;
};

}  // namespace

std::string metricsLabelValue(std::string_view v) {
    std::string out = "\"";
    for (size_t i = 0; i < v.size();) {
        const size_t n = velk::results::utf8SequenceLength(v, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        const char c = v[i];
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out.append(v.substr(i, n));
        i += n;
    }
    return out + "\"";
}

std::string metricsExposition(const MetricsReading& r) {
    const VelkLiveTraffic& t = r.traffic;
    Writer w;
    w.help("velk_running", "gauge", "1 while the run goes on, 0 once it has ended.");
    w.sample("velk_running", "", r.running ? 1 : 0);
    w.help("velk_users", "gauge", "Virtual users of the run.");
    w.sample("velk_users", "", r.users);
    w.help("velk_users_active", "gauge", "Virtual users running now.");
    w.sample("velk_users_active", "", t.usersActive);
    w.help("velk_requests_sent_total", "counter", "HTTP requests sent, redirects included.");
    w.sample("velk_requests_sent_total", "", t.requestsSent);
    w.help("velk_sent_bytes_total", "counter", "Bytes sent by requests that have ended.");
    w.sample("velk_sent_bytes_total", "", int64_t(t.bytesSent));
    w.help("velk_received_bytes_total", "counter", "Bytes received by requests that have ended.");
    w.sample("velk_received_bytes_total", "", int64_t(t.bytesReceived));

    w.help("velk_errors_total", "counter", "Errors of the test sequence's requests by class.");
    for (size_t i = 0; i < 4; ++i)
        w.sample("velk_errors_total", std::string("class=\"") + kOutcomes[i + 1] + "\"",
                 r.errors[i]);
    w.help("velk_responses_total", "counter", "HTTP responses by status code.");
    for (int code = 0; code < 1000; ++code)
        if (t.statusCodes[code] > 0)
            w.sample("velk_responses_total", "code=\"" + std::to_string(code) + "\"",
                     int64_t(t.statusCodes[code]));

    w.help("velk_results_total", "counter",
           "Results of the sequences' requests by request name and outcome.");
    for (const VelkLiveRequest& q : r.requests) {
        const std::string request = "request=" + metricsLabelValue(q.name);
        for (size_t i = 0; i < 5; ++i)
            w.sample("velk_results_total", request + ",outcome=\"" + kOutcomes[i] + "\"",
                     q.results[i]);
    }
    w.help("velk_response_time_seconds", "histogram",
           "Response times of the sequences' successful requests by request name.");
    for (const VelkLiveRequest& q : r.requests) {
        const std::string request = "request=" + metricsLabelValue(q.name);
        for (int i = 0; i < VELK_LIVE_BUCKETS; ++i)
            w.sample("velk_response_time_seconds_bucket",
                     request + ",le=\"" + seconds(q.boundsMs[i]) + "\"", q.below[i]);
        w.sample("velk_response_time_seconds_bucket", request + ",le=\"+Inf\"", q.results[0]);
        w.sample("velk_response_time_seconds_sum", request, seconds(q.timedSumMs));
        w.sample("velk_response_time_seconds_count", request, q.results[0]);
    }
    w.help("velk_event_loop_lag_seconds", "histogram",
           "How late the engine's event loops resumed users that could go on.");
    for (int i = 0; i < VELK_LIVE_LAG_BUCKETS; ++i)
        w.sample("velk_event_loop_lag_seconds_bucket", "le=\"" + seconds(t.lagBoundsMs[i]) + "\"",
                 t.lagAtMost[i]);
    w.sample("velk_event_loop_lag_seconds_bucket", "le=\"+Inf\"", t.lagSamples);
    w.sample("velk_event_loop_lag_seconds_sum", "", seconds(t.lagSumMs));
    w.sample("velk_event_loop_lag_seconds_count", "", t.lagSamples);
    return w.take();
}

MetricsReading readMetrics(TestSet* set, bool running, int32_t users) {
    MetricsReading r;
    r.running = running;
    r.users = users;
    // Counts read before the totals that hold them: a histogram's buckets
    // never exceed its count, and the errors never exceed the results.
    VelkLiveCounters counters{};
    GetLiveCounters(set, &counters);
    r.errors[0] = counters.networkErrors;
    r.errors[1] = counters.httpErrors;
    r.errors[2] = counters.failedChecks;
    r.errors[3] = counters.timeouts;
    GetLiveTraffic(set, &r.traffic);
    for (int32_t i = 0; i < r.traffic.requestNames && i < VELK_LIVE_MAX_NAMES; ++i) {
        VelkLiveRequest q{};
        if (GetLiveRequest(set, i, &q)) r.requests.push_back(q);
    }
    return r;
}

}  // namespace velk::runner
