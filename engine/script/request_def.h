#pragma once
// One request section of a test script, and the parameter entries it carries.
//
// A RequestDef is built by the parser and owned by its TestSet.  When a run starts
// each virtual user gets its own copy; the parameter list is shared between the
// copies by reference count and is read-only during a run.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "api/text_buffer.h"
#include "regex/delimited_pattern.h"

namespace velk {

// One piece of a parameter value: a literal text or one parameter expression.
struct ValuePiece {
    enum class Kind : uint8_t {
        NumberRange = 0,
        RandomString = 1,
        RandomPick = 2,
        Literal = 3,
        Counter = 4,
        LinkParameter = 5,
        HiddenField = 6,
        Capture = 7,
        FileUpload = 8,
        ComputedName = 9,
        Variable = 10,
        UserNumber = 11,
        CyclicPick = 12,
    };
    Kind kind = Kind::Literal;
    std::string text;  // the literal text, or the expression as written
};

struct ParamEntry {
    std::string name;
    std::vector<ValuePiece> pieces;
};
using ParamList = std::vector<ParamEntry>;

// Name of the parameter entries that carry raw request content.
inline constexpr const char* kContentParamName = "pcontent";

// $exportvar: a pattern matched against each response and the template that
// makes the variable's value from the match.
struct ExportEntry {
    DelimitedPattern pattern;
    std::string valueTemplate;
};

struct RequestDef {
    std::string uri;
    std::string name;
    std::optional<std::string> server;  // none: the general server option
    int32_t port = 0;
    std::optional<DelimitedPattern> fail;
    bool failInverted = false;
    int32_t method = 0;  // 0 GET, 1 POST
    int32_t delay = 0;
    int32_t delayUpper = 0;
    int32_t keepalive = 0;
    bool multipart = false;
    std::string boundary;  // multipart boundary, drawn anew for each request
    std::shared_ptr<ParamList> params = std::make_shared<ParamList>();
    ParamList runtimeParams;
    std::map<std::string, ExportEntry> exports;
    std::map<std::string, std::string> overrides;
    std::unique_ptr<TextBuffer> content;  // content being collected or read
    bool rawContent = false;              // the body is the "pcontent" pieces
    std::unique_ptr<TextBuffer> extraHeaders;
    int32_t secure = 0;  // 0 follows the secure option, 2 TLS, other values plain

    // A virtual user's own copy: texts and buffers duplicated, the parameter list
    // shared, overrides copied.
    RequestDef cloneForUser() const;
};

}  // namespace velk
