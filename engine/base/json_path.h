#pragma once
// Reading one value out of a JSON text by a path such as "token",
// "data.items[0].id" or "$.a[\"b c\"]": what $Json and $exportjson use.
//
// The reader walks the text once, without building a tree and without
// recursion, and stops at the value the path names.  It is bounded: a text
// longer than kMaxJsonText, nesting deeper than kMaxJsonDepth and numbers
// longer than kMaxJsonNumber are refused as damaged, like any text that is not
// JSON on the way to the value.  Plain functions over borrowed text; safe to
// call from any thread.
//
// Texts here are bytes.  A string value comes back with its escapes decoded,
// every "\u" escape as UTF-8 (a surrogate pair as one character, a lone
// surrogate as U+FFFD), so that an escaped and a raw character give the same
// bytes; numbers, true and false come back as written, null as nothing, and an
// object or array as its JSON text as written.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velk::json {

// Longest JSON text searched; a longer body is refused, not scanned.
inline constexpr size_t kMaxJsonText = 8u << 20;
// Deepest nesting of objects and arrays walked through or over.
inline constexpr size_t kMaxJsonDepth = 256;
// Longest number token.
inline constexpr size_t kMaxJsonNumber = 64;
// Most steps in one path.
inline constexpr size_t kMaxPathSteps = 64;

struct PathStep {
    bool isIndex = false;
    std::string key;   // member name, when !isIndex
    size_t index = 0;  // element number, when isIndex
};
using Path = std::vector<PathStep>;

// Parses a path: an optional leading "$", then names joined by ".", indexes
// "[N]" and quoted names ["a b"] or ['a b'] (a backslash escapes the next
// character).  Empty or "$" alone is the whole text.  None when the path does
// not parse; why is then set.
std::optional<Path> parsePath(std::string_view text, std::string* why = nullptr);

struct Lookup {
    enum class Outcome { kFound, kNotFound, kDamaged };
    Outcome outcome = Outcome::kNotFound;
    std::string value;    // kFound: the value as described above
    std::string problem;  // kDamaged: what is wrong, and at which byte
};

Lookup find(std::string_view text, const Path& path);

}  // namespace velk::json
