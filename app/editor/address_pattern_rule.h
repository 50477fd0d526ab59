#pragma once
// AddressPatternRule: the address pattern of proxy emulation, edited in four
// fields like an IPv4 address.  A field holds a number 0 to 255 or one of the
// macros "$C1", "$C2", "$R1", "$R2", which the engine expands per virtual user.
// A typed character is upper-cased and kept when the field then begins one of
// the macros (after the third character the caret moves to the next field);
// otherwise the field handles it as a number field does: digits up to three
// (at most 255), "." moves on, anything else is refused.
//
// Plain functions of their arguments; safe from any thread.
#include <array>
#include <string>
#include <string_view>

namespace velk::editor {

class AddressPatternRule {
public:
    static constexpr int kFieldCount = 4;
    using Fields = std::array<std::string, kFieldCount>;

    struct Typed {
        bool accepted = false;  // the field's text or caret changed
        std::string text;       // the field's text afterwards
        int caret = 0;          // the caret afterwards
        bool moveNext = false;  // the caret goes on to the next field
    };

    // The character c typed into a field holding text, with the selection
    // [selectionStart, selectionStart + selectionLength) (the caret when empty).
    static Typed type(std::string_view text, int selectionStart, int selectionLength, char c);

    // True for "", a beginning of a macro, or a number 0 to 255 of up to 3 digits.
    static bool isAcceptable(std::string_view field);

    // The field texts joined with ".", trailing dots trimmed.
    static std::string join(const Fields& fields);
    // The pattern cut at its last three dots; the pieces fill the fields from
    // the first, so that join gives the pattern back.
    static Fields split(std::string_view pattern);
};

}  // namespace velk::editor
