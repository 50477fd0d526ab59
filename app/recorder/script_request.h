#pragma once
// ScriptRequest: one fetch() or XMLHttpRequest call of a recorded page, as
// the page's capture reported it: what the script sent (method, URL, the
// header lines the script itself set, the body) and what came back (status,
// content type, the answer's header lines and its body up to kMaxAnswer).
// scriptRequestNavigation turns the sent half into the recorded navigation
// that becomes a scenario request replaying the same method, header lines
// and body.
//
// Plain values and pure functions; safe from any thread.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/recorder/correlation.h"
#include "app/recorder/script_values.h"
#include "app/scenario/recorded_request_sink.h"

namespace velk::recorder {

struct ScriptRequest {
    // How the body was given to the browser.
    enum class Body {
        kNone,
        kText,        // a string: sent as written (JSON, plain text, XML ...)
        kUrlEncoded,  // URLSearchParams, or a string the script typed as a form
        kMultipart,   // FormData
        kUnreadable,  // a Blob, a stream, an ArrayBuffer: not readable from the page
        kTooLarge,    // larger than kMaxSent: not recorded
    };
    struct FormField {
        std::string name, value;  // a file field's value is its file's name
        bool file = false;
    };
    // Bodies and answers are kept up to these many characters.
    static constexpr size_t kMaxSent = 1024 * 1024;
    static constexpr size_t kMaxAnswer = 256 * 1024;
    // The most header lines kept of a request or an answer.
    static constexpr size_t kMaxHeaders = 100;

    std::string method;  // as the script named it, in capitals
    std::string url;     // absolute, fragment removed
    std::vector<std::pair<std::string, std::string>> headers;
    Body body = Body::kNone;
    std::string text;               // kText and kUrlEncoded
    std::vector<FormField> fields;  // kMultipart

    int32_t status = 0;  // 0: no answer came (a network error or an abort)
    std::string answerType;
    std::vector<std::pair<std::string, std::string>> answerHeaders;
    std::string answer;
    bool answerCut = false;  // the answer was longer than kMaxAnswer
};

// The parameter name under which a request keeps a body sent as written, its
// value the block form "<<END", the body's lines, "END" (see
// CReqParam::isContentBlock), which the script reads as the request's content.
inline constexpr const char* kContentKeyParameter = "$content";
// The parameter name under which a request keeps a header line the page's
// script set; the script generator writes it as it is, a $header line.
inline constexpr const char* kHeaderKeyParameter = "$header";

// True for an answer the recording leaves out as today's navigations do:
// images, style sheets, fonts and scripts fetched by a script.
bool isStaticAnswer(const ScriptRequest& request);

// The request as a recorded navigation (pause left 0): the method's number
// (a name the scenario does not know is POST, as the engine reads it); for
// GET and HEAD the query's pairs, for other methods the query kept in the URL
// and the body's pairs or its text as a content block; the script's Content-Type as the content
// type and its other header lines as "$header" pairs.  secure is 0 when the
// URL is not http or https (not recorded).
scenario::RecordedNavigation scriptRequestNavigation(const ScriptRequest& request);

// The recording as the proposals read it, in the scenario's order: each
// request a page's script sent (scripts, by request id) with its answer, and
// each navigation with the meta tags of the page it led to (pages).
std::vector<ScriptExchange> recordedExchanges(
    const scenario::CRequestsContainer& requests,
    const std::vector<std::pair<int32_t, ScriptRequest>>& scripts,
    const std::vector<std::pair<int32_t, PageFacts>>& pages);

}  // namespace velk::recorder
