#pragma once
// CScriptedFrame: hosts one virtual user's script.  It chooses the script
// engine from the script's name, loads the text (a file, or the test's [script]
// section for an "$inline" name), runs it with the user's CVelkObject as the
// global "velk", and reports script errors (syntax and run time) through the
// engine's message path as "Script Error: (line,col): description".  Failures
// of the host itself go to the trace sink, and a script that cannot be loaded
// is said once per run through the message path; the user then makes no
// request.  Texts cross into the interpreter one character per byte (byte_text.h).
//
// JavaScript (a name containing ".js") runs in Duktape; PerlScript (".pl") and
// VBScript (".vbs") do not exist here and fail as a missing engine does.
//
// A user on a thread of its own gets an interpreter heap of its own.  A user
// that runs as a task on an event loop shares its loop's heap with the loop's
// other script users (shared_script_heap.h), in an interpreter thread with a
// global environment of its own, so no user sees another's variables.  The
// frame lives on its user's thread (or task).  Use: initialize, run (only when
// initialize returned 1), close.
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "scripting/script_heap.h"
#include "scripting/script_interrupt.h"
#include "scripting/script_session.h"
#include "scripting/shared_script_heap.h"

typedef struct duk_hthread duk_context;

namespace velk {

class CVelkObject;
class VelkBinding;

enum class ScriptEngine { None, PerlScript, JScript, VBScript };

class CScriptedFrame {
public:
    // abortFlag: the test's; an aborted script is stopped (see ScriptInterrupt).
    explicit CScriptedFrame(const std::atomic<int32_t>& abortFlag,
                            int64_t graceMs = kRunawayGraceMs);
    ~CScriptedFrame();
    CScriptedFrame(const CScriptedFrame&) = delete;
    CScriptedFrame& operator=(const CScriptedFrame&) = delete;

    // The first engine whose extension occurs anywhere in the name (".pl",
    // ".js", ".vbs", in that order; case-sensitive).
    static ScriptEngine chooseEngine(std::string_view scriptName);

    // Creates the engine and loads the script: inlineText when given, else the
    // file named scriptName.  1 on success, 0 on failure (see failure()).
    int initialize(std::string_view scriptName, std::optional<std::string_view> inlineText);
    // Runs the script's global code to its end with "velk" acting on session.
    void run(ScriptSession& session);
    // Ends the engine; the frame can then only be destroyed.
    void close();
    // Why initialize failed, as a line for the user.
    const std::string& failure() const { return m_failure; }

private:
    int fail(const char* trace);
    void reportScriptError();

    ScriptInterrupt m_interrupt;
    ScriptHeapUse m_use;                   // an own heap's user data: declared before the heap
    SharedScriptHeap* m_shared = nullptr;  // the loop's heap, when on a task
    SharedScriptHeap::Turn m_turn;
    duk_context* m_heap = nullptr;  // where the script runs: a heap, or a thread of the shared one
    std::string m_name;
    std::string m_text;
    std::string m_failure;
    std::unique_ptr<CVelkObject> m_velk;
    std::unique_ptr<VelkBinding> m_binding;
};

// A script-driven user's whole script: the script named by the test's script
// option (or its [script] section for an "$inline" name) run once for session.
void runUserScript(ScriptSession& session);

}  // namespace velk
