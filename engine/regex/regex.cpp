#include "regex/regex.h"

#include <string>

#include "regex/char_tables.h"
#include "regex/first_chars.h"
#include "regex/regex_codegen.h"
#include "regex/regex_matcher.h"
#include "regex/regex_parser.h"

namespace velk {

Regex::Regex() : Regex(kDefaultStepLimit) {}

Regex::Regex(uint64_t stepLimit) : m_stepLimit(stepLimit) {
    CharTables::instance();
}

bool Regex::fail(int code, size_t position) {
    m_program = RegexProgram{};
    m_state = code;
    m_errorPosition = position;
    return false;
}

bool Regex::compile(std::string_view pattern, int flags) {
    std::string expression;
    size_t offset = 0;
    if (flags & kFlagDelimited) {
        DelimitedPattern split = splitDelimitedPattern(pattern);
        if (!split.ok()) return fail(split.error, split.errorPosition);
        flags |= split.flags;
        expression = std::move(split.expression);
        offset = 1;
    } else {
        expression.assign(pattern);
    }
    RegexTree tree;
    RegexParser parser(expression, flags);
    if (!parser.parse(tree)) return fail(parser.error(), offset + parser.errorPosition());
    RegexCodegen(tree, flags & kFlagIgnoreCase, m_program).generate();
    if (flags & kFlagFirstCharSet)
        m_program.hasFirstChars = FirstChars(tree).compute(m_program.firstChars);
    m_state = kPatternOk;
    m_errorPosition = 0;
    return true;
}

bool Regex::match(std::string_view text, int32_t* captures, int& pairCount, int* error) const {
    const int room = captures && pairCount > 0 ? pairCount : 0;
    for (int i = 0; i < 2 * room; ++i) captures[i] = -1;
    if (pairCount > groupCount()) pairCount = groupCount();
    if (error) *error = kPatternOk;
    if (m_state != kPatternOk) {
        if (error) *error = m_state;
        return false;
    }
    if (room < m_program.maxBackRef) {
        if (error) *error = kPatternCaptureRoom;
        return false;
    }
    RegexMatcher matcher(m_program, m_stepLimit, kMaxFrames);
    switch (matcher.search(text, captures, room < groupCount() ? room : groupCount())) {
        case RegexMatcher::Result::kMatch:
            return true;
        case RegexMatcher::Result::kNoMatch:
            return false;
        case RegexMatcher::Result::kGaveUp:
            break;
    }
    if (error) *error = kPatternWorkLimit;
    return false;
}

std::shared_ptr<const Regex> Regex::compileScriptPattern(std::string_view delimited, int* errorCode,
                                                         size_t* errorPosition) {
    auto regex = std::make_shared<Regex>();
    bool ok = regex->compile(delimited, kFlagDelimited | kFlagFirstCharSet);
    if (errorCode) *errorCode = regex->state();
    if (errorPosition) *errorPosition = regex->errorPosition();
    if (!ok) return nullptr;
    return regex;
}

}  // namespace velk
