#include "app/scenario/scenario.h"

#include "app/scenario/script_generator.h"
#include "app/scenario/vts_reader.h"
#include "app/scenario/vts_writer.h"

namespace velk::scenario {

void CScenario::reset() {
    std::lock_guard<std::mutex> g(m_mutex);
    m_requests.reset();
    m_general.reset();
    m_run.setDefaults();
    m_globalValues.clear();
}

void CScenario::clear() {
    std::lock_guard<std::mutex> g(m_mutex);
    m_requests.deleteAll();
}

StatusOr<std::string> CScenario::generateScript(const settings::GlobalSettings& settings) const {
    std::lock_guard<std::mutex> g(m_mutex);
    // A line break in a one-line request field would become a script line of
    // its own.
    if (Status single = checkRequestFieldsAreSingleLines(m_requests); !single) return single;
    std::lock_guard<const CRequestsContainer> requestsGuard(m_requests);
    std::string text;
    if (Status general = appendGeneralPart(m_general, m_run, m_requests.count(), settings, text);
        !general)
        return general;
    if (!m_requests.generateRequestPart(text)) {
        std::string error;
        const std::vector<CRequest*> all = m_requests.flattened();
        for (const CRequest* r : all) {
            if (CRequest::methodName(r->getMethod()).empty()) {
                error = "Request " + r->getName() +
                        " has no method VELK knows (GET, POST, PUT, PATCH, DELETE, HEAD or "
                        "OPTIONS).";
                break;
            }
        }
        return {StatusCode::kInvalid, std::move(error)};
    }
    return text;
}

void CScenario::write(VtsWriter& out) const {
    std::lock_guard<std::mutex> g(m_mutex);
    out.writeSchema();
    m_general.write(out);
    m_run.write(out);
    m_requests.write(out);
}

void CScenario::read(VtsReader& in) {
    std::lock_guard<std::mutex> g(m_mutex);
    if (!in.beginRecord()) return;
    m_general.read(in);
    m_run.read(in);
    m_requests.read(in);
}

}  // namespace velk::scenario
