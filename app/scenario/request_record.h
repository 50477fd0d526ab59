#pragma once
// The file record of one request with its parameters and their components, in
// the field order of the scenario file.
#include "app/scenario/request.h"

namespace velk::scenario {

class VtsReader;
class VtsWriter;

void writeRequestRecord(VtsWriter& out, const CRequest& request);
// Reads into an existing request.  A record whose schema number is not 1 ends
// there and leaves the rest of the request as it was.
void readRequestRecord(VtsReader& in, CRequest& request);

}  // namespace velk::scenario
