// The host thread's identity and its check.
#include "panel/HostThread.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/System.h"

namespace {
std::atomic<uint32_t> gHostThread{0};
}  // namespace

void SetHostThread() { gHostThread.store(CurrentThreadId()); }

uint32_t HostThreadId() { return gHostThread.load(); }

#ifndef NDEBUG
void CheckHostThread(const char* operation) {
    const uint32_t host = gHostThread.load();
    if (host == 0 || host == CurrentThreadId()) return;
    std::fprintf(stderr, "%s runs on the host thread only\n", operation);
    std::abort();
}
#endif
