#include "app/shell/tips_reader.h"

#include <sys/stat.h>

#include <ctime>
#include <new>
#include <utility>

#include "app/base/file_io.h"

namespace velk::shell {
namespace {

constexpr size_t kMaxBytes = 1 << 20;

std::string modificationTime(const struct stat& st) {
    std::tm utc{};
    const time_t t = st.st_mtime;
    gmtime_r(&t, &utc);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
    return text;
}

bool isTip(const std::string& line) {
    if (line.empty()) return false;
    const char c = line[0];
    return c != '\t' && c != '\n' && c != '\r' && c != ' ' && c != ';';
}

}  // namespace

TipsReader::Status TipsReader::open(const std::string& path, const std::string& storedTimeStamp,
                                    long long storedPosition) {
    m_bytes.clear();
    m_position = 0;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return Status::kMissing;
    // The bounded reader: a FIFO or device put in the file's place between the
    // check and the reading is refused rather than waited on.
    try {
        auto bytes = velk::base::readRegularFile(path, kMaxBytes);
        if (!bytes) return Status::kTrouble;
        m_bytes = std::move(*bytes);
    } catch (const std::bad_alloc&) {
        m_bytes.clear();
        return Status::kTrouble;
    }
    m_timeStamp = modificationTime(st);
    if (m_timeStamp != storedTimeStamp) return Status::kOk;
    if (storedPosition < 0 || storedPosition > (long long)m_bytes.size()) return Status::kTrouble;
    m_position = storedPosition;
    return Status::kOk;
}

std::optional<std::string> TipsReader::next() {
    // At most one pass over the whole file, wrapping once at its end.
    size_t pos = size_t(m_position);
    for (size_t scanned = 0; scanned <= m_bytes.size();) {
        if (pos >= m_bytes.size()) {
            if (m_bytes.empty()) return std::nullopt;
            pos = 0;
        }
        size_t end = m_bytes.find('\n', pos);
        const size_t stop = end == std::string::npos ? m_bytes.size() : end + 1;
        std::string line = m_bytes.substr(pos, stop - pos);
        scanned += stop - pos;
        pos = stop;
        if (!isTip(line)) continue;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        m_position = (long long)pos;
        return line;
    }
    return std::nullopt;
}

}  // namespace velk::shell
