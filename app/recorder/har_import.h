#pragma once
// HAR import: a HAR 1.2 file, as a browser's developer tools save a visit,
// becomes requests of a scenario: the navigations (documents) and the script
// requests (entries whose _resourceType is xhr or fetch, or, without one, whose
// answer is not a static file), each with its method, URL, the headers that
// matter (not the browser's own: Host, User-Agent, Accept-*, Connection,
// Cookie, Content-Length, Referer, Origin, Sec-*, caching and the like), its
// body (postData.text, or postData.params as a form) and the pause before it
// (from startedDateTime).  A redirect and the request that followed it are
// one request, with the final answer (the replay follows redirects).  Static files (images, style
// sheets, fonts, scripts, media) are left out unless kept.  The answers are kept as ScriptExchanges
// for the script-value proposals.
//
// The file is untrusted: it is read whole up to kMaxHarBytes, through the
// bounded JSON reader, with caps on entries, URLs, headers and bodies; a fault
// gives a message that names the entry and the field, never a crash.  Entries
// that are no HTTP(S) request (data:, blob:, ws:, chrome-extension:) are left
// out with a note.
//
// Plain functions; the caller owns the scenario and holds no lock of it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/recorder/script_values.h"
#include "engine/base/status_or.h"

namespace velk::scenario {
class CScenario;
}

namespace velk::recorder {

inline constexpr size_t kMaxHarBytes = size_t(64) << 20;
inline constexpr size_t kMaxHarEntries = 10000;
inline constexpr size_t kMaxHarUrl = 8192;
inline constexpr size_t kMaxHarHeaders = 200;  // per request
inline constexpr size_t kMaxHarHeaderValue = 8192;
inline constexpr size_t kMaxHarRequestBody = size_t(1) << 20;
// The longest pause taken from the file between two requests, in seconds.
inline constexpr int32_t kMaxHarPause = 3600;

struct HarEntry {
    ScriptExchange exchange;
    int32_t pauseSeconds = 0;  // before this request
    // The path of the last redirect the browser followed (its entries are
    // merged into this one, as the replay follows redirects itself), or empty.
    std::string redirectedTo;
};

struct HarVisit {
    std::vector<HarEntry> entries;
    int32_t staticLeftOut = 0;
    std::vector<std::string> notes;  // entries left out and why (server text not escaped)
};

// Reads HAR text.  kInvalid with a message naming the fault ("entry 3:
// request.url is missing").
StatusOr<HarVisit> readHar(std::string_view text, bool keepStatic);
// The same for a file (a regular file of at most kMaxHarBytes); kIo when it
// cannot be read.
StatusOr<HarVisit> readHarFile(const std::string& path, bool keepStatic);

// Appends the visit's requests to the scenario (an empty scenario also takes
// the recording's options: newvisitor=1) and returns the exchanges with the
// ids of the requests they became, for proposeScriptValues.
std::vector<ScriptExchange> addHarRequests(scenario::CScenario& scenario, const HarVisit& visit);

}  // namespace velk::recorder
