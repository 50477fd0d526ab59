#include "script/general_options.h"

#include <array>
#include <climits>
#include <cstdio>
#include <optional>

#include "base/ascii.h"
#include "base/message.h"
#include "platform/numeric_locale.h"
#include "script/parsed_test.h"
#include "script/request_def.h"

namespace velk {
namespace {

using G = GeneralOptions;
constexpr OptionType I = OptionType::Integer, B = OptionType::Flag, S = OptionType::Text,
                     F = OptionType::Decimal, O = OptionType::ZeroOne, M = OptionType::Method;

const std::array kOptions{
    OptionDescriptor{"clients", I, 0, &G::clients},
    OptionDescriptor{"requests", I, 0, &G::requests},
    OptionDescriptor{"server", S, 256, &G::server},
    OptionDescriptor{"httpver", O, 0, &G::httpver},
    OptionDescriptor{"sslver", I, 0, &G::sslver},
    OptionDescriptor{"port", I, 0, &G::port},
    OptionDescriptor{"reportinfo", B, 0, &G::reportinfo},
    OptionDescriptor{"printdate", B, 0, &G::reportinfo},
    OptionDescriptor{"appendresult", B, 0, &G::appendresult},
    OptionDescriptor{"summarytimes", B, 0, &G::summarytimes},
    OptionDescriptor{"round", F, 0, &G::round},
    OptionDescriptor{"log", B, 0, &G::log},
    OptionDescriptor{"proxyemulation", B, 0, &G::proxyemulation},
    OptionDescriptor{"proxymask", S, 32, &G::proxymask},
    OptionDescriptor{"timeout", I, 0, &G::timeout},
    OptionDescriptor{"timestamp", B, 0, &G::timestamp},
    OptionDescriptor{"sumredirecttime", B, 0, &G::sumredirecttime},
    OptionDescriptor{"httperrorsymbol", S, 9, &G::httperrorsymbol},
    OptionDescriptor{"socketerrorsymbol", S, 9, &G::socketerrorsymbol},
    OptionDescriptor{"failerrorsymbol", S, 9, &G::failerrorsymbol},
    OptionDescriptor{"timeouterrorsymbol", S, 9, &G::timeouterrorsymbol},
    OptionDescriptor{"showbadresults", B, 0, &G::showbadresults},
    OptionDescriptor{"secure", B, 0, &G::secure},
    OptionDescriptor{"uri", S, 512, &G::uri},
    OptionDescriptor{"method", M, 0, &G::method},
    OptionDescriptor{"keepalive", B, 0, &G::keepalive},
    OptionDescriptor{"delay", I, 0, &G::delay},
    OptionDescriptor{"softdelay", B, 0, &G::softdelay},
    OptionDescriptor{"outfile", S, 256, &G::outfile},
    OptionDescriptor{"delaystart", I, 0, &G::delaystart},
    OptionDescriptor{"maxtime", I, 0, &G::maxtime},
    OptionDescriptor{"abortseq", B, 0, &G::abortseq},
    OptionDescriptor{"noredir", B, 0, &G::noredir},
    OptionDescriptor{"scriptfile", S, 256, &G::script},
    OptionDescriptor{"script", S, 256, &G::script},
    OptionDescriptor{"proxy", S, 256, &G::proxy},
    OptionDescriptor{"proxynocache", I, 0, &G::proxynocache},
    OptionDescriptor{"projectname", S, 64, &G::projectname},
    OptionDescriptor{"description", S, 64, &G::description},
    OptionDescriptor{"endofscript", S, 256, &G::endofscript},
    OptionDescriptor{"nodetails", I, 0, &G::nodetails},
    OptionDescriptor{"maxrequests", I, 0, &G::maxrequests},
    OptionDescriptor{"nowait", I, 0, &G::nowait},
    OptionDescriptor{"exacttiminginterval", I, 0, &G::exacttiminginterval},
    OptionDescriptor{"ignoreerrors", B, 0, &G::ignoreerrors},
    OptionDescriptor{"timingmode", I, 0, &G::timingmode},
    OptionDescriptor{"authorization", S, 256, &G::authorization},
    OptionDescriptor{"maxspeed", I, 0, &G::maxspeed},
    OptionDescriptor{"logdir", S, 270, &G::logdir},
    OptionDescriptor{"reportdir", S, 270, &G::reportdir},
    OptionDescriptor{"encodevalues", B, 0, &G::encodevalues},
    OptionDescriptor{"warnings", B, 0, &G::warnings},
    OptionDescriptor{"newvisitor", B, 0, &G::newvisitor},
};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The leading decimal digits of text, saturated at INT32_MAX; nullopt when the
// text does not begin with a digit.
std::optional<int32_t> leadingNumber(std::string_view text) {
    if (text.empty() || !isDigit(text[0])) return std::nullopt;
    int64_t value = 0;
    for (char c : text) {
        if (!isDigit(c)) break;
        value = value * 10 + (c - '0');
        if (value > INT32_MAX) return INT32_MAX;
    }
    return int32_t(value);
}

Status storeValue(GeneralOptions& options, const OptionDescriptor& d, std::string_view name,
                  std::string_view value) {
    const std::string shownName(name);
    switch (d.type) {
        case OptionType::Integer: {
            auto number = leadingNumber(value);
            if (!number) {
                return invalidInput("Integer number expected as a value of %s\n",
                                    shownName.c_str());
            }
            options.*std::get<int32_t G::*>(d.storage) = *number;
            return Status::ok();
        }
        case OptionType::Flag: {
            int32_t flag;
            if ((!value.empty() && value[0] == '0') || equalsNoCase(value, "no") ||
                equalsNoCase(value, "off"))
                flag = 0;
            else if ((!value.empty() && value[0] == '1') || equalsNoCase(value, "yes") ||
                     equalsNoCase(value, "on"))
                flag = 1;
            else {
                return invalidInput("Only 0,no,off,1,yes,on expected as a value of %s\n",
                                    shownName.c_str());
            }
            options.*std::get<int32_t G::*>(d.storage) = flag;
            return Status::ok();
        }
        case OptionType::Text: {
            std::string& text = options.*std::get<std::string G::*>(d.storage);
            text.clear();
            if (value.size() >= size_t(d.size)) {
                return invalidInput("Value of %s cannot be longer than %d\n", shownName.c_str(),
                                    d.size);
            }
            text.assign(value);
            return Status::ok();
        }
        case OptionType::Decimal: {
            // sscanf reports EOF for an empty or blank value, which leaves the
            // option as it was; only text that is not a number is refused.
            const std::string text(value);
            double number = 0;
            platform::ScopedUserNumericLocale locale;
            int read = std::sscanf(text.c_str(), "%lf", &number);
            if (read == 0) {
                return invalidInput("Floating point number expected as a value of %s\n",
                                    shownName.c_str());
            }
            if (read == 1) options.*std::get<double G::*>(d.storage) = number;
            return Status::ok();
        }
        case OptionType::ZeroOne:
            if (value.empty() || (value[0] != '0' && value[0] != '1')) {
                return invalidInput("Only 0 or 1 expected as a value of %s\n", shownName.c_str());
            }
            options.*std::get<int32_t G::*>(d.storage) = value[0] - '0';
            return Status::ok();
        case OptionType::Method:
            if (equalsNoCase(value, "GET"))
                options.*std::get<int32_t G::*>(d.storage) = 0;
            else if (equalsNoCase(value, "POST"))
                options.*std::get<int32_t G::*>(d.storage) = 1;
            else {
                return invalidInput("Only GET or POST expected as a value of %s\n",
                                    shownName.c_str());
            }
            return Status::ok();
    }
    return Status(StatusCode::kInvalid);
}

// rate=N paces every user at N requests per hour: the general delay becomes the
// matching pause, and requests that still carry the old general delay follow it.
Status applyRate(ParsedTest& set, std::string_view value) {
    auto rate = leadingNumber(value);
    if (!rate || *rate == 0) {
        return invalidInput(
            "Rate must be a whole number of requests per hour above 0, not \"%.*s\"\n",
            int(value.size()), value.data());
    }
    GeneralOptions& options = set.options;
    const int32_t previous = options.delay;
    options.softdelay = 1;
    options.delay = 3600000 / *rate;
    for (auto& [name, request] : set.requests)
        if (request->delay == previous) request->delay = options.delay;
    return Status::ok();
}

// http2=0|1|2; anything else is refused rather than read as its first digit, so
// a typo never silently changes the protocol.
Status applyHttp2(GeneralOptions& options, std::string_view value) {
    if (value.size() != 1 || value[0] < '0' || value[0] > '2')
        return invalidInput("Only 0, 1 or 2 expected as a value of http2\n");
    options.http2 = value[0] - '0';
    return Status::ok();
}

}  // namespace

std::span<const OptionDescriptor> optionTable() {
    return kOptions;
}

const OptionDescriptor* findOption(std::string_view name) {
    for (const auto& d : kOptions)
        if (name == d.name) return &d;
    return nullptr;
}

Status setGeneralOption(ParsedTest& set, std::string_view name, std::string_view value) {
    if (equalsNoCase(name, "rate")) return applyRate(set, value);
    if (name == "http2") return applyHttp2(set.options, value);
    if (name == "memorycheck") {
        static const OptionDescriptor kMemoryCheck{"memorycheck", B, 0, &G::memorycheck};
        return storeValue(set.options, kMemoryCheck, name, value);
    }
    const OptionDescriptor* d = findOption(name);
    if (!d) return Status(StatusCode::kInvalid);
    return storeValue(set.options, *d, name, value);
}

Status setOptionAfterParse(ParsedTest& set, std::string_view name, std::string_view value) {
    const GeneralOptions before = set.options;
    if (Status s = setGeneralOption(set, name, value); !s) return s;
    // The requests took these defaults when they were read: those that still
    // carry the old value follow the new one, as if the script had said so.
    const GeneralOptions& now = set.options;
    for (auto& [requestName, request] : set.requests) {
        RequestDef& r = *request;
        if (name == "delay" && r.delay == before.delay && r.delayUpper == 0) r.delay = now.delay;
        if (name == "uri" && r.uri == before.uri) r.uri = now.uri;
        if (name == "method" && r.method == before.method) r.method = now.method;
        if (name == "keepalive" && r.keepalive == before.keepalive) r.keepalive = now.keepalive;
        if (name == "port" && !r.portGiven) r.port = now.port;
    }
    return Status::ok();
}

}  // namespace velk
