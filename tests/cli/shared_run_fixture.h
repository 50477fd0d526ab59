#pragma once
// What the tests of shared runs (velkrun --shard/--merge, velkrun-mpi) share: a
// loopback server that refuses user 3, a script of 7 users and 2 iterations
// whose requests carry $clid and $Seq, and readers of what the server and the
// report say.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "common/report_rows.h"
#include "common/temp_dir.h"
#include "support/test_http_server.h"

namespace velk::test {

class SharedRunFixture : public ::testing::Test {
protected:
    void SetUp() override {
        m_server.setHandler([](const ReceivedRequest& r, Responder& out) {
            out.respond(r.target.find("who=3&") != std::string::npos ? 404 : 200, "hello");
        });
    }
    std::string script(const std::string& extra = "", const std::string& name = "shared.txt") {
        return m_dir.write(name, "server=127.0.0.1\nport=" + std::to_string(m_server.port()) +
                                     "\nreportdir=" + m_dir.path().string() +
                                     "\ndelaystart=0\nclients=7\nrequests=2\nreportinfo=0\n" +
                                     extra + "[a]\n$uri=/a\nwho=$clid()\ns=$Seq(,10,100)\n");
    }
    // The values a run of all 7 users in one process sends: user u sends
    // who=u with s=10+100u, then 11+100u.
    static std::multiset<std::string> oneMachineValues() {
        std::multiset<std::string> out;
        for (int u = 0; u < 7; ++u)
            for (int i = 0; i < 2; ++i)
                out.insert("who=" + std::to_string(u) + "&s=" + std::to_string(10 + 100 * u + i));
        return out;
    }
    std::multiset<std::string> serverValues() const {
        std::multiset<std::string> out;
        for (const ReceivedRequest& r : m_server.requests())
            out.insert(r.target.substr(r.target.find('?') + 1));
        return out;
    }
    // "Code\tCount\n..." as the server's log counts its answers.
    std::string serverStatusTable() const {
        std::map<int, int> counts;
        for (const ReceivedRequest& r : m_server.requests())
            ++counts[r.target.find("who=3&") != std::string::npos ? 404 : 200];
        std::string table = "Code\tCount\n";
        for (auto [code, n] : counts)
            table += std::to_string(code) + "\t" + std::to_string(n) + "\n";
        return table;
    }
    static std::vector<std::string> oneMachineRows() {
        std::vector<std::string> rows;
        for (int u = 1; u <= 7; ++u)
            for (int i = 1; i <= 2; ++i) {
                char label[16];
                std::snprintf(label, sizeof label, "%03d/%05d", u, i);
                rows.push_back(std::string(label) + (u == 4 ? "|HTTPERR" : "|time"));
            }
        return rows;
    }

    TempDir m_dir;
    TestHttpServer m_server;
};

}  // namespace velk::test
