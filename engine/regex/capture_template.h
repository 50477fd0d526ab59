#pragma once
// Expands a value template from a match: "$0" stands for the whole match and
// "$1".."$9" for the groups (a group that took no part, or one beyond the
// pairs given, yields nothing).  Used by $exportvar, $RegExp and $rxname.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velk {

enum class TemplateDollars {
    // $exportvar: "$$" is "$"; "$" before any other character drops both.
    kEscapes,
    // $RegExp and $rxname: only "$" followed by a digit is replaced; every
    // other character is copied as written.
    kDigitsOnly,
};

// captures holds pairCount pairs of offsets into text, as Regex::match
// leaves them.  The result is cut to maxLength bytes.
std::string expandCaptureTemplate(std::string_view pattern, std::string_view text,
                                  const int32_t* captures, int pairCount, TemplateDollars dollars,
                                  size_t maxLength);

}  // namespace velk
