#pragma once
// CResultsContainer: the list of collected passes, in the order they were
// added, shown by the report and graph pages and kept in .rlt files.
//
// Thread-safe: one mutex guards the list and the run-number counter; the
// runner's worker adds while the user-interface thread reads, clears, loads and
// saves.  The change notifier is called after every change, outside the lock,
// on the thread that made the change: a Qt side must post it on.
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "app/results/results_store.h"

namespace velk::results {

class CResultsContainer {
public:
    using Notifier = std::function<void()>;

    void setNotifier(Notifier notifier);

    // Every record released, the list empty; the run-number counter stays.
    void clear();
    // The list emptied as clear() does, its records handed to the caller to
    // release where it suits (releasing many takes a while).
    std::vector<ResultsStorePtr> takeAll();
    // Gives the record the counter's next value as its run number and appends
    // it.  Returns its index, or -1 for a null record.
    int32_t add(std::shared_ptr<CResultsStore> record);
    // Replaces the whole list with records read from a file, keeping their run
    // numbers; the counter is not changed.
    void replaceAll(std::vector<ResultsStorePtr> records);

    int32_t count() const;
    // Null when index is out of range.
    ResultsStorePtr get(int32_t index) const;
    // Null when no record has that run number (0 finds nothing).
    ResultsStorePtr find(int32_t runNumber) const;
    // A copy of the whole list.
    std::vector<ResultsStorePtr> all() const;
    // The highest run number in the list, 0 when it is empty: lets a view skip
    // redrawing a list it has already drawn.
    int32_t lastRunNumber() const;

private:
    void notify() const;

    mutable std::mutex m_mutex;
    std::vector<ResultsStorePtr> m_records;  // guarded by m_mutex
    int32_t m_counter = 0;                   // guarded by m_mutex
    Notifier m_notifier;                     // guarded by m_mutex
};

}  // namespace velk::results
