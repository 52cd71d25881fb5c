// Win32: the simulator's UTF-16 arguments, binary standard output and default module path.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>

#include "platform/win32/Owners.h"
#include "platform/win32/Wide.h"
#include "sim/SimProcess.h"

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    // The narrow argv is in the ANSI code page and loses letters outside it; the wide command
    // line keeps every one.
    int count = 0;
    LocalMemory<LPWSTR*> wide;
    wide.reset(::CommandLineToArgvW(::GetCommandLineW(), &count));
    if (wide.get() == nullptr) return {argv, argv + argc};
    std::vector<std::string> args;
    args.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) args.push_back(Narrow(wide.get()[i]));
    return args;
}

void UseBinaryStandardOutput() {
    std::fflush(stdout);
    ::_setmode(::_fileno(stdout), _O_BINARY);
}

std::string DefaultModulePath() {
    // Long enough for any path the system gives, with room to notice truncation.
    std::wstring path(32768, L'\0');
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0 || n >= path.size()) return "TamselOvra.apx";
    path.resize(n);
    const size_t slash = path.find_last_of(L"\\/");
    return Narrow(slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1)) + "TamselOvra.apx";
}
