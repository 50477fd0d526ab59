#include "script/script_parser.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <vector>

#include "base/ascii.h"
#include "base/message.h"
#include "platform/file_io.h"
#include "platform/numeric_locale.h"
#include "script/content_splitter.h"
#include "script/general_options.h"
#include "script/item_reader.h"
#include "script/param_parser.h"
#include "script/parsed_test.h"

namespace velk {
namespace {

enum class Section {
    General,
    InitSeq,
    TestSeq,
    FinalSeq,
    Includes,
    Headers,
    Script,
    Content,
    Request
};

std::string_view trimTrailingSpaces(std::string_view text) {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// Splits at the first "=": the name with trailing spaces removed, and the value
// unchanged (empty when there is no "=").
std::pair<std::string_view, std::string_view> splitNameValue(std::string_view line) {
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) return {trimTrailingSpaces(line), {}};
    return {trimTrailingSpaces(line.substr(0, eq)), line.substr(eq + 1)};
}

Sequence& sequenceOf(ParsedTest& set, int which) {
    return which == 0 ? set.initSeq : which == 1 ? set.testSeq : set.finalSeq;
}

// Keys a request line may begin with, for the misspelling check.
constexpr std::string_view kRequestKeys[] = {
    "$uri",          "$server",  "$port",       "$method",    "$keepalive",
    "$delay",        "$secure",  "$fail",       "$exportvar", "$exportjson",
    "$exportheader", "$content", "$xmlcontent", "$header",    "$expectlocation"};

// Edits (insertions, deletions, replacements) between two short texts, without
// regard to case; stops counting above limit.
size_t editDistance(std::string_view a, std::string_view b, size_t limit) {
    if (a.size() > b.size() + limit || b.size() > a.size() + limit) return limit + 1;
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            const bool same = asciiLower(a[i - 1]) == asciiLower(b[j - 1]);
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

bool isRawValueByte(unsigned char c) {
    return c <= ' ' || c >= 0x7F;
}

}  // namespace

struct ScriptParser::Frame {
    std::string file;
    int depth = 0;
    int line = 0;
    Section section = Section::General;
    bool appendStarted[3] = {false, false, false};
    size_t appended[3] = {0, 0, 0};
    bool explicitTestSeq = false;
    RequestDef* request = nullptr;
    std::string contentTerminator;
};

Status ScriptParser::parse(std::string_view text) {
    platform::ScopedUserNumericLocale locale;
    size_t appended[3];
    Status parsed =
        parseText(text, 0, appended, m_set.testName.empty() ? "script" : m_set.testName);
    if (!parsed) return parsed;
    return checkSequences();
}

Status ScriptParser::checkSequences() const {
    for (const Sequence* seq : {&m_set.initSeq, &m_set.testSeq, &m_set.finalSeq})
        for (size_t i = 0; i < seq->length(); ++i) {
            const SequenceEntry& e = (*seq)[i];
            if (m_set.requests.find(e.name) == m_set.requests.end())
                return invalidInput("%s:%d: Request %s not found!\n", e.file.c_str(), e.line,
                                    e.name.c_str());
        }
    if (m_testSeqLine > 0 && !m_explicitTestSeqEntry && !m_set.scriptDriven())
        return invalidInput("%s:%d: Error: empty test sequence!\n", m_testSeqFile.c_str(),
                            m_testSeqLine);
    return Status::ok();
}

void ScriptParser::warn(const Frame& f, const char* format, const std::string& text) const {
    if (!m_set.options.warnings) return;
    char what[600];
    std::snprintf(what, sizeof what, format, text.c_str());
    report("%s:%d: warning: %s\n", f.file.c_str(), f.line, what);
}

Status ScriptParser::unknownKey(const Frame& f, std::string_view name) const {
    std::string_view nearest;
    size_t best = 3;
    for (std::string_view key : kRequestKeys) {
        const size_t d = editDistance(name, key, 2);
        if (d < best) {
            best = d;
            nearest = key;
        }
    }
    if (best <= 2) {
        return invalidInput(
            "Unknown request key %s, did you mean %s? (write $%s for a parameter of that "
            "name)\n",
            std::string(name).c_str(), std::string(nearest).c_str(), std::string(name).c_str());
    }
    warn(f, "%s is no request key: it is sent as a parameter of that name", std::string(name));
    return Status::ok();
}

Status ScriptParser::parseText(std::string_view text, int depth, size_t appendedOut[3],
                               const std::string& file) {
    Frame f;
    f.file = file;
    f.depth = depth;
    for (int i = 0; i < 3; ++i) sequenceOf(m_set, i).setLength(0);

    // Editors may begin a file with a UTF-8 byte-order mark: it is no script text.
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    // Bytes after a NUL are not script text.
    if (size_t nul = text.find('\0'); nul != std::string_view::npos) text = text.substr(0, nul);

    std::string line;
    size_t pos = 0;
    Status ok;
    while (ok && pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = text.size();
        ++f.line;
        if (end - pos > kMaxLineLength) {
            ok = invalidInput("Line %d is longer than %zu characters\n", f.line, kMaxLineLength);
            break;
        }
        line.assign(text.substr(pos, end - pos));
        pos = end;
        if (pos < text.size() && text[pos] == '\r') ++pos;
        if (pos < text.size() && text[pos] == '\n' && (pos == end || text[end] == '\r')) ++pos;
        try {
            ok = handleLine(f, line);
        } catch (...) {
            ok = Status(StatusCode::kInvalid, "FATAL EXCEPTION ARISES WHILE LOADING TEST!\n");
        }
    }
    // A content block must be closed by its terminator line: unterminated content
    // would silently take no part in the request body.
    if (ok && f.section == Section::Content) {
        ok = invalidInput("Syntax error at line %d\n", f.line);
    }
    if (!ok && !m_errorLocated && !ok.message().empty()) {
        // Said once, where the error is: an include's own file and line.
        m_errorLocated = true;
        ok = Status(ok.code(), f.file + ":" + std::to_string(f.line) + ": " + ok.message());
    }
    for (int i = 0; i < 3; ++i) appendedOut[i] = f.appended[i];
    return ok;
}

Status ScriptParser::handleLine(Frame& f, std::string& line) {
    while (!line.empty() && static_cast<unsigned char>(line.back()) < 32) line.pop_back();
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos) return Status::ok();
    line.erase(0, start);
    if (line[0] == ';') return Status::ok();

