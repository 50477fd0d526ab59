#pragma once
// The test script parser: turns a script text (and the files it includes) into
// the options, request definitions, sequences, header lines and inline script of
// a ParsedTest.
//
// A parser works on one ParsedTest on the caller's thread.  The first error is
// reported through the message path and ends the parse; what was parsed before it
// stays in the set.
#include <cstddef>
#include <string_view>

namespace velk {

struct ParsedTest;

// Longest line, after global variables are put in.
inline constexpr size_t kMaxLineLength = 65535;
// Longest request name.
inline constexpr size_t kMaxRequestName = 399;
// Deepest nesting of included files; deeper usually means an include cycle.
inline constexpr int kMaxIncludeDepth = 16;
// Most included files one parse reads (files that include each other several times
// would otherwise multiply).
inline constexpr int kMaxIncludeReads = 1000;

class ScriptParser {
public:
    explicit ScriptParser(ParsedTest& set) : m_set(set) {}

    // Parses a whole script text.  Returns false after the first error.
    bool parse(std::string_view text);

private:
    struct Frame;
    enum SeqIndex { kInit = 0, kTest = 1, kFinal = 2 };

    bool parseText(std::string_view text, int depth, size_t appendedOut[3]);
    bool handleLine(Frame& f, std::string& line);
    bool substituteGlobals(Frame& f, std::string& line);
    bool openSection(Frame& f, std::string_view header);
    void appendToSequence(Frame& f, int which, std::string_view line);
    bool include(Frame& f, const std::string& path);
    bool requestLine(Frame& f, std::string_view line);
    bool requestKey(Frame& f, std::string_view line, bool& taken);
    bool failLine(Frame& f, std::string_view value);
    bool exportLine(Frame& f, std::string_view value);
    bool contentLine(Frame& f, std::string_view value);
    bool finishContent(Frame& f);

    ParsedTest& m_set;
    int m_includeReads = 0;
};

}  // namespace velk
