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
}

void CScenario::clear() {
    std::lock_guard<std::mutex> g(m_mutex);
    m_requests.deleteAll();
}

bool CScenario::generateScript(const settings::GlobalSettings& settings, std::string& text,
                               std::string& error) const {
    std::lock_guard<std::mutex> g(m_mutex);
    text.clear();
    error.clear();
    // A line break in a one-line request field would become a script line of
    // its own.
    if (!checkRequestFieldsAreSingleLines(m_requests, error)) return false;
    std::lock_guard<const CRequestsContainer> requestsGuard(m_requests);
    if (!appendGeneralPart(m_general, m_run, m_requests.count(), settings, text, error))
        return false;
    if (!m_requests.generateRequestPart(text)) {
        const std::vector<CRequest*> all = m_requests.flattened();
        for (const CRequest* r : all) {
            if (r->getMethod() != CRequest::kGet && r->getMethod() != CRequest::kPost) {
                error = "Request " + r->getName() + " has neither GET nor POST as its method.";
                break;
            }
        }
        return false;
    }
    return true;
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
