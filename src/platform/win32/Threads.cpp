// Win32: detached threads made with _beginthreadex, their handle closed at once.
#include <windows.h>
#include <process.h>

#include <memory>

#include "platform/Threads.h"

// Not std::thread: MinGW-w64's winpthreads reuses the record of a detached thread that is still
// ending, so under load a new thread may start without its function or never run it at all.

namespace {
unsigned __stdcall RunThread(void* argument) {
    const std::unique_ptr<std::function<void()>> run(static_cast<std::function<void()>*>(argument));
    (*run)();
    return 0;
}
}  // namespace

bool StartDetachedThread(std::function<void()> run) {
    auto owned = std::make_unique<std::function<void()>>(std::move(run));
    const uintptr_t thread = ::_beginthreadex(nullptr, 0, RunThread, owned.get(), 0, nullptr);
    if (thread == 0) return false;
    owned.release();  // the thread owns it now
    ::CloseHandle(reinterpret_cast<HANDLE>(thread));
    return true;
}
