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
// What a file may hold is limited (RltLimits): past a limit the reading stops
// with a message naming it, as for a damaged file, so that a small hostile
// file cannot make the program allocate gigabytes or lay out text and graphs
// for minutes.  Only regular files are read (a FIFO or a device is refused),
// and an allocation failure is a message, never the end of the program.
//
// Plain functions without shared state; safe from any thread.
#include <string>
#include <string_view>
#include <vector>

#include "app/results/results_container.h"
#include "app/results/results_store.h"
#include "engine/base/status.h"

namespace velk::results {

// The documented limits of a results file.  Real runs stay far below them:
// the runner's fields allow at most 999,999 users, and a sequence longer than
// a few thousand entries cannot be shown in a drop-down list or a legend.
struct RltLimits {
    static constexpr size_t kMaxFileBytes = size_t(512) << 20;   // 512 MiB
    static constexpr int32_t kMaxRecords = 10000;                // passes in one file
    static constexpr int32_t kMaxEntryNames = 10000;             // sequence entries per pass
    static constexpr int32_t kMaxRows = 999999;                  // users per pass
    static constexpr size_t kMaxReportBytes = size_t(16) << 20;  // one pass's text report
    // What reading may allocate: this many times the file's size, plus a
    // floor for small files.  Every entry of a real file takes at least a
    // quarter of its memory size in the file; empty names, empty rows and
    // cut-short records (4 bytes each that would cost 24 to 300) do not.
    static constexpr size_t kMemoryPerFileByte = 4;
    static constexpr size_t kMemoryFloor = size_t(16) << 20;
};

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

// Writes the list's records to path; kIo with a message on failure.
Status saveResultsFile(const CResultsContainer& list, const std::string& path);
// Loads path into the list: on a list schema other than 1 the list stays as it
// was; otherwise it is replaced by the records read (run numbers from the file,
// the counter unchanged), even when an error stopped the reading.  kIo for a
// file that cannot be read, kInvalid for bytes that are no results file.
Status loadResultsFile(CResultsContainer& list, const std::string& path);

}  // namespace velk::results
