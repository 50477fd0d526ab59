#pragma once
// The test script parser: turns a script text (and the files it includes) into
// the options, request definitions, sequences, header lines and inline script of
// a ParsedTest.
//
// A parser works on one ParsedTest on the caller's thread.  The first error ends
// the parse, which fails with the message for the user; what was parsed before it
// stays in the set.
#include <cstddef>
#include <string>
#include <string_view>

#include "base/status.h"

namespace velk {
struct RequestDef;
}

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

    // Parses a whole script text; fails at the first error.
    Status parse(std::string_view text);

private:
    struct Frame;
    enum SeqIndex { kInit = 0, kTest = 1, kFinal = 2 };

    Status parseText(std::string_view text, int depth, size_t appendedOut[3],
                     const std::string& file);
    // Every sequence entry names a request, and an explicit test sequence has
    // entries: checked once the whole text and its includes are read.
    Status checkSequences() const;
    // A "$" line that is no request key: refused when it is within two letters
    // of one (a misspelt key), else a parameter (with a warning).
    Status unknownKey(const Frame& f, std::string_view name) const;
    void warn(const Frame& f, const char* format, const std::string& text) const;
    Status handleLine(Frame& f, std::string& line);
    Status substituteGlobals(Frame& f, std::string& line);
    Status openSection(Frame& f, std::string_view header);
    void appendToSequence(Frame& f, int which, std::string_view line);
    Status include(Frame& f, const std::string& path);
    Status requestLine(Frame& f, std::string_view line);
    // Applies a request key line; false when the line is no request key.
    bool requestKey(Frame& f, std::string_view line);
    Status failLine(Frame& f, std::string_view value);
    Status exportLine(Frame& f, std::string_view value);
    Status exportJsonLine(Frame& f, std::string_view value);
    Status exportHeaderLine(Frame& f, std::string_view value);
    Status headerLine(Frame& f, std::string_view value);
    // Finds value expressions in the request's uri (see RequestDef::uriPieces).
    Status prepareUri(RequestDef& request);
    Status contentLine(Frame& f, std::string_view value);
    Status finishContent(Frame& f);

    ParsedTest& m_set;
    int m_includeReads = 0;
    bool m_errorLocated = false;  // the failing message already names its file and line
    std::string m_testSeqFile;    // where an explicit [testseq] began
    int m_testSeqLine = 0;
    bool m_explicitTestSeqEntry = false;  // a [testseq] section had a line
};

}  // namespace velk
