/*
 * velkcore.h - the C interface of the VELK load-test engine (libvelkcore.so).
 *
 * Rules of this interface:
 *  - Plain C: 32-bit integers, pointers and NUL-terminated 8-bit texts only.
 *  - Functions that can fail return 1 on success and 0 on failure; the cause has
 *    already been reported once through the output callback.  No C++ exception
 *    ever leaves the library.
 *  - The caller owns a TestSet from CreateTestSet until FreeTestSet.  Arrays and
 *    records handed out by the library (GetInfo's names, GetResults) stay owned by
 *    the library and are valid until the next call that may reuse them.
 *  - The output and progress callbacks are process-wide.  The output callback may
 *    be called from any engine thread; the progress callback only from the thread
 *    inside RunTest.  Install them before a run, not during one.
 *  - Call order: InitKS; SetOutFunc/SetProgressReporter; CreateTestSet;
 *    [ParseCommandLine]; ParseTest; ParseGeneralParam/SetProperty ...; RunTest;
 *    GetInfo/GetResults/SaveResults; CleanKS to run again; FreeTestSet; CleanupKS.
 */
#ifndef VELKCORE_H
#define VELKCORE_H

#include <stdint.h>

#if defined(VELK_BUILDING_CORE)
#define VELK_EXPORT __attribute__((visibility("default")))
#else
#define VELK_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The result classes of one request, as GetResults, GetLatencyStats and the
 * reports count them: a result of 0 or more is a time in microseconds, a negative
 * one is one of these. */
enum {
    VELK_RESULT_NETWORK = -1,  /* no connection, or it broke */
    VELK_RESULT_HTTP = -2,     /* the server answered with an error status */
    VELK_RESULT_FAIL = -3,     /* a $fail check matched the response */
    VELK_RESULT_TIMEOUT = -4,  /* no complete answer in time */
    VELK_RESULT_NOT_RUN = -255 /* the position was never reached */
};

/* One parsed test and its last run; opaque to callers. */
typedef struct TestSet TestSet;

/* Filled by GetInfo. */
typedef struct TestInfo {
    int32_t users;          /* the clients option */
    int32_t iterations;     /* the requests option, or -1 when a script drives the test */
    int32_t sequenceLength; /* entries of the test sequence, or 1 for a script-driven test */
    int32_t nodetails;      /* the nodetails option */
    char** sequenceNames;   /* request name of each test-sequence entry; owned by the library */
} TestInfo;

/* Summary record filled by SaveResults (32 bytes). */
typedef struct VelkSummary {
    int32_t requestsPerSecondX1000;
    int32_t msPerRequestX1000;
    double serverBandwidth; /* bytes sent and received per millisecond of test duration */
    double userBandwidth;   /* serverBandwidth divided by the number of users */
    int32_t totalRequests;
    int32_t totalErrors;
} VelkSummary;

/* Filled by GetLiveCounters: figures of the run in progress (or the last run). */
typedef struct VelkLiveCounters {
    int32_t usersActive;   /* users whose thread has started and not yet ended */
    int32_t networkErrors; /* results so far by error class */
    int32_t httpErrors;
    int32_t failedChecks;
    int32_t timeouts;
} VelkLiveCounters;

/* Filled by GetLiveFigures: more of the run in progress (or the last run).
 * The response times are those of the last whole second, in milliseconds,
 * within about 6% (the middle of a log-linear bucket); all 0 when nothing was
 * timed in it. */
typedef struct VelkLiveFigures {
    int64_t requestsMade; /* test-sequence entries done by all users so far */
    int32_t timed;        /* responses timed in the last whole second */
    double p50Ms;
    double p95Ms;
    double p99Ms;
} VelkLiveFigures;

/* Live metrics for a scraper (Prometheus and the like): counters that only
 * grow during a run (they start again at 0 with the next RunTest), readable
 * from any thread while RunTest runs on another, and after it.  Response times
 * are kept per request name in a histogram whose upper bounds are boundaries
 * of the engine's own live buckets (two to each power of two of
 * microseconds, from 128 us to about 50 s). */
#define VELK_LIVE_MAX_NAMES 32 /* names past the 31st share one, "(other requests)" */
#define VELK_LIVE_BUCKETS 38
#define VELK_LIVE_LAG_BUCKETS 9

/* Filled by GetLiveTraffic. */
typedef struct VelkLiveTraffic {
    int64_t requestsSent; /* HTTP requests sent, redirects included */
    uint64_t bytesSent;   /* by requests that have ended */
    uint64_t bytesReceived;
    int32_t usersActive;
    int32_t requestNames; /* names GetLiveRequest knows (0 to VELK_LIVE_MAX_NAMES) */
    /* How late the event loops resumed their users: resumptions measured,
     * their sum, and how many were at most each bound (cumulative). */
    int64_t lagSamples;
    double lagSumMs;
    double lagBoundsMs[VELK_LIVE_LAG_BUCKETS];
    int64_t lagAtMost[VELK_LIVE_LAG_BUCKETS];
    int32_t statusCodes[1000]; /* responses per status code */
} VelkLiveTraffic;

