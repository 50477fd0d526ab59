#include "app/results/json_text.h"

#include <cmath>
#include <cstdio>

#include "app/results/utf8_text.h"

namespace velk::results {

std::string JsonText::quoted(std::string_view s) {
    std::string out = "\"";
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
            ++i;
        } else if (c < 0x80) {
            out += char(c);
            ++i;
        } else if (size_t n = utf8SequenceLength(s, i); n > 0) {
            out.append(s.substr(i, n));
            i += n;
        } else {
            out += "\\ufffd";
            ++i;
        }
    }
    return out + "\"";
}

void JsonText::prefix(std::string_view key) {
    if (!m_first) m_text += ',';
    m_text += '\n';
    m_text.append(size_t(m_depth) * 2, ' ');
    if (!key.empty()) m_text += quoted(key) + ": ";
    m_first = false;
}

void JsonText::beginObject(std::string_view key) {
    if (m_depth > 0) prefix(key);
    m_text += '{';
    ++m_depth;
    m_first = true;
}

void JsonText::endObject() {
    --m_depth;
    m_text += '\n';
    m_text.append(size_t(m_depth) * 2, ' ');
    m_text += '}';
    m_first = false;
    if (m_depth == 0) m_text += '\n';
}

void JsonText::beginArray(std::string_view key) {
    prefix(key);
    m_text += '[';
    ++m_depth;
    m_first = true;
}

void JsonText::endArray() {
    --m_depth;
    m_text += ']';
    m_first = false;
}

void JsonText::string(std::string_view key, std::string_view value) {
    prefix(key);
    m_text += quoted(value);
}

void JsonText::number(std::string_view key, double value) {
    prefix(key);
    if (!std::isfinite(value)) {
        m_text += "null";
        return;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", value);
    m_text += text;
}

void JsonText::integer(std::string_view key, int64_t value) {
    prefix(key);
    m_text += std::to_string(value);
}

void JsonText::boolean(std::string_view key, bool value) {
    prefix(key);
    m_text += value ? "true" : "false";
}

void JsonText::null(std::string_view key) {
    prefix(key);
    m_text += "null";
}

}  // namespace velk::results
