#include "scripting/velk_binding.h"

#include <duktape.h>

#include <optional>
#include <type_traits>

#include "base/ascii.h"
#include "scripting/byte_text.h"
#include "scripting/script_heap.h"
#include "scripting/script_interrupt.h"
#include "scripting/trace_sink.h"
#include "scripting/velk_object.h"

namespace velk {
namespace {

static_assert(std::is_same_v<duk_ret_t, int>,
              "VelkBinding declares its callbacks with int results");

enum Method {
    kRequest,
    kResponse,
    kSetParam,
    kIsAborting,
    kGetOpt,
    kLogit,
    kAddRequest,
    kSetRequestOpt,
    kAddParam,
    kResetRequest
};

struct MethodShape {
    const char* name;
    int minArgs, maxArgs;
    bool textsOnly;  // arguments must be strings; the others are converted
};

constexpr MethodShape kMethods[] = {
    {"Request", 1, 1, false},     {"Response", 0, 0, false},     {"SetParam", 2, 3, false},
    {"IsAborting", 0, 0, false},  {"GetOpt", 1, 1, true},        {"Logit", 1, 1, true},
    {"AddRequest", 2, 2, true},   {"SetRequestOpt", 2, 2, true}, {"AddParam", 3, 3, true},
    {"ResetRequest", 1, 1, true},
};

// Where the stash keeps the binding of its heap; the stash is out of the script's reach.
constexpr const char* kStashKey = "velkBinding";

ScriptInterrupt* interruptOf(duk_context* ctx) {
    duk_memory_functions functions;
    duk_get_memory_functions(ctx, &functions);
    // The user whose turn it is: the one calling.
    return functions.udata ? static_cast<ScriptHeapUse*>(functions.udata)->current() : nullptr;
}

// The error is blamed on the script line that made the call (no C file name).
[[noreturn]] void fail(duk_context* ctx, int kind, const char* message) {
    duk_error_raw(ctx, kind, nullptr, 0, "%s", message);
    __builtin_unreachable();
}

// An argument as the 8-bit text it stands for.
std::string argument(duk_context* ctx, int index) {
    duk_size_t length = 0;
    const char* text = duk_get_lstring(ctx, index, &length);
    const std::string_view view = text ? std::string_view(text, length) : std::string_view();
    return isAscii(view) ? std::string(view) : scriptTextToBytes(view);
}

// The proxy's get trap, [target key receiver]: method names resolve without
// regard to case, as they always have for this object; other keys as they are.
int getMethod(duk_context* ctx) {
    if (duk_is_string(ctx, 1)) {
        const char* key = duk_get_string(ctx, 1);
        for (const MethodShape& m : kMethods)
            if (equalsNoCase(key, m.name)) {
                duk_get_prop_string(ctx, 0, m.name);
                return 1;
            }
    }
    duk_dup(ctx, 1);
    duk_get_prop(ctx, 0);
    return 1;
}

}  // namespace

struct VelkBinding::Reply {
    enum Kind { Nothing, Number, Text, Fault } kind = Nothing;
    int32_t number = 0;
    std::string_view text;  // into the response buffer or m_text
};

bool VelkBinding::install(duk_context* ctx) {
    return duk_safe_call(ctx, &VelkBinding::define, this, 0, 1) == DUK_EXEC_SUCCESS;
}

int VelkBinding::define(duk_context* ctx, void* self) {
    duk_push_global_stash(ctx);
    duk_push_pointer(ctx, self);
    duk_put_prop_string(ctx, -2, kStashKey);
    duk_pop(ctx);

    // Light functions, as the built-ins are: no object per method and user.
    static_assert(std::size(kMethods) <= 127, "a light function's magic is 8 bits");
    duk_push_object(ctx);
    for (int i = 0; i < int(std::size(kMethods)); ++i) {
        duk_push_c_lightfunc(ctx, &VelkBinding::call, DUK_VARARGS, 0, i);
        duk_put_prop_string(ctx, -2, kMethods[i].name);
    }
    duk_push_object(ctx);
    duk_push_c_lightfunc(ctx, &getMethod, 3, 3, 0);
    duk_put_prop_string(ctx, -2, "get");
    duk_push_proxy(ctx, 0);
    duk_put_global_string(ctx, "velk");
    return 0;
}

// No C++ object with a destructor may live in this frame: the error calls unwind it.
int VelkBinding::call(duk_context* ctx) {
    TraceSink::write("CVelkObject::Invoke\n");
    const int method = duk_get_current_magic(ctx);
    const MethodShape& shape = kMethods[method];
    ScriptInterrupt* interrupt = interruptOf(ctx);
    if (interrupt && interrupt->shouldStop()) fail(ctx, DUK_ERR_RANGE_ERROR, "execution timeout");

    const int argc = duk_get_top(ctx);
    if (argc < shape.minArgs || argc > shape.maxArgs)
        fail(ctx, DUK_ERR_TYPE_ERROR, "Wrong number of arguments or invalid property assignment");
    for (int i = 0; i < argc; ++i) {
        if (duk_is_string(ctx, i)) continue;
        if (shape.textsOnly) fail(ctx, DUK_ERR_TYPE_ERROR, "Type mismatch");
        if (duk_is_undefined(ctx, i)) {
            duk_push_string(ctx, "");  // an empty argument is an empty text
            duk_replace(ctx, i);
        } else {
            duk_safe_to_lstring(ctx, i, nullptr);
        }
    }
    // Converting may have run script code (toString) long enough to be stopped.
    if (interrupt && interrupt->shouldStop()) fail(ctx, DUK_ERR_RANGE_ERROR, "execution timeout");

    duk_push_global_stash(ctx);
    duk_get_prop_string(ctx, -1, kStashKey);
    auto* self = static_cast<VelkBinding*>(duk_get_pointer(ctx, -1));
    duk_pop_2(ctx);
    if (!self) fail(ctx, DUK_ERR_ERROR, "velk is not available");

    // Its arguments are read off the stack before the method waits; the reply
    // is pushed once the turn is back.
    if (self->m_shared) self->m_shared->leave(*self->m_turn);
    const Reply reply = self->invoke(ctx, method, argc);
    if (self->m_shared) self->m_shared->enter(*self->m_turn);
    switch (reply.kind) {
        case Reply::Nothing:
            return 0;
        case Reply::Number:
            duk_push_int(ctx, reply.number);
            return 1;
        case Reply::Text:
            duk_push_lstring(ctx, reply.text.data(), reply.text.size());
            // The script has its own copy now; a user holding a page while it
            // waits would otherwise hold it twice.
            std::string().swap(self->m_text);
            return 1;
        case Reply::Fault:
            break;
    }
    fail(ctx, DUK_ERR_ERROR, "velk: out of memory");
}

VelkBinding::Reply VelkBinding::invoke(duk_context* ctx, int method, int argc) noexcept {
    try {
        auto number = [](int32_t value) { return Reply{Reply::Number, value, {}}; };
        switch (method) {
            case kRequest:
                return number(m_velk.request(argument(ctx, 0)));
            case kResponse: {
                const std::string_view response = m_velk.response();
                if (isAscii(response)) return Reply{Reply::Text, 0, response};
                m_text = bytesToScriptText(response);
                return Reply{Reply::Text, 0, m_text};
            }
            case kSetParam: {
                std::optional<std::string> value;
                if (argc == 3) value = argument(ctx, 2);
                return number(m_velk.setParam(
                    argument(ctx, 0), argument(ctx, 1),
                    value ? std::optional<std::string_view>(*value) : std::nullopt));
            }
            case kIsAborting:
                return number(m_velk.isAborting());
            case kGetOpt: {
                std::optional<std::string> value = m_velk.getOpt(argument(ctx, 0));
                if (!value) return Reply{};
                m_text = bytesToScriptText(*value);
                return Reply{Reply::Text, 0, m_text};
            }
            case kLogit:
                m_velk.logit(argument(ctx, 0));
                return Reply{};
            case kAddRequest:
                return number(m_velk.addRequest(argument(ctx, 0), argument(ctx, 1)));
            case kSetRequestOpt:
                return number(m_velk.setRequestOpt(argument(ctx, 0), argument(ctx, 1)));
            case kAddParam:
                return number(
                    m_velk.addParam(argument(ctx, 0), argument(ctx, 1), argument(ctx, 2)));
            case kResetRequest:
                m_velk.resetRequest(argument(ctx, 0));
                return Reply{};
        }
    } catch (...) {
    }
    return Reply{Reply::Fault, 0, {}};
}

}  // namespace velk
