// POSIX: the file system's primitive calls.
#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/UserFolders.h"

namespace {
int Fd(FileHandle file) { return static_cast<int>(file); }

int64_t To100ns(const struct timespec& t) { return int64_t{t.tv_sec} * 10000000 + t.tv_nsec / 100; }

class PosixFiles final : public FileSystem {
public:
    FileHandle OpenRead(const std::string& path) override {
        // Opened without blocking, so that a FIFO or a device never holds the thread; only a
        // regular file is kept, and its reads block as usual.
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd < 0) return kNoFile;
        struct stat st {};
        const int flags = ::fcntl(fd, F_GETFL);
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
            ::close(fd);
            return kNoFile;
        }
        return fd;
    }

    FileHandle OpenAppend(const std::string& path) override {
        const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
        return fd < 0 ? kNoFile : fd;
    }

    bool CreateTemp(const std::string& folder, const std::string& prefix, std::string* path) override {
        // "<prefix>XXXX.tmp" with four hex digits, made exclusively, as the system's temporary
        // names are; the search starts at a random number.
        const auto random = NewIdentifierBytes();
        unsigned start = (unsigned{random[0]} << 8) | random[1];
        for (unsigned i = 0; i < 0x10000; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "%X.tmp", ((start + i) & 0xFFFF) | (((start + i) & 0xFFFF) == 0));
            const std::string candidate = folder + "/" + prefix + name;
            const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) {
                ::close(fd);
                *path = candidate;
                return true;
            }
            if (errno != EEXIST) return false;
        }
        return false;
    }

    FileHandle OpenWrite(const std::string& path) override {
        const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
        return fd < 0 ? kNoFile : fd;
    }

    bool Read(FileHandle file, void* data, uint32_t size, uint32_t* done) override {
        *done = 0;
        ssize_t n;
        do {
            n = ::read(Fd(file), data, size);
        } while (n < 0 && errno == EINTR);
        if (n < 0) return false;
        *done = static_cast<uint32_t>(n);
        return true;
    }

    bool Write(FileHandle file, const void* data, uint32_t size, uint32_t* done) override {
        *done = 0;
        ssize_t n;
        do {
            n = ::write(Fd(file), data, size);
        } while (n < 0 && errno == EINTR);
        if (n < 0) return false;
        *done = static_cast<uint32_t>(n);
        return true;
    }

    bool Flush(FileHandle file) override { return ::fsync(Fd(file)) == 0; }
    bool Close(FileHandle file) override { return ::close(Fd(file)) == 0; }

    bool Size(FileHandle file, uint64_t* size) override {
        struct stat st {};
        if (::fstat(Fd(file), &st) != 0) return false;
        *size = static_cast<uint64_t>(st.st_size);
        return true;
    }

    bool Rename(const std::string& from, const std::string& to) override {
        return ::rename(from.c_str(), to.c_str()) == 0;
    }

    bool RenameNoReplace(const std::string& from, const std::string& to, bool* taken) override {
        *taken = false;
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
        if (errno == EEXIST) return *taken = true, false;
        if (errno != EINVAL && errno != ENOSYS) return false;
        // A file system without the flag: a hard link also refuses an existing name.
        if (::link(from.c_str(), to.c_str()) != 0) {
            *taken = errno == EEXIST;
            return false;
        }
        ::unlink(from.c_str());
        return true;
    }

    bool Delete(const std::string& path) override { return ::unlink(path.c_str()) == 0; }

    bool PathSize(const std::string& path, uint64_t* size) override {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) return false;
        *size = static_cast<uint64_t>(st.st_size);
        return true;
    }

    bool IsFolder(const std::string& path) override {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }

    FolderResult MakeFolder(const std::string& path) override {
        if (::mkdir(path.c_str(), 0700) == 0) return FolderResult::Created;
        struct stat st {};
        if (errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return FolderResult::Exists;
        return FolderResult::Failed;
    }

    bool List(const std::string& folder, std::vector<FolderEntry>* entries) override {
        DIR* dir = ::opendir(folder.c_str());
        if (dir == nullptr) return false;
        while (const dirent* d = ::readdir(dir)) {
            const std::string name = d->d_name;
            if (name == "." || name == "..") continue;
            struct stat st {};
            if (::fstatat(::dirfd(dir), d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
            entries->push_back({name, S_ISDIR(st.st_mode), To100ns(st.st_mtim)});
        }
        ::closedir(dir);
        return true;
    }

    void SyncFolder(const std::string& folder) override {
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return;
        ::fsync(fd);
        ::close(fd);
    }
};
}  // namespace

FileSystem& SystemFiles() {
    static PosixFiles files;
    return files;
}
