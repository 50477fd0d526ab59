#include "app/scenario/scenario_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <new>

#include "app/base/file_io.h"
#include "app/scenario/vts_reader.h"
#include "app/scenario/vts_writer.h"

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
    try {
        std::string bytes;
        if (!readRegularFile(path, kMaxScenarioFile, bytes, error)) {
            error = "Failed to open document: " + error;
            return false;
        }
        return readScenarioBytes(scenario, bytes, error);
    } catch (const std::exception&) {
        // Out of memory or a library failure: the document is not loaded.
        error = "An unexpected error occurred while reading " + path + ".";
        return false;
    }
}

}  // namespace velk::model
