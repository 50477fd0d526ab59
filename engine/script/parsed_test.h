#pragma once
// ParsedTest: what a test script says, as the parser leaves it: the name, the
// [general] options, the request definitions, the three sequences, the headers,
// the script text and the global variables.  A plain model: it knows nothing of
// runs; the run layer's TestRun and the C handle TestSet build on it.
//
// Written on the caller's thread while a test is parsed or configured; read-only
// while the test runs.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/text_buffer.h"
#include "script/general_options.h"
#include "script/request_def.h"

namespace velk {

// Longest test name kept; longer names are cut.
inline constexpr size_t kMaxTestName = 255;

struct SequenceEntry {
    std::string name;
    std::optional<std::string> arguments;  // from the first "(" on, closing ")" included
    std::string file;  // where the entry was written, for messages; empty: made by a section
    int line = 0;
};

// An ordered list of sequence entries.  Its length can be set back without losing
// the entries behind it, which an include relies on when it adds nothing.
class Sequence {
public:
    void append(SequenceEntry entry) {
        if (m_length < m_entries.size())
            m_entries[m_length] = std::move(entry);
        else
            m_entries.push_back(std::move(entry));
        ++m_length;
    }
    void setLength(size_t length) {
        m_length = length < m_entries.size() ? length : m_entries.size();
    }
    size_t length() const { return m_length; }
    const SequenceEntry& operator[](size_t i) const { return m_entries[i]; }

private:
    std::vector<SequenceEntry> m_entries;
    size_t m_length = 0;
};

struct ParsedTest {
    std::string testName;
    GeneralOptions options;
    std::map<std::string, std::unique_ptr<RequestDef>, std::less<>> requests;
    int32_t requestSectionCount = 0;
    Sequence initSeq;
    Sequence testSeq;
    Sequence finalSeq;
    std::vector<std::string> headers;
    std::unique_ptr<TextBuffer> scriptText;
    std::map<std::string, std::string, std::less<>> globals;
    int32_t slotCount = 0;

    void setTestName(std::string_view name) { testName.assign(name.substr(0, kMaxTestName)); }
    bool scriptDriven() const { return !options.script.empty(); }
};

}  // namespace velk
