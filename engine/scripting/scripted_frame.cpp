#include "scripting/scripted_frame.h"

#include <duktape.h>

#include "base/ascii.h"
#include "base/message.h"
#include "loop/task_wait.h"
#include "platform/file_io.h"
#include "results/shared_run.h"
#include "script/parsed_test.h"
#include "scripting/byte_text.h"
#include "scripting/native_stack_guard.h"
#include "scripting/script_heap.h"
#include "scripting/trace_sink.h"
#include "scripting/velk_binding.h"
#include "scripting/velk_object.h"

namespace velk {
namespace {

// The description of a script error is cut to fit this buffer, terminator included.
constexpr size_t kDescriptionBuffer = 256;

struct EngineRule {
    const char* extension;
    ScriptEngine engine;
};
constexpr EngineRule kEngines[] = {
    {".pl", ScriptEngine::PerlScript},
    {".js", ScriptEngine::JScript},
    {".vbs", ScriptEngine::VBScript},
};

void traceState(const char* state) {
    TraceSink::write("CScriptedFrame::OnStateChange\n");
    TraceSink::write(state);
}

[[noreturn]] void onFatal(void*, const char* message) {
    // The interpreter cannot go on after a fatal error; nothing can be saved.
    TraceSink::write("CScriptedFrame: fatal interpreter error: ");
    TraceSink::write(message ? message : "");
    TraceSink::write("\n");
    std::abort();
}

// [error] -> [line, description]; runs protected, since reading an error can
// run script code (accessors, toString) that throws.
int describeError(duk_context* ctx, void*) {
    int line = 0;
    if (duk_is_error(ctx, 0)) {
        duk_get_prop_string(ctx, 0, "lineNumber");
        line = duk_to_int(ctx, -1);
        duk_pop(ctx);
    }
    duk_push_int(ctx, line);
    duk_dup(ctx, 0);
    duk_to_string(ctx, -1);
    return 2;
}

// The user's turn on a shared heap, for as long as it lives; nothing on a heap
// of its own.
class TurnScope {
public:
    TurnScope(SharedScriptHeap* heap, SharedScriptHeap::Turn& turn) : m_heap(heap), m_turn(turn) {
        if (m_heap) m_heap->enter(m_turn);
    }
    ~TurnScope() {
        if (m_heap) m_heap->leave(m_turn);
    }
    TurnScope(const TurnScope&) = delete;
    TurnScope& operator=(const TurnScope&) = delete;

private:
    SharedScriptHeap* m_heap;
    SharedScriptHeap::Turn& m_turn;
};

}  // namespace

CScriptedFrame::CScriptedFrame(const std::atomic<int32_t>& abortFlag, int64_t graceMs)
    : m_interrupt(abortFlag, graceMs) {
    m_use.setCurrent(&m_interrupt);
    m_turn.user = &m_interrupt;
    TraceSink::write("CScriptedFrame\n");
}

CScriptedFrame::~CScriptedFrame() {
    close();
    TraceSink::write("~CScriptedFrame\n");
}

ScriptEngine CScriptedFrame::chooseEngine(std::string_view scriptName) {
    for (const EngineRule& rule : kEngines)
        if (scriptName.find(rule.extension) != std::string_view::npos) return rule.engine;
    return ScriptEngine::None;
}

int CScriptedFrame::fail(const char* trace) {
    TraceSink::write(trace);
    m_failure.assign(trace);
    while (!m_failure.empty() && (m_failure.back() == '\n' || m_failure.back() == '.'))
        m_failure.pop_back();
    m_failure += ": " + m_name;
    return 0;
}

int CScriptedFrame::initialize(std::string_view scriptName,
                               std::optional<std::string_view> inlineText) {
    TraceSink::write("CScriptedFrame::InitializeScriptedFrame\n");
    m_name.assign(scriptName);
    if (chooseEngine(scriptName) != ScriptEngine::JScript || m_heap)
        return fail("Failed to create scripting engine.\n");
    if (loop::taskLoop() != nullptr) {
        m_shared = SharedScriptHeap::join();
        if (!m_shared) return fail("Failed to create scripting engine.\n");
        NativeStackGuard stackGuard(m_interrupt);
        m_heap = m_shared->addUser(m_turn);
    } else {
        m_heap = duk_create_heap(&scriptHeapAlloc, &scriptHeapRealloc, &scriptHeapFree, &m_use,
                                 &onFatal);
    }
    if (!m_heap) return fail("Failed to create scripting engine.\n");
    traceState("State: Initialized.\n");

    std::string text;
    if (inlineText) {
        text.assign(*inlineText);
    } else if (platform::readWholeFile(m_name, text) != platform::ReadStatus::Ok) {
        return fail("Error opening script file.\n");
    }
    // The text ends at its first zero byte, as a C string would.
    if (const size_t zero = text.find('\0'); zero != std::string::npos) text.resize(zero);
    m_text = isAscii(text) ? std::move(text) : bytesToScriptText(text);
    return 1;
}

void CScriptedFrame::run(ScriptSession& session) {
    TraceSink::write("CScriptedFrame::RunScript\n");
    if (!m_heap) return;
    NativeStackGuard stackGuard(m_interrupt);
    TurnScope turn(m_shared, m_turn);
    m_velk = std::make_unique<CVelkObject>(session);
    m_binding = std::make_unique<VelkBinding>(*m_velk, m_shared, &m_turn);
    TraceSink::write("CScriptedFrame::GetItemInfo\n");
    if (!m_binding->install(m_heap)) {
        duk_pop(m_heap);
        TraceSink::write("Error calling AddNamedItem\n");
        return;
    }
    duk_pop(m_heap);

    const std::string name = bytesToScriptText(m_name);
    duk_push_lstring(m_heap, name.data(), name.size());
    const int compiled =
        m_shared ? m_shared->compile(m_heap, name, m_text)
                 : duk_pcompile_lstring_filename(m_heap, 0, m_text.data(), m_text.size());
    if (compiled != 0) {
        reportScriptError();
        duk_pop(m_heap);
        TraceSink::write("Error calling ParseScriptText\n");
        return;
    }
    // Compiled: the text is not needed again, and each of thousands of users held a copy.
    std::string().swap(m_text);
    traceState("State: Started.\n");
    traceState("State: Connected.\n");
    if (duk_pcall(m_heap, 0) != DUK_EXEC_SUCCESS) {
        reportScriptError();
        TraceSink::write("Error calling SetScriptState\n");
    }
    duk_pop(m_heap);
}

void CScriptedFrame::reportScriptError() {
    TraceSink::write("CScriptedFrame::OnScriptError\n");
    if (m_interrupt.stopped()) {
        // The run was aborted and the script did not end by itself: not its fault.
        TraceSink::write("Script stopped: the run was aborted.\n");
        return;
    }
    duk_dup_top(m_heap);
    if (duk_safe_call(m_heap, &describeError, nullptr, 1, 2) != DUK_EXEC_SUCCESS) {
        duk_pop_2(m_heap);
        return;  // the error could not be read
    }
    const int line = duk_get_int(m_heap, -2);
    duk_size_t length = 0;
    const char* text = duk_get_lstring(m_heap, -1, &length);
    std::string description = scriptTextToBytes(std::string_view(text ? text : "", length));
    if (description.size() > kDescriptionBuffer - 1) description.resize(kDescriptionBuffer - 1);
    duk_pop_2(m_heap);
    // The interpreter gives lines (from 1) but no columns.
    report("%s (%d,%d): %s\n", "Script Error:", line, 0, description.c_str());
}

void CScriptedFrame::close() {
    if (m_shared) {
        // The user's globals go with its thread; the heap goes with the loop's last user.
        const bool opened = m_heap != nullptr;
        if (opened) {
            TraceSink::write("CScriptedFrame::Close\n");
            m_shared->removeUser(m_turn);
        }
        m_shared->release();
        m_shared = nullptr;
        m_heap = nullptr;
        m_binding.reset();
        m_velk.reset();
        if (opened) {
            traceState("State: Disconnected.\n");
            traceState("State: Closed.\n");
        }
        return;
    }
    if (!m_heap) return;
    TraceSink::write("CScriptedFrame::Close\n");
    // Finalizers run while the heap goes; none of them may start the script over.
    m_interrupt.stopNow();
    {
        NativeStackGuard stackGuard(m_interrupt);
        duk_destroy_heap(m_heap);
    }
    m_heap = nullptr;
    m_binding.reset();
    m_velk.reset();
    traceState("State: Disconnected.\n");
    traceState("State: Closed.\n");
}

void runUserScript(ScriptSession& session) {
    const std::string& name = session.test.options.script;
    std::optional<std::string_view> inlineText;
    if (startsWithNoCase(name, "$inline") && session.test.scriptText)
        inlineText = session.test.scriptText->view();
    CScriptedFrame frame(session.shared.abortFlag);
    if (frame.initialize(name, inlineText))
        frame.run(session);
    else if (session.shared.scriptLoadFailureSaid.exchange(1) == 0)
        report("Script Error: %s\n", frame.failure().c_str());
    frame.close();
}

}  // namespace velk
