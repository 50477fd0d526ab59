#pragma once
// The file a report goes to when its caller gives no writer.  Opens on
// construction ("a" to append, "w" to replace), closes on destruction; write()
// fits the report writer signature with the ReportFile as its sink.
//
// Not shared between threads.
#include <cstdio>
#include <string>

namespace velk {

class ReportFile {
public:
    ReportFile(const std::string& path, bool append);
    ~ReportFile();
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    bool isOpen() const { return m_file != nullptr; }
    static void write(void* self, const char* text);
    // Flushes and closes; false when any write or the close failed.
    bool close();

private:
    std::FILE* m_file = nullptr;
    bool m_failed = false;
};

}  // namespace velk
