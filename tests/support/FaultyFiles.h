// A file table in front of the system's that counts every call and can make the Nth call of a
// kind fail, once or from then on, the way a test file system of a database does. Failing calls
// have no effect, except that a failing close still releases the handle.
#pragma once
#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/Files.h"

enum class FileCall { OpenRead, OpenAppend, CreateTemp, OpenWrite, Read, Write, Flush, Close, Size, Rename, Delete,
                      PathSize, IsFolder, MakeFolder, List, SyncFolder, RenameNoReplace };

const char* FileCallName(FileCall call);

class FaultyFiles final : public FileSystem {
public:
    // Installs itself for its lifetime.
    FaultyFiles();
    ~FaultyFiles() override;

    // The nth call (counted from 1, from now on) of this kind fails; with `persist` every later
    // one does too.
    void FailAt(FileCall call, int nth, bool persist = false);
    // The nth call of this kind throws std::bad_alloc instead, as an allocation failure inside it.
    void ThrowAt(FileCall call, int nth);
    // Runs `action` with the destination once, just before the next rename that may not replace
    // (another writer taking the name between the check and the rename).
    void BeforeNextRenameNoReplace(std::function<void(const std::string& to)> action);
    // Forgets the rules and the call counts; the failures made so far stay counted.
    void Reset();
    int Count(FileCall call) const;
    // How many calls of this kind were made to fail since construction.
    int Failed(FileCall call) const;
    // True when a delete of this very path was made to fail.
    bool DeleteFailed(const std::string& path) const;
    // The largest count of bytes asked of one read or write, by any thread.
    std::atomic<uint32_t> largestRead{0}, largestWrite{0};

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
    // Counts the call and says whether it must fail.
    bool Fails(FileCall call);

    struct Rule {
        int nth;
        bool persist;
        bool throws = false;
    };
    mutable std::mutex mutex_;
    std::map<FileCall, int> counts_;
    std::map<FileCall, int> failed_;
    std::set<std::string> failedDeletes_;
    std::map<FileCall, Rule> rules_;
    std::function<void(const std::string&)> beforeRenameNoReplace_;
    FileSystem& real_;
};
