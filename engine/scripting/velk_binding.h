#pragma once
// Puts a CVelkObject into a script heap as the global object "velk" with its
// ten methods (Request, Response, SetParam, IsAborting, GetOpt, Logit,
// AddRequest, SetRequestOpt, AddParam, ResetRequest).  Each call checks its
// argument count (a wrong count is a script error), checks that the methods
// that take texts were given strings (type mismatch otherwise), converts the
// arguments of the others to strings, and refuses to act once the heap's
// ScriptInterrupt says stop.
//
// The interpreter reports errors by unwinding with longjmp, which would skip
// C++ destructors: calls into it that can throw happen only where no C++ object
// is alive, and no C++ exception leaves a method.  Used on its heap's thread.
//
// On a heap that a loop's users share, a method's work (a request and its
// pause park the user's task) happens outside the user's turn on the heap, so
// the other users of the loop run their scripts meanwhile.
#include <string>
#include <string_view>

#include "scripting/shared_script_heap.h"

typedef struct duk_hthread duk_context;

namespace velk {

class CVelkObject;

class VelkBinding {
public:
    // shared and turn: the user's shared heap and its turn there; null for a
    // heap of its own.
    explicit VelkBinding(CVelkObject& velk, SharedScriptHeap* shared = nullptr,
                         SharedScriptHeap::Turn* turn = nullptr)
        : m_velk(velk), m_shared(shared), m_turn(turn) {}
    VelkBinding(const VelkBinding&) = delete;
    VelkBinding& operator=(const VelkBinding&) = delete;

    // Adds "velk" to the heap's globals; false when the heap refused (memory).
    bool install(duk_context* ctx);

private:
    struct Reply;
    static int call(duk_context* ctx);
    static int define(duk_context* ctx, void* self);
    Reply invoke(duk_context* ctx, int method, int argc) noexcept;

    CVelkObject& m_velk;
    SharedScriptHeap* m_shared;
    SharedScriptHeap::Turn* m_turn;
    std::string m_text;  // a text reply, kept until it is handed to the script
};

}  // namespace velk
