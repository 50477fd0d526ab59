// Results files are untrusted: any bytes must load or fail with a message,
// within the reader's memory budget, and whatever loads must draw every graph
// and show every report without work that grows with counts the file only
// claims (entries times rows, names of megabytes).  The corpus holds the
// amplifying files found before: many empty names, many empty rows under
// many entries, many cut-short records.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/graphs/graph_batch.h"
#include "app/graphs/graph_entry.h"
#include "app/results/report_view_text.h"
#include "app/results/rlt_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace velk::results;
    using namespace velk::graphs;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const RltReadResult read = readRltBytes(bytes);
    if (!read.ok && read.error.empty()) std::abort();
    if (read.records.size() > size_t(RltLimits::kMaxRecords)) std::abort();
    const ResultsList& records = read.records;
    const auto entries = entryGraphChoices(records);
    if (!entries.empty()) {
        entryGraph(records, 0);
        entryGraph(records, entries.size() - 1);
    }
    if (!batchGraphChoices(records).empty())
        for (int graph = 0; graph < kBatchGraphCount; ++graph)
            batchGraph(records, BatchGraph(graph));
    for (const auto& record : records) {
        reportTextForView(record->report);
        titleForList(record->title);
    }
    return 0;
}
