// libFuzzer target: the test-script parser on arbitrary bytes.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/message.h"
#include "script/parsed_test.h"
#include "script/script_parser.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    velk::setOutFunc(nullptr, nullptr);
    // Relative includes resolve in an empty directory of our own.
    char dir[] = "/tmp/velk-fuzz-XXXXXX";
    if (mkdtemp(dir) && chdir(dir) != 0) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    velk::ParsedTest set;
    set.globals["host"] = "example";
    set.globals["n"] = "5";
    // Any outcome will do; only crashes and hangs are findings.
    const std::string text(reinterpret_cast<const char*>(data), size);
    static_cast<void>(velk::ScriptParser(set).parse(text));
    return 0;
}