/* Filled by GetLiveRequest: the results of one request name so far. */
typedef struct VelkLiveRequest {
    char name[256]; /* cut to 255 bytes */
    /* Results by outcome: timed (a response that counts as a success), then
     * network, HTTP, failed check and time-out errors. */
    int64_t results[5];
    double timedSumMs; /* the timed responses' times added up */
    /* Timed responses faster than each bound (cumulative, as a histogram's
     * buckets); a time equal to a bound counts in the next. */
    double boundsMs[VELK_LIVE_BUCKETS];
    int64_t below[VELK_LIVE_BUCKETS];
} VelkLiveRequest;

/* Filled by GetLatencyStats: the response-time figures of one request name, or
 * of all requests together, in milliseconds.  Percentiles come from a histogram
 * of bounded relative error (under 1%); minimum, mean, maximum and standard
 * deviation are exact. */
#define VELK_PERCENTILE_COUNT 5 /* the 50th, 90th, 95th, 99th and 99.9th */
typedef struct VelkLatencyStats {
    const char* name;  /* the request name, "" for all requests; owned by the library */
    int64_t count;     /* responses timed (errors are not timed) */
    int64_t errors[4]; /* network, HTTP, failed check, time-out */
    double minMs;
    double meanMs;
    double maxMs;
    double stddevMs; /* population standard deviation */
    double percentilesMs[VELK_PERCENTILE_COUNT];
    /* 1 when the requests were paced (the rate option): the figures below then
     * measure each response from the request's intended start, and count the
     * requests that a stall kept from being sent; 0 leaves them 0. */
    int32_t paced;
    int64_t intendedCount;
    double intendedMaxMs;
    double intendedPercentilesMs[VELK_PERCENTILE_COUNT];
} VelkLatencyStats;

/* Filled by GetRunTotals: the last run as a whole. */
typedef struct VelkRunTotals {
    char testName[256]; /* the project name, as the report names the test */
    int64_t startTime;  /* seconds since 1970 */
    int64_t endTime;
    int64_t durationMs;
    int64_t httpRequests; /* requests sent, redirects included */
    uint64_t bytesSent;
    uint64_t bytesReceived;
    int32_t statusCodes[1000]; /* responses per status code */
    /* HTTP requests sent per second as the text report prints them ("Total
     * average requests per second"): over the span in which every user ran,
     * or, with httpRateApproximated 1, over the whole run because that span
     * was too short (the report's approximation warning).  Below 0, and
     * httpRateApproximated 0, when the report has no such figure
     * (summarytimes=0, or no user made a request). */
    double httpRequestsPerSecond;
    int32_t httpRateApproximated;
} VelkRunTotals;

/* One span of the run's timeline. */
typedef struct VelkTimelinePoint {
    int32_t requests;    /* requests sent during the span */
    int32_t errors;      /* errors recorded during the span */
    int32_t usersActive; /* most users running during the span */
} VelkTimelinePoint;

/* Filled by GetTimeline.  points is owned by the library and valid until
 * CleanKS or FreeTestSet. */
typedef struct VelkTimeline {
    int32_t spanMs; /* length of one point: 1000, doubled for long runs */
    int32_t length;
    const VelkTimelinePoint* points;
} VelkTimeline;

/* Receives one piece of the text report. */
typedef void (*ReportWriter)(void* sink, const char* text);
/* Receives one line of engine output (no trailing line feed). */
typedef void (*OutFunc)(void* context, const char* text);
/* Receives the requests made so far and the total expected (-1: script-driven). */
typedef void (*ProgressReporter)(void* context, int32_t made, int32_t total);

VELK_EXPORT int32_t InitKS(int32_t reserved1, int32_t reserved2);
VELK_EXPORT int32_t CleanupKS(void);
VELK_EXPORT void* SetOutFunc(void* context, OutFunc func);
VELK_EXPORT void* SetProgressReporter(void* context, ProgressReporter func);

VELK_EXPORT TestSet* CreateTestSet(void);
VELK_EXPORT void FreeTestSet(TestSet* set);
VELK_EXPORT int32_t ParseTest(TestSet* set, const char* testName, const char* scriptText);
VELK_EXPORT int32_t ParseGeneralParam(TestSet* set, const char* name, const char* value);
VELK_EXPORT int32_t SetProperty(TestSet* set, const char* nameValue);
VELK_EXPORT void GetInfo(TestSet* set, TestInfo* info);
/* Safe to call from any thread while RunTest runs on another: reads counters only. */
VELK_EXPORT int32_t GetLiveCounters(TestSet* set, VelkLiveCounters* counters);
/* Safe to call from any thread while RunTest runs on another: reads atomics only.
 * Its requestsMade includes every request whose error an earlier
 * GetLiveCounters counted, so errors read first never outnumber it. */
