// POSIX: detached threads with std::thread.
#include <system_error>
#include <thread>

#include "platform/Threads.h"

bool StartDetachedThread(std::function<void()> run) {
    if (ThreadStartRefusedForTesting()) return false;
    try {
        std::thread(std::move(run)).detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}
