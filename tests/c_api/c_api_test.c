/* The public header is plain C: this program is compiled as C and drives the
 * engine through it.  Exit status 0 means every check held. */
#include <stdio.h>
#include <string.h>

#include "velkcore.h"

static int g_messages;
static char g_last[4096];

static void collect(void* context, const char* text) {
    (void)context;
    ++g_messages;
    strncpy(g_last, text, sizeof g_last - 1);
}

#define CHECK(cond)                                                                  \
    do {                                                                             \
        if (!(cond)) {                                                               \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            return 1;                                                                \
        }                                                                            \
    } while (0)

int main(void) {
    char version[64];
    TestInfo info;
    VelkLiveCounters live;
    VelkLiveFigures liveFigures;
    TestSet* set;

    InitKS(0, 0);
    CHECK(SetOutFunc(&g_messages, collect) == &g_messages);
    set = CreateTestSet();
    CHECK(set != NULL);
    CHECK(ParseTest(set, "c", "clients=2\n[one]\n[two]\n") == 1);
    GetInfo(set, &info);
    CHECK(info.users == 2 && info.sequenceLength == 2);
    CHECK(strcmp(info.sequenceNames[1], "two") == 0);
    CHECK(ParseGeneralParam(set, "timeout", "x") == 0);
    CHECK(g_messages == 1 && strcmp(g_last, "Integer number expected as a value of timeout") == 0);
    CHECK(GetLiveCounters(set, &live) == 1 && live.usersActive == 0 && live.httpErrors == 0);
    CHECK(GetLiveCounters(NULL, &live) == 0);
    CHECK(GetLiveFigures(set, &liveFigures) == 1 && liveFigures.timed == 0 &&
          liveFigures.requestsMade == 0 && liveFigures.p99Ms == 0);
    CHECK(GetLiveFigures(NULL, &liveFigures) == 0 && GetLiveFigures(set, NULL) == 0);
    CHECK(GetCoreVersion(version) > 0);
    CHECK(sizeof(VelkSummary) == 32);

    /* Shared runs: a share outside 0..N-1 is refused once; results cannot be
     * exported before a run, and bytes that are not results are refused. */
    g_messages = 0;
    CHECK(SelectUsers(set, 3, 3) == 0 && g_messages == 1);
    CHECK(SelectUsers(set, 1, 3) == 1);
    CHECK(SetStartBarrier(set, &g_messages, NULL) == NULL);
    CHECK(SetStartBarrier(set, NULL, NULL) == &g_messages);
    CHECK(ExportResultData(set, NULL, 0) == 0 && g_messages == 2);
    CHECK(ImportResultData(set, "VELKSHRD", 8) == 0 && g_messages == 3);
    CHECK(strstr(g_last, "cut short") != NULL);
    CHECK(ImportResultData(NULL, "x", 1) == 0 && ImportResultData(set, NULL, 5) == 0);
    FreeTestSet(set);

    /* The figures of a run whose requests all fail: nothing listens on port 1. */
    {
        VelkLatencyStats stats;
        VelkRunTotals totals;
        VelkTimeline timeline;
        VelkLoopLag lag;
        char warning[512];
        int32_t i, errors = 0;
        set = CreateTestSet();
        CHECK(ParseTest(set, "figures",
                        "clients=2\nrequests=3\nserver=127.0.0.1\nport=1\ntimeout=5\n[a]\n") == 1);
        g_messages = 0;
        CHECK(GetRunTotals(set, &totals) == 0 && g_messages == 1);
        CHECK(GetLatencyStatsCount(set) == 0);
        RunTest(set);
        CHECK(GetLatencyStatsCount(set) == 1);
        CHECK(GetLatencyStats(set, 0, &stats) == 1 && strcmp(stats.name, "a") == 0);
        CHECK(stats.count == 0 && stats.errors[0] == 6 && stats.paced == 0);
        CHECK(GetLatencyStats(set, -1, &stats) == 1 && strcmp(stats.name, "") == 0 &&
              stats.errors[0] == 6);
        g_messages = 0;
        CHECK(GetLatencyStats(set, 1, &stats) == 0 && g_messages == 1);
        CHECK(GetLatencyStats(set, 0, NULL) == 0);
        CHECK(GetRunTotals(set, &totals) == 1 && strcmp(totals.testName, "figures") == 0);
        CHECK(totals.endTime >= totals.startTime && totals.bytesReceived == 0);
        CHECK(GetTimeline(set, &timeline) == 1 && timeline.spanMs == 1000 && timeline.length >= 1);
        for (i = 0; i < timeline.length; ++i) errors += timeline.points[i].errors;
        CHECK(errors == 6);
        CHECK(GetLoopLagCount(set) >= 1 && GetLoopLag(set, -1, &lag) == 1 && lag.samples > 0);
        CHECK(lag.p50Ms <= lag.p99Ms && lag.p99Ms <= lag.maxMs);
        /* A loaded machine may hold the loop up enough for the warning. */
        CHECK((GetLagWarning(set, warning, (int32_t)sizeof warning) == 1) == (warning[0] != '\0'));
        CHECK(CleanKS(set) == 1 && GetLatencyStatsCount(set) == 0);
        FreeTestSet(set);
    }
    SetOutFunc(NULL, NULL);
    CleanupKS();
    puts("C interface: all checks held");
    return 0;
}
