#include "app/scenario/scenario_document.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>

#include "app/base/file_io.h"
#include "app/scenario/request.h"
#include "app/scenario/scenario_file.h"

namespace velk::scenario {
namespace {

// Process-wide, as the titles of unsaved documents count up over a program run.
int g_newDocumentCounter = 0;

std::string fileTitle(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Only a regular file can hold a scenario; a directory, a device or a pipe would
// fail or block somewhere inside the reading.
Status checkReadableFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {StatusCode::kIo, "Failed to open document.\n" + path + ": " + std::strerror(errno)};
    if (!S_ISREG(st.st_mode))
        return {StatusCode::kIo, "Failed to open document.\n" + path + " is not a file."};
    return Status::ok();
}

}  // namespace

void ScenarioDocument::setModified(bool modified) {
    if (m_modified == modified) return;
    m_modified = modified;
    changed();
}

void ScenarioDocument::changed() {
    if (m_observer) m_observer();
}

void ScenarioDocument::newDocument() {
    char title[32];
    std::snprintf(title, sizeof title, "Scenario%d", ++g_newDocumentCounter);
    m_scenario.clear();
    m_scenario.reset();
    m_title = title;
    m_path.clear();
    m_modified = false;
    changed();
}

Status ScenarioDocument::open(const std::string& path) {
    // Read into a scratch scenario first, so a damaged file changes nothing;
    // the scratch read restarts the process-wide request ids, so a failure
    // puts the counter back too (the open requests keep their ids unique).
    if (Status readable = checkReadableFile(path); !readable) return readable;
    const int32_t lastId = CRequest::lastId();
    CScenario scratch;
    scratch.reset();
    Status loaded;
    try {
        loaded = loadScenarioFile(scratch, path);
    } catch (const std::exception&) {
        loaded = {StatusCode::kIo, "An unexpected error occurred while reading " + path + "."};
    }
    if (!loaded) {
        CRequest::restoreIdCounter(lastId);
        return loaded;
    }
    m_scenario.clear();
    m_scenario.reset();
    const std::string bytes = scenarioFileBytes(scratch);
    if (Status read = readScenarioBytes(m_scenario, bytes); !read) return read;
    m_path = path;
    m_title = fileTitle(path);
    m_modified = false;
    changed();
    return Status::ok();
}

Status ScenarioDocument::saveAs(const std::string& path) {
    if (Status saved = base::writeFileReplacing(path, scenarioFileBytes(m_scenario)); !saved)
        return saved;
    m_path = path;
    m_title = fileTitle(path);
    m_modified = false;
    changed();
    return Status::ok();
}

}  // namespace velk::scenario