    if (Status substituted = substituteGlobals(f, line); !substituted) return substituted;

    if (f.section == Section::Script) {
        if (line == m_set.options.endofscript) {
            f.section = Section::General;
        } else {
            if (!m_set.scriptText) m_set.scriptText = std::make_unique<TextBuffer>(2048);
            m_set.scriptText->append(line);
            m_set.scriptText->append("\n");
        }
        return Status::ok();
    }
    if (f.section == Section::Content) {
        if (line == f.contentTerminator) return finishContent(f);
        if (line[0] == '[') {
            return invalidInput("Syntax error at line %d\n", f.line);
        }
        f.request->content->append(line);
        f.request->content->append("\n");
        return Status::ok();
    }
    if (line[0] == '[') {
        std::string_view header(line);
        header.remove_prefix(1);
        if (!header.empty() && header.back() == ']') header.remove_suffix(1);
        return openSection(f, header);
    }

    switch (f.section) {
        case Section::General: {
            auto [name, value] = splitNameValue(line);
            std::string lower(name);
            for (char& c : lower) c = asciiLower(c);
            return setGeneralOption(m_set, lower, value);
        }
        case Section::InitSeq:
            appendToSequence(f, kInit, line);
            return Status::ok();
        case Section::FinalSeq:
            appendToSequence(f, kFinal, line);
            return Status::ok();
        case Section::TestSeq:
            if (!f.explicitTestSeq) {
                // An explicit test sequence replaces the one the request sections made.
                f.explicitTestSeq = true;
                m_explicitTestSeqEntry = true;
                m_set.testSeq.setLength(0);
                f.appendStarted[kTest] = true;
            }
            appendToSequence(f, kTest, line);
            return Status::ok();
        case Section::Includes:
            return include(f, line);
        case Section::Headers:
            m_set.headers.push_back(line);
            return Status::ok();
        case Section::Request:
            return requestLine(f, line);
        case Section::Script:
        case Section::Content:
            break;
    }
    return Status::ok();
}

Status ScriptParser::substituteGlobals(Frame&, std::string& line) {
    size_t pos = 0;
    for (;;) {
        const size_t found = findNoCase(line, "$gvar(", pos);
        if (found == std::string::npos) break;
        size_t nameStart = found + 6;
        size_t nameEnd = line.find_first_of(",)", nameStart);
        if (nameEnd == std::string::npos) {
            return invalidInput("Syntax error in this line: %s\n", line.c_str());
        }
        size_t close = nameEnd;
        std::string_view fallback;
        if (line[nameEnd] == ',') {
            close = line.find(')', nameEnd + 1);
            if (close == std::string::npos) {
                return invalidInput("Syntax error in this line: %s\n", line.c_str());
            }
            fallback = std::string_view(line).substr(nameEnd + 1, close - nameEnd - 1);
        }
        const std::string name = line.substr(nameStart, nameEnd - nameStart);
        auto var = m_set.globals.find(name);
        const std::string value(var != m_set.globals.end() ? std::string_view(var->second)
                                                           : fallback);
        if (line.size() - (close + 1 - found) + value.size() > kMaxLineLength) {
            return invalidInput(
                "Line is longer than %zu characters after global variables: %.200s\n",
                kMaxLineLength, line.c_str());
        }
        line.replace(found, close + 1 - found, value);
        pos = found + value.size();  // values are not expanded again
    }
    return Status::ok();
}

Status ScriptParser::openSection(Frame& f, std::string_view header) {
    static const std::pair<const char*, Section> kSections[] = {
        {"general", Section::General},   {"initseq", Section::InitSeq},
        {"testseq", Section::TestSeq},   {"finalseq", Section::FinalSeq},
        {"includes", Section::Includes}, {"header", Section::Headers},
        {"script", Section::Script},
    };
    for (const auto& [name, section] : kSections)
        if (equalsNoCase(header, name)) {
            if (section == Section::TestSeq && m_testSeqLine == 0) {
                m_testSeqFile = f.file;
                m_testSeqLine = f.line;
            }
            f.section = section;
            f.request = nullptr;
            return Status::ok();
        }

    ++m_set.requestSectionCount;
    if (header.size() > kMaxRequestName) {
        return invalidInput("Request name longer than %zu characters at line %d\n", kMaxRequestName,
                            f.line);
    }
    if (m_set.requests.find(header) != m_set.requests.end()) {
        return invalidInput("Duplicate request definition:%s\n", std::string(header).c_str());
    }
    auto request = std::make_unique<RequestDef>();
    const GeneralOptions& o = m_set.options;
    request->name.assign(header);
    request->uri = o.uri;
    request->method = o.method;
    request->delay = o.delay;
    request->keepalive = o.keepalive;
    request->port = o.port;
    f.request = request.get();
    f.section = Section::Request;
    if (Status uri = prepareUri(*request); !uri) return uri;
    m_set.requests.emplace(request->name, std::move(request));
    if (!f.explicitTestSeq) appendToSequence(f, kTest, header);
    return Status::ok();
}

void ScriptParser::appendToSequence(Frame& f, int which, std::string_view line) {
    Sequence& seq = sequenceOf(m_set, which);
    if (!f.appendStarted[which]) {
        seq.setLength(0);
        f.appendStarted[which] = true;
    }
    SequenceEntry entry;
    entry.file = f.file;
    entry.line = f.line;
    size_t paren = line.find('(');
    if (paren == std::string_view::npos) {
        entry.name.assign(line);
    } else {
        entry.name.assign(line.substr(0, paren));
        entry.arguments.emplace(line.substr(paren + 1));
    }
    seq.append(std::move(entry));
    ++f.appended[which];
}

Status ScriptParser::include(Frame& f, const std::string& path) {
    if (f.depth + 1 > kMaxIncludeDepth) {
        return invalidInput("Includes are nested more than %d deep (an include cycle?): %s\n",
                            kMaxIncludeDepth, path.c_str());
    }
    if (++m_includeReads > kMaxIncludeReads) {
        return invalidInput("More than %d files are included: %s\n", kMaxIncludeReads,
                            path.c_str());
    }
    std::string text;
    switch (platform::readWholeFile(path, text)) {
        case platform::ReadStatus::Ok:
            break;
        case platform::ReadStatus::TooLarge:
            return invalidInput("File %s is too large to include\n", path.c_str());
        default:
            return invalidInput("Cannot open file %s\n", path.c_str());
    }
    size_t before[3];
    for (int i = 0; i < 3; ++i) before[i] = sequenceOf(m_set, i).length();
    size_t added[3];
    if (Status parsed = parseText(text, f.depth + 1, added, path); !parsed) return parsed;
    for (int i = 0; i < 3; ++i) {
        if (added[i] > 0) {
            f.appendStarted[i] = false;  // this file's next entry starts the list anew
            f.appended[i] += added[i];
        } else {
            sequenceOf(m_set, i).setLength(before[i]);
        }
    }
    return Status::ok();
}

Status ScriptParser::requestLine(Frame& f, std::string_view line) {
    const bool keyLine = line[0] == '$' && !(line.size() >= 2 && line[1] == '$');
    if (line.size() >= 2 && line[0] == '$' && line[1] == '$') {
        line.remove_prefix(1);
    } else if (line[0] == '$') {
        if (requestKey(f, line)) {
            if (startsWithNoCase(line, "$uri")) return prepareUri(*f.request);
            return Status::ok();
        }
    }
    auto [name, value] = splitNameValue(line);
    RequestDef& request = *f.request;
    if (equalsNoCase(name, "$fail")) return failLine(f, value);
    if (equalsNoCase(name, "$expectlocation")) {
        request.expectLocation.emplace(value);
        return Status::ok();
    }
    if (equalsNoCase(name, "$exportvar")) return exportLine(f, value);
    if (equalsNoCase(name, "$exportjson")) return exportJsonLine(f, value);
    if (equalsNoCase(name, "$exportheader")) return exportHeaderLine(f, value);
    if (equalsNoCase(name, "$content") || equalsNoCase(name, "$xmlcontent"))
        return contentLine(f, value);
    if (equalsNoCase(name, "$header")) return headerLine(f, value);
    if (keyLine) {
        if (Status checked = unknownKey(f, name); !checked) return checked;
    }
    if (std::any_of(value.begin(), value.end(),
                    [](char c) { return isRawValueByte(static_cast<unsigned char>(c)); }))
        warn(f,
             "the value of %s holds a blank, control character or non-ASCII byte, sent as "
             "written (encodevalues=1 encodes it)",
             std::string(name));
    return parseParamValue(m_set, request, name, value, *request.params, false);
}

bool ScriptParser::requestKey(Frame& f, std::string_view line) {
    line = line.substr(0, 511);
    size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return true;  // a "$" line without "=" is accepted and ignored
    return applyRequestKey(*f.request, line.substr(0, eq), line.substr(eq + 1));
}

Status ScriptParser::prepareUri(RequestDef& request) {
    request.uriPieces.reset();
    // A uri beginning with "$" is one of the target expressions.
    if (request.uri.empty() || request.uri[0] == '$') return Status::ok();
    const std::vector<ContentPiece> pieces = cutContent(request.uri);
    if (pieces.size() == 1 && !pieces[0].expression) return Status::ok();
    auto values = std::make_shared<std::vector<ValuePiece>>();
    for (const ContentPiece& piece : pieces) {
        if (piece.expression) {
            if (Status parsed = parseValuePiece(m_set, request, piece.text, false, *values);
                !parsed)
                return parsed;
        } else {
            ValuePiece literal;
            literal.text.assign(piece.text);
            values->push_back(std::move(literal));
        }
    }
    request.uriPieces = std::move(values);
    return Status::ok();
}

Status ScriptParser::headerLine(Frame& f, std::string_view value) {
    RequestDef& request = *f.request;
    if (!request.headerLines) request.headerLines = std::make_shared<ParamList>();
    ParamEntry line;
    for (const ContentPiece& piece : cutContent(value)) {
        if (piece.expression) {
            if (Status parsed = parseValuePiece(m_set, request, piece.text, false, line.pieces);
                !parsed)
                return parsed;
        } else {
            ValuePiece literal;
            literal.text.assign(piece.text);
            line.pieces.push_back(std::move(literal));
        }
    }
    std::string_view name = value.substr(0, value.find(':'));
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    if (equalsNoCase(name, "content-type")) request.headerNamesContentType = true;
    line.name.assign(name);
    request.headerLines->push_back(std::move(line));
    return Status::ok();
}

Status ScriptParser::failLine(Frame& f, std::string_view value) {
    RequestDef& r = *f.request;
    bool inverted = !value.empty() && value[0] == '!';
    if (inverted) value.remove_prefix(1);
    auto regex = Regex::compileScriptPattern(value);
    if (!regex) {
        return invalidInput("Invalid regexp in $fail parameter\n");
    }
    r.failInverted = inverted;
    r.fail = CompiledPattern{std::string(value), std::move(regex)};
    return Status::ok();
}

Status ScriptParser::exportLine(Frame& f, std::string_view value) {
    const ItemStyle style{.escapeAny = true, .maxLength = 255};
    size_t pos = 0;
    std::string variable = readItem(value, pos, style);
    while (pos < value.size() && value[pos] == ' ') ++pos;
    if (pos >= value.size() || value[pos] != '/') {
        return invalidInput("Regexp expected at $exporvar=%s\n", std::string(value).c_str());
    }
    size_t start = pos++;
    while (pos < value.size() && value[pos] != '/')
        pos += (value[pos] == '\\' && pos + 1 < value.size()) ? 2 : 1;
    size_t comma = value.find(',', pos);
    if (comma == std::string_view::npos || comma + 1 >= value.size()) {
        return invalidInput("Invalud $exportvar syntax\n");
    }
    std::string_view delimited = value.substr(start, comma - start);
    auto regex = Regex::compileScriptPattern(delimited);
    if (!regex) {
        return invalidInput("Invalid regexp:%s\n", std::string(delimited).c_str());
    }
    pos = comma + 1;
    std::string valueTemplate = readItem(value, pos, style);
    f.request->exports[variable] = ExportEntry{
        CompiledPattern{std::string(delimited), std::move(regex)}, std::move(valueTemplate)};
    return Status::ok();
}

Status ScriptParser::exportJsonLine(Frame& f, std::string_view value) {
    const ItemStyle style{.escapeAny = true, .maxLength = 255};
    size_t pos = 0;
    std::string variable = readItem(value, pos, style);
    if (variable.empty() || pos == 0 || pos > value.size() || value[pos - 1] != ',') {
        return invalidInput("Invalid $exportjson syntax, NAME,PATH expected: %s\n",
                            std::string(value).c_str());
    }
    const std::string pathText(value.substr(pos));
    std::string why;
    std::optional<json::Path> path = json::parsePath(pathText, &why);
    if (!path) return invalidInput("Invalid JSON path %s: %s\n", pathText.c_str(), why.c_str());
    f.request->jsonExports[variable] = JsonExport{pathText, std::move(*path)};
    return Status::ok();
}

Status ScriptParser::exportHeaderLine(Frame& f, std::string_view value) {
    const ItemStyle style{.escapeAny = true, .maxLength = 255};
    size_t pos = 0;
    std::string variable = readItem(value, pos, style);
    std::string_view header = pos <= value.size() ? value.substr(pos) : std::string_view();
    while (!header.empty() && (header.back() == ' ' || header.back() == '\t'))
        header.remove_suffix(1);
    // A header name is a token: no blank, colon or control character.
    const bool token = !header.empty() && header.size() <= 255 &&
                       std::all_of(header.begin(), header.end(), [](char c) {
                           return static_cast<unsigned char>(c) > 0x20 && c != ':' && c != 0x7f;
                       });
    if (variable.empty() || pos == 0 || pos > value.size() || value[pos - 1] != ',' || !token) {
        return invalidInput("Invalid $exportheader syntax, NAME,HEADER expected: %s\n",
                            std::string(value).c_str());
    }
    f.request->headerExports[variable] = std::string(header);
    return Status::ok();
}

Status ScriptParser::contentLine(Frame& f, std::string_view value) {
    RequestDef& r = *f.request;
    // Earlier content of this request is replaced, pieces included.
    std::erase_if(*r.params, [](const ParamEntry& e) { return e.name == kContentParamName; });
    r.rawContent = false;
    r.content = std::make_unique<TextBuffer>(1024);
    if (value.size() >= 2 && value[0] == '<' && value[1] == '<') {
        f.contentTerminator.assign(value.substr(2, 255));
        f.section = Section::Content;
        return Status::ok();
    }
    if (!value.empty() && value[0] == '<') {
        return invalidInput("Syntax error at line %d\n", f.line);
    }
    std::string bytes;
    const std::string path(value);
    switch (platform::readWholeFile(path, bytes)) {
        case platform::ReadStatus::Ok:
            break;
        case platform::ReadStatus::TooLarge:
            return invalidInput("Request content file is too large:%s\n", path.c_str());
        default:
            return invalidInput("Failed to open request content file:%s\n", path.c_str());
    }
    r.content->append(bytes);
    return splitRequestContent(m_set, r);
}

Status ScriptParser::finishContent(Frame& f) {
    f.section = Section::Request;
    return splitRequestContent(m_set, *f.request);
}

}  // namespace velk
