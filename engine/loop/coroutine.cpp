#include "loop/coroutine.h"

#include <exception>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#define VELK_LOOP_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELK_LOOP_ASAN 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define VELK_LOOP_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VELK_LOOP_TSAN 1
#endif
#endif

#ifdef VELK_LOOP_ASAN
#include <sanitizer/asan_interface.h>
#include <sanitizer/common_interface_defs.h>
#endif
#ifdef VELK_LOOP_TSAN
#include <sanitizer/tsan_interface.h>
#endif

namespace velk::loop {
namespace {

thread_local Coroutine* t_current = nullptr;

}  // namespace

Coroutine::Coroutine(CoroutineStack stack, std::function<void()> body)
    : m_stack(std::move(stack)), m_body(std::move(body)) {
#ifdef VELK_LOOP_ASAN
    // A reused stack may still carry the poisoned frames of its last coroutine,
    // whose entry never returned.
    ASAN_UNPOISON_MEMORY_REGION(m_stack.bottom(), m_stack.size());
#endif
#ifdef VELK_LOOP_TSAN
    m_tsanFiber = __tsan_create_fiber(0);
#endif
    m_context = prepareContext(m_stack.top(), &Coroutine::entry);
}

Coroutine::~Coroutine() {
#ifdef VELK_LOOP_TSAN
    if (m_tsanFiber != nullptr) __tsan_destroy_fiber(m_tsanFiber);
#endif
}

Coroutine* Coroutine::current() {
    return t_current;
}

void Coroutine::resume() {
    Coroutine* const outer = t_current;
    t_current = this;
#ifdef VELK_LOOP_ASAN
    void* fakeStack = nullptr;
    __sanitizer_start_switch_fiber(&fakeStack, m_stack.bottom(), m_stack.size());
#endif
#ifdef VELK_LOOP_TSAN
    m_tsanCaller = __tsan_get_current_fiber();
    __tsan_switch_to_fiber(m_tsanFiber, 0);
#endif
    velk_loop_switch(&m_caller, m_context);
#ifdef VELK_LOOP_ASAN
    __sanitizer_finish_switch_fiber(fakeStack, nullptr, nullptr);
#endif
    t_current = outer;
}

void Coroutine::suspend() {
    Coroutine* self = t_current;
    if (self != nullptr) self->switchOut(false);
}

void Coroutine::switchOut(bool finishing) {
#ifdef VELK_LOOP_ASAN
    // A finishing coroutine passes no fake-stack slot: ASan frees its fake stack.
    __sanitizer_start_switch_fiber(finishing ? nullptr : &m_asanFakeStack, m_callerStackBottom,
                                   m_callerStackSize);
#endif
#ifdef VELK_LOOP_TSAN
    __tsan_switch_to_fiber(m_tsanCaller, 0);
#endif
    (void)finishing;
    velk_loop_switch(&m_context, m_caller);
#ifdef VELK_LOOP_ASAN
    __sanitizer_finish_switch_fiber(m_asanFakeStack, &m_callerStackBottom, &m_callerStackSize);
#endif
}

void Coroutine::entry() {
    Coroutine* self = t_current;
#ifdef VELK_LOOP_ASAN
    __sanitizer_finish_switch_fiber(nullptr, &self->m_callerStackBottom, &self->m_callerStackSize);
#endif
    try {
        self->m_body();
    } catch (const std::exception& e) {
        self->m_failed = true;
        self->m_failure = e.what();
    } catch (...) {
        self->m_failed = true;
        self->m_failure = "unknown exception";
    }
    self->m_body = nullptr;  // release what it captured while still on this stack
    self->m_finished = true;
    self->switchOut(true);
    __builtin_unreachable();
}

void Coroutine::releaseUnusedStack() {
    m_stack.releaseBelow(__builtin_frame_address(0));
}

CoroutineStack Coroutine::takeStack() {
    if (!m_finished) return {};
    return std::move(m_stack);
}

}  // namespace velk::loop
