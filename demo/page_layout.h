#pragma once
// The frame every page of the demo site shares (title, navigation, a little CSS),
// and the responses built from it.  Callers escape any user text they put in the
// body; the title is escaped here.
#include <string>
#include <string_view>

#include "http_response.h"

namespace velk::demo {

std::string htmlPage(std::string_view title, std::string_view bodyHtml);
HttpResponse pageResponse(int status, std::string_view title, std::string_view bodyHtml);
// 302 Found to location, with a short page for clients that show it.
HttpResponse redirectResponse(std::string_view location);
// The small page for 4xx/5xx answers, with the reason as its text.
HttpResponse errorResponse(int status);

}  // namespace velk::demo
