// libFuzzer target: the pattern compiler and matcher on arbitrary bytes.  The
// first byte picks the flags, the text up to the first NUL is the pattern and
// the rest is the subject.  Checks the capture vector contract on every match.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "regex/capture_template.h"
#include "regex/regex.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const int flags = data[0] & 0x7f;
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    size_t split = rest.find('\0');
    std::string_view pattern = rest.substr(0, split);
    std::string_view subject = split == std::string_view::npos ? rest : rest.substr(split + 1);

    // A small step limit keeps each input fast; the bound itself is under test.
    velk::Regex re(200000);
    if (!re.compile(pattern, flags)) {
        if (re.state() < 2 || re.state() > 9) std::abort();
        return 0;
    }
    int32_t caps[20];
    int pairs = 10;
    int error = 0;
    bool matched = re.match(subject, caps, pairs, &error);
    if (pairs < 1 || pairs > 10) std::abort();
    if (matched) {
        if (caps[0] < 0 || caps[1] < caps[0] || static_cast<size_t>(caps[1]) > subject.size())
            std::abort();
        for (int g = 1; g < pairs; ++g) {
            int32_t from = caps[2 * g];
            int32_t to = caps[2 * g + 1];
            if ((from < 0) != (to < 0)) std::abort();
            if (from >= 0 && (to < from || static_cast<size_t>(to) > subject.size())) std::abort();
        }
        velk::expandCaptureTemplate("$0$1$2$$x$9$", subject, caps, pairs,
                                    velk::TemplateDollars::kEscapes, 255);
    } else if (error != 0 && error != velk::kPatternCaptureRoom &&
               error != velk::kPatternWorkLimit) {
        std::abort();
    }
    return 0;
}
