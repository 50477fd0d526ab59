#pragma once
// The .vts file of a scenario: a document schema number, then the scenario
// record, then optional tagged blocks (the recording's outcomes, the global
// variables' values) that programs which do not know them stop before.
// Files are untrusted: a count or length larger than the rest of the
// file stops the reading with an error, and nothing is allocated for it.
#include <cstddef>
#include <string>
#include <string_view>

#include "app/scenario/scenario.h"
#include "engine/base/status.h"

namespace velk::scenario {

// The bytes of the file.
std::string scenarioFileBytes(const CScenario& scenario);

// Reads a file's bytes into the scenario, over the values it holds (the project
// name is not in the file and stays).  A record whose schema number is not 1
// ends that record quietly and its owner reads on.  kInvalid with a message
// when the bytes are not a scenario file; the scenario then holds what was read
// so far, and the caller should discard it.
Status readScenarioBytes(CScenario& scenario, std::string_view bytes);

// Largest scenario file read.
inline constexpr size_t kMaxScenarioFile = size_t(256) << 20;

// kIo when the file cannot be written (the old one is then left as it was).
Status saveScenarioFile(const CScenario& scenario, const std::string& path);
// Never throws: a file that cannot be read (kIo), or bytes that are no scenario
// (kInvalid), give a status with a message.
Status loadScenarioFile(CScenario& scenario, const std::string& path);

}  // namespace velk::scenario
