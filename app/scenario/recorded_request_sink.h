#pragma once
// What the recorder hands over for each captured navigation, and the one
// operation through which it hands it over.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace velk::scenario {

struct RecordedNavigation {
    int32_t pauseSeconds = 0;  // the user's pause before this navigation
    int32_t method = 0;        // 1 GET, 2 POST
    int32_t secure = 0;        // 0 not known, 1 plain, 2 HTTPS
    std::string contentType;
    std::string url;
    // Name and value as sent (URL-encoded, except the "header$" pseudo-parameter).
    std::vector<std::pair<std::string, std::string>> pairs;
    // Pairs of a multipart form that are files: their values are the files'
    // names, and they become file components.
    std::vector<std::string> fileFields;
};

// Implementations must be safe to call from the recorder's thread.
class RecordedRequestSink {
public:
    virtual ~RecordedRequestSink() = default;
    virtual void addRecorded(const RecordedNavigation& navigation) = 0;
};

}  // namespace velk::scenario
