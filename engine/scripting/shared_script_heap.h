#pragma once
// One interpreter heap for all the script-driven users of an event loop.
//
// A script user on a loop is a task like any other: where its script waits (a
// request, the pause after it) its task parks and the loop runs the others.
// Its script still runs in an interpreter, and a heap of its own per user costs
// about 145 KiB with its thread; so the users of a loop share one heap, each in
// a thread of the interpreter with a fresh global environment (its own global
// object and built-ins, 26 KB with the built-in functions as light functions),
// so that no user sees another's variables.
//
// The interpreter assumes that whoever runs in a heap runs to the end of its
// call before anyone else starts: the heap keeps which thread runs, where an
// error unwinds to, how deep the calls are.  Users therefore take turns
// (Turn): a user that is about to wait leaves the heap (its execution state
// saved, the heap put back as it is when nobody runs), and enters it again
// when it resumes.  The velk methods leave around their work, and a script
// that computes for long leaves every 65,536 instructions to let the other
// tasks of the loop run (the rule a pattern match follows), unless the heap is
// inside a section of its own then (a collection, a finalizer).
//
// Each user's memory is counted in its own account (script_heap.h); its stop
// (abort, host closing) and its stack limit are its own ScriptInterrupt's,
// asked through the heap while it has its turn.  Finalizers run in whoever's
// turn comes and belong to no one, so on a shared heap they are stopped at
// their first check.
//
// Belongs to one loop thread: made by the first script user of that loop,
// destroyed when the last one leaves.  Not for plain threads (a user there has
// a heap of its own).
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "loop/event_loop.h"
#include "scripting/script_heap.h"
#include "scripting/script_interrupt.h"

typedef struct duk_hthread duk_context;

namespace velk {

class SharedScriptHeap {
public:
    // One user's place on the heap.
    struct Turn {
        static constexpr size_t kStateBytes = 160;
        ScriptInterrupt* user = nullptr;
        uint32_t key = 0;    // where the heap keeps the user's thread
        bool saved = false;  // state holds the user's execution state
        alignas(16) unsigned char state[kStateBytes];
    };

    // The calling loop thread's heap, made on first use; nullptr when the
    // interpreter cannot be made.  Each successful join is ended by release().
    static SharedScriptHeap* join();
    void release();

    // A thread with a fresh global environment for turn's user, made in its
    // turn (charged to it); nullptr when the heap refused (memory, stop).  The
    // user is between enter() and leave() when it uses the thread.  Making one
    // takes a few hundred microseconds, so a loop makes at most
    // kEnvironmentsPerRound between two looks at its sockets: the users after
    // that park, in order, until a task of the heap's wakes them a round at a
    // time (thousands start at once).
    duk_context* addUser(Turn& turn);
    static constexpr uint32_t kEnvironmentsPerRound = 8;
    // Lets the user's thread go; the user has left the heap.
    void removeUser(Turn& turn);

    // In the user's turn: [name] -> [function] as duk_pcompile_lstring_filename
    // does it, and its result.  The users of a loop mostly run one script, so
    // the last one compiled is kept, and the next user of the same name and
    // text gets a function of its own environment that shares its bytecode and
    // constants (1.5 KB a user for a small script; no compiling).
    int compile(duk_context* thread, std::string_view name, std::string_view text);

    // The user's turn begins (or goes on where it left).
    void enter(Turn& turn);
    // The user's turn ends for now: the heap is saved for it and left idle.
    void leave(Turn& turn);
    // From the timeout check: lets the loop's other tasks run, then goes on.
    void giveWay();

    ScriptHeapUse& use() { return m_use; }

private:
    SharedScriptHeap();
    ~SharedScriptHeap();
    bool create();
    void awaitEnvironmentRound();
    void keepRounds(loop::EventLoop& loop);

    ScriptHeapUse m_use;  // the heap's user data: declared before the heap
    ScriptInterrupt m_closing;
    duk_context* m_ctx = nullptr;
    Turn m_idle;  // the heap's state when nobody runs
    Turn* m_current = nullptr;
    size_t m_users = 0;
    uint32_t m_nextKey = 0;
    uint32_t m_madeThisRound = 0;                  // environments made since the round began
    std::deque<loop::EventLoop::Task*> m_waiting;  // parked for a round, first first
    bool m_keepingRounds = false;                  // a task wakes them
    bool m_programKept = false;                    // in the heap stash
    std::string m_programName;
    std::string m_programText;
};

}  // namespace velk
