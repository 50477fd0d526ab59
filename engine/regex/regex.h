#pragma once
// A compiled regular expression of the test-script language: Perl-like syntax
// over 8-bit text (delimited "/expression/flags" form, class escapes, lazy and
// counted repetition, back-references, look-ahead and fixed-width look-behind,
// the commit operator \O), matched by backtracking.
//
// Contract:
// - compile() once, then the object is read-only: match() is const and may be
//   called from any number of threads at once.  All scratch state of a match
//   (backtracking stack, captures, counters) belongs to the call and lives on
//   the heap, never in deep recursion, so it is safe on small thread stacks.
//   compile() itself must not run concurrently with anything else on the object.
// - state(): 1 before a successful compile, 0 after one, otherwise the error
//   code (PatternError, 2..9) with errorPosition() as an offset into the text
//   given to compile().
// - Bounded work: one match call gives up after the step limit (by default
//   kDefaultStepLimit steps: instructions run plus bytes scanned plus frames
//   popped) or when its backtracking stack would exceed kMaxFrames frames.  It
//   then reports no match, with kPatternWorkLimit as its error.  Normal
//   patterns on pages of several megabytes stay far below both.
// - An empty iteration of a repeated group ends the repetition and counts for
//   any iterations its minimum still requires.
// - With flag x, white space is ignored outside sets and outside \Q...\E.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "regex/delimited_pattern.h"
#include "regex/regex_program.h"

namespace velk {

class Regex {
public:
    static constexpr uint64_t kDefaultStepLimit = 50'000'000;
    static constexpr size_t kMaxFrames = size_t{1} << 21;  // 32 MiB of 16-byte frames

    Regex();
    explicit Regex(uint64_t stepLimit);

    // Compiles pattern under flags (PatternFlag bits).  With kFlagDelimited the
    // pattern is "/expression/letters" and the letters add their flags.
    // Replaces any earlier program.  Returns state() == 0.
    bool compile(std::string_view pattern, int flags);

    int state() const { return m_state; }
    size_t errorPosition() const { return m_errorPosition; }
    // Number of capture groups plus one (group 0, the whole match).
    int groupCount() const { return m_program.groups + 1; }

    // Finds the leftmost match in text.  captures has room for pairCount pairs
    // (start, end exclusive) of offsets into text; every pair in that room is
    // set to -1, -1 first, and pairCount is lowered to groupCount() when that
    // is smaller.  A group that took no part keeps -1, -1.  captures may be
    // null when pairCount is 0.  Returns false on no match, when not compiled,
    // when the room is below the highest back-reference number (error
    // kPatternCaptureRoom), or when the work limit is reached
    // (kPatternWorkLimit); error, when given, receives the reason (0 for a
    // match or a plain miss).
    bool match(std::string_view text, int32_t* captures, int& pairCount,
               int* error = nullptr) const;

    // Compiles a pattern as the test script writes it: delimited, with the
    // first-character set.  Null on failure, with the code and position in the
    // optional outputs.
    static std::shared_ptr<const Regex> compileScriptPattern(std::string_view delimited,
                                                             int* errorCode = nullptr,
                                                             size_t* errorPosition = nullptr);

private:
    bool fail(int code, size_t position);

    RegexProgram m_program;
    int m_state = kPatternNotCompiled;
    size_t m_errorPosition = 0;
    uint64_t m_stepLimit;
};

}  // namespace velk
