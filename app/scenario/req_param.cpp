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

bool CReqParam::isContentBlock() const {
    if (m_name != "$content" || m_functions.size() != 1) return false;
    const std::string& text = m_functions[0]->storedText();
    if (!text.starts_with("<<")) return false;
    const size_t first = text.find("\r\n");
    if (first == std::string::npos || first <= 2) return false;
    const std::string end = text.substr(2, first - 2);
    if (end.find_first_of(" \t") != std::string::npos || !text.ends_with("\r\n" + end))
        return false;
    // No line before the last may end the block early, and every break is CR LF.
    const std::string body = text.substr(first + 2, text.size() - first - 4 - end.size());
    size_t start = 0;
    while (start <= body.size()) {
        const size_t next = body.find("\r\n", start);
        const std::string line =
            body.substr(start, next == std::string::npos ? std::string::npos : next - start);
        if (line == end || line.find_first_of("\r\n") != std::string::npos) return false;
        if (next == std::string::npos) break;
        start = next + 2;
    }
    return true;
}

}  // namespace velk::scenario
