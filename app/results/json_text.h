#pragma once
// JsonText: builds JSON text piece by piece.  Strings are untrusted bytes
// (request names come from test scripts): control characters are escaped and
// bytes that are not valid UTF-8 become U+FFFD, so the output is always valid
// JSON.  Numbers that are not finite are written as null.
#include <cstdint>
#include <string>
#include <string_view>

namespace velk::results {

class JsonText {
public:
    // Opens an object or array; key is used inside an object, "" otherwise.
    void beginObject(std::string_view key = {});
    void endObject();
    void beginArray(std::string_view key = {});
    void endArray();

    void string(std::string_view key, std::string_view value);
    void number(std::string_view key, double value);
    void integer(std::string_view key, int64_t value);
    void boolean(std::string_view key, bool value);
    void null(std::string_view key);

    const std::string& text() const { return m_text; }

    // value as a JSON string literal, quotes included.
    static std::string quoted(std::string_view value);

private:
    void prefix(std::string_view key);

    std::string m_text;
    bool m_first = true;
    int m_depth = 0;
};

}  // namespace velk::results
