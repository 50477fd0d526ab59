// Scenario files are untrusted: any bytes must load or fail with a message,
// without crashing or allocating more than the file could hold.  What loads
// must save to bytes that load back to the same bytes, and make a script or
// say why not.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/scenario/scenario_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velk::scenario;
    CScenario scenario;
    scenario.reset();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (const velk::Status read = readScenarioBytes(scenario, bytes); !read) {
        if (read.message().empty()) std::abort();
        return 0;
    }
    const std::string saved = scenarioFileBytes(scenario);
    CScenario again;
    again.reset();
    if (!readScenarioBytes(again, saved) || scenarioFileBytes(again) != saved) std::abort();
    const velk::StatusOr<std::string> script =
        scenario.generateScript(velk::settings::GlobalSettings());
    if (!script && script.status().message().empty()) std::abort();
    return 0;
}
