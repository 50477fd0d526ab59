#pragma once
// Reading numbers the way the user writes them.
//
// Test scripts are read under the user's default numeric locale (so a comma locale
// reads "0,5" as one half), but the process-wide locale must stay untouched: other
// threads, and the host program, keep theirs.  ScopedUserNumericLocale switches only
// the calling thread and restores it when it goes out of scope.

namespace velk::platform {

class ScopedUserNumericLocale {
public:
    ScopedUserNumericLocale();
    ~ScopedUserNumericLocale();
    ScopedUserNumericLocale(const ScopedUserNumericLocale&) = delete;
    ScopedUserNumericLocale& operator=(const ScopedUserNumericLocale&) = delete;

private:
    void* m_previous = nullptr;  // locale_t of the thread before the switch
};

}  // namespace velk::platform
