#include "script/item_reader.h"

namespace velk {

std::string decodeCommas(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 3, "%2c") == 0) {
            out += ',';
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string readItem(std::string_view text, size_t& pos, const ItemStyle& style) {
    size_t p = pos;
    while (p < text.size() && text[p] == ' ') ++p;
    std::string raw;
    if (p < text.size() && text[p] == '"') {
        ++p;
        while (p < text.size() && text[p] != '"') {
            if (text[p] == '\\' && p + 1 < text.size() && (style.escapeAny || text[p + 1] == '"'))
                ++p;
            raw += text[p++];
        }
        if (p < text.size()) ++p;  // closing quote
        while (p < text.size() && text[p] != ',' && text[p] != ')') ++p;
    } else {
        p = pos;
        while (p < text.size() && text[p] != ',' && text[p] != ')') raw += text[p++];
    }
    if (p < text.size()) ++p;  // the "," or ")" that ends the item
    pos = p;
    std::string item = decodeCommas(raw);
    if (item.size() > style.maxLength) item.resize(style.maxLength);
    return item;
}

}  // namespace velk
