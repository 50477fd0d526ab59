// libFuzzer target: values and links taken from an arbitrary page.  The input's
// first line is the name or expression to look for, the rest the page.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/text_buffer.h"
#include "http/page_values.h"
#include "http/uri_expression.h"
#include "http/url_encoding.h"
#include "script/user_random.h"

namespace {

void checkInside(std::string_view view, std::string_view outer) {
    if (view.empty()) return;
    if (view.data() < outer.data() || view.data() + view.size() > outer.data() + outer.size())
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    size_t newline = input.find('\n');
    std::string_view name =
        input.substr(0, newline == std::string_view::npos ? input.size() : newline);
    std::string_view body =
        newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1);

    velk::UserRandom random(size);
    if (auto v = velk::extractUrlParam(body, name, random)) checkInside(*v, body);
    if (auto v = velk::extractHidden(body, name, random)) checkInside(*v, body);
    velk::TextBuffer out(64);
    velk::appendHidden(body, name, random, true, out);
    velk::appendHidden(body, name, random, false, out);
    out.clear();
    velk::appendDecodedAndEncoded(body, out);

    static const velk::VariableTable variables{{"next", "/cart?step=2"}, {"empty", ""}};
    for (std::string_view expression :
         {std::string_view("$action"), std::string_view("$href"), name})
        velk::resolveUriExpression(expression, body, variables);
    std::string href = "$href(" + std::string(name) + ")";
    velk::resolveUriExpression(href, body, variables);
    return 0;
}