VELK_EXPORT int32_t GetLiveFigures(TestSet* set, VelkLiveFigures* figures);
/* Safe to call from any thread while RunTest runs on another: reads atomics
 * (and, briefly, the run's list of request names).  1, or 0 for null pointers. */
VELK_EXPORT int32_t GetLiveTraffic(TestSet* set, VelkLiveTraffic* traffic);
/* The live results of request name index (0 to requestNames - 1, in the order
 * of the test sequence, then the init and final sequences); the same threads as
 * GetLiveTraffic.  Script-driven users' requests have no names here.  1, or 0
 * when index is out of range (not reported: the names change with each run). */
VELK_EXPORT int32_t GetLiveRequest(TestSet* set, int32_t index, VelkLiveRequest* request);
/* Runs the test and blocks until every virtual user has finished.  1 when any
 * test-sequence entry was completed; 0 when the run could not start (reported)
 * or nothing was completed. */
VELK_EXPORT int32_t RunTest(TestSet* set);
/* Asks a running test to stop; safe from any thread.  Returns the previous flag. */
VELK_EXPORT int32_t AbortRun(TestSet* set);
/* How many event-loop threads the next RunTest shares its sequence-driven users
 * among (each user a task on one of them); 0, the default, is one per processor,
 * and never more than there are users; script-driven users too, unless the
 * environment has VELK_SCRIPT_TASKS=0 (a thread each).  1, or 0 when
 * threads is outside 0..1024 (reported). */
VELK_EXPORT int32_t SetLoopThreads(TestSet* set, int32_t threads);
/* Results of the last run, owned by the library and reused on the next call:
 *  - detailed runs: int32_t** for user `index`, one row per test-sequence
 *    position of `iterations` result codes;
 *  - nodetails runs: an array of four int32_t per position (minimum, sum, count,
 *    maximum), the same for every index;
 *  - script-driven runs: int32_t** pointing at {n, result 1, ..., result n}.
 * Result codes: a time in microseconds, or one of the VELK_RESULT_ classes.
 * NULL without results. */
VELK_EXPORT void* GetResults(TestSet* set, int32_t index);
/* Writes the text report of the last run: through writer to sink when writer is
 * not NULL, else into the report file named by the outfile and reportdir options
 * (nothing when either is empty).  Fills summary when not NULL.  0 on success,
 * -1 when there are no results or the report file cannot be written (reported). */
VELK_EXPORT int32_t SaveResults(TestSet* set, void* sink, ReportWriter writer,
                                VelkSummary* summary);
/* Response-time figures of the last run.  GetLatencyStatsCount gives the number
 * of request names (0 without results); GetLatencyStats fills stats for the
 * request name `index` (0 to count - 1, in test-sequence order) or, with index
 * -1, for all requests together.  0 when there are no results or index is out
 * of range (reported). */
VELK_EXPORT int32_t GetLatencyStatsCount(TestSet* set);
VELK_EXPORT int32_t GetLatencyStats(TestSet* set, int32_t index, VelkLatencyStats* stats);
/* Totals of the last run; 0 when there are no results (reported). */
VELK_EXPORT int32_t GetRunTotals(TestSet* set, VelkRunTotals* totals);
/* Requests, errors and active users over the last run, sampled every second
 * without touching the users' requests; 0 when there are no results (reported). */
VELK_EXPORT int32_t GetTimeline(TestSet* set, VelkTimeline* timeline);
/* Filled by GetLoopLag: how late an event loop of the last run resumed its
 * users once they could go on (an answer seen, a pause over, a turn given
 * up), in milliseconds.  A loop this late measures and paces its users late:
 * the figures then describe the load generator as much as the server. */
typedef struct VelkLoopLag {
    int64_t samples; /* resumptions measured */
    double p50Ms;
    double p99Ms;
    double maxMs;
} VelkLoopLag;
/* A p99 lag above this many milliseconds on any loop makes GetLagWarning warn. */
#define VELK_LAG_WARNING_MS 10.0
/* The event loops of the last run (0 when every user had a thread of its own
 * or there are no results). */
VELK_EXPORT int32_t GetLoopLagCount(TestSet* set);
/* Fills lag for loop index (0 to count - 1), or with index -1 for all loops
 * together.  1, or 0 when there are no loops or index is out of range
 * (reported). */
