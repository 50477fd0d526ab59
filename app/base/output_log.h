#pragma once
// The run output shown by the runner view: messages appended as
// "<KIND WORD>>   <text>\r\n".
//
// Thread-safe: the runner's worker appends while the view reads; one mutex
// guards the text.
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace velk::base {

class OutputLog {
public:
    enum Kind : int32_t { kMessage = 0, kWarning = 1, kFailure = 2 };

    // "MESSAGE", "WARNING", "FAILURE"; empty for any other kind.
    static const char* kindWord(int32_t kind);

    void append(int32_t kind, std::string_view text);
    std::string text() const;
    void clear();

private:
    mutable std::mutex m_mutex;
    std::string m_text;  // guarded by m_mutex
};

}  // namespace velk::base
