#include "scripting/shared_script_heap.h"

#include <duktape.h>

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

// [bytecode buffer] -> [function]
int loadFunction(duk_context* ctx, void*) {
    duk_load_function(ctx);
    return 1;
}

// [function] -> [function bytecode]
int dumpFunction(duk_context* ctx, void*) {
    duk_dup_top(ctx);
    duk_dump_function(ctx);
    return 2;
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
    while (m_madeThisRound >= kEnvironmentsPerRound) {
        // Every user that waits comes back after the same look at the sockets;
        // the first one back begins the next round.
        const uint64_t round = m_round;
        loop::yieldTask();
        if (m_round == round) {
            ++m_round;
            m_madeThisRound = 0;
        }
    }
    ++m_madeThisRound;
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
    if (!m_bytecode.empty() && name == m_compiledName && text == m_compiledText) {
        // The bytecode is our own compiler's, from this heap's run: safe to load.
        duk_pop(thread);
        void* buffer = duk_push_fixed_buffer(thread, m_bytecode.size());
        std::memcpy(buffer, m_bytecode.data(), m_bytecode.size());
        return duk_safe_call(thread, &loadFunction, nullptr, 1, 1) == DUK_EXEC_SUCCESS ? 0 : 1;
    }
    duk_dup_top(thread);
    if (duk_pcompile_lstring_filename(thread, 0, text.data(), text.size()) != 0) {
        duk_remove(thread, -2);
        return 1;
    }
    duk_remove(thread, -2);
    if (duk_safe_call(thread, &dumpFunction, nullptr, 1, 2) == DUK_EXEC_SUCCESS) {
        duk_size_t size = 0;
        const auto* data = static_cast<const char*>(duk_get_buffer(thread, -1, &size));
        m_compiledName.assign(name);
        m_compiledText.assign(text);
        m_bytecode.assign(data, size);
        duk_pop(thread);
        return 0;
    }
    // No bytecode kept (memory): the dump's error replaced the function.
    duk_pop_2(thread);
    duk_push_lstring(thread, name.data(), name.size());
    return duk_pcompile_lstring_filename(thread, 0, text.data(), text.size());
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
