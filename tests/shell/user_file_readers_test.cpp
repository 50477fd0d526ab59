// Every file the desktop program reads on a user's word (a scenario, a results
// file, the tips file) against the files that are not what they claim: a FIFO
// with no writer, a directory, a device, /dev/zero, a file far past every
// limit, and a sound file cut short.  Each reader answers at once with a
// message (or, for a tips file, without tips) and leaves what it had as it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "app/results/rlt_file.h"
#include "app/scenario/scenario_document.h"
#include "app/scenario/scenario_file.h"
#include "app/shell/tips_reader.h"
#include "common/temp_dir.h"

namespace velk {
namespace {

struct Outcome {
    bool read = false;
    std::string message;
};

// A scenario file: open it over a document that holds one request.
Outcome openScenario(const std::string& path) {
    scenario::ScenarioDocument doc;
    doc.newDocument();
    doc.scenario().requests().addChild(0, std::make_unique<scenario::CRequest>());
    const std::string title = doc.title();
    Outcome out;
    const Status opened = doc.open(path);
    out.read = opened.isOk();
    out.message = opened.message();
    if (!out.read) {
        EXPECT_EQ(doc.title(), title) << path;
        EXPECT_EQ(doc.scenario().requests().count(), 1) << path;
    }
    return out;
}

// A results file: load it over a list that holds one pass.
Outcome openResults(const std::string& path) {
    results::CResultsContainer list;
    list.add(std::make_shared<results::CResultsStore>());
    Outcome out;
    const Status loaded = results::loadResultsFile(list, path);
    out.read = loaded.isOk();
    out.message = loaded.message();
    return out;
}

// The tips file: tips are read only from what can be read.
Outcome openTips(const std::string& path) {
    shell::TipsReader tips;
    Outcome out;
    const auto status = tips.open(path, "", 0);
    out.read = status == shell::TipsReader::Status::kOk;
    if (!out.read) {
        out.message = "no tips";
        EXPECT_FALSE(tips.next().has_value()) << path;
    }
    return out;
}

// A sound file of each kind, cut to its first half.
std::string truncated(const test::TempDir& dir, const std::string& name) {
    std::string whole;
    if (name == "scenario") {
        scenario::CScenario scenario;
        scenario.reset();
        scenario.requests().addChild(0, std::make_unique<scenario::CRequest>());
        whole = scenario::scenarioFileBytes(scenario);
    } else if (name == "results") {
        auto record = std::make_shared<results::CResultsStore>();
        record->report = "a report of some length\r\n";
        record->entryNames = {"home", "search"};
        whole = results::rltFileBytes({record, record});
    } else {
        whole = "A tip of the day.\nAnother tip.\n";
    }
    return dir.write(name + "-cut", whole.substr(0, whole.size() / 2));
}

TEST(UserFileReaders, FilesThatAreNotWhatTheyClaimAreRefusedAtOnce) {
    test::TempDir dir;
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Sparse: past every reader's limit (512 MiB for results) without using
    // the disk.
    const std::string huge = dir.file("huge");
    {
        const int fd = ::open(huge.c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, off_t(600) << 20), 0);
        ::close(fd);
    }
    using Reader = Outcome (*)(const std::string&);
    const struct {
        const char* name;
        Reader read;
        bool truncatedReads;  // a tips file cut short is still a tips file
    } readers[] = {{"scenario", openScenario, false},
                   {"results", openResults, false},
                   {"tips", openTips, true}};
    for (const auto& reader : readers) {
        const struct {
            const char* what;
            std::string path;
            bool reads;
        } cases[] = {
            {"a FIFO without a writer", fifo, false},
            {"a directory", dir.path().string(), false},
            {"a device", "/dev/null", false},
            {"/dev/zero", "/dev/zero", false},
            {"a file past every limit", huge, false},
            {"a sound file cut short", truncated(dir, reader.name), reader.truncatedReads},
        };
        for (const auto& c : cases) {
            const Outcome out = reader.read(c.path);
            EXPECT_EQ(out.read, c.reads) << reader.name << ", " << c.what;
            if (!c.reads) {
                EXPECT_FALSE(out.message.empty()) << reader.name << ", " << c.what;
            }
        }
    }
}

}  // namespace
}  // namespace velk
