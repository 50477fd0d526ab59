#include "scenario_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "vts_reader.h"
#include "vts_writer.h"

namespace velk::model {

std::string scenarioFileBytes(const CScenario& scenario) {
    VtsWriter out;
    out.writeSchema();
    scenario.write(out);
    return out.bytes();
}

bool readScenarioBytes(CScenario& scenario, std::string_view bytes, std::string& error) {
    VtsReader in(bytes);
    if (in.beginRecord()) scenario.read(in);
    if (!in.ok()) {
        error = in.error();
        return false;
    }
    return true;
}

bool saveScenarioFile(const CScenario& scenario, const std::string& path, std::string& error) {
    const std::string bytes = scenarioFileBytes(scenario);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out) out.write(bytes.data(), std::streamsize(bytes.size()));
    if (out) out.flush();
    if (!out) {
        error = "Failed to save document: " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool loadScenarioFile(CScenario& scenario, const std::string& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "Failed to open document: " + path + ": " + std::strerror(errno);
        return false;
    }
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "An unexpected error occurred while reading " + path + ".";
        return false;
    }
    return readScenarioBytes(scenario, bytes, error);
}

}  // namespace velk::model
