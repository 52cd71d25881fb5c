// The Win32 system facts: the module's own path, file existence with non-ASCII paths, thread ids.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>

#include "platform/System.h"
#include "platform/win32/Wide.h"

namespace {
std::wstring ProgramPath() {
    wchar_t path[MAX_PATH * 4];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
    return std::wstring(path, n);
}

// A scratch folder under the prefix's temporary folder, removed with its files.
class ScratchFolder {
public:
    ScratchFolder() {
        wchar_t temp[MAX_PATH + 1];
        ::GetTempPathW(MAX_PATH + 1, temp);
        path_ = std::wstring(temp) + L"tovr-system-" + std::to_wstring(::GetCurrentProcessId());
        ::CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~ScratchFolder() {
        for (const std::wstring& f : files_) ::DeleteFileW(f.c_str());
        ::RemoveDirectoryW(path_.c_str());
    }
    // Makes an empty file and returns its path.
    std::wstring File(const std::wstring& name) {
        const std::wstring p = path_ + L"\\" + name;
        const HANDLE h = ::CreateFileW(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
        files_.push_back(p);
        return p;
    }
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
    std::vector<std::wstring> files_;
};
}  // namespace

TEST(Win32ModulePath, NamesTheModuleHoldingTheAddonCode) {
    // Linked statically into this program, the add-on's code lives in the executable itself.
    SetModuleFilePathForTesting("");
    EXPECT_EQ(ModuleFilePath(), Narrow(ProgramPath()));
    EXPECT_NE(ModuleFilePath().find('\\'), std::string::npos);
}

TEST(Win32ModulePath, TestingOverrideStandsInUntilCleared) {
    SetModuleFilePathForTesting("C:\\Addons\\Ovra ção\\TamselOvra.apx");
    EXPECT_EQ(ModuleFilePath(), "C:\\Addons\\Ovra ção\\TamselOvra.apx");
    SetModuleFilePathForTesting("");
    EXPECT_EQ(ModuleFilePath(), Narrow(ProgramPath()));
}

TEST(Win32FileExists, FilesAndFoldersExistMissingAndEmptyPathsDoNot) {
    ScratchFolder scratch;
    const std::wstring plain = scratch.File(L"plain.txt");
    EXPECT_TRUE(FileExists(Narrow(plain)));
    EXPECT_TRUE(FileExists(Narrow(scratch.path())));
    EXPECT_FALSE(FileExists(Narrow(scratch.path() + L"\\missing.txt")));
    EXPECT_FALSE(FileExists(""));
}

TEST(Win32FileExists, NonAsciiNamesReachTheSystemIntact) {
    // Letters outside every ANSI code page, and one outside the basic plane: only a UTF-16 call
    // with a correct conversion finds these files.
    ScratchFolder scratch;
    const std::wstring names[] = {L"Proje\u00e7\u00e3o \u00e1gua.html", L"\u0420\u0435\u043d\u0434\u0435\u0440 \u6e32\u67d3.png",
                                  L"face \U0001F600.jpg"};
    for (const std::wstring& name : names) {
        const std::wstring path = scratch.File(name);
        EXPECT_TRUE(FileExists(Narrow(path))) << Narrow(name);
    }
    // A name that differs only in one letter is a different, missing file.
    EXPECT_FALSE(FileExists(Narrow(scratch.path() + L"\\Proje\u00e7\u00e3o agua.html")));
}

TEST(Win32Thread, IdsDifferBetweenThreadsAndStayWithinOne) {
    const uint32_t here = CurrentThreadId();
    EXPECT_EQ(here, CurrentThreadId());
    uint32_t there = here;
    std::thread([&] { there = CurrentThreadId(); }).join();
    EXPECT_NE(here, there);
}

TEST(Win32Paths, SeparatorIsBackslash) { EXPECT_EQ(PathSeparator(), '\\'); }
