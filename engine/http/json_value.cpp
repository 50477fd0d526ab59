#include "http/json_value.h"

#include "http/user_log.h"

namespace velk {

std::optional<std::string> jsonValue(UserLog& log, std::string_view body, const json::Path& path,
                                     std::string_view pathText) {
    json::Lookup found = json::find(body, path);
    switch (found.outcome) {
        case json::Lookup::Outcome::kFound:
            return std::move(found.value);
        case json::Lookup::Outcome::kNotFound:
            log.printf("JSON: no value at %.200s\r\n", std::string(pathText).c_str());
            break;
        case json::Lookup::Outcome::kDamaged:
            log.printf("JSON: the body is not JSON the path %.200s can be read in: %s\r\n",
                       std::string(pathText).c_str(), found.problem.c_str());
            break;
    }
    return std::nullopt;
}

}  // namespace velk
