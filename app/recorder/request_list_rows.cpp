#include "app/recorder/request_list_rows.h"

#include <mutex>

namespace velk::recorder {
namespace {

std::string urlCell(const scenario::CRequest& request) {
    std::string url;
    if (!request.getServer().empty()) {
        if (request.getSecure() == scenario::CRequest::kHttps)
            url = "https://";
        else if (request.getSecure() == scenario::CRequest::kPlain)
            url = "http://";
        url += request.getServer();
    }
    return url + "/" + request.getUri();
}

std::string dataCell(const scenario::CRequest& request) {
    std::string data;
    for (int32_t i = 0; i < request.paramCount(); ++i) {
        const scenario::CReqParam* param = request.getParam(i);
        data += param->getName() + "=" + param->buildValue(true, '&') + "&";
    }
    while (!data.empty() && data.back() == '&') data.pop_back();
    return data;
}

void emptySequences(scenario::CScenario& scenario) {
    scenario.run().initialSequence.clear();
    scenario.run().mainSequence.clear();
    scenario.run().finalSequence.clear();
}

}  // namespace

std::vector<RequestRow> requestRows(const scenario::CRequestsContainer& requests) {
    std::lock_guard<const scenario::CRequestsContainer> lock(requests);
    std::vector<RequestRow> rows;
    rows.reserve(requests.roots().size());
    for (const auto& node : requests.roots()) {
        const scenario::CRequest& request = *node->request;
        rows.push_back({request.getId(), request.getName(), urlCell(request), dataCell(request),
                        std::to_string(request.getDelayFrom()) + " sec"});
    }
    return rows;
}

std::array<int, 4> requestColumnWidths(int listWidth) {
    const int wide = listWidth > 53 ? (listWidth - 53) * 45 / 100 : 0;
    return {50, wide, wide, 50};
}

int removeRequests(scenario::CScenario& scenario, const std::vector<int32_t>& ids) {
    int removed = 0;
    for (int32_t id : ids) removed += scenario.requests().remove(id) ? 1 : 0;
    emptySequences(scenario);
    return removed;
}

void clearRequests(scenario::CScenario& scenario) {
    scenario.requests().deleteAll();
    emptySequences(scenario);
}

}  // namespace velk::recorder
