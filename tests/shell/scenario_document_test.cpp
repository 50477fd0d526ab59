// The document's file side: safe replacement of the file on save, refusal of
// paths that are not files, titles and the modified flag.
#include "app/scenario/scenario_document.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/base/file_io.h"
#include "app/scenario/scenario_file.h"
#include "common/status_assert.h"
#include "common/temp_dir.h"

namespace velk::scenario {
namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

size_t entriesIn(const std::filesystem::path& dir) {
    return size_t(std::distance(std::filesystem::directory_iterator(dir),
                                std::filesystem::directory_iterator()));
}

// Lowers the file size limit for the scope of a test.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        struct rlimit limit = m_old;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &m_old); }

private:
    struct rlimit m_old {};
};

TEST(SafeFileWriter, ReplacesTheFileAndKeepsItsMode) {
    velk::test::TempDir dir;
    const std::string path = dir.write("a.vts", "old bytes");
    ::chmod(path.c_str(), 0640);
    ASSERT_TRUE(velk::test::isOk(base::writeFileReplacing(path, "new bytes, longer than before")));
    EXPECT_EQ(readAll(path), "new bytes, longer than before");
    struct stat st {};
    ::stat(path.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(entriesIn(dir.path()), 1u);  // no temporary file left behind
}

TEST(SafeFileWriter, FailedWriteLeavesTheOldFileIntactAndSaysSo) {
    velk::test::TempDir dir;
    const std::string path = dir.write("a.vts", "the old scenario");
    Status written;
    {
        FileSizeLimit limit(64);
        written = base::writeFileReplacing(path, std::string(4096, 'x'));
    }
    const std::string& error = written.message();
    EXPECT_EQ(written.code(), StatusCode::kIo);
    EXPECT_EQ(readAll(path), "the old scenario");
    EXPECT_NE(error.find("Failed to save document."), std::string::npos) << error;
    EXPECT_NE(error.find("not changed"), std::string::npos) << error;
    EXPECT_EQ(entriesIn(dir.path()), 1u);

    std::filesystem::create_directory(dir.file("folder"));
    EXPECT_FALSE(base::writeFileReplacing(dir.file("folder"), "x"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("folder")));
    EXPECT_FALSE(base::writeFileReplacing(dir.file("missing/dir/a.vts"), "x"));
}

TEST(ScenarioDocument, FailedSaveKeepsOldFileAndDocumentState) {
    velk::test::TempDir dir;
    ScenarioDocument doc;
    doc.newDocument();
    const std::string path = dir.file("shop.vts");
    ASSERT_TRUE(velk::test::isOk(doc.saveAs(path)));
    const std::string saved = readAll(path);
    doc.scenario().run().description = std::string(8192, 'd');
    doc.setModified(true);
    {
        FileSizeLimit limit(saved.size() + 16);
        EXPECT_FALSE(doc.saveAs(path));
    }
    EXPECT_EQ(readAll(path), saved);
    EXPECT_TRUE(doc.isModified());
    EXPECT_FALSE(doc.saveAs(dir.file("nowhere/shop2.vts")));
    EXPECT_EQ(doc.path(), path);
    EXPECT_EQ(doc.title(), "shop.vts");
}

TEST(ScenarioDocument, PathsThatAreNotFilesAreRefusedAndNothingChanges) {
    velk::test::TempDir dir;
    ScenarioDocument doc;
    doc.newDocument();
    const std::string title = doc.title();
    std::filesystem::create_directory(dir.file("folder.vts"));
    const std::string damaged = dir.write("damaged.vts", std::string("\x01\x00\x00\x00\x01", 5));
    for (const std::string& path :
         {dir.file("folder.vts"), dir.file("missing.vts"), damaged, std::string("/dev/null")}) {
        const Status opened = doc.open(path);
        EXPECT_FALSE(opened) << path;
        EXPECT_FALSE(opened.message().empty()) << path;
        EXPECT_EQ(doc.title(), title);
        EXPECT_TRUE(doc.path().empty());
    }
}

TEST(ScenarioDocument, TitlesCountUpAndOpenTakesTheFileName) {
    velk::test::TempDir dir;
    ScenarioDocument doc;
    doc.newDocument();
    const int first = std::stoi(doc.title().substr(8));
    EXPECT_EQ(doc.title().substr(0, 8), "Scenario");
    doc.newDocument();
    EXPECT_EQ(doc.title(), "Scenario" + std::to_string(first + 1));
    int changes = 0;
    doc.setChangeObserver([&] { ++changes; });
    doc.setModified(true);
    doc.setModified(true);
    EXPECT_EQ(changes, 1);
    ASSERT_TRUE(velk::test::isOk(doc.saveAs(dir.file("a.vts"))));
    EXPECT_FALSE(doc.isModified());
    ScenarioDocument other;
    ASSERT_TRUE(velk::test::isOk(other.open(dir.file("a.vts"))));
    EXPECT_EQ(other.title(), "a.vts");
    EXPECT_FALSE(other.isModified());
}

}  // namespace
}  // namespace velk::scenario
