#pragma once
// The [general] options of a test: their values, and the table that names each
// option with its type, size and storage.
//
// A GeneralOptions lives inside its ParsedTest.  It is written while a test is parsed
// or configured and only read while the test runs.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "base/status.h"

namespace velk {

struct ParsedTest;

struct GeneralOptions {
    int32_t clients = 1;
    int32_t requests = 1;
    std::string server = "localhost";
    int32_t httpver = 1;
    int32_t sslver = 1;
    int32_t port = 80;
    int32_t reportinfo = 1;  // also written as printdate
    int32_t appendresult = 0;
    int32_t summarytimes = 1;
    double round = 10.0;
    int32_t log = 0;
    int32_t proxyemulation = 0;
    std::string proxymask = "192.168.$C2.$C1";
    int32_t timeout = 30;
    int32_t timestamp = 0;
    int32_t sumredirecttime = 1;
    std::string httperrorsymbol = "HTTPERR";
    std::string socketerrorsymbol = "NETERR";
    std::string failerrorsymbol = "FAIL";
    std::string timeouterrorsymbol = "TIMEOUT";
    int32_t showbadresults = 1;
    int32_t secure = 0;
    std::string uri = "/";
    int32_t method = 0;  // 0 GET, 1 POST
    int32_t keepalive = 0;
    int32_t delay = 0;
    int32_t softdelay = 0;
    std::string outfile = "%n-%s-%cx%r.xls";
    int32_t delaystart = 1;
    int32_t maxtime = 0;
    int32_t abortseq = 1;
    int32_t noredir = 0;
    std::string script;  // also written as scriptfile
    std::string proxy;
    int32_t proxynocache = 0;
    std::string projectname;
    std::string description;
    std::string endofscript = "[/script]";
    int32_t nodetails = 0;
    int32_t maxrequests = 0;
    int32_t nowait = 0;
    int32_t exacttiminginterval = 1000;
    int32_t ignoreerrors = 1;
    int32_t timingmode = 0;
    std::string authorization;
    int32_t maxspeed = 0;
    std::string logdir;
    std::string reportdir;
    // 1: blanks, control characters and bytes above 127 in a form parameter's
    // value are percent-encoded when sent (by default values go as written).
    int32_t encodevalues = 0;
    // 1: the parser reports what it takes for a likely mistake but accepts
    // (velkrun --check sets it).
    int32_t warnings = 0;
    // 1: every test-sequence iteration of a user starts as a new visitor: the
    // cookies, variables and previous URL go back to what the init sequence
    // left (nothing without one), and there is no previous page to read.
    int32_t newvisitor = 0;
    // HTTP/2: 0 never; 1 where TLS negotiates it (ALPN "h2", else HTTP/1.1);
    // 2 also in clear text, by prior knowledge (h2c), to a server known to speak it.
    // Set by its own rule, not from the table above, whose order scripts rely on.
    int32_t http2 = 0;
    // 0: a run whose memory estimate exceeds the machine's available memory
    // starts anyway.  Set by its own rule, like http2.
    int32_t memorycheck = 1;
};

// How an option's value text is read.
enum class OptionType : char {
    Integer = 'i',  // leading decimal digits
    Flag = 'b',     // 0/no/off or 1/yes/on
    Text = 's',     // shorter than the option's size
    Decimal = 'f',  // a floating-point number in the user's numeric locale
    ZeroOne = '1',  // first character 0 or 1
    Method = 'm',   // GET or POST
};

struct OptionDescriptor {
    const char* name;
    OptionType type;
    int size;  // text options: bytes including the terminating zero; else 0
    std::variant<int32_t GeneralOptions::*, double GeneralOptions::*, std::string GeneralOptions::*>
        storage;
};

// The option table, in its fixed order.
std::span<const OptionDescriptor> optionTable();
// The descriptor of an option (exact, case-sensitive name), or null.
const OptionDescriptor* findOption(std::string_view name);

// Sets one option of the test set by name, as a [general] line does.  A rejected
// value fails with the message for the user; a name no option has fails without
// a message.  "rate" (any case) is the one computed option.
Status setGeneralOption(ParsedTest& set, std::string_view name, std::string_view value);

// The same for a parsed test (SetProperty, velkrun's --set): the options that
// every request takes as its default when it is read (delay, uri, method,
// keepalive, port) change the requests that still carry the old default too,
// so that the option takes effect.
Status setOptionAfterParse(ParsedTest& set, std::string_view name, std::string_view value);

}  // namespace velk
