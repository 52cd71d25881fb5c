// The host thread's identity, and the check that host-thread-only operations make in builds
// with checks (debug and sanitizer builds): called from any other thread they stop the process
// with a message naming the operation, so that a test that calls one from a worker fails.
#pragma once
#include <cstdint>

// Records the calling thread as the host thread; the palette does so when it is created.
void SetHostThread();
// The recorded host thread's id; 0 before a palette was created.
uint32_t HostThreadId();

#ifdef NDEBUG
inline void CheckHostThread(const char*) {}
#else
void CheckHostThread(const char* operation);
#endif
