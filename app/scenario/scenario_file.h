#pragma once
// The .vts file of a scenario: a document schema number, then the scenario
// record.  Files are untrusted: a count or length larger than the rest of the
// file stops the reading with an error, and nothing is allocated for it.
#include <cstddef>
#include <string>
#include <string_view>

#include "app/scenario/scenario.h"

namespace velk::scenario {

// The bytes of the file.
std::string scenarioFileBytes(const CScenario& scenario);

// Reads a file's bytes into the scenario, over the values it holds (the project
// name is not in the file and stays).  A record whose schema number is not 1
// ends that record quietly and its owner reads on.  False with a message when
// the bytes are not a scenario file; the scenario then holds what was read so
// far, and the caller should discard it.
bool readScenarioBytes(CScenario& scenario, std::string_view bytes, std::string& error);

// Largest scenario file read.
inline constexpr size_t kMaxScenarioFile = size_t(256) << 20;

bool saveScenarioFile(const CScenario& scenario, const std::string& path, std::string& error);
// Never throws: a file that cannot be read, or bytes that are no scenario, give
// false with a message.
bool loadScenarioFile(CScenario& scenario, const std::string& path, std::string& error);

}  // namespace velk::scenario
