#include "scripting/scripted_frame.h"

#include <duktape.h>
#include <strings.h>

#include "api/message.h"
#include "api/test_set.h"
#include "platform/file_io.h"
#include "scripting/native_stack_guard.h"
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

// Script text is 8-bit; the interpreter reads UTF-8, so anything else is refused
// rather than guessed at.
bool isUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t extra = 0;
        uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            extra = 1, cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2, cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3, cp = c & 0x07;
        } else {
            return false;
        }
        if (text.size() - i <= extra) return false;
        for (size_t k = 1; k <= extra; ++k) {
            const auto d = static_cast<unsigned char>(text[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        const uint32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (cp < least[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

// At most max bytes of text, not ending inside a UTF-8 sequence.
std::string_view cutUtf8(std::string_view text, size_t max) {
    if (text.size() <= max) return text;
    size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

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

}  // namespace

CScriptedFrame::CScriptedFrame(const std::atomic<int32_t>& abortFlag, int64_t graceMs)
    : m_interrupt(abortFlag, graceMs) {
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
    return 0;
}

int CScriptedFrame::initialize(std::string_view scriptName,
                               std::optional<std::string_view> inlineText) {
    TraceSink::write("CScriptedFrame::InitializeScriptedFrame\n");
    m_name.assign(scriptName);
    if (chooseEngine(scriptName) != ScriptEngine::JScript || m_heap)
        return fail("Failed to create scripting engine.\n");
    m_heap = duk_create_heap(nullptr, nullptr, nullptr, &m_interrupt, &onFatal);
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
    if (!isUtf8(text)) return fail("Error translating string.\n");
    m_text = std::move(text);
    return 1;
}

void CScriptedFrame::run(ScriptSession& session) {
    TraceSink::write("CScriptedFrame::RunScript\n");
    if (!m_heap) return;
    NativeStackGuard stackGuard(m_interrupt);
    m_velk = std::make_unique<CVelkObject>(session);
    m_binding = std::make_unique<VelkBinding>(*m_velk);
    TraceSink::write("CScriptedFrame::GetItemInfo\n");
    if (!m_binding->install(m_heap)) {
        duk_pop(m_heap);
        TraceSink::write("Error calling AddNamedItem\n");
        return;
    }
    duk_pop(m_heap);

    duk_push_lstring(m_heap, m_name.data(), m_name.size());
    if (duk_pcompile_lstring_filename(m_heap, 0, m_text.data(), m_text.size()) != 0) {
        reportScriptError();
        duk_pop(m_heap);
        TraceSink::write("Error calling ParseScriptText\n");
        return;
    }
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
    const std::string description(
        cutUtf8(std::string_view(text ? text : "", length), kDescriptionBuffer - 1));
    duk_pop_2(m_heap);
    // The interpreter gives lines (from 1) but no columns.
    report("%s (%d,%d): %s\n", "Script Error:", line, 0, description.c_str());
}

void CScriptedFrame::close() {
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
    const std::string& name = session.set.options.script;
    std::optional<std::string_view> inlineText;
    if (name.size() >= 7 && strncasecmp(name.c_str(), "$inline", 7) == 0 && session.set.scriptText)
        inlineText = session.set.scriptText->view();
    CScriptedFrame frame(session.set.abortFlag);
    if (frame.initialize(name, inlineText)) frame.run(session);
    frame.close();
}

}  // namespace velk
