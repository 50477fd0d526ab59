#pragma once
// The program's own URL coding of parameter texts.  It differs from the engine's
// "$enc<<" (lower-case hex, "+" for a blank, optional bare commas), and scenario
// files and generated scripts depend on these exact bytes.
#include <string>
#include <string_view>

namespace velk::scenario {

// A blank becomes "+"; letters, digits, "-", "." and "_" stay; "," stays when
// keepCommas; every other byte becomes "%" and two lower-case hex digits ("%"
// itself becomes "%25", so a recorded value reaches the server as it was sent).
std::string urlEncode(std::string_view text, bool keepCommas);

// "+" becomes a blank; "%%" becomes "%"; "%" and two characters become the byte
// their leading hex digits give (nothing when that is 0 or fewer than two
// characters follow); every other byte stays.
std::string urlDecode(std::string_view text);

// The URL without its fragment ("#..."), which no request sends.
inline std::string_view withoutFragment(std::string_view url) {
    return url.substr(0, url.find('#'));
}

}  // namespace velk::scenario
