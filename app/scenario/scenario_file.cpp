#include "app/scenario/scenario_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <new>

#include "app/base/file_io.h"
#include "app/scenario/vts_reader.h"
#include "app/scenario/vts_writer.h"

namespace velk::scenario {

namespace {

// The recording's outcomes and the checks switch follow the document record
// as trailing data: readers that know only the document record stop before
// them, so older programs read such files as they always did.  The block
// begins with a tag and its own version; files without recorded data carry
// no block at all.
constexpr int32_t kRecordedTag = 0x58544B56;  // "VKTX" as the file's bytes
constexpr int32_t kRecordedVersion = 1;
// An outcome record: index, status, two empty texts and the size.
constexpr size_t kMinOutcomeBytes = 20;

void writeRecordedBlock(VtsWriter& out, const CRequestsContainer& requests) {
    std::lock_guard<const CRequestsContainer> g(requests);
    const std::vector<CRequest*> all = requests.flattened();
    std::vector<std::pair<int32_t, const RecordedOutcome*>> kept;
    for (size_t i = 0; i < all.size(); ++i)
        if (const auto& o = all[i]->getOutcome()) kept.emplace_back(int32_t(i), &*o);
    if (kept.empty() && !requests.getRecordedChecks()) return;
    out.writeInt(kRecordedTag);
    out.writeInt(kRecordedVersion);
    out.writeFlag(requests.getRecordedChecks());
    out.writeInt(int32_t(kept.size()));
    for (const auto& [index, o] : kept) {
        out.writeInt(index);
        out.writeInt(o->status);
        out.writeString(o->location);
        out.writeString(o->title);
        out.writeInt(o->size);
    }
}

// After the document record.  Anything but the tag is left alone, as before.
void readRecordedBlock(VtsReader& in, CRequestsContainer& requests) {
    if (in.remaining() < 8) return;
    VtsReader peek = in;
    int32_t tag = 0;
    if (!peek.readInt(tag) || tag != kRecordedTag) return;
    int32_t version = 0, count = 0;
    bool checks = false;
    in.readInt(tag);
    if (!in.readInt(version)) return;
    // A later version's block is its own business: this program keeps what it
    // read before it.
    if (version != kRecordedVersion) return;
    if (!in.readFlag(checks) || !in.readCount(count, kMinOutcomeBytes)) return;
    std::lock_guard<CRequestsContainer> g(requests);
    const std::vector<CRequest*> all = requests.flattened();
    for (int32_t k = 0; k < count && in.ok(); ++k) {
        int32_t index = 0;
        RecordedOutcome o;
        if (!(in.readInt(index) && in.readInt(o.status) && in.readString(o.location) &&
              in.readString(o.title) && in.readInt(o.size)))
            return;
        if (index < 0 || size_t(index) >= all.size() ||
            o.location.size() > RecordedOutcome::kMaxLocation ||
            o.title.size() > RecordedOutcome::kMaxTitle * 4) {
            in.fail("a recorded outcome names request " + std::to_string(index) + " of " +
                    std::to_string(all.size()) + " or holds an overlong text");
            return;
        }
        all[size_t(index)]->setOutcome(std::move(o));
    }
    requests.setRecordedChecks(checks);
}

}  // namespace

std::string scenarioFileBytes(const CScenario& scenario) {
    VtsWriter out;
    out.writeSchema();
    scenario.write(out);
    writeRecordedBlock(out, scenario.requests());
    return out.bytes();
}

bool readScenarioBytes(CScenario& scenario, std::string_view bytes, std::string& error) {
    VtsReader in(bytes);
    if (in.beginRecord()) {
        scenario.read(in);
        if (in.ok()) readRecordedBlock(in, scenario.requests());
    }
    if (!in.ok()) {
        error = in.error();
        return false;
    }
    return true;
}

bool saveScenarioFile(const CScenario& scenario, const std::string& path, std::string& error) {
    const std::string bytes = scenarioFileBytes(scenario);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out) out.write(bytes.data(), std::streamsize(bytes.size()));
    if (out) out.flush();
    if (!out) {
        error = "Failed to save document: " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool loadScenarioFile(CScenario& scenario, const std::string& path, std::string& error) {
    try {
        std::string bytes;
        if (!base::readRegularFile(path, kMaxScenarioFile, bytes, error)) {
            error = "Failed to open document: " + error;
            return false;
        }
        return readScenarioBytes(scenario, bytes, error);
    } catch (const std::exception&) {
        // Out of memory or a library failure: the document is not loaded.
        error = "An unexpected error occurred while reading " + path + ".";
        return false;
    }
}

}  // namespace velk::scenario
