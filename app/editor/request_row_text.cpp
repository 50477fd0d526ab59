#include "app/editor/request_row_text.h"

#include "app/scenario/request.h"

namespace velk::editor {

using velk::scenario::CRequest;

std::string requestUrlText(const CRequest& request) {
    std::string url;
    if (!request.getServer().empty()) {
        if (request.getSecure() == CRequest::kHttps)
            url = "https://";
        else if (request.getSecure() == CRequest::kPlain)
            url = "http://";
        url += request.getServer();
    }
    return url + "/" + request.getUri();
}

std::string parameterValueText(const velk::scenario::CReqParam& param) {
    return param.buildValue(true, '&');
}

std::string requestDataText(const CRequest& request) {
    std::string data;
    for (int32_t i = 0; i < request.paramCount(); ++i) {
        const velk::scenario::CReqParam& param = *request.getParam(i);
        data += param.getName() + "=" + parameterValueText(param) + "&";
    }
    while (!data.empty() && data.back() == '&') data.pop_back();
    return data;
}

std::string requestDelayText(const CRequest& request) {
    const int32_t from = request.getDelayFrom(), to = request.getDelayTo();
    return from < to ? std::to_string(from) + "-" + std::to_string(to) + " sec"
                     : std::to_string(from) + " sec";
}

}  // namespace velk::editor
