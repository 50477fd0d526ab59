#include "app/scenario/req_param.h"

namespace velk::scenario {

CReqParamFunction* CReqParam::get(int32_t index) {
    return index >= 0 && index < count() ? m_functions[size_t(index)].get() : nullptr;
}

const CReqParamFunction* CReqParam::get(int32_t index) const {
    return index >= 0 && index < count() ? m_functions[size_t(index)].get() : nullptr;
}

CReqParamFunction* CReqParam::insert(int32_t index, std::unique_ptr<CReqParamFunction> function) {
    CReqParamFunction* raw = function.get();
    if (index < 0 || index >= count())
        m_functions.push_back(std::move(function));
    else
        m_functions.insert(m_functions.begin() + index, std::move(function));
    return raw;
}

void CReqParam::clear() {
    m_functions.clear();
    m_encode = false;
    m_name.clear();
}

std::string CReqParam::buildValue(bool replaceCommas, char separator) const {
    std::string value;
    for (const auto& f : m_functions) {
        const std::string e = f->expression(replaceCommas, m_encode);
        if (!value.empty() && !e.empty()) value += separator;
        value += e;
    }
    return value;
}

}  // namespace velk::scenario
