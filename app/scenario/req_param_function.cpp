#include "app/scenario/req_param_function.h"

#include <algorithm>

#include "app/scenario/url_coding.h"

namespace velk::scenario {
namespace {

struct KindText {
    const char* name;
    const char* help;
};

constexpr KindText kKinds[CReqParamFunction::kKindCount] = {
    {"Static text",
     "Returns the specified string. Initial value is the recorded value of parameter."},
    {"Numeric random",
     "Returns the concatenation of prefix string and evently distributed random number in the "
     "specified range."},
    {"Alphanumeric random",
     "Returns the random alphanumeric string with length in the specified range."},
    {"Random from list",
     "Returns the random element from specified list. To specify list type one list element per "
     "line."},
    {"Ordered list",
     "Returns the 1-st element from specified list for the 1-st iteration, the 2-nd element for "
     "the "
     "2-nd iteration and so on. To specify list type one list element per line."},
    {"Sequence",
     "Returns sequence of strings that are the concatenation of the prefix string and integer "
     "value "
     "that increases by 1 with each iteration. If the shift value is specified, then the starting "
     "value for different virtual users will be shifted using this value."},
    {"URL",
     "Returns the value of the specified parameter of GET or POST request from HTML code of "
     "response to the previous request."},
    {"Hidden parameter",
     "Returns the value of hidden parameter from HTML code of response to the previous request."},
    {"User number",
     "Returns the concatenation of prefix string and the ordinal number of the current virtual "
     "user."},
    {"File", "Returns the file with specified name and mime type."},
    {"Meta tag",
     "Returns the content of the meta tag with the specified name from HTML code of response to "
     "the previous request."},
    {"Cookie", "Returns the value of the virtual user's cookie with the specified name."},
};

std::string replaceAll(std::string_view text, std::string_view from, std::string_view to) {
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (true) {
        const size_t hit = text.find(from, pos);
        if (hit == std::string_view::npos) break;
        out.append(text, pos, hit - pos);
        out.append(to);
        pos = hit + from.size();
    }
    out.append(text, pos);
    return out;
}

// Numbers go into expressions as "%u" writes them.
std::string unsignedText(int32_t n) {
    return std::to_string(static_cast<uint32_t>(n));
}

}  // namespace

const char* CReqParamFunction::kindName(int32_t kind) {
    return kind >= 0 && kind < kKindCount ? kKinds[kind].name : "";
}

const char* CReqParamFunction::kindHelp(int32_t kind) {
    return kind >= 0 && kind < kKindCount ? kKinds[kind].help : "";
}

std::string CReqParamFunction::getText() const {
    return replaceAll(m_text, "%2c", ",");
}
void CReqParamFunction::setText(std::string_view text) {
    m_text = replaceAll(text, ",", "%2c");
}
std::string CReqParamFunction::getExtra() const {
    return replaceAll(m_extra, "%2c", ",");
}
void CReqParamFunction::setExtra(std::string_view extra) {
    m_extra = replaceAll(extra, ",", "%2c");
}

std::string CReqParamFunction::getList() const {
    return replaceAll(replaceAll(m_text, ",", "\r\n"), "%2c", ",");
}

void CReqParamFunction::setList(std::string_view lines) {
    auto isBreak = [](char c) { return c == '\r' || c == '\n'; };
    while (!lines.empty() && isBreak(lines.front())) lines.remove_prefix(1);
    while (!lines.empty() && isBreak(lines.back())) lines.remove_suffix(1);
    // A line ends with CR LF, a lone LF or a lone CR: whichever way the text
    // was typed, no line break may stay inside the value, where it would end
    // the script line.
    std::string joined = replaceAll(lines, ",", "%2c");
    joined = replaceAll(joined, "\r\n", "\n");
    std::replace(joined.begin(), joined.end(), '\r', '\n');
    std::replace(joined.begin(), joined.end(), '\n', ',');
    m_text = std::move(joined);
}

void CReqParamFunction::makeLiteral(std::string_view text) {
    m_kind = kStaticText;
    m_text = text;
}

void CReqParamFunction::clear() {
    m_from = m_to = m_shift = 0;
    m_text.clear();
    m_extra.clear();
}

std::string CReqParamFunction::expression(bool replaceCommas, bool encode) const {
    const std::string t = replaceCommas ? getText() : m_text;
    const std::string x = replaceCommas ? getExtra() : m_extra;
    switch (m_kind) {
        case kStaticText:
            // The text once encoded, with a comma stored as "%2c" (by older
            // edits) a comma again: encoding the stored form would send
            // "%252c" for it.
            return encode ? urlEncode(getText(), false) : t;
        case kNumericRandom: {
            std::string e = "$NRand(" + unsignedText(m_from) + "," + unsignedText(m_to);
            if (!t.empty()) e += "," + (encode ? urlEncode(t, false) : t);
            return e + ")";
        }
        case kAlphanumericRandom:
            return "$ARand(" + unsignedText(m_from) + "," + unsignedText(m_to) + ")";
        case kRandomFromList:
            return "$LRand(" + (encode ? urlEncode(t, true) : t) + ")";
        case kOrderedList:
            return "$List(" + (encode ? urlEncode(t, true) : t) + ")";
        case kSequence:
            return "$Seq(" + (encode ? urlEncode(t, false) : t) + "," + unsignedText(m_from) + "," +
                   unsignedText(m_shift) + ")";
        case kUrl:
            return "$UrlParam(" + t + ")";
        case kHiddenParameter:
            return "$Hidden(" + t + ")";
        case kUserNumber:
            return "$clid(" + t + (x.empty() ? "" : "," + x) + ")";
        case kFile:
            return "$File(" + t + (x.empty() ? "" : "," + x) + ")";
        case kMetaTag:
            return "$Meta(" + t + ")";
        case kCookie:
            return "$Cookie(" + t + ")";
        default:
            return "";
    }
}

}  // namespace velk::scenario
