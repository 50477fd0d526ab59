#pragma once
// TestSet: the opaque handle of the C interface.  It holds one TestRun (a parsed
// test and its last run, see run/test_run.h), so the engine below the exports
// never names it and the exports reach everything through `rep`.
//
// Created and freed by its caller through the exports; parsed and configured on
// the caller's thread.  During a run the options, request definitions and
// sequences are read-only.
#include "run/test_run.h"

struct TestSet {
    velk::TestRun rep;
    // The host's exchange observer (SetExchangeObserver), which rep's relays to.
    void (*exchangeObserver)(void* context, const struct VelkExchange* exchange) = nullptr;
    void* exchangeContext = nullptr;
};
