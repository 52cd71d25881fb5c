// Win32: detached threads made with _beginthreadex, their handle closed at once. Each thread
// holds a reference to the module that holds its code, released as its very last act, so the
// host may unload the add-on while a worker still runs.
#include <windows.h>
#include <process.h>

#include <memory>

#include "platform/Threads.h"
#include "platform/win32/Owners.h"

// Not std::thread: MinGW-w64's winpthreads reuses the record of a detached thread that is still
// ending, so under load a new thread may start without its function or never run it at all.

namespace {

struct ThreadStart {
    std::function<void()> run;
    HMODULE module = nullptr;
};

unsigned __stdcall RunThread(void* argument) {
    HMODULE module = nullptr;
    {
        const std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(argument));
        module = start->module;
        start->run();
    }
    // Everything of the thread is destroyed; now the module may go.
    if (module != nullptr) ::FreeLibraryAndExitThread(module, 0);
    return 0;
}
}  // namespace

bool StartDetachedThread(std::function<void()> run) {
    if (ThreadStartRefusedForTesting()) return false;
    auto start = std::make_unique<ThreadStart>();
    start->run = std::move(run);
    // Raises the module's reference count; the thread lowers it when it ends.
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&kInsideThisModule),
                              &start->module))
        start->module = nullptr;
    const uintptr_t thread = ::_beginthreadex(nullptr, 0, RunThread, start.get(), 0, nullptr);
    if (thread == 0) {
        if (start->module != nullptr) ::FreeLibrary(start->module);
        return false;
    }
    start.release();  // the thread owns it now
    ::CloseHandle(reinterpret_cast<HANDLE>(thread));
    return true;
}
