#pragma once
// What the server gave the browser for one recorded request, kept so that a
// replay can be checked against the recording: the final status after
// redirects, the path of the last redirect's Location (empty: no redirect)
// and the final page's title.  A request recorded before these were kept has
// none.
//
// Plain values; the container's lock guards the request that holds them.
#include <cstdint>
#include <string>
#include <string_view>

namespace velk::scenario {

struct RecordedOutcome {
    static constexpr size_t kMaxTitle = 200;
    static constexpr size_t kMaxLocation = 511;

    int32_t status = 0;    // final HTTP status; 0 when the browser did not say
    std::string location;  // path of the last Location followed, or empty
    std::string title;     // the final page's title, whitespace collapsed
    int32_t size = -1;     // bytes of the final page's body; -1 not known

    bool operator==(const RecordedOutcome&) const = default;
};

// A delimited pattern for $fail that matches a page whose <title> is title:
// blanks match any run of white space; characters a page may write as
// character entities (&<>"' and non-ASCII bytes) match any text without "<";
// everything else is escaped.  Empty when the title is empty.
std::string titlePattern(std::string_view title);

// The path of a URL (no scheme, host, query or fragment), as the engine's
// $expectlocation compares it.
std::string urlPath(std::string_view url);

// The check lines of a request section for outcome: an inverted $fail on
// the title, and $expectlocation when byTitle is false (the title cannot tell
// this page from another recorded one) or the page has no title.
std::string checkLines(const RecordedOutcome& outcome, bool byTitle);

}  // namespace velk::scenario
