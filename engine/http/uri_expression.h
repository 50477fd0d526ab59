#pragma once
// Request targets taken from the page the user received just before, or from
// the user's variables: a $uri of "$action" (the first form's action),
// "$href(pattern)" (the link of the tag that holds the first occurrence of
// pattern) or "$var(name[,default])".  Names of the forms ignore case.
//
// A plain function: the body and the variables are only read.  Safe from any
// thread.
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace velk {

using VariableTable = std::map<std::string, std::string, std::less<>>;

// Longest variable name a $var expression may give.
inline constexpr size_t kMaxUriVariableName = 63;

// The target expression resolves to: a view into body, into variables or into
// expression (a $var default).  None when nothing was found, when there is no
// body for the page forms, or when the target would be empty; the request then
// goes to the uri option.  A target never holds a blank or control character,
// since it is written into the request line as it is.
std::optional<std::string_view> resolveUriExpression(std::string_view expression,
                                                     std::optional<std::string_view> body,
                                                     const VariableTable& variables);

}  // namespace velk
