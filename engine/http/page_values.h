#pragma once
// Values a request takes from the page the same user received just before: a
// parameter found in a link on the page, the value of a hidden form field, or
// text picked by a regular expression.  Where a page offers several candidates
// (up to kMaxCandidates), one is drawn at random with the user's generator.
//
// Plain functions: the body is only read, never past its end, and every scan is
// linear.  Safe from any thread as long as each user passes its own generator.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "base/text_buffer.h"
#include "script/user_random.h"

namespace velk {

class Regex;

// Occurrences beyond this many are ignored.
inline constexpr size_t kMaxCandidates = 50;
// Longest value taken from a page.
inline constexpr size_t kMaxPageValue = 8191;

// $urlparam(name): the value of name=... in a URL on the page, where the name
// follows "?" or "&".  The value runs to "&", '"', ">" or a blank or control
// character.  None when the page holds no such parameter.  A view into body.
std::optional<std::string_view> extractUrlParam(std::string_view body, std::string_view name,
                                                UserRandom& random);

// $hidden(name): the value="..." of the tag whose name attribute is name.  None
// when the page holds no such field.  The raw text, a view into body.
std::optional<std::string_view> extractHidden(std::string_view body, std::string_view name,
                                              UserRandom& random);

// extractHidden appended to out: character references decoded and URL-encoded
// when encode is set (a urlencoded request), else the raw text.  Nothing is
// appended when no field was found.
void appendHidden(std::string_view body, std::string_view name, UserRandom& random, bool encode,
                  TextBuffer& out);

// $meta(name): the content="..." of the first <meta> tag whose name (or, for
// Open Graph tags, property) attribute is name, compared without regard to
// case.  Attribute values may be double-quoted, single-quoted or bare.  None
// when the page holds no such tag.  The raw text, a view into body.
std::optional<std::string_view> extractMeta(std::string_view body, std::string_view name);

// extractMeta appended to out with its character references decoded; URL-encoded
// too when encode is set (a urlencoded request).  Nothing when none was found.
void appendMeta(std::string_view body, std::string_view name, bool encode, TextBuffer& out);

// $regexp(pattern, template) and $rxname: matches pattern against body with 10
// capture slots and expands the template ("$0".."$9" are the captures, every
// other character is copied).  None without a match or without a body.
std::optional<std::string> expandBodyPattern(std::optional<std::string_view> body,
                                             const Regex& pattern, std::string_view valueTemplate);

}  // namespace velk
