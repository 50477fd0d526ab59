// Matching a typical 100 KiB HTML page, the way $exportvar and $fail do after
// every response, against the C library's POSIX matcher on the same page and
// expression as a yardstick.
#include <benchmark/benchmark.h>
#include <regex.h>

#include <cstdlib>
#include <string>

#include "regex/regex.h"

namespace {

// A page of ordinary markup and prose with the hidden field near its end.
const std::string& page() {
    static const std::string text = [] {
        std::string s =
            "<!DOCTYPE html>\n<html><head><title>Account overview</title></head><body>\n";
        int row = 0;
        while (s.size() < 100 * 1024 - 600) {
            s += "<div class=\"row\" id=\"row" + std::to_string(row) + "\">\n";
            s += "  <a href=\"/items?id=" + std::to_string(row * 7) + "&amp;sort=name\">Item " +
                 std::to_string(row) + "</a>\n";
            s += "  <p>Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod "
                 "tempor incididunt ut labore et dolore magna aliqua. Contact us any time.</p>\n";
            s += "  <input type=\"text\" name=\"qty" + std::to_string(row) + "\" value=\"1\">\n";
            s += "</div>\n";
            ++row;
        }
        s += "<form method=\"post\" action=\"/checkout\">\n";
        s += "<input type=\"hidden\" name=\"token\" value=\"f3a9c0de77b14e2a9d0c5b6a1e8f4d20\">\n";
        s += "</form>\n</body></html>\n";
        return s;
    }();
    return text;
}

const char* const kPresent = "name=\"token\" value=\"([^\"]*)\"";
const char* const kAbsent = "name=\"session\" value=\"([^\"]*)\"";

void velkMatch(benchmark::State& state, const char* expression, bool expected) {
    auto re = velk::Regex::compileScriptPattern(std::string("/") + expression + "/");
    if (!re) std::abort();
    const std::string& text = page();
    for (auto _ : state) {
        int32_t caps[20];
        int pairs = 10;
        bool matched = re->match(text, caps, pairs);
        if (matched != expected) std::abort();
        benchmark::DoNotOptimize(caps);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void posixMatch(benchmark::State& state, const char* expression, bool expected) {
    regex_t re;
    if (regcomp(&re, expression, REG_EXTENDED) != 0) std::abort();
    const std::string& text = page();
    for (auto _ : state) {
        regmatch_t m[10];
        bool matched = regexec(&re, text.c_str(), 10, m, 0) == 0;
        if (matched != expected) std::abort();
        benchmark::DoNotOptimize(m);
    }
    regfree(&re);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_Velk_TokenPresent(benchmark::State& s) {
    velkMatch(s, kPresent, true);
}
void BM_Posix_TokenPresent(benchmark::State& s) {
    posixMatch(s, kPresent, true);
}
void BM_Velk_PatternAbsent(benchmark::State& s) {
    velkMatch(s, kAbsent, false);
}
void BM_Posix_PatternAbsent(benchmark::State& s) {
    posixMatch(s, kAbsent, false);
}

BENCHMARK(BM_Velk_TokenPresent);
BENCHMARK(BM_Posix_TokenPresent);
BENCHMARK(BM_Velk_PatternAbsent);
BENCHMARK(BM_Posix_PatternAbsent);

}  // namespace

BENCHMARK_MAIN();
