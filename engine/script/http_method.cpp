#include "script/http_method.h"

#include <array>

#include "base/ascii.h"

namespace velk {
namespace {

constexpr std::array<std::string_view, 7> kNames = {"GET",    "POST", "PUT",    "PATCH",
                                                    "DELETE", "HEAD", "OPTIONS"};

}  // namespace

int32_t methodFromName(std::string_view value) {
    for (size_t i = 0; i < kNames.size(); ++i)
        if (equalsNoCase(value, kNames[i])) return int32_t(i);
    return kMethodPost;
}

std::string_view methodName(int32_t method) {
    return method >= 0 && size_t(method) < kNames.size() ? kNames[size_t(method)] : kNames[1];
}

}  // namespace velk
