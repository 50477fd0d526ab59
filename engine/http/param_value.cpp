#include "http/param_value.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "http/http_session.h"
#include "http/json_value.h"
#include "http/page_values.h"
#include "loop/task_wait.h"
#include "platform/file_io.h"
#include "regex/capture_template.h"
#include "script/param_parser.h"

namespace velk {
namespace {

using Kind = ValuePiece::Kind;

constexpr int kCapturePairs = 10;
// Longest value a capture template may build.
constexpr size_t kMaxCaptureValue = 1 << 20;

constexpr char kRandomAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

int32_t clampToInt(double value) {
    if (!(value > INT32_MIN)) return INT32_MIN;
    if (!(value < INT32_MAX)) return INT32_MAX;
    return int32_t(value);
}

void appendNumberRange(HttpSession& s, const ValuePiece& p, TextBuffer& out) {
    out.append(p.text);
    char text[64];
    double whole;
    const double fraction = std::modf(p.low, &whole);
    if (fraction == 0) {
        int64_t v =
            int64_t(clampToInt(p.low)) + s.random.next(clampToInt(std::trunc(p.high - p.low)));
        std::snprintf(text, sizeof text, "%lld", static_cast<long long>(v));
    } else {
        double span = std::trunc(((p.high - p.low) / fraction) * fraction);
        std::snprintf(text, sizeof text, "%.4lf", p.low + s.random.next(clampToInt(span)));
    }
    out.append(text);
}

// The counter's value, then the counter steps on, wrapping past the int32 range.
int32_t takeCounter(int32_t& slot) {
    const int32_t value = slot;
    slot = int32_t(uint32_t(value) + 1u);
    return value;
}

void appendRandomString(HttpSession& s, const ValuePiece& p, TextBuffer& out) {
    const int64_t span = std::clamp<int64_t>(int64_t(p.second) - p.first, 0, INT32_MAX);
    int64_t length = int64_t(p.first) + s.random.next(int32_t(span));
    length = std::clamp<int64_t>(length, 0, kMaxRandomString);
    for (int64_t i = 0; i < length; ++i) {
        char c = kRandomAlphabet[s.random.next(62)];
        out.append(&c, 1);
    }
}

bool matchCaptures(const ValuePiece& p, std::string_view body, int32_t* captures, int& pairs) {
    pairs = kCapturePairs;
    return p.pattern && p.pattern->match(body, captures, pairs);
}

void appendFile(HttpSession& s, const ValuePiece& p, TextBuffer& out) {
    std::string content;
    if (platform::readWholeFile(p.text, content) != platform::ReadStatus::Ok) {
        s.log.printf("ERROR: Unable to open file %s\n", p.text.c_str());
        return;
    }
    // A large file is copied a piece at a time, giving way between pieces, so
    // that composing it does not hold up the other users of an event loop.
    std::string_view rest(content);
    for (;;) {
        const size_t piece = std::min(rest.size(), size_t(loop::kYieldBytes));
        out.append(rest.substr(0, piece));
        rest.remove_prefix(piece);
        if (rest.empty()) break;
        loop::yieldTask();
    }
}

void appendPiece(HttpSession& s, const ValuePiece& p, std::optional<std::string_view> body,
                 bool multipart, TextBuffer& out) {
    switch (p.kind) {
        case Kind::Literal:
            out.append(p.text);
            break;
        case Kind::NumberRange:
            appendNumberRange(s, p, out);
            break;
        case Kind::RandomString:
            appendRandomString(s, p, out);
            break;
        case Kind::RandomPick:
            if (!p.items.empty())
                out.append(p.items[size_t(s.random.next(int32_t(p.items.size())))]);
            break;
        case Kind::Counter: {
            if (p.slot < 0 || size_t(p.slot) >= s.slots.size()) break;
            char text[64];
            std::snprintf(text, sizeof text, "%0*d", std::clamp(p.width, 0, 32),
                          takeCounter(s.slots[size_t(p.slot)]));
            out.append(p.text);
            out.append(text);
            break;
        }
        case Kind::CyclicPick:
            if (p.items.empty() || p.slot < 0 || size_t(p.slot) >= s.slots.size()) break;
            out.append(p.items[uint32_t(takeCounter(s.slots[size_t(p.slot)])) % p.items.size()]);
            break;
        case Kind::LinkParameter:
            if (body) {
                if (auto value = extractUrlParam(*body, p.text, s.random)) out.append(*value);
            }
            break;
        case Kind::HiddenField:
            // Form values are decoded and, outside multipart bodies, percent-encoded.
            if (body) appendHidden(*body, p.text, s.random, !multipart, out);
            break;
        case Kind::Capture: {
            int32_t captures[kCapturePairs * 2];
            int pairs;
            if (body && matchCaptures(p, *body, captures, pairs))
                out.append(expandCaptureTemplate(p.extra, *body, captures, pairs,
                                                 TemplateDollars::kDigitsOnly, kMaxCaptureValue));
            break;
        }
        case Kind::FileUpload:
            appendFile(s, p, out);
            break;
        case Kind::ComputedName:
            if (p.nested)
                for (const ValuePiece& n : *p.nested) appendPiece(s, n, body, multipart, out);
            break;
        case Kind::Variable: {
            auto it = s.variables.find(p.text);
            out.append(it != s.variables.end() ? std::string_view(it->second)
                                               : std::string_view(p.extra));
            break;
        }
        case Kind::JsonValue:
            if (body && p.jsonPath) {
                if (auto value = jsonValue(s.log, *body, *p.jsonPath, p.text)) out.append(*value);
            } else if (p.jsonPath) {
                s.log.printf("JSON: no previous answer to read %.200s in\r\n", p.text.c_str());
            }
            break;
        case Kind::MetaTag:
            // Like a hidden field: decoded, and encoded outside multipart bodies.
            if (body) appendMeta(*body, p.text, !multipart, out);
            break;
        case Kind::CookieValue:
            // The value as the server set it: a page's script sends it back so.
            for (const auto& [name, value] : s.cookies) {
                if (name == p.text && !value.empty()) {
                    out.append(value);
                    break;
                }
            }
            break;
        case Kind::UserNumber: {
            char text[16];
            std::snprintf(text, sizeof text, "%d", s.userIndex);
            out.append(p.text);
            out.append(text);
            out.append(p.extra);
            break;
        }
    }
}

}  // namespace

void appendParamValue(HttpSession& s, const ParamEntry& entry,
                      std::optional<std::string_view> previousBody, bool multipart,
                      TextBuffer& out) {
    for (const ValuePiece& piece : entry.pieces)
        appendPiece(s, piece, previousBody, multipart, out);
}

void appendPieces(HttpSession& s, const std::vector<ValuePiece>& pieces,
                  std::optional<std::string_view> previousBody, bool multipart, TextBuffer& out) {
    for (const ValuePiece& piece : pieces) appendPiece(s, piece, previousBody, multipart, out);
}

std::string_view parameterName(RequestDef& request, const ParamEntry& entry,
                               std::optional<std::string_view> previousBody) {
    for (const ValuePiece& p : entry.pieces) {
        if (p.kind != Kind::ComputedName || !previousBody) continue;
        int32_t captures[kCapturePairs * 2];
        int pairs;
        if (matchCaptures(p, *previousBody, captures, pairs)) {
            std::string& name = request.computedNames[entry.name];
            name = expandCaptureTemplate(p.extra, *previousBody, captures, pairs,
                                         TemplateDollars::kDigitsOnly, kMaxCaptureValue);
            return name;
        }
    }
    auto it = request.computedNames.find(entry.name);
    return it != request.computedNames.end() ? std::string_view(it->second)
                                             : std::string_view(entry.name);
}

const ValuePiece* fileUploadPiece(const ParamEntry& entry) {
    for (const ValuePiece& p : entry.pieces)
        if (p.kind == Kind::FileUpload) return &p;
    return nullptr;
}

}  // namespace velk
