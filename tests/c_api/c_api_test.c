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

#define CHECK(cond)                                                  \
    do {                                                             \
        if (!(cond)) {                                               \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            return 1;                                                \
        }                                                            \
    } while (0)

int main(void) {
    char version[64];
    TestInfo info;
    VelkLiveCounters live;
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
    SetOutFunc(NULL, NULL);
    CleanupKS();
    puts("C interface: all checks held");
    return 0;
}
