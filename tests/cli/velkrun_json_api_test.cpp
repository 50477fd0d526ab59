// examples/json-api.txt played by velkrun against a JSON API that counts what
// really happened: logins, orders created, updated and deleted, calls that
// carried a valid bearer token.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "common/build_tree.h"
#include "common/child_process.h"
#include "common/temp_dir.h"
#include "support/json_api_server.h"

namespace velk::test {
namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(VelkrunJsonApi, TheExampleDoesItsWorkOnARealApi) {
    JsonApiServer api;
    TempDir dir;
    ChildProcess run(VELKRUN_PATH,
                     {"--quiet", VELK_EXAMPLES_DIR "/json-api.txt",
                      "-port=" + std::to_string(api.port()), "-users=2", "-rounds=3",
                      "--set=reportdir=" + dir.path().string(), "--threshold", "errors<1%"},
                     dir.file("out.txt"), dir.file("err.txt"));
    const int status = run.wait();
    const std::string err = readFile(dir.file("err.txt"));
    EXPECT_EQ(status, 0) << err;
    EXPECT_NE(err.find(", 0 errors"), std::string::npos) << err;

    // 2 users: one login each; 3 iterations each of list, create, update, delete.
    EXPECT_EQ(api.validLogins(), 2);
    EXPECT_EQ(api.refusedLogins(), 0);
    EXPECT_EQ(api.listed(), 6);
    EXPECT_EQ(api.created(), 6);
    EXPECT_EQ(api.updated(), 6);
    EXPECT_EQ(api.deleted(), 6);
    EXPECT_EQ(api.authorizedCalls(), 24);
    EXPECT_EQ(api.unauthorizedCalls(), 0);
    EXPECT_EQ(api.ordersLeft(), 0);
}

}  // namespace
}  // namespace velk::test
