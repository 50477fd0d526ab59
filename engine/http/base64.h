#pragma once
#include <string>
#include <string_view>

namespace velk {

// Standard Base64 with "=" padding and no line breaks.
std::string encodeBase64(std::string_view bytes);

}  // namespace velk
