// The test seam of thread starts, shared by both platforms' StartDetachedThread.
#include <atomic>

#include "platform/Threads.h"

namespace {
std::atomic<int> gRefusals{0};
}

void RefuseThreadStartsForTesting(int count) { gRefusals.store(count); }

bool ThreadStartRefusedForTesting() {
    int left = gRefusals.load();
    while (left > 0 && !gRefusals.compare_exchange_weak(left, left - 1)) {
    }
    return left > 0;
}
