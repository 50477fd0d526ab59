#pragma once
// MpiLink: the collectives velkrun-mpi needs, each bounded in time.  A rank
// that died or hangs must not leave the others waiting forever: every wait
// polls its request and, past its deadline, prints why on this rank and ends
// the whole job (MPI_Abort), so that mpirun exits with a non-zero status.
//
// Call only from the thread that initialised MPI (MPI_THREAD_FUNNELED).
#include <cstdint>
#include <string>
#include <vector>

namespace velk::mpi {

class MpiLink {
public:
    MpiLink();  // after MPI_Init
    int rank() const { return m_rank; }
    int size() const { return m_size; }

    // True when every rank passed true.
    bool allAgree(bool ok, int timeoutSeconds, const char* what);
    // Element-wise sums over all ranks.
    std::vector<int64_t> sum(const std::vector<int64_t>& values, int timeoutSeconds,
                             const char* what);
    // Rank 0 gets every rank's bytes, in rank order (its own first); the
    // others get nothing.
    std::vector<std::string> gather(const std::string& bytes, int timeoutSeconds, const char* what);

    // Ends every rank of the job with status after printing message on this one.
    [[noreturn]] void abortAll(const std::string& message, int status);

private:
    // Polls request until it completes or timeoutSeconds pass (then aborts).
    void wait(void* request, int timeoutSeconds, const char* what);

    int m_rank = 0;
    int m_size = 1;
};

}  // namespace velk::mpi
