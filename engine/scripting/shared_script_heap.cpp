#include "scripting/shared_script_heap.h"

#include <duktape.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "loop/task_wait.h"
#include "scripting/native_stack_guard.h"
#include "scripting/trace_sink.h"

// Added to the interpreter's source (engine/scripting/CMakeLists.txt).
extern "C" {
duk_size_t velk_duk_turn_state_size(void);
void velk_duk_turn_save(duk_context* ctx, void* out);
void velk_duk_turn_load(duk_context* ctx, const void* in);
void velk_duk_push_program(duk_context* ctx);
}

namespace velk {
namespace {

const std::atomic<int32_t> kNeverAborted{0};

thread_local SharedScriptHeap* t_heap = nullptr;

[[noreturn]] void onSharedHeapFatal(void*, const char* message) {
    // The interpreter cannot go on after a fatal error; nothing can be saved.
    TraceSink::write("SharedScriptHeap: fatal interpreter error: ");
    TraceSink::write(message ? message : "");
    TraceSink::write("\n");
    std::abort();
}

// [] -> []: a thread with a fresh global environment, kept in the heap stash
// under the turn's key.
int makeThread(duk_context* ctx, void* turn) {
    auto& t = *static_cast<SharedScriptHeap::Turn*>(turn);
    duk_push_heap_stash(ctx);
    duk_push_thread_new_globalenv(ctx);
    duk_put_prop_index(ctx, -2, t.key);
    duk_pop(ctx);
    return 0;
}

// [] -> [thread]
int findThread(duk_context* ctx, void* turn) {
    duk_push_heap_stash(ctx);
    duk_get_prop_index(ctx, -1, static_cast<SharedScriptHeap::Turn*>(turn)->key);
    duk_remove(ctx, -2);
    return 1;
}

int dropThread(duk_context* ctx, void* turn) {
    duk_push_heap_stash(ctx);
    duk_del_prop_index(ctx, -1, static_cast<SharedScriptHeap::Turn*>(turn)->key);
    duk_pop(ctx);
    return 0;
}

// Where the heap stash keeps the program the loop's users run.
constexpr const char* kProgramKey = "program";

// [] -> [program]: the kept program, as a function of the calling thread's
// global environment.
int pushKeptProgram(duk_context* ctx, void*) {
    duk_push_heap_stash(ctx);
    duk_get_prop_string(ctx, -1, kProgramKey);
    duk_remove(ctx, -2);
    velk_duk_push_program(ctx);
    return 1;
}

// [] -> []: keeps the program on top of the user's thread (passed), made a
// function of the heap's own global environment so that it keeps nothing of
// that user alive.
int keepProgram(duk_context* ctx, void* user) {
    duk_xcopy_top(ctx, static_cast<duk_context*>(user), 1);
    velk_duk_push_program(ctx);
    duk_push_heap_stash(ctx);
    duk_swap_top(ctx, -2);
    duk_put_prop_string(ctx, -2, kProgramKey);
    duk_pop(ctx);
    return 0;
}

}  // namespace

SharedScriptHeap::SharedScriptHeap() : m_closing(kNeverAborted) {}

SharedScriptHeap* SharedScriptHeap::join() {
    if (loop::taskLoop() == nullptr) return nullptr;
    if (t_heap == nullptr) {
        auto* heap = new SharedScriptHeap();
        if (!heap->create()) {
            delete heap;
            return nullptr;
        }
        t_heap = heap;
    }
    ++t_heap->m_users;
    return t_heap;
}

bool SharedScriptHeap::create() {
    if (velk_duk_turn_state_size() > Turn::kStateBytes) return false;
    m_use.setShared(this);
    m_ctx = duk_create_heap(&scriptHeapAlloc, &scriptHeapRealloc, &scriptHeapFree, &m_use,
                            &onSharedHeapFatal);
    if (m_ctx == nullptr) return false;
    velk_duk_turn_save(m_ctx, m_idle.state);
    return true;
}

SharedScriptHeap::~SharedScriptHeap() {
    if (m_ctx == nullptr) return;
    // Finalizers run while the heap goes; none of them may start a script over.
    m_closing.stopNow();
    m_use.setCurrent(&m_closing);
    NativeStackGuard stackGuard(m_closing);
    duk_destroy_heap(m_ctx);
}

void SharedScriptHeap::release() {
    if (--m_users > 0) return;
    if (t_heap == this) t_heap = nullptr;
    delete this;
}

void SharedScriptHeap::awaitEnvironmentRound() {
    if (m_waiting.empty() && m_madeThisRound < kEnvironmentsPerRound) {
        ++m_madeThisRound;
        return;
    }
    // Parked in order of coming, not yielding: thousands of waiting users each
    // resumed once a round cost more than the environments.
    loop::EventLoop& loop = *loop::taskLoop();
    loop::EventLoop::Task* self = loop.currentTask();
    m_waiting.push_back(self);
    if (!m_keepingRounds) {
        m_keepingRounds = true;
        ++m_users;  // the heap outlives the keeper
        loop.spawn([this, &loop] { keepRounds(loop); });
    }
    // Woken in a round, its place counted; stopped (the run ends), it goes on
    // to a making that fails or is quick.
    if (loop.park() != loop::WaitResult::Ready) std::erase(m_waiting, self);
}

void SharedScriptHeap::keepRounds(loop::EventLoop& loop) {
    // Between two rounds the loop looks at its sockets once and runs the users
    // that can go on; then the next few waiting are woken.
    while (!m_waiting.empty()) {
        loop.yield();
        m_madeThisRound = 0;
        while (m_madeThisRound < kEnvironmentsPerRound && !m_waiting.empty()) {
            loop.wake(m_waiting.front());
            m_waiting.pop_front();
            ++m_madeThisRound;
        }
    }
    m_keepingRounds = false;
    release();
}

duk_context* SharedScriptHeap::addUser(Turn& turn) {
    awaitEnvironmentRound();
    turn.key = m_nextKey++;
    turn.user->setAccount(m_use.newAccount());
    enter(turn);
    duk_context* thread = nullptr;
    if (duk_safe_call(m_ctx, &makeThread, &turn, 0, 1) == DUK_EXEC_SUCCESS) {
        duk_pop(m_ctx);
        // The stash keeps the thread once it is off the stack.
        if (duk_safe_call(m_ctx, &findThread, &turn, 0, 1) == DUK_EXEC_SUCCESS)
            thread = duk_get_context(m_ctx, -1);
    }
    duk_pop(m_ctx);
    leave(turn);
    return thread;
}

void SharedScriptHeap::removeUser(Turn& turn) {
    // Outside any turn: a stopped user may not allocate, and letting go must not fail.
    if (duk_safe_call(m_ctx, &dropThread, &turn, 0, 1) != DUK_EXEC_SUCCESS)
        TraceSink::write("SharedScriptHeap: a user's thread could not be let go\n");
    duk_pop(m_ctx);
}

int SharedScriptHeap::compile(duk_context* thread, std::string_view name, std::string_view text) {
    if (m_programKept && name == m_programName && text == m_programText) {
        duk_pop(thread);
        return duk_safe_call(thread, &pushKeptProgram, nullptr, 0, 1) == DUK_EXEC_SUCCESS ? 0 : 1;
    }
    if (duk_pcompile_lstring_filename(thread, 0, text.data(), text.size()) != 0) return 1;
    m_programKept = false;
    if (duk_safe_call(m_ctx, &keepProgram, thread, 0, 1) == DUK_EXEC_SUCCESS) {
        m_programName.assign(name);
        m_programText.assign(text);
        m_programKept = true;
    }
    // Not kept (memory): the next user compiles it again.
    duk_pop(m_ctx);
    return 0;
}

void SharedScriptHeap::enter(Turn& turn) {
    if (turn.saved) velk_duk_turn_load(m_ctx, turn.state);
    m_use.setCurrent(turn.user);
    m_current = &turn;
}

void SharedScriptHeap::leave(Turn& turn) {
    velk_duk_turn_save(m_ctx, turn.state);
    turn.saved = true;
    velk_duk_turn_load(m_ctx, m_idle.state);
    m_use.setCurrent(nullptr);
    m_current = nullptr;
}

void SharedScriptHeap::giveWay() {
    Turn* turn = m_current;
    if (turn == nullptr) return;
    leave(*turn);
    loop::yieldTask();
    enter(*turn);
}

}  // namespace velk
