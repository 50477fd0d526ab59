#pragma once
// What a parameter's value pieces yield each time a request is built.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "api/text_buffer.h"
#include "script/request_def.h"
#include "script/user_random.h"

namespace velk {

// The user state that expressions read.  Borrowed for one request.
struct YieldContext {
    int32_t userIndex = 0;
    UserRandom& random;
    std::vector<int32_t>& slots;
    const std::map<std::string, std::string, std::less<>>& variables;
    std::optional<std::string_view> previousBody;  // none before the first response
};

// Appends the yield of every piece of the entry's value to out.
void appendParamValue(const ParamEntry& entry, YieldContext& context, TextBuffer& out);

}  // namespace velk
