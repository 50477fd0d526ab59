#pragma once
// The written form of every regular expression in a test script: "/", the
// expression, "/", flag letters.  Splitting and checking that form is the first
// step of compiling a pattern; the result keeps the text for messages and logs.
#include <string>
#include <string_view>

namespace velk {

// Flag bits of a pattern.
enum PatternFlag : int {
    kFlagIgnoreCase = 1,     // i
    kFlagDotAll = 2,         // s
    kFlagMultiLine = 4,      // m
    kFlagExtended = 8,       // x
    kFlagDelimited = 16,     // the pattern must be written delimited
    kFlagFirstCharSet = 32,  // o
    kFlagStrictEscapes = 64,
};

// Error codes shared with the pattern compiler and matcher.  Scripts and logs
// show these numbers, so they never change.
enum PatternError : int {
    kPatternOk = 0,
    kPatternNotCompiled = 1,
    kPatternMalformed = 2,        // no leading or closing "/", "\x" without a hex digit,
                                  // "|" or a zero-width item inside a look-behind
    kPatternUnbalanced = 3,       // "(", ")", "[" or "{" without its partner
    kPatternTooDeep = 4,          // more than 255 groups open at once
    kPatternUnknownFlag = 5,      // a flag letter other than i, m, o, s, x
    kPatternNoSuchGroup = 6,      // back-reference above the number of groups
    kPatternUnknownEscape = 7,    // escaped letter without a meaning (strict escapes only)
    kPatternBadCount = 8,         // malformed "{n,m}"
    kPatternNothingToRepeat = 9,  // repetition of an anchor, a look-around, or nothing
    kPatternCaptureRoom = 10,     // match time: capture room below the highest back-reference
    kPatternWorkLimit = 11,       // match time: the match gave up (step or memory bound)
};

struct DelimitedPattern {
    std::string text;        // as written, delimiters and flags included
    std::string expression;  // between the delimiters, escapes kept
    int flags = 0;           // bits of the flag letters
    int error = kPatternOk;
    size_t errorPosition = 0;

    bool ok() const { return error == kPatternOk; }
};

// Splits "/expression/flags".  The expression runs to the next "/" that no
// backslash escapes; a pattern without that closing "/" is malformed.
DelimitedPattern splitDelimitedPattern(std::string_view text);

}  // namespace velk
