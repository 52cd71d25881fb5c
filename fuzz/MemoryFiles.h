// A file table held in memory, for fuzz targets and the tests of their reset: folders and files by
// path, with the system table's semantics where the add-on relies on them (creation only inside an
// existing folder, exclusive temporary names, renames that replace or refuse, readers that keep
// what they opened when the file is replaced or deleted). Nothing reaches the disk. A snapshot of
// the whole table can be taken and put back, which is how the fuzz host forgets what an input
// wrote. Any thread.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Files.h"

class MemoryFiles final : public FileSystem {
public:
    MemoryFiles() = default;

    // What the table holds, to put back later. Open handles are not part of it.
    struct Snapshot;
    std::shared_ptr<const Snapshot> Take() const;
    // Puts the table back as it was when `snapshot` was taken; handles still open keep working on
    // the content they had, which no path names any more.
    void Restore(const std::shared_ptr<const Snapshot>& snapshot);
    // How many handles are open now.
    size_t OpenHandles() const;

    FileHandle OpenRead(const std::string& path) override;
    FileHandle OpenAppend(const std::string& path) override;
    bool CreateTemp(const std::string& folder, const std::string& prefix, std::string* path) override;
    FileHandle OpenWrite(const std::string& path) override;
    bool Read(FileHandle file, void* data, uint32_t size, uint32_t* done) override;
    bool Write(FileHandle file, const void* data, uint32_t size, uint32_t* done) override;
    bool Flush(FileHandle file) override;
    bool Close(FileHandle file) override;
    bool Size(FileHandle file, uint64_t* size) override;
    bool Rename(const std::string& from, const std::string& to) override;
    bool RenameNoReplace(const std::string& from, const std::string& to, bool* taken) override;
    bool Delete(const std::string& path) override;
    bool PathSize(const std::string& path, uint64_t* size) override;
    bool IsFolder(const std::string& path) override;
    FolderResult MakeFolder(const std::string& path) override;
    bool List(const std::string& folder, std::vector<FolderEntry>* entries) override;
    void SyncFolder(const std::string& folder) override;

private:
    struct Node {
        bool folder = false;
        std::shared_ptr<std::string> bytes;  // files only
        int64_t lastWrite = 0;
    };
    struct Handle {
        std::shared_ptr<std::string> bytes;
        std::string path;
        uint64_t position = 0;
        bool write = false, append = false;
    };
    using Nodes = std::map<std::string, Node>;

    // The path as the table keys it: one separator kind, none at the end.
    static std::string Key(const std::string& path);
    // True when the key's parent is a folder of the table or a root.
    bool ParentExists(const std::string& key) const;
    bool IsFolderKey(const std::string& key) const;
    FileHandle OpenHandle(Handle handle);
    void Touch(const std::string& path);

    mutable std::mutex mutex_;
    Nodes nodes_;
    std::map<FileHandle, Handle> handles_;
    FileHandle nextHandle_ = 1;
    uint32_t nextTemp_ = 0;
};
