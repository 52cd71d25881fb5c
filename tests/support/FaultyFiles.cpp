// The fault-injecting file table.
#include "support/FaultyFiles.h"

#include <new>

namespace {
void Raise(std::atomic<uint32_t>& largest, uint32_t size) {
    uint32_t seen = largest.load();
    while (size > seen && !largest.compare_exchange_weak(seen, size)) {
    }
}
}  // namespace

const char* FileCallName(FileCall call) {
    static const char* const kNames[] = {"OpenRead", "OpenAppend", "CreateTemp", "OpenWrite", "Read",
                                         "Write",    "Flush",      "Close",      "Size",      "Rename",
                                         "Delete",   "PathSize",   "IsFolder",   "MakeFolder", "List",
                                         "SyncFolder", "RenameNoReplace"};
    return kNames[static_cast<int>(call)];
}

FaultyFiles::FaultyFiles() : real_(SystemFiles()) { InstallFileSystem(this); }
FaultyFiles::~FaultyFiles() { InstallFileSystem(nullptr); }

void FaultyFiles::FailAt(FileCall call, int nth, bool persist) {
    std::lock_guard<std::mutex> lock(mutex_);
    rules_[call] = Rule{counts_[call] + nth, persist};
}

void FaultyFiles::ThrowAt(FileCall call, int nth) {
    std::lock_guard<std::mutex> lock(mutex_);
    rules_[call] = Rule{counts_[call] + nth, false, true};
}

void FaultyFiles::BeforeNextRenameNoReplace(std::function<void(const std::string& to)> action) {
    std::lock_guard<std::mutex> lock(mutex_);
    beforeRenameNoReplace_ = std::move(action);
}

void FaultyFiles::Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    rules_.clear();
    counts_.clear();
}

int FaultyFiles::Count(FileCall call) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = counts_.find(call);
    return it == counts_.end() ? 0 : it->second;
}

int FaultyFiles::Failed(FileCall call) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = failed_.find(call);
    return it == failed_.end() ? 0 : it->second;
}

bool FaultyFiles::Fails(FileCall call) {
    bool throws = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const int n = ++counts_[call];
        const auto it = rules_.find(call);
        if (it == rules_.end()) return false;
        const bool fails = n == it->second.nth || (it->second.persist && n > it->second.nth);
        if (!fails) return false;
        ++failed_[call];
        throws = it->second.throws;
    }
    if (throws) throw std::bad_alloc();
    return true;
}

FileHandle FaultyFiles::OpenRead(const std::string& path) {
    return Fails(FileCall::OpenRead) ? kNoFile : real_.OpenRead(path);
}

FileHandle FaultyFiles::OpenAppend(const std::string& path) {
    return Fails(FileCall::OpenAppend) ? kNoFile : real_.OpenAppend(path);
}

bool FaultyFiles::CreateTemp(const std::string& folder, const std::string& prefix, std::string* path) {
    return !Fails(FileCall::CreateTemp) && real_.CreateTemp(folder, prefix, path);
}

FileHandle FaultyFiles::OpenWrite(const std::string& path) {
    return Fails(FileCall::OpenWrite) ? kNoFile : real_.OpenWrite(path);
}

bool FaultyFiles::Read(FileHandle file, void* data, uint32_t size, uint32_t* done) {
    Raise(largestRead, size);
    *done = 0;
    return !Fails(FileCall::Read) && real_.Read(file, data, size, done);
}

bool FaultyFiles::Write(FileHandle file, const void* data, uint32_t size, uint32_t* done) {
    Raise(largestWrite, size);
    *done = 0;
    return !Fails(FileCall::Write) && real_.Write(file, data, size, done);
}

bool FaultyFiles::Flush(FileHandle file) { return !Fails(FileCall::Flush) && real_.Flush(file); }

bool FaultyFiles::Close(FileHandle file) {
    const bool fail = Fails(FileCall::Close);
    const bool closed = real_.Close(file);
    return !fail && closed;
}

bool FaultyFiles::Size(FileHandle file, uint64_t* size) { return !Fails(FileCall::Size) && real_.Size(file, size); }

bool FaultyFiles::Rename(const std::string& from, const std::string& to) {
    return !Fails(FileCall::Rename) && real_.Rename(from, to);
}

bool FaultyFiles::RenameNoReplace(const std::string& from, const std::string& to, bool* taken) {
    *taken = false;
    std::function<void(const std::string&)> before;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        before.swap(beforeRenameNoReplace_);
    }
    if (before) before(to);
    return !Fails(FileCall::RenameNoReplace) && real_.RenameNoReplace(from, to, taken);
}

bool FaultyFiles::Delete(const std::string& path) {
    if (!Fails(FileCall::Delete)) return real_.Delete(path);
    std::lock_guard<std::mutex> lock(mutex_);
    failedDeletes_.insert(path);
    return false;
}

bool FaultyFiles::DeleteFailed(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failedDeletes_.count(path) != 0;
}

bool FaultyFiles::PathSize(const std::string& path, uint64_t* size) {
    return !Fails(FileCall::PathSize) && real_.PathSize(path, size);
}

bool FaultyFiles::IsFolder(const std::string& path) { return !Fails(FileCall::IsFolder) && real_.IsFolder(path); }

FolderResult FaultyFiles::MakeFolder(const std::string& path) {
    return Fails(FileCall::MakeFolder) ? FolderResult::Failed : real_.MakeFolder(path);
}

bool FaultyFiles::List(const std::string& folder, std::vector<FolderEntry>* entries) {
    return !Fails(FileCall::List) && real_.List(folder, entries);
}

void FaultyFiles::SyncFolder(const std::string& folder) {
    if (!Fails(FileCall::SyncFolder)) real_.SyncFolder(folder);
}
