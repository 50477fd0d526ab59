#include "platform/thread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <exception>

namespace velk::platform {
namespace {

void* threadMain(void* arg) {
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(arg));
    (*body)();
    return nullptr;
}

}  // namespace

Thread::~Thread() {
    // A thread left running would outlive what it uses: wait for it.
    join();
}

Thread::Thread(Thread&& other) noexcept : m_handle(other.m_handle), m_started(other.m_started) {
    other.m_started = false;
}

Thread& Thread::operator=(Thread&& other) noexcept {
    if (this != &other) {
        join();
        m_handle = other.m_handle;
        m_started = other.m_started;
        other.m_started = false;
    }
    return *this;
}

bool Thread::start(size_t stackBytes, std::function<void()> body) {
    join();
    auto arg = std::make_unique<std::function<void()>>(std::move(body));
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) return false;
    const size_t minimum = size_t(PTHREAD_STACK_MIN);
    pthread_attr_setstacksize(&attr, stackBytes < minimum ? minimum : stackBytes);
    pthread_t handle;
    int rc = pthread_create(&handle, &attr, threadMain, arg.get());
    pthread_attr_destroy(&attr);
    if (rc != 0) return false;
    arg.release();
    m_handle = static_cast<unsigned long>(handle);
    m_started = true;
    return true;
}

void Thread::join() {
    if (!m_started) return;
    pthread_join(static_cast<pthread_t>(m_handle), nullptr);
    m_started = false;
}

void preferThroughputScheduling() {
    sched_param none{};
    sched_setscheduler(0, SCHED_BATCH, &none);
}

unsigned long currentThreadId() {
    return static_cast<unsigned long>(syscall(SYS_gettid));
}

uintptr_t currentStackLow() {
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return 0;
    void* low = nullptr;
    size_t size = 0;
    const int rc = pthread_attr_getstack(&attr, &low, &size);
    pthread_attr_destroy(&attr);
    return rc == 0 ? reinterpret_cast<uintptr_t>(low) : 0;
}

}  // namespace velk::platform
