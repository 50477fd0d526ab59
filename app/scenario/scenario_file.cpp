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

// The Runner page's values of the global variables follow in a block of
// their own, after the recording's: a program that knows only the
// recording's block, or none, stops before it, so older programs read such
// files as they always did.  Only values that are not empty are kept.
constexpr int32_t kGlobalsTag = 0x56474B56;  // "VKGV" as the file's bytes
constexpr int32_t kGlobalsVersion = 1;
constexpr size_t kMaxGlobalName = 255;
constexpr size_t kMaxGlobalValue = 4096;
// A name and a value, each at least a length byte and one character.
constexpr size_t kMinGlobalBytes = 3;

void writeGlobalsBlock(VtsWriter& out, const CScenario::GlobalValues& values) {
    int32_t kept = 0;
    for (const auto& [name, value] : values) kept += !name.empty() && !value.empty();
    if (kept == 0) return;
    out.writeInt(kGlobalsTag);
    out.writeInt(kGlobalsVersion);
    out.writeInt(kept);
    for (const auto& [name, value] : values) {
        if (name.empty() || value.empty()) continue;
        out.writeString(name);
        out.writeString(value);
    }
}

void readGlobalsBlock(VtsReader& in, CScenario::GlobalValues& values) {
    if (in.remaining() < 8) return;
    VtsReader peek = in;
    int32_t tag = 0, version = 0, count = 0;
    if (!peek.readInt(tag) || tag != kGlobalsTag) return;
    in.readInt(tag);
    if (!in.readInt(version) || version != kGlobalsVersion) return;
    if (!in.readCount(count, kMinGlobalBytes)) return;
    CScenario::GlobalValues read;
    for (int32_t k = 0; k < count; ++k) {
        std::string name, value;
        if (!in.readString(name) || !in.readString(value)) return;
        if (name.empty() || name.size() > kMaxGlobalName || value.size() > kMaxGlobalValue) {
            in.fail("a global variable's name or value is empty or too long");
            return;
        }
        read[name] = value;
    }
    values = std::move(read);
}

// General options that the document record has no field for follow in a
// block of their own, last: older programs stop before it and run the
// scenario without them.  Written only when one is not at its default.
constexpr int32_t kOptionsTag = 0x4F504B56;  // "VKPO" as the file's bytes
constexpr int32_t kOptionsVersion = 1;

void writeOptionsBlock(VtsWriter& out, const CGeneralSection& general) {
    if (!general.newVisitor) return;
    out.writeInt(kOptionsTag);
    out.writeInt(kOptionsVersion);
    out.writeFlag(general.newVisitor);
}

void readOptionsBlock(VtsReader& in, CGeneralSection& general) {
    if (in.remaining() < 8) return;
    VtsReader peek = in;
    int32_t tag = 0, version = 0;
    if (!peek.readInt(tag) || tag != kOptionsTag) return;
    in.readInt(tag);
    if (!in.readInt(version) || version != kOptionsVersion) return;
    bool newVisitor = false;
    if (in.readFlag(newVisitor)) general.newVisitor = newVisitor;
}

}  // namespace

std::string scenarioFileBytes(const CScenario& scenario) {
    VtsWriter out;
    out.writeSchema();
    scenario.write(out);
    writeRecordedBlock(out, scenario.requests());
    writeGlobalsBlock(out, scenario.globalValues());
    writeOptionsBlock(out, scenario.general());
    return out.bytes();
}

Status readScenarioBytes(CScenario& scenario, std::string_view bytes) {
    VtsReader in(bytes);
    if (in.beginRecord()) {
        scenario.read(in);
        if (in.ok()) readRecordedBlock(in, scenario.requests());
        if (in.ok()) readGlobalsBlock(in, scenario.globalValues());
        if (in.ok()) readOptionsBlock(in, scenario.general());
    }
    if (!in.ok()) return {StatusCode::kInvalid, in.error()};
    return Status::ok();
}

Status saveScenarioFile(const CScenario& scenario, const std::string& path) {
    // The old file is replaced only by a complete new one.
    return base::writeFileReplacing(path, scenarioFileBytes(scenario));
}

Status loadScenarioFile(CScenario& scenario, const std::string& path) {
    try {
        auto bytes = base::readRegularFile(path, kMaxScenarioFile);
        if (!bytes)
            return {StatusCode::kIo, "Failed to open document: " + bytes.status().message()};
        return readScenarioBytes(scenario, *bytes);
    } catch (const std::exception&) {
        // Out of memory or a library failure: the document is not loaded.
        return {StatusCode::kIo, "An unexpected error occurred while reading " + path + "."};
    }
}

}  // namespace velk::scenario
