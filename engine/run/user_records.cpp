#include "run/user_records.h"

#include <algorithm>
#include <string>

#include "run/test_run.h"

namespace velk {

std::vector<UserRecord*> recordsByUser(RunState& run, int32_t clients) {
    std::vector<UserRecord*> records;
    bool inOrder = run.imported.empty() && int64_t(run.users.size()) == int64_t(clients);
    for (size_t i = 0; inOrder && i < run.users.size(); ++i)
        inOrder = run.users[i]->index() == int32_t(i);
    if (inOrder) {
        for (const auto& user : run.users) records.push_back(&user->record());
        return records;
    }
    records.assign(size_t(clients > 0 ? clients : 0), nullptr);
    for (const auto& user : run.users)
        if (user->index() >= 0 && user->index() < clients)
            records[size_t(user->index())] = &user->record();
    for (const auto& [index, record] : run.imported)
        if (index >= 0 && index < clients) records[size_t(index)] = record.get();
    return records;
}

UserRecord* recordOfUser(RunState& run, int32_t index) {
    // The users are made in index order, so a search finds them.
    auto user = std::lower_bound(run.users.begin(), run.users.end(), index,
                                 [](const auto& u, int32_t i) { return u->index() < i; });
    if (user != run.users.end() && (*user)->index() == index) return &(*user)->record();
    auto imported = std::lower_bound(run.imported.begin(), run.imported.end(), index,
                                     [](const auto& entry, int32_t i) { return entry.first < i; });
    if (imported != run.imported.end() && imported->first == index) return imported->second.get();
    return nullptr;
}

std::vector<std::string> latencySlotNames(const TestRun& set) {
    std::vector<std::string> names;
    if (set.test.scriptDriven()) return names;
    for (size_t i = 0; i < set.test.testSeq.length(); ++i)
        names.push_back(set.test.testSeq[i].name);
    // Then the initial and final sequences, in the slots the users recorded them:
    // every timed request is in the figures, the test sequence's names first.
    for (const Sequence* seq : {&set.test.initSeq, &set.test.finalSeq})
        for (size_t i = 0; i < seq->length(); ++i) names.push_back((*seq)[i].name);
    return names;
}

void mergeRunLatency(const TestRun& set, RunState& run) {
    bool paced = false;
    for (size_t i = 0; i < set.test.testSeq.length(); ++i) {
        auto it = set.test.requests.find(set.test.testSeq[i].name);
        paced = paced || (set.test.options.softdelay && it != set.test.requests.end() &&
                          it->second->delay > 0);
    }
    std::vector<std::string> names;
    for (size_t i = 0; i < set.test.testSeq.length(); ++i)
        names.push_back(set.test.testSeq[i].name);
    for (const Sequence* seq : {&set.test.initSeq, &set.test.finalSeq})
        for (size_t i = 0; i < seq->length(); ++i) names.push_back((*seq)[i].name);
    std::vector<const UserRecord*> users;
    for (UserRecord* record : recordsByUser(run, set.test.options.clients))
        if (record) users.push_back(record);
    run.latency = RunLatency::merge(users, names, paced);
}

}  // namespace velk
