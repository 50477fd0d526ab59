#pragma once
// CReqParamFunction: one component of a parameter value, either literal text or
// one of the engine's value expressions ($NRand, $Seq, $Hidden ...).  A comma
// that belongs to the value is stored as "%2c", because a bare "," separates the
// elements of list kinds; the text and extra accessors convert.
//
// Not thread-safe: components belong to a request inside a CRequestsContainer,
// whose lock guards them.
#include <cstdint>
#include <string>
#include <string_view>

namespace velk::scenario {

class CReqParamFunction {
public:
    enum Kind : int32_t {
        kStaticText = 0,
        kNumericRandom = 1,
        kAlphanumericRandom = 2,
        kRandomFromList = 3,
        kOrderedList = 4,
        kSequence = 5,
        kUrl = 6,
        kHiddenParameter = 7,
        kUserNumber = 8,
        kFile = 9,
        // Appended: an older program shows these without a name and sends
        // nothing for them.
        kMetaTag = 10,
        kCookie = 11,
    };
    static constexpr int32_t kKindCount = 12;

    // The name and help text shown for a kind; empty for an unknown kind.
    static const char* kindName(int32_t kind);
    static const char* kindHelp(int32_t kind);

    int32_t getKind() const { return m_kind; }
    void setKind(int32_t kind) { m_kind = kind; }
    int32_t getFrom() const { return m_from; }
    void setFrom(int32_t from) { m_from = from; }
    int32_t getTo() const { return m_to; }
    void setTo(int32_t to) { m_to = to; }
    int32_t getShift() const { return m_shift; }
    void setShift(int32_t shift) { m_shift = shift; }

    // The stored text with every "%2c" turned into ",", and the reverse.
    std::string getText() const;
    void setText(std::string_view text);
    std::string getExtra() const;
    void setExtra(std::string_view extra);
    // One list element per line, and back (leading and trailing line breaks
    // dropped, commas inside an element kept as "%2c"; lines may end in CR LF,
    // LF or CR).
    std::string getList() const;
    void setList(std::string_view lines);

    // The texts as stored (what the file holds and the script writer uses).
    const std::string& storedText() const { return m_text; }
    const std::string& storedExtra() const { return m_extra; }
    void setStoredText(std::string text) { m_text = std::move(text); }
    void setStoredExtra(std::string extra) { m_extra = std::move(extra); }

    void copyFrom(const CReqParamFunction& other) { *this = other; }
    // Kind 0 with the text stored exactly as given.
    void makeLiteral(std::string_view text);
    // Numbers 0 and texts empty; the kind stays.
    void clear();

    // The component's part of a parameter value.  replaceCommas turns stored
    // "%2c" back into "," first (the editor's displays); encode URL-encodes the
    // text where the kind allows it.
    std::string expression(bool replaceCommas, bool encode) const;

private:
    int32_t m_kind = kStaticText;
    std::string m_text;
    int32_t m_from = 0;
    int32_t m_to = 0;
    std::string m_extra;
    int32_t m_shift = 0;
};

}  // namespace velk::scenario
