#pragma once
// Correlation: finds the recorded parameter values that the server gave out
// on the page just before (a one-time form token, a state value in a link)
// and that the engine can therefore fetch again at run time, and proposes to
// replace each by the expression that fetches it.
//
// The engine's $Hidden and $UrlParam read the user's last response, which is
// the final page of the request before: only that page's values are
// proposed.  A name that page gives out with several different values is not
// proposed (the engine would pick one of them at random), nor a short value
// under another name (a coincidence, such as a quantity of 1).
//
// Plain functions over plain values; the caller holds the container's lock
// around collectExchanges and applyProposals.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/scenario/requests_container.h"

namespace velk::recorder {

// The most hidden inputs, and the most link and form-action parameters, read
// of one page: the page's capture script stops there and says so.
inline constexpr int32_t kMaxPageItems = 2000;

// What one recorded page gave the browser, read from the page itself.
struct PageFacts {
    struct Hidden {
        std::string name, value, action;  // action: the form's target URL
    };
    struct LinkParam {
        std::string name, value, source;  // source: the link or form action
    };
    std::string url;  // the final URL of the page (after redirects)
    int32_t status = 0;
    std::string title;
    int32_t size = -1;
    std::vector<Hidden> hidden;
    std::vector<LinkParam> links;
    // The page's <meta> tags that have a content: name (or property) and content.
    std::vector<std::pair<std::string, std::string>> meta;
    // The page held more than kMaxPageItems of either: the rest were not read.
    bool cut = false;
};

// One recorded request with its parameters' plain values (only parameters
// that are one Static text) and the page it led to, if the browser said.
struct RecordedExchange {
    int32_t requestId = 0;
    std::string requestName;
    std::vector<std::pair<std::string, std::string>> params;
    std::optional<PageFacts> page;
};

struct Proposal {
    int32_t requestId = 0;
    std::string requestName;
    std::string parameter;
    int32_t paramIndex = 0;  // the parameter's position in its request
    std::string recordedValue;
    int32_t kind = 0;         // scenario::CReqParamFunction::kHiddenParameter or kUrl
    std::string fetchName;    // the name the expression fetches
    std::string replacement;  // the expression as the editor shows it
    std::string origin;       // where the value came from
    bool ticked = true;
};

// A value the page gave out under another name than the parameter's is
// proposed only from this length on.
inline constexpr size_t kMinForeignNameValue = 8;

std::vector<Proposal> findProposals(const std::vector<RecordedExchange>& exchanges);

// The container's requests in flattened order, with pages where pages holds
// one for the request's id.
std::vector<RecordedExchange> collectExchanges(
    const scenario::CRequestsContainer& requests,
    const std::vector<std::pair<int32_t, PageFacts>>& pages);

// Replaces the value of every ticked proposal's parameter by one component
// fetching it.  Returns how many were applied (a request or parameter that
// is gone is skipped).
int32_t applyProposals(scenario::CRequestsContainer& requests,
                       const std::vector<Proposal>& proposals);

// The outcome kept for checks: final status, the path of the last redirect
// (when the page's URL differs from the request's), title and size.
scenario::RecordedOutcome outcomeOf(const PageFacts& page, const std::string& requestUrl);

}  // namespace velk::recorder
