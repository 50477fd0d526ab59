#include "script/param_parser.h"

#include <string>

namespace velk {

bool parseParamValue(TestSet&, RequestDef&, std::string_view name, std::string_view value,
                     ParamList& list) {
    ParamEntry entry;
    entry.name.assign(name);
    entry.pieces.push_back(ValuePiece{ValuePiece::Kind::Literal, std::string(value)});
    list.push_back(std::move(entry));
    return true;
}

}  // namespace velk
