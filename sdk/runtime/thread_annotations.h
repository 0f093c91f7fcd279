// Clang thread-safety annotations for the few mutexes of the SDK. Other
// compilers see nothing.
#ifndef KELP_SDK_RUNTIME_THREAD_ANNOTATIONS_H_
#define KELP_SDK_RUNTIME_THREAD_ANNOTATIONS_H_

#if defined(__clang__)
#define KELP_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define KELP_THREAD_ANNOTATION(x)
#endif

// The member is read and written only with the named mutex held.
#define KELP_GUARDED_BY(x) KELP_THREAD_ANNOTATION(guarded_by(x))
// The function must be called with the named mutex held.
#define KELP_REQUIRES(...) KELP_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
// The function must be called without the named mutex held.
#define KELP_EXCLUDES(...) KELP_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))

#endif  // KELP_SDK_RUNTIME_THREAD_ANNOTATIONS_H_
