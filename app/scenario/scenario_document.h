#pragma once
// ScenarioDocument: the one open scenario of the desktop program with what
// makes it a document: its title ("Scenario1", "Scenario2", ... until it is
// saved or opened, then the file's name), its path, and whether it changed
// since it was last saved.  New, open and save go through here; saving writes
// beside the old file and renames over it, so a failed save leaves it intact.
//
// Not thread-safe: the user-interface thread owns it.  The scenario inside
// guards its own shared parts (requests, output log).
#include <functional>
#include <string>

#include "app/scenario/scenario.h"
#include "engine/base/status.h"

namespace velk::scenario {

class ScenarioDocument {
public:
    ScenarioDocument() = default;
    ScenarioDocument(const ScenarioDocument&) = delete;
    ScenarioDocument& operator=(const ScenarioDocument&) = delete;

    CScenario& scenario() { return m_scenario; }
    const CScenario& scenario() const { return m_scenario; }

    const std::string& title() const { return m_title; }
    // Empty until the document was saved or opened.
    const std::string& path() const { return m_path; }

    bool isModified() const { return m_modified; }
    void setModified(bool modified);

    // Called after the title, the path or the modified flag changed.
    void setChangeObserver(std::function<void()> observer) { m_observer = std::move(observer); }

    // A fresh scenario with every default and the next "Scenario%d" title.
    void newDocument();
    // Reads the file into a fresh scenario.  On failure the open scenario is
    // left as it was and the status says why.
    Status open(const std::string& path);
    // Writes the file; on success it becomes the document's path and title.
    Status saveAs(const std::string& path);

private:
    void changed();

    CScenario m_scenario;
    std::string m_title;
    std::string m_path;
    bool m_modified = false;
    std::function<void()> m_observer;
};

}  // namespace velk::scenario
