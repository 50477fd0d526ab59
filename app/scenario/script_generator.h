#pragma once
// Writes the [General] part of the test script of a scenario: the options of its
// sections and of the global settings, the sequence sections and the [Header]
// section.  The request sections come from CRequestsContainer.
#include <cstdint>
#include <string>

#include "app/scenario/general_section.h"
#include "app/scenario/requests_container.h"
#include "app/scenario/run_section.h"
#include "app/settings/global_settings.h"
#include "engine/base/status.h"

namespace velk::scenario {

// The "requests=" value: large enough that the users together reach the
// request limit, and that a time limit (1200 requests per user per minute) ends
// the test.  requestCount is the number of requests in the tree.
struct PerUserCount {
    bool ok = false;
    int64_t count = 0;
    std::string error;  // why not, when !ok
};
PerUserCount perUserRequestCount(const CRunSection& run, int32_t requestCount);

// Appends the general part to out; kInvalid, with the text as far as it got,
// when the per-user count cannot be computed or a single-line field
// (description, names, user agent, directories ...) holds a line break, which
// would put lines of its own choosing into the script.
Status appendGeneralPart(const CGeneralSection& general, const CRunSection& run,
                         int32_t requestCount, const settings::GlobalSettings& settings,
                         std::string& out);

// The same check for every request's single-line fields (name, server, uri,
// content type, parameter names and values): kInvalid, naming the request and
// the field, when one holds a line break.  Takes the container's lock.
Status checkRequestFieldsAreSingleLines(const CRequestsContainer& requests);

}  // namespace velk::scenario
