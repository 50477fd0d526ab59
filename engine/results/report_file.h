#pragma once
// The file a report goes to when its caller gives no writer.  The report is
// collected in memory and only a finished one reaches the disk: close() writes it
// to a new file beside the target and renames that over the target, so a failed
// or interrupted write leaves any earlier report whole.  In append mode the
// finished text is appended in one go, and only to a regular file.
//
// A test script names the report file, so it must not be able to damage a file
// it did not make: an existing target is replaced or appended to only when it is
// itself a VELK report (or empty).  Anything else there, a symbolic link
// included, is refused and left as it was.
//
// Not shared between threads.
#include <string>
#include <string_view>

namespace velk {

class ReportFile {
public:
    ReportFile(std::string path, bool append) : m_path(std::move(path)), m_append(append) {}
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    // Fits the report writer signature with the ReportFile as its sink.
    static void write(void* self, const char* text);
    enum class Outcome { kWritten, kCannotOpen, kCannotWrite, kNotAReport };
    // Puts the collected text in place.
    Outcome close();

private:
    // kWritten when the target is missing, empty or a VELK report.
    Outcome checkTarget() const;
    Outcome appendToTarget();
    Outcome replaceTarget();

    std::string m_path;
    bool m_append;
    std::string m_text;
};

// Whether a report name made from the outfile template stays inside the report
// directory: not empty, not absolute, and without a ".." component.
bool isSafeReportName(const std::string& name);

// Whether a component of the name begins with "." (".bashrc", ".ssh/x"): such
// files are configuration, never reports.
bool isHiddenReportName(const std::string& name);

// Whether text (the beginning of a file) is the beginning of a report this
// program writes: its header, or the first section of a report without one.
bool looksLikeReport(std::string_view text);

}  // namespace velk
