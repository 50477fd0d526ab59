#pragma once
// CScenario: everything one load test needs: the request tree, the general and
// run settings, and the output log of its runs.  Turned into a test script by
// generateScript and kept in a .vts file by scenario_file.h.
//
// Thread-safe where it must be: the scenario lock serializes reset, clear,
// script generation and file reading and writing; the requests container and
// the output log have their own locks (order: scenario lock, then requests
// lock).  The general and run sections are plain values for the user-interface
// thread, which edits them outside those operations.
#include <map>
#include <mutex>
#include <string>

#include "app/base/output_log.h"
#include "app/scenario/general_section.h"
#include "app/scenario/requests_container.h"
#include "app/scenario/run_section.h"
#include "app/settings/global_settings.h"
#include "engine/base/status_or.h"

namespace velk::scenario {

class VtsReader;
class VtsWriter;

class CScenario {
public:
    CScenario() = default;
    CScenario(const CScenario&) = delete;
    CScenario& operator=(const CScenario&) = delete;

    CRequestsContainer& requests() { return m_requests; }
    const CRequestsContainer& requests() const { return m_requests; }
    CGeneralSection& general() { return m_general; }
    const CGeneralSection& general() const { return m_general; }
    CRunSection& run() { return m_run; }
    const CRunSection& run() const { return m_run; }
    base::OutputLog& outputLog() { return m_outputLog; }
    // The values the Runner page gives the script's global variables
    // ($gvar), by name; an empty value leaves the script's default.
    using GlobalValues = std::map<std::string, std::string>;
    GlobalValues& globalValues() { return m_globalValues; }
    const GlobalValues& globalValues() const { return m_globalValues; }

    // No requests, no global variable values, and every setting at its default.
    void reset();
    // No requests; the settings stay.
    void clear();

    // The whole test script; kInvalid with the reason when a field that goes on
    // one line holds a line break, a request has no method the engine knows, or
    // the per-user request count cannot be computed.
    StatusOr<std::string> generateScript(const settings::GlobalSettings& settings) const;

    // The scenario record of the file: general, run and requests records.
    void write(VtsWriter& out) const;
    void read(VtsReader& in);

private:
    mutable std::mutex m_mutex;
    CRequestsContainer m_requests;
    CGeneralSection m_general;
    CRunSection m_run;
    base::OutputLog m_outputLog;
    GlobalValues m_globalValues;
};

}  // namespace velk::scenario
