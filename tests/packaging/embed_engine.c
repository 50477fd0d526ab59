/* A program that embeds the installed engine, as a user's would: built against
 * the installed velkcore.h and libvelkcore through pkg-config or the CMake
 * package, it load-tests the server at 127.0.0.1:PORT with 2 users making 3
 * requests each, and exits 0 when all 6 were answered without an error. */
#include <stdio.h>
#include <stdlib.h>

#include "velkcore.h"

static void printLine(void* context, const char* text) {
    (void)context;
    fprintf(stderr, "engine: %s\n", text);
}

int main(int argc, char** argv) {
    char script[256];
    VelkLatencyStats all;
    TestSet* set;
    int ok;

    if (argc != 2) {
        fputs("usage: embed_engine PORT\n", stderr);
        return 2;
    }
    snprintf(script, sizeof script,
             "[general]\nclients=2\nrequests=3\nserver=127.0.0.1\nport=%d\ntimeout=10\n"
             "reportdir=\n[home]\n$uri=/\n",
             atoi(argv[1]));
    InitKS(0, 0);
    SetOutFunc(NULL, printLine);
    set = CreateTestSet();
    ok = set != NULL && ParseTest(set, "embedded", script) == 1 && RunTest(set) == 1 &&
         GetLatencyStats(set, -1, &all) == 1;
    if (ok) {
        printf("embedded run: %lld responses, errors %lld/%lld/%lld/%lld, p95 %.2f ms\n",
               (long long)all.count, (long long)all.errors[0], (long long)all.errors[1],
               (long long)all.errors[2], (long long)all.errors[3], all.percentilesMs[2]);
        ok = all.count == 6 && all.errors[0] + all.errors[1] + all.errors[2] + all.errors[3] == 0;
    }
    FreeTestSet(set);
    SetOutFunc(NULL, NULL);
    CleanupKS();
    return ok ? 0 : 1;
}
