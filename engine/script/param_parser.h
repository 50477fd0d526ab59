#pragma once
// Parameter values: a value text becomes a parameter entry of value pieces.
//
// For now every value is kept as one literal piece; the expression parser takes
// over this function without changing its callers.
#include <string_view>

#include "script/request_def.h"

struct TestSet;

namespace velk {

// Builds the entry for parameter name with the given value text and appends it to
// list (the request's parameters, or a list made while running).  Reports a
// rejected value through the message path and returns false.
bool parseParamValue(TestSet& set, RequestDef& request, std::string_view name,
                     std::string_view value, ParamList& list);

}  // namespace velk
