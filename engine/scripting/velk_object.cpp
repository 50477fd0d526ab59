#include "scripting/velk_object.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "base/abort_sleep.h"
#include "base/ascii.h"
#include "base/message.h"
#include "loop/task_wait.h"
#include "platform/clock.h"
#include "results/shared_run.h"
#include "script/general_options.h"
#include "script/item_reader.h"
#include "script/param_parser.h"
#include "script/parsed_test.h"
#include "scripting/trace_sink.h"

namespace velk {
namespace {

// Most items one SetRequestOpt applies; ends a list that would not advance.
constexpr int kMaxOptionItems = 10000;

// The decimal value of a port text, as atoi reads it, kept within 32 bits.
int32_t portValue(std::string_view text) {
    const std::string s(text);
    const long long v = std::strtoll(s.c_str(), nullptr, 10);
    return int32_t(std::clamp<long long>(v, INT32_MIN, INT32_MAX));
}

std::string formatted(const char* format, auto value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

}  // namespace

CVelkObject::CVelkObject(ScriptSession& session) : m_session(session) {
    TraceSink::write("CVelkObject\n");
}

CVelkObject::~CVelkObject() {
    TraceSink::write("~CVelkObject\n");
}

RequestDef* CVelkObject::find(std::string_view name) {
    auto it = m_session.requests.find(name);
    return it == m_session.requests.end() ? nullptr : &it->second;
}

int32_t CVelkObject::request(std::string_view name) {
    RequestDef* r = find(name);
    if (!r) return 0;
    const int64_t startTick = platform::tickMillis();
    const int64_t start = platform::wallSeconds();
    const int32_t result = executeRequest(m_session.http, *r, m_session.previousBody);
    const int64_t end = platform::wallSeconds();
    pauseAfter(*r, platform::tickMillis() - startTick);
    if (result >= 0) m_session.exportVariables(*r);
    m_session.results.scripted().push_back(ScriptedResult{r->name, result, start, end});
    if (result < 0) return 0;
    m_session.shared.requestsMade.fetch_add(1, std::memory_order_relaxed);
    return 1;
}

void CVelkObject::pauseAfter(const RequestDef& r, int64_t tookMs) {
    if (r.delay <= 0) return;
    // Only the minimum counts here; soft delays keep request starts apart.
    const int64_t ms = m_session.test.options.softdelay ? r.delay - tookMs : r.delay;
    // On a loop the user's task parks, so the loop's other users go on.
    const std::atomic<int32_t>& abort = m_session.shared.abortFlag;
    loop::sleepOrStop(
        ms, [&abort] { return abort.load(std::memory_order_relaxed) != 0; }, kAbortCheckMillis);
}

std::string_view CVelkObject::response() const {
    return m_session.http.response.view();
}

int32_t CVelkObject::setParam(std::string_view name, std::string_view param,
                              std::optional<std::string_view> value) {
    RequestDef* r = find(name);
    if (!r) return 0;
    if (value)
        r->overrides[std::string(param)] = std::string(*value);
    else
        r->overrides.erase(std::string(param));
    return 1;
}

int32_t CVelkObject::isAborting() const {
    return m_session.shared.abortFlag.load(std::memory_order_relaxed) != 0 ? 1 : 0;
}

std::optional<std::string> CVelkObject::getOpt(std::string_view name) const {
    if (name.size() > kMaxOptionName) return std::nullopt;
    if (name.size() == 4 && startsWithNoCase(name, "clid"))
        return formatted("%d", int(m_session.userIndex));
    const OptionDescriptor* d = findOption(name);
    if (!d) return std::nullopt;
    const GeneralOptions& o = m_session.test.options;
    switch (d->type) {
        case OptionType::Integer:
        case OptionType::Flag:
        case OptionType::ZeroOne:
            return formatted("%d", int(o.*std::get<int32_t GeneralOptions::*>(d->storage)));
        case OptionType::Decimal:
            return formatted("%lf", o.*std::get<double GeneralOptions::*>(d->storage));
        case OptionType::Method:
            return std::string(o.*std::get<int32_t GeneralOptions::*>(d->storage) ? "POST" : "GET");
        case OptionType::Text:
            return (o.*std::get<std::string GeneralOptions::*>(d->storage))
                .substr(0, kMaxOptionText);
    }
    return std::nullopt;
}

void CVelkObject::logit(std::string_view text) {
    UserLog& log = m_session.http.log;
    if (!log.isOpen()) return;
    const std::string copy(text);
    log.printf("--- notice from script ---\n%s\n--- end of notice ---\n", copy.c_str());
}

int32_t CVelkObject::addRequest(std::string_view name, std::string_view uri) {
    if (find(name)) return 0;
    if (startsWithNoCase(uri, "http://")) uri.remove_prefix(7);
    if (uri.find("://") != std::string_view::npos) return 0;  // only plain http is defined here

    const GeneralOptions& o = m_session.test.options;
    RequestDef def;
    def.name.assign(name);
    def.port = o.port;
    def.method = o.method;
    def.keepalive = o.keepalive;
    def.delay = o.delay;
    if (uri.empty()) {
        def.uri = o.uri;
    } else if (uri[0] == '/') {
        def.uri.assign(uri);
    } else {
        const size_t slash = uri.find('/');
        std::string_view host = uri.substr(0, slash);
        if (slash == std::string_view::npos)
            def.uri = o.uri;
        else
            def.uri.assign(uri.substr(slash));
        if (const size_t colon = host.find(':'); colon != std::string_view::npos) {
            def.port = portValue(host.substr(colon + 1));
            host = host.substr(0, colon);
        }
        def.server.emplace(host);
    }
    m_session.requests.emplace(def.name, std::move(def));
    return 1;
}

int32_t CVelkObject::setRequestOpt(std::string_view name, std::string_view options) {
    RequestDef* r = find(name);
    if (!r) return 0;
    int32_t result = 1;
    size_t pos = 0;
    for (int items = 0; pos < options.size() && items < kMaxOptionItems; ++items) {
        const std::string item = readItem(options, pos);
        const bool closed = pos > 0 && options[pos - 1] == ')';
        const size_t eq = item.find('=');
        const std::string_view key = std::string_view(item).substr(0, eq);
        const std::string_view value =
            eq == std::string::npos ? std::string_view() : std::string_view(item).substr(eq + 1);
        if (!key.empty() && key[0] == '$') {
            if (!applyRequestKey(*r, key, value)) return 0;  // an unknown key ends the list
        } else if (!key.empty()) {
            if (hasParameter(*r, key))
                r->overrides[std::string(key)] = std::string(value);
            else if (!reportIfFailed(
                         parseParamValue(m_session.test, *r, key, value, r->runtimeParams, true)))
                result = 0;
        }
        if (closed) break;
    }
    return result;
}

int32_t CVelkObject::addParam(std::string_view name, std::string_view param,
                              std::string_view value) {
    RequestDef* r = find(name);
    if (!r || hasParameter(*r, param)) return 0;
    // The user's own list: the parsed parameters are shared by every user.
    return reportIfFailed(parseParamValue(m_session.test, *r, param, value, r->runtimeParams, true))
               ? 1
               : 0;
}

void CVelkObject::resetRequest(std::string_view name) {
    RequestDef* r = find(name);
    if (!r) return;
    // A fresh list rather than clearing the one all users share.
    r->params = std::make_shared<ParamList>();
    r->runtimeParams.clear();
    r->overrides.clear();
}

}  // namespace velk
