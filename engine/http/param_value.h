#pragma once
// What a parameter's value pieces yield each time a request is built: random
// numbers and strings, picks, counters, the user's number and variables, values
// taken from the previous response, file contents.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/text_buffer.h"
#include "script/request_def.h"

namespace velk {

struct HttpSession;

// Appends the yields of the entry's pieces to out.  previousBody is the body of
// the user's last response (none before the first, or after a failure).
// multipart says whether hidden-field values stay unencoded.
void appendParamValue(HttpSession& session, const ParamEntry& entry,
                      std::optional<std::string_view> previousBody, bool multipart,
                      TextBuffer& out);

// The same for a bare chain of pieces (a uri's or a header line's).
void appendPieces(HttpSession& session, const std::vector<ValuePiece>& pieces,
                  std::optional<std::string_view> previousBody, bool multipart, TextBuffer& out);

// The name a parameter goes by in this request: a $rxname piece renames it from
// the previous response; otherwise, or without a match, the last name it had.
std::string_view parameterName(RequestDef& request, const ParamEntry& entry,
                               std::optional<std::string_view> previousBody);

// The upload piece of a parameter, or null when it is not a file upload.
const ValuePiece* fileUploadPiece(const ParamEntry& entry);

}  // namespace velk
