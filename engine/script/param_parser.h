#pragma once
// Parameter values: a value text becomes a parameter entry of value pieces.
//
// The value is cut at every "&"; each piece is a literal or one expression
// ($NRand, $ARand, $LRand, $Seq, $UrlParam, $Hidden, $RegExp, $File, $rxname,
// $var, $clid, $list, $enc<<, $Json, $Meta, $Cookie).  Counters and cyclic picks take a per-user
// slot, which only parameters parsed with the test can have.
#include <string_view>
#include <vector>

#include "base/status.h"
#include "script/request_def.h"

namespace velk {

struct ParsedTest;

// Longest random string a $ARand piece may yield.
inline constexpr int32_t kMaxRandomString = 1 << 20;

// Deepest chain of $rxname pieces one value may hold.
inline constexpr int kMaxNamedValueDepth = 64;

// Builds the entry for parameter name with the given value text and appends it to
// list (the request's parameters, or a list made while running).  A rejected
// value leaves list as it was and fails with the message for the user.
Status parseParamValue(ParsedTest& set, RequestDef& request, std::string_view name,
                       std::string_view value, ParamList& list, bool runtime);

// Parses one piece (no "&" splitting); used for the value part of $rxname.
Status parseValuePiece(ParsedTest& set, RequestDef& request, std::string_view piece, bool runtime,
                       std::vector<ValuePiece>& out);

// Every byte but letters, digits, "-", "." and "_" as "%XX".
std::string percentEncode(std::string_view text);

}  // namespace velk
