#pragma once
// JsonValue: a JSON document read from untrusted text (a summary file handed
// to velkrun --compare).  The reader is bounded: the text's size, the nesting
// depth and the number of values have caps, so a hostile file gives an error,
// never a crash or an unbounded allocation.  Numbers are doubles; strings keep
// their bytes as UTF-8 (\u escapes decoded, lone surrogates become U+FFFD).
//
// Plain data; safe to share once read.
#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velk::results {

class JsonValue {
public:
    enum class Kind { Null, Boolean, Number, String, Array, Object };

    static constexpr size_t kMaxTextBytes = 64u << 20;
    static constexpr int kMaxDepth = 64;
    static constexpr size_t kMaxValues = 4u << 20;

    // The document in text, or null with error set ("line 3: expected ':'").
    static std::unique_ptr<JsonValue> parse(std::string_view text, std::string& error);

    Kind kind() const { return m_kind; }
    bool isNumber() const { return m_kind == Kind::Number; }
    bool isString() const { return m_kind == Kind::String; }
    double number() const { return m_number; }
    const std::string& string() const { return m_string; }
    const std::vector<JsonValue>& items() const { return m_items; }
    // An object's keys, beside items() (empty for other kinds).
    const std::vector<std::string>& keys() const { return m_keys; }
    bool boolean() const { return m_boolean; }
    // The member named key of an object, or null when there is none (or this
    // is not an object).  A key given twice keeps its first value.
    const JsonValue* member(std::string_view key) const;

private:
    friend class JsonReader;
    Kind m_kind = Kind::Null;
    bool m_boolean = false;
    double m_number = 0;
    std::string m_string;
    std::vector<JsonValue> m_items;   // array items, or object values
    std::vector<std::string> m_keys;  // object keys, beside m_items
};

}  // namespace velk::results
