#pragma once
// Clang's thread-safety annotations, so that `-Wthread-safety` checks which
// mutex guards which member and which functions must hold it.  Other compilers
// see nothing.  Annotate a mutex type with CAPABILITY (std::mutex has none in
// libstdc++: use velk::Mutex from base/mutex.h), the members it guards with
// GUARDED_BY, and functions that expect it held with REQUIRES.
#if defined(__clang__)
#define VELK_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define VELK_THREAD_ANNOTATION(x)
#endif

#ifndef GUARDED_BY
#define GUARDED_BY(x) VELK_THREAD_ANNOTATION(guarded_by(x))
#endif

#ifndef PT_GUARDED_BY
#define PT_GUARDED_BY(x) VELK_THREAD_ANNOTATION(pt_guarded_by(x))
#endif

#ifndef REQUIRES
#define REQUIRES(...) VELK_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#endif

#ifndef EXCLUDES
#define EXCLUDES(...) VELK_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#endif

#ifndef ACQUIRE
#define ACQUIRE(...) VELK_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#endif

#ifndef RELEASE
#define RELEASE(...) VELK_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#endif

#ifndef CAPABILITY
#define CAPABILITY(x) VELK_THREAD_ANNOTATION(capability(x))
#endif

#ifndef SCOPED_CAPABILITY
#define SCOPED_CAPABILITY VELK_THREAD_ANNOTATION(scoped_lockable)
#endif

#ifndef NO_THREAD_SAFETY_ANALYSIS
#define NO_THREAD_SAFETY_ANALYSIS VELK_THREAD_ANNOTATION(no_thread_safety_analysis)
#endif
