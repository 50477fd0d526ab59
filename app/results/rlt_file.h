#pragma once
// The results file (.rlt): the results list as a sequence of little-endian
// ints, floats, doubles and counted strings (a length byte below 255; else 255
// and a 2-byte length below 65534; else 255, 255, 255 and a 4-byte length).
//
// Files are untrusted: a count or length larger than what remains in the file
// stops the reading with an error, and nothing is allocated for it.  Records
// read completely before the error are kept.  Files are written beside the
// target and renamed over it, so a failed save leaves the old file intact.
//
// Plain functions without shared state; safe from any thread.
#include <string>
#include <string_view>
#include <vector>

#include "app/results/results_container.h"
#include "app/results/results_store.h"

namespace velk::results {

// The bytes of a file holding these records, in this order.
std::string rltFileBytes(const std::vector<ResultsStorePtr>& records);

struct RltReadResult {
    bool ok = false;
    // False when the list schema is not 1: the list must stay as it was.
    bool replacesList = false;
    std::vector<ResultsStorePtr> records;  // every record read completely
    std::string error;                     // why not, when !ok
};
RltReadResult readRltBytes(std::string_view bytes);

// Writes the list's records to path; false with a message on failure.
bool saveResultsFile(const CResultsContainer& list, const std::string& path, std::string& error);
// Loads path into the list: on a list schema other than 1 the list stays as it
// was; otherwise it is replaced by the records read (run numbers from the file,
// the counter unchanged), even when an error stopped the reading.
bool loadResultsFile(CResultsContainer& list, const std::string& path, std::string& error);

}  // namespace velk::results
