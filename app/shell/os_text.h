#pragma once
// The operating-system text of the feedback mail and the crash report: the
// kernel's name and release from uname, then the distribution's PRETTY_NAME
// from /etc/os-release in parentheses where there is one, e.g.
// "Linux 6.1.0-13-amd64 (Debian GNU/Linux 12 (bookworm))".
#include <string>
#include <string_view>

namespace velk::shell {

std::string operatingSystemText();

// The parts, for tests: PRETTY_NAME of an os-release text (quotes and
// backslash escapes removed), and the text made of them.
std::string prettyNameOf(std::string_view osRelease);
std::string composeOsText(std::string_view kernel, std::string_view release,
                          std::string_view prettyName);

}  // namespace velk::shell
