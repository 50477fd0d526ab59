#pragma once
// CVelkObject: what a test script can do, as the object "velk" offers it
// (VelkBinding turns script calls into these).  It acts on one virtual user's
// session: that user's copies of the requests, its response buffer, log file
// and results, and the test's shared counters and abort flag.
//
// Methods never fail for a missing request or option: they answer 0 or nothing,
// so scripts test results.  Used only on its user's thread, and never outlives
// the session it was made for.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "scripting/script_session.h"

namespace velk {

// Longest option name GetOpt looks up; a longer one gives no result.
inline constexpr size_t kMaxOptionName = 63;
// Longest text GetOpt gives for a text option.
inline constexpr size_t kMaxOptionText = 511;

class CVelkObject {
public:
    explicit CVelkObject(ScriptSession& session);
    ~CVelkObject();
    CVelkObject(const CVelkObject&) = delete;
    CVelkObject& operator=(const CVelkObject&) = delete;

    // Performs the named request as a sequence step would, pauses by its delay,
    // exports its variables and records its result.  1 on success, 0 when it
    // failed or no such request exists (then nothing is recorded).
    int32_t request(std::string_view name);
    // The user's last response as received; valid until the next request.
    std::string_view response() const;
    // Sets the request's override for param, or removes it when value is none.
    // 0 for an unknown request, else 1.
    int32_t setParam(std::string_view name, std::string_view param,
                     std::optional<std::string_view> value);
    // 1 once the run is being aborted, else 0.
    int32_t isAborting() const;
    // "clid" (any case): the user's index; else the general option as text.
    // None for an unknown or overlong name.
    std::optional<std::string> getOpt(std::string_view name) const;
    // Appends a notice to the user's log, when it writes one.
    void logit(std::string_view text);
    // Defines a plain-http request for this user.  0 when the name exists or
    // the address is not plain http, else 1.
    int32_t addRequest(std::string_view name, std::string_view uri);
    // Applies "key=value,..." to the request for good, as a sequence entry's
    // arguments are for one step.  0 for an unknown request, or when an item was
    // refused (an unknown $ key, which also ends the list, or a bad value).
    int32_t setRequestOpt(std::string_view name, std::string_view options);
    // Appends a parameter with the value expression pvalue.  0 for an unknown
    // request, an existing parameter of that name or a refused expression.
    int32_t addParam(std::string_view name, std::string_view param, std::string_view value);
    // Removes the request's parameters and overrides.
    void resetRequest(std::string_view name);

private:
    RequestDef* find(std::string_view name);
    void pauseAfter(const RequestDef& request, int64_t tookMs);

    ScriptSession& m_session;
};

}  // namespace velk
