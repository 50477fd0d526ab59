#pragma once
// What the recorder page's request list shows and does, apart from the
// widgets: the cells of each top-level request, the column widths for a list
// width, and Delete and Clear on the scenario.
//
// Thread-safe as the container is: each function takes the container's lock
// for its whole walk.  The scenario's run section belongs to the
// user-interface thread, which calls these.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/scenario/requests_container.h"
#include "app/scenario/scenario.h"

namespace velk::recorder {

struct RequestRow {
    int32_t id = 0;
    std::string name, url, data, delay;
};

// One row per top-level request, in container order.
std::vector<RequestRow> requestRows(const scenario::CRequestsContainer& requests);

// Name, URL, Data and Delay widths for a list this wide.
std::array<int, 4> requestColumnWidths(int listWidth);

// Removes the requests with these ids (and their subtrees) and empties the
// three sequences, which may name them.  Returns how many were removed.
int removeRequests(scenario::CScenario& scenario, const std::vector<int32_t>& ids);
// Every request gone and the three sequences empty.
void clearRequests(scenario::CScenario& scenario);

}  // namespace velk::recorder
