#include "http/request_executor.h"

#include <charconv>

#include "http/connection_selector.h"
#include "http/http2_exchange.h"
#include "http/http_session.h"
#include "http/redirect_follower.h"
#include "http/request_composer.h"
#include "http/resend_rule.h"
#include "http/response_reader.h"
#include "http/status_line.h"

namespace velk {
namespace {

std::optional<std::string_view> bodyView(const HttpSession& s, const BodyRef& body) {
    if (!body || *body > s.response.size()) return std::nullopt;
    return s.response.view().substr(*body);
}

// "scheme://host[:port]path" without the query: the next request's referrer,
// built in place so its storage is reused.
void setPreviousUrl(HttpSession& s, const EffectiveRequest& r, bool secure, std::string_view path) {
    std::string& url = s.previousUrl;
    url.assign(secure ? "https://" : "http://");
    url.append(r.server ? std::string_view(*r.server) : std::string_view(s.currentHost));
    if (r.port != (secure ? 443 : 80)) {
        char digits[16];
        auto [end, ec] = std::to_chars(digits, digits + sizeof digits, r.port);
        url.push_back(':');
        url.append(digits, end);
    }
    url.append(path.substr(0, path.find('?')));
    if (url.size() > kMaxPreviousUrl) url.resize(kMaxPreviousUrl);
}

// $fail: the response fails when its body matches (or, inverted, does not).  A
// pattern that gave up its work limit has not shown the response good: it fails.
bool failedCheck(HttpSession& s, const RequestDef& r, const BodyRef& body) {
    std::string_view text = bodyView(s, body).value_or(std::string_view());
    int32_t captures[20];
    int pairs = 10;
    int error = 0;
    const bool matched = r.fail->regex && r.fail->regex->match(text, captures, pairs, &error);
    if (error == kPatternWorkLimit) {
        s.log.printf(
            "ERROR: $fail pattern of %s gave up at its work limit: the check counts as failed\r\n",
            r.name.c_str());
        return true;
    }
    return matched != r.failInverted;
}

// $expectlocation: a relative Location counts when the expected path ends in it.
bool unexpectedLocation(const HttpSession& s, const std::string& expected) {
    if (expected.empty()) return s.redirect.redirected;
    if (!s.redirect.redirected) return true;
    const std::string& got = s.redirect.lastPath;
    if (got == expected) return false;
    return got.empty() || got[0] == '/' || expected.size() <= got.size() ||
           !expected.ends_with(got) || expected[expected.size() - got.size() - 1] != '/';
}

// The request made: the record of its last response, with the request's time,
// or why it failed.
ResponseRecord exchange(HttpSession& s, const EffectiveRequest& r, BodyRef& previousBody) {
    const bool secure = requestIsSecure(s, r);
    if (selectConnectionForRequest(s, r, secure) < 0)
        return ResponseRecord::failed(StatusCode::kNetwork);

    s.request.clear();
    buildParameterData(s, r, bodyView(s, previousBody));
    setPreviousUrl(s, r, secure, composeRequest(s, r, secure, bodyView(s, previousBody)));

    if (s.log.isOpen()) {
        s.log.write("Request:\r\n");
        s.log.write(s.request.view());
        s.log.write("\r\n");
    }

    s.response.clear();
    ++s.requestsMade;
    s.counters.httpRequests.fetch_add(1, std::memory_order_relaxed);
    // HTTP/1.0 closes after every response.
    const bool keepAlive = r.keepalive != 0 && s.options.httpver != 0;
    ResponseRecord record =
        exchangeResendingOnce(s, s.connection, s.request.view(), keepAlive,
                              [&] { return selectConnectionForRequest(s, r, secure) >= 0; });
    if (!record.status) {
        previousBody.reset();
        return record;
    }
    if (s.log.isOpen()) {
        s.log.write("Response:\r\n");
        s.log.write(s.response.view());
        s.log.write("\r\n");
    }

    s.counters.countStatus(record.httpStatus);
    previousBody = record.body;
    if (!isSuccessStatus(record.httpStatus)) {
        record.status = Status(StatusCode::kHttp);
        return record;
    }
    record = followRedirects(s, RedirectOrigin{r.port, secure}, std::move(record), previousBody);
    if (record.status && r.def.fail && failedCheck(s, r.def, previousBody))
        record.status = Status(StatusCode::kFail);
    if (record.status && r.def.expectLocation && unexpectedLocation(s, *r.def.expectLocation)) {
        s.log.printf("FAIL: %s was expected to lead to \"%s\"\r\n", r.def.name.c_str(),
                     r.def.expectLocation->c_str());
        record.status = Status(StatusCode::kFail);
    }
    return record;
}

}  // namespace

int32_t executeRequest(HttpSession& s, const EffectiveRequest& r, BodyRef& previousBody,
                       int32_t* measuredMicros, ExchangeOutcome* outcome) {
    // Where the outcome becomes the number users record.
    const uint64_t sentBefore = s.bytesSent, receivedBefore = s.bytesReceived;
    // A request that ends before any redirect has none of the last one's.
    s.redirect.lastLocation.clear();
    const ResponseRecord record = exchange(s, r, previousBody);
    if (outcome) {
        outcome->httpStatus = record.httpStatus;
        outcome->location = s.redirect.lastLocation;
        outcome->body = record.httpStatus ? bodyView(s, previousBody).value_or(std::string_view())
                                          : std::string_view();
    }
    s.counters.bytesSent.fetch_add(s.bytesSent - sentBefore, std::memory_order_relaxed);
    s.counters.bytesReceived.fetch_add(s.bytesReceived - receivedBefore, std::memory_order_relaxed);
    if (measuredMicros) *measuredMicros = record.status ? record.measured : 0;
    return record.status ? record.time : record.status.resultClass();
}

}  // namespace velk
