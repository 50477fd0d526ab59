#pragma once
// Unguessable identifiers for form tokens and session cookies: 128 bits from the
// kernel's random source as 32 lower-case hex digits.  Safe from any thread.
#include <string>

namespace velk::demo {

std::string randomToken();

}  // namespace velk::demo
