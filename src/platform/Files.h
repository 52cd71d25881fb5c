// The file system's primitive calls, behind one swappable table so that tests can make any call
// fail. Paths are UTF-8; the Windows side converts them at its edge. Every call may be made from
// any thread; a handle is used by one thread at a time.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

using FileHandle = intptr_t;
inline constexpr FileHandle kNoFile = -1;

enum class FolderResult { Created, Exists, Failed };

struct FolderEntry {
    std::string name;
    bool isFolder = false;
    // Last write, in 100-nanosecond units on the same scale as SystemTime100ns().
    int64_t lastWrite = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // Reading an existing regular file, shared with other readers and with deleting or
    // replacing it; anything else (a folder, a FIFO, a device) is refused without blocking.
    virtual FileHandle OpenRead(const std::string& path) = 0;
    // Appending, created when missing, shared with other readers and writers.
    virtual FileHandle OpenAppend(const std::string& path) = 0;
    // Makes a new, empty file with a unique name "<prefix>XXXX.tmp" in the folder.
    virtual bool CreateTemp(const std::string& folder, const std::string& prefix, std::string* path) = 0;
    // Writing an existing file from its start, truncated, not shared.
    virtual FileHandle OpenWrite(const std::string& path) = 0;
    virtual bool Read(FileHandle file, void* data, uint32_t size, uint32_t* done) = 0;
    virtual bool Write(FileHandle file, const void* data, uint32_t size, uint32_t* done) = 0;
    virtual bool Flush(FileHandle file) = 0;
    virtual bool Close(FileHandle file) = 0;
    virtual bool Size(FileHandle file, uint64_t* size) = 0;
    // Replaces `to` if it exists; the move is on disk when this returns.
    virtual bool Rename(const std::string& from, const std::string& to) = 0;
    // Moves `from` to `to` only when nothing of that name exists: never replaces a file or a
    // folder, even one made at the same moment by another writer. On failure `from` stays, and
    // `taken` says whether the name was in use.
    virtual bool RenameNoReplace(const std::string& from, const std::string& to, bool* taken) = 0;
    virtual bool Delete(const std::string& path) = 0;
    // The size of a file (or folder) by its path, without opening it.
    virtual bool PathSize(const std::string& path, uint64_t* size) = 0;
    // True when the path names an existing folder.
    virtual bool IsFolder(const std::string& path) = 0;
    // Makes the last component of the path.
    virtual FolderResult MakeFolder(const std::string& path) = 0;
    virtual bool List(const std::string& folder, std::vector<FolderEntry>* entries) = 0;
    // Puts the folder's entries (a rename into it) on disk; best effort.
    virtual void SyncFolder(const std::string& folder) = 0;
};

// The installed table, or the operating system's.
FileSystem& Files();
FileSystem& SystemFiles();
// nullptr restores the operating system's table.
void InstallFileSystem(FileSystem* files);

// Owns an open file and closes it on every path.
class ScopedFile {
public:
    explicit ScopedFile(FileHandle file = kNoFile) : file_(file) {}
    ~ScopedFile() { Close(); }
    ScopedFile(const ScopedFile&) = delete;
    ScopedFile& operator=(const ScopedFile&) = delete;
    FileHandle get() const { return file_; }
    bool valid() const { return file_ != kNoFile; }
    // Closes now and reports whether the close succeeded.
    bool Close();

private:
    FileHandle file_;
};