VELK_EXPORT int32_t GetLoopLag(TestSet* set, int32_t index, VelkLoopLag* lag);
/* Writes into buffer (NUL-terminated, cut to capacity) the warning a host
 * shows when the load generator was late enough to distort the times, ""
 * otherwise.  1 when there is a warning, else 0 (nothing reported). */
VELK_EXPORT int32_t GetLagWarning(TestSet* set, char* buffer, int32_t capacity);
/* Writes into buffer (NUL-terminated, cut to capacity) the first host name of
 * the last run that did not resolve, "" otherwise.  1 when there is one, else 0
 * (nothing reported). */
VELK_EXPORT int32_t GetUnresolvedHost(TestSet* set, char* buffer, int32_t capacity);
VELK_EXPORT int32_t CleanKS(TestSet* set);
VELK_EXPORT int32_t GetCoreVersion(char* buffer);
VELK_EXPORT int32_t ParseCommandLine(TestSet* set, int32_t argc, char** argv);
VELK_EXPORT int64_t Calculate3DArrayMemoryAmount(const char* scriptText);

/* What a run of the parsed test will hold in memory, in bytes, and what the
 * machine has available (its MemAvailable; -1 when unknown).  RunTest refuses
 * a run whose total exceeds the available memory unless memorycheck=0. */
typedef struct VelkMemoryEstimate {
    int64_t users;    /* the users: sessions, stacks, connections */
    int64_t requests; /* the request sections and every user's copy of them */
    int64_t results;  /* the results the users keep */
    int64_t total;
    int64_t available;
} VelkMemoryEstimate;
VELK_EXPORT int32_t GetMemoryEstimate(TestSet* set, VelkMemoryEstimate* estimate);

/* Runs shared by several processes (MPI ranks, shards of a batch job).  Every
 * process parses the same script; each runs a share of its users and the
 * results are brought together into one report.
 *
 * SelectUsers: the next RunTest runs only the users whose global index i (0 to
 * clients - 1) has i % shards == shard.  Users keep their global index, so
 * $clid, $Seq starts, log names and the ramp-up (user i starts i x delaystart
 * ms after the start) are those of a run of all users in one process.  shards 1
 * runs every user again.  1, or 0 when shard is not in 0..shards-1 (reported). */
VELK_EXPORT int32_t SelectUsers(TestSet* set, int32_t shard, int32_t shards);

/* One request of a sequence as a user made it, told to the exchange observer
 * once the request (and every redirect it led to) has ended. */
typedef struct VelkExchange {
    const char* name;     /* the request's name */
    int32_t user;         /* the user's global index, from 0 */
    int32_t iteration;    /* the user's pass, from 1 */
    int32_t result;       /* as recorded: a time in microseconds or a VELK_RESULT_ class */
    int32_t status;       /* the last response's status code; 0 when none was read */
    const char* location; /* the Location of the last redirect followed, as the server
                             sent it (cut to 511 bytes); "" without one */
    const char* body;     /* the last response's body: bodySize bytes, not NUL-terminated */
    int64_t bodySize;
} VelkExchange;
/* Called on the user's thread; the record and its texts are valid during the
 * call only.  It must not throw, and it holds its user up while it runs: for
 * checking a scenario (one user, a few iterations), not for a load test. */
typedef void (*ExchangeObserver)(void* context, const VelkExchange* exchange);
/* Installs observer for the set's next runs (NULL removes it); set it before
 * RunTest, not during one.  Returns the previous context. */
VELK_EXPORT void* SetExchangeObserver(TestSet* set, void* context, ExchangeObserver observer);

/* Called by RunTest on its own thread once every user is ready, just before the
 * users are let go (with delaystart above 0: before the first user starts).  A
 * host holds its processes' barrier in it; returning 0 aborts the run.  The
 * run's times count from the barrier's end.  NULL removes it.  Returns the
 * previous context. */
typedef int32_t (*StartBarrier)(void* context);
VELK_EXPORT void* SetStartBarrier(TestSet* set, void* context, StartBarrier barrier);

/* The results of the last run (the users this process ran, the run's times,
 * HTTP request and status code counters) as bytes for ImportResultData.
 * Returns the byte count; the bytes are written only when capacity is at least
 * that (call with NULL, 0 for the size).  0 without results (reported). */
VELK_EXPORT int64_t ExportResultData(TestSet* set, void* buffer, int64_t capacity);

/* Adds results made by ExportResultData in another process to the set, which
 * must be parsed from the same script with the same clients, requests and
 * result options.  After the last part, GetResults and SaveResults report the
 * users of all parts as one run.  A set that has not run takes the parts as
 * its results.  1, or 0 when the bytes are damaged, do not fit the test, or
 * hold a user that is already here (reported; the set is left unchanged). */
VELK_EXPORT int32_t ImportResultData(TestSet* set, const void* data, int64_t size);

#ifdef __cplusplus
}
#endif

#endif /* VELKCORE_H */
