#include "app/editor/address_pattern_rule.h"

#include <algorithm>
#include <cctype>

namespace velk::editor {
namespace {

constexpr std::string_view kMacros[] = {"$C1", "$C2", "$R1", "$R2"};
constexpr size_t kMaxDigits = 3;
constexpr int kMaxNumber = 255;

bool beginsMacro(std::string_view text) {
    if (text.empty()) return false;
    return std::any_of(std::begin(kMacros), std::end(kMacros),
                       [&](std::string_view m) { return m.starts_with(text); });
}

bool allDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

AddressPatternRule::Typed AddressPatternRule::type(std::string_view text, int selectionStart,
                                                   int selectionLength, char c) {
    const size_t start = std::min(size_t(std::max(selectionStart, 0)), text.size());
    const size_t length = std::min(size_t(std::max(selectionLength, 0)), text.size() - start);
    Typed typed;
    typed.text.assign(text);
    typed.caret = int(start + length);

    const auto insert = [&](char ch) {
        std::string out(text);
        out.replace(start, length, 1, ch);
        return out;
    };
    const std::string macro = insert(char(std::toupper(static_cast<unsigned char>(c))));
    if (beginsMacro(macro)) {
        typed.accepted = true;
        typed.text = macro;
        typed.caret = int(start + 1);
        typed.moveNext = macro.size() == kMaxDigits;
        return typed;
    }
    // The number field's own handling: the text stays as it was unless a digit fits.
    if (c == '.') {
        typed.moveNext = !text.empty();
        return typed;
    }
    if (c < '0' || c > '9') return typed;
    std::string number = insert(c);
    if (!allDigits(number) || number.size() > kMaxDigits) return typed;
    if (std::stoi(number) > kMaxNumber) number = std::to_string(kMaxNumber);
    typed.accepted = true;
    typed.text = number;
    typed.caret = int(std::min(start + 1, number.size()));
    typed.moveNext = number.size() == kMaxDigits;
    return typed;
}

bool AddressPatternRule::isAcceptable(std::string_view field) {
    if (field.empty() || beginsMacro(field)) return true;
    return field.size() <= kMaxDigits && allDigits(field) &&
           std::stoi(std::string(field)) <= kMaxNumber;
}

std::string AddressPatternRule::join(const Fields& fields) {
    std::string out;
    for (int i = 0; i < kFieldCount; ++i) out += (i ? "." : "") + fields[i];
    while (!out.empty() && out.back() == '.') out.pop_back();
    return out;
}

AddressPatternRule::Fields AddressPatternRule::split(std::string_view pattern) {
    std::array<std::string_view, kFieldCount> pieces;
    int count = 0;
    // From the right: the last three dots make four pieces, and any further
    // dots stay in the first.
    std::string_view rest = pattern;
    for (int cut = 0; cut < kFieldCount - 1; ++cut) {
        const size_t dot = rest.rfind('.');
        if (dot == std::string_view::npos) break;
        pieces[size_t(kFieldCount - 1 - count)] = rest.substr(dot + 1);
        ++count;
        rest = rest.substr(0, dot);
    }
    pieces[size_t(kFieldCount - 1 - count)] = rest;
    ++count;
    Fields fields;
    for (int i = 0; i < count; ++i)
        fields[size_t(i)] = std::string(pieces[size_t(kFieldCount - count + i)]);
    return fields;
}

}  // namespace velk::editor
