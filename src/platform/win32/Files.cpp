// Win32: the file system's primitive calls.
#include <windows.h>

#include "platform/Files.h"
#include "platform/win32/Wide.h"

namespace {
HANDLE H(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

FileHandle Handle(HANDLE h) { return h == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(h); }

int64_t From(const FILETIME& t) { return (int64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; }

class WinFiles final : public FileSystem {
public:
    FileHandle OpenRead(const std::string& path) override {
        // A reader never stops another from deleting or replacing the file. Only a disk file is
        // kept: a pipe, console or device would block the reading thread.
        const HANDLE h = ::CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return kNoFile;
        if (::GetFileType(h) != FILE_TYPE_DISK) {
            ::CloseHandle(h);
            return kNoFile;
        }
        return Handle(h);
    }

    FileHandle OpenAppend(const std::string& path) override {
        return Handle(::CreateFileW(Wide(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    }

    bool CreateTemp(const std::string& folder, const std::string& prefix, std::string* path) override {
        wchar_t name[MAX_PATH];
        if (::GetTempFileNameW(Wide(folder).c_str(), Wide(prefix).c_str(), 0, name) == 0) return false;
        *path = Narrow(name);
        return true;
    }

    FileHandle OpenWrite(const std::string& path) override {
        return Handle(::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    }

    bool Read(FileHandle file, void* data, uint32_t size, uint32_t* done) override {
        DWORD got = 0;
        const BOOL ok = ::ReadFile(H(file), data, size, &got, nullptr);
        *done = got;
        return ok != FALSE;
    }

    bool Write(FileHandle file, const void* data, uint32_t size, uint32_t* done) override {
        DWORD put = 0;
        const BOOL ok = ::WriteFile(H(file), data, size, &put, nullptr);
        *done = put;
        return ok != FALSE;
    }

    bool Flush(FileHandle file) override { return ::FlushFileBuffers(H(file)) != FALSE; }
    bool Close(FileHandle file) override { return ::CloseHandle(H(file)) != FALSE; }

    bool Size(FileHandle file, uint64_t* size) override {
        LARGE_INTEGER s{};
        if (!::GetFileSizeEx(H(file), &s) || s.QuadPart < 0) return false;
        *size = static_cast<uint64_t>(s.QuadPart);
        return true;
    }

    bool Rename(const std::string& from, const std::string& to) override {
        return ::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) !=
               FALSE;
    }

    bool RenameNoReplace(const std::string& from, const std::string& to, bool* taken) override {
        *taken = false;
        // Without MOVEFILE_REPLACE_EXISTING the move fails on any existing name.
        if (::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_WRITE_THROUGH) != FALSE) return true;
        const DWORD error = ::GetLastError();
        *taken = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ||
                 ::GetFileAttributesW(Wide(to).c_str()) != INVALID_FILE_ATTRIBUTES;
        return false;
    }

    bool Delete(const std::string& path) override { return ::DeleteFileW(Wide(path).c_str()) != FALSE; }

    bool PathSize(const std::string& path, uint64_t* size) override {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!::GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return false;
        *size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
        return true;
    }

    bool IsFolder(const std::string& path) override {
        const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }

    FolderResult MakeFolder(const std::string& path) override {
        if (::CreateDirectoryW(Wide(path).c_str(), nullptr)) return FolderResult::Created;
        // A file of that name is not a folder to write into.
        return ::GetLastError() == ERROR_ALREADY_EXISTS && IsFolder(path) ? FolderResult::Exists : FolderResult::Failed;
    }

    bool List(const std::string& folder, std::vector<FolderEntry>* entries) override {
        WIN32_FIND_DATAW found{};
        const HANDLE find = ::FindFirstFileW(Wide(folder + "\\*").c_str(), &found);
        if (find == INVALID_HANDLE_VALUE) return false;
        do {
            const std::string name = Narrow(found.cFileName);
            if (name == "." || name == "..") continue;
            entries->push_back({name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
                                From(found.ftLastWriteTime)});
        } while (::FindNextFileW(find, &found));
        ::FindClose(find);
        return true;
    }

    // MOVEFILE_WRITE_THROUGH already puts the rename on disk.
    void SyncFolder(const std::string&) override {}
};
}  // namespace

FileSystem& SystemFiles() {
    static WinFiles files;
    return files;
}
