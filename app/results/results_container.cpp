#include "app/results/results_container.h"

#include <algorithm>

namespace velk::results {

void CResultsContainer::setNotifier(Notifier notifier) {
    std::lock_guard lock(m_mutex);
    m_notifier = std::move(notifier);
}

void CResultsContainer::notify() const {
    Notifier notifier;
    {
        std::lock_guard lock(m_mutex);
        notifier = m_notifier;
    }
    if (notifier) notifier();
}

void CResultsContainer::clear() {
    {
        std::lock_guard lock(m_mutex);
        m_records.clear();
    }
    notify();
}

std::vector<ResultsStorePtr> CResultsContainer::takeAll() {
    std::vector<ResultsStorePtr> taken;
    {
        std::lock_guard lock(m_mutex);
        taken.swap(m_records);
    }
    notify();
    return taken;
}

int32_t CResultsContainer::add(std::shared_ptr<CResultsStore> record) {
    if (!record) return -1;
    int32_t index;
    {
        std::lock_guard lock(m_mutex);
        record->runNumber = ++m_counter;
        m_records.push_back(std::move(record));
        index = int32_t(m_records.size()) - 1;
    }
    notify();
    return index;
}

void CResultsContainer::replaceAll(std::vector<ResultsStorePtr> records) {
    {
        std::lock_guard lock(m_mutex);
        m_records = std::move(records);
    }
    notify();
}

int32_t CResultsContainer::count() const {
    std::lock_guard lock(m_mutex);
    return int32_t(m_records.size());
}

ResultsStorePtr CResultsContainer::get(int32_t index) const {
    std::lock_guard lock(m_mutex);
    if (index < 0 || size_t(index) >= m_records.size()) return nullptr;
    return m_records[size_t(index)];
}

ResultsStorePtr CResultsContainer::find(int32_t runNumber) const {
    if (runNumber == 0) return nullptr;
    std::lock_guard lock(m_mutex);
    for (const auto& record : m_records)
        if (record->runNumber == runNumber) return record;
    return nullptr;
}

std::vector<ResultsStorePtr> CResultsContainer::all() const {
    std::lock_guard lock(m_mutex);
    return m_records;
}

int32_t CResultsContainer::lastRunNumber() const {
    std::lock_guard lock(m_mutex);
    int32_t last = 0;
    for (const auto& record : m_records) last = std::max(last, record->runNumber);
    return last;
}

}  // namespace velk::results
