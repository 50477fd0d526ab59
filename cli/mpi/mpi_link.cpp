#include "cli/mpi/mpi_link.h"

#include <mpi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

namespace velk::mpi {
namespace {

// Shard results travel in pieces MPI's int counts can hold.
constexpr int64_t kChunk = 64 * 1024 * 1024;
constexpr int kDataTag = 23;

}  // namespace

MpiLink::MpiLink() {
    MPI_Comm_rank(MPI_COMM_WORLD, &m_rank);
    MPI_Comm_size(MPI_COMM_WORLD, &m_size);
}

void MpiLink::abortAll(const std::string& message, int status) {
    std::fprintf(stderr, "velkrun-mpi: rank %d: %s\n", m_rank, message.c_str());
    std::fflush(stderr);
    MPI_Abort(MPI_COMM_WORLD, status);
    std::_Exit(status);  // MPI_Abort does not return; should it, this rank still ends
}

void MpiLink::wait(void* request, int timeoutSeconds, const char* what) {
    auto* r = static_cast<MPI_Request*>(request);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    auto pause = std::chrono::microseconds(50);
    for (;;) {
        int done = 0;
        MPI_Test(r, &done, MPI_STATUS_IGNORE);
        if (done) return;
        if (std::chrono::steady_clock::now() > deadline)
            abortAll(std::string("no answer from the other ranks for ") +
                         std::to_string(timeoutSeconds) + " seconds while " + what +
                         ": a rank has ended or hangs; stopping every rank, no "
                         "report is written",
                     5);
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(20000));
    }
}

bool MpiLink::allAgree(bool ok, int timeoutSeconds, const char* what) {
    int mine = ok ? 1 : 0, all = 0;
    MPI_Request request;
    MPI_Iallreduce(&mine, &all, 1, MPI_INT, MPI_MIN, MPI_COMM_WORLD, &request);
    wait(&request, timeoutSeconds, what);
    return all == 1;
}

std::vector<int64_t> MpiLink::sum(const std::vector<int64_t>& values, int timeoutSeconds,
                                  const char* what) {
    std::vector<int64_t> out(values.size(), 0);
    MPI_Request request;
    MPI_Iallreduce(values.data(), out.data(), int(values.size()), MPI_INT64_T, MPI_SUM,
                   MPI_COMM_WORLD, &request);
    wait(&request, timeoutSeconds, what);
    return out;
}

std::vector<std::string> MpiLink::gather(const std::string& bytes, int timeoutSeconds,
                                         const char* what) {
    int64_t mine = int64_t(bytes.size());
    std::vector<int64_t> sizes(size_t(m_rank == 0 ? m_size : 0));
    MPI_Request request;
    MPI_Igather(&mine, 1, MPI_INT64_T, sizes.data(), 1, MPI_INT64_T, 0, MPI_COMM_WORLD, &request);
    wait(&request, timeoutSeconds, what);

    std::vector<std::string> all;
    if (m_rank != 0) {
        for (int64_t at = 0; at < mine; at += kChunk) {
            MPI_Isend(bytes.data() + at, int(std::min(kChunk, mine - at)), MPI_BYTE, 0, kDataTag,
                      MPI_COMM_WORLD, &request);
            wait(&request, timeoutSeconds, what);
        }
        return all;
    }
    all.push_back(bytes);
    for (int source = 1; source < m_size; ++source) {
        if (sizes[size_t(source)] < 0) abortAll("a rank sent a negative size", 5);
        std::string data(static_cast<size_t>(sizes[size_t(source)]), '\0');
        for (int64_t at = 0; at < int64_t(data.size()); at += kChunk) {
            MPI_Irecv(data.data() + at, int(std::min(kChunk, int64_t(data.size()) - at)), MPI_BYTE,
                      source, kDataTag, MPI_COMM_WORLD, &request);
            wait(&request, timeoutSeconds, what);
        }
        all.push_back(std::move(data));
    }
    return all;
}

}  // namespace velk::mpi
