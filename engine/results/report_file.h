#pragma once
// The file a report goes to when its caller gives no writer.  The report is
// collected in memory and only a finished one reaches the disk: close() writes it
// to a new file beside the target and renames that over the target, so a failed
// or interrupted write leaves any earlier report whole.  In append mode the
// finished text is appended in one go, and only to a regular file.  A symbolic
// link at the target is never followed: it is refused for appending and replaced
// (not written through) otherwise.
//
// Not shared between threads.
#include <string>

namespace velk {

class ReportFile {
public:
    ReportFile(std::string path, bool append) : m_path(std::move(path)), m_append(append) {}
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    // Fits the report writer signature with the ReportFile as its sink.
    static void write(void* self, const char* text);
    enum class Outcome { kWritten, kCannotOpen, kCannotWrite };
    // Puts the collected text in place.
    Outcome close();

private:
    Outcome appendToTarget();
    Outcome replaceTarget();

    std::string m_path;
    bool m_append;
    std::string m_text;
};

// Whether a report name made from the outfile template stays inside the report
// directory: not empty, not absolute, and without a ".." component.
bool isSafeReportName(const std::string& name);

}  // namespace velk
