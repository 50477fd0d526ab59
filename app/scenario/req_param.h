#pragma once
// CReqParam: one parameter line of a request: a name and a value built from an
// ordered list of owned components.  The note travels with the scenario file
// but never reaches the script.
//
// Not thread-safe: guarded by the lock of the CRequestsContainer that holds it.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/scenario/req_param_function.h"

namespace velk::scenario {

class CReqParam {
public:
    void setNameAndEncode(std::string name, bool encode) {
        m_name = std::move(name);
        m_encode = encode;
    }
    const std::string& getName() const { return m_name; }
    void setName(std::string name) { m_name = std::move(name); }
    bool getEncode() const { return m_encode; }
    void setEncode(bool encode) { m_encode = encode; }
    const std::string& getNote() const { return m_note; }
    void setNote(std::string note) { m_note = std::move(note); }

    int32_t count() const { return static_cast<int32_t>(m_functions.size()); }
    // Null when index is out of range.
    CReqParamFunction* get(int32_t index);
    const CReqParamFunction* get(int32_t index) const;
    // Index -1, or one past the end or beyond, appends.  Returns the component.
    CReqParamFunction* insert(int32_t index, std::unique_ptr<CReqParamFunction> function);
    void deleteAll() { m_functions.clear(); }
    // No components, encode off, no name.
    void clear();

    // The components' expressions joined by separator; an empty expression adds
    // nothing, not even a separator.
    std::string buildValue(bool replaceCommas, char separator) const;

    // A "$content" parameter whose value is the script's block form
    // ("<<END", the body's lines, "END", no inner line END): the one value
    // that may hold line breaks.
    bool isContentBlock() const;

private:
    std::string m_name;
    std::string m_note;
    bool m_encode = false;
    std::vector<std::unique_ptr<CReqParamFunction>> m_functions;
};

}  // namespace velk::scenario
