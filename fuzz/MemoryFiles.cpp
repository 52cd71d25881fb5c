// The in-memory file table. A file's bytes are never changed once another holder (a reader, a
// snapshot) may see them: opening for writing gives the file fresh bytes.
#include "fuzz/MemoryFiles.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/UserFolders.h"

struct MemoryFiles::Snapshot {
    Nodes nodes;
};

std::string MemoryFiles::Key(const std::string& path) {
    std::string key = path;
    // The Windows long-path prefix names the same file as the path without it.
    if (key.rfind("\\\\?\\", 0) == 0) key.erase(0, 4);
    std::replace(key.begin(), key.end(), '\\', '/');
    while (key.size() > 1 && key.back() == '/') key.pop_back();
    return key;
}

bool MemoryFiles::IsFolderKey(const std::string& key) const {
    // A root ("/", "", a drive such as "C:") always exists.
    if (key.empty() || key == "/" || key.find('/') == std::string::npos) return true;
    const auto it = nodes_.find(key);
    return it != nodes_.end() && it->second.folder;
}

bool MemoryFiles::ParentExists(const std::string& key) const {
    const size_t slash = key.rfind('/');
    if (slash == std::string::npos) return false;  // a root has no parent to be made in
    return IsFolderKey(slash == 0 ? std::string("/") : key.substr(0, slash));
}

std::shared_ptr<const MemoryFiles::Snapshot> MemoryFiles::Take() const {
    auto snapshot = std::make_shared<Snapshot>();
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [key, node] : nodes_) {
        Node copy = node;
        // Bytes an open writer may still change are copied; the rest are shared, never changed.
        if (copy.bytes) copy.bytes = std::make_shared<std::string>(*copy.bytes);
        snapshot->nodes.emplace(key, std::move(copy));
    }
    return snapshot;
}

void MemoryFiles::Restore(const std::shared_ptr<const Snapshot>& snapshot) {
    std::lock_guard<std::mutex> lock(mutex_);
    nodes_ = snapshot->nodes;
}

size_t MemoryFiles::OpenHandles() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return handles_.size();
}

FileHandle MemoryFiles::OpenHandle(Handle handle) {
    const FileHandle number = nextHandle_++;
    handles_.emplace(number, std::move(handle));
    return number;
}

void MemoryFiles::Touch(const std::string& key) {
    const auto it = nodes_.find(key);
    if (it != nodes_.end()) it->second.lastWrite = SystemTime100ns();
}

FileHandle MemoryFiles::OpenRead(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = nodes_.find(Key(path));
    if (it == nodes_.end() || it->second.folder) return kNoFile;
    return OpenHandle(Handle{it->second.bytes, it->first, 0, false, false});
}

FileHandle MemoryFiles::OpenAppend(const std::string& path) {
    const std::string key = Key(path);
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = nodes_.find(key);
    if (it == nodes_.end()) {
        if (!ParentExists(key)) return kNoFile;
        it = nodes_.emplace(key, Node{false, std::make_shared<std::string>(), SystemTime100ns()}).first;
    } else if (it->second.folder) {
        return kNoFile;
    } else {
        it->second.bytes = std::make_shared<std::string>(*it->second.bytes);
    }
    return OpenHandle(Handle{it->second.bytes, key, it->second.bytes->size(), true, true});
}

bool MemoryFiles::CreateTemp(const std::string& folder, const std::string& prefix, std::string* path) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!IsFolderKey(Key(folder))) return false;
    for (unsigned i = 0; i < 0x10000; ++i) {
        const unsigned number = (nextTemp_++ & 0xFFFF) | 1;
        char name[16];
        std::snprintf(name, sizeof name, "%X.tmp", number);
        const std::string candidate = folder + "/" + prefix + name;
        const std::string key = Key(candidate);
        if (nodes_.count(key) != 0) continue;
        nodes_.emplace(key, Node{false, std::make_shared<std::string>(), SystemTime100ns()});
        *path = candidate;
        return true;
    }
    return false;
}

FileHandle MemoryFiles::OpenWrite(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = nodes_.find(Key(path));
    if (it == nodes_.end() || it->second.folder) return kNoFile;
    it->second.bytes = std::make_shared<std::string>();
    it->second.lastWrite = SystemTime100ns();
    return OpenHandle(Handle{it->second.bytes, it->first, 0, true, false});
}

bool MemoryFiles::Read(FileHandle file, void* data, uint32_t size, uint32_t* done) {
    *done = 0;
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = handles_.find(file);
    if (it == handles_.end() || it->second.write) return false;
    Handle& handle = it->second;
    const uint64_t left = handle.bytes->size() - std::min<uint64_t>(handle.position, handle.bytes->size());
    const auto count = static_cast<uint32_t>(std::min<uint64_t>(left, size));
    if (count > 0) std::memcpy(data, handle.bytes->data() + handle.position, count);
    handle.position += count;
    *done = count;
    return true;
}

bool MemoryFiles::Write(FileHandle file, const void* data, uint32_t size, uint32_t* done) {
    *done = 0;
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = handles_.find(file);
    if (it == handles_.end() || !it->second.write) return false;
    Handle& handle = it->second;
    if (handle.append) handle.position = handle.bytes->size();
    if (handle.position + size > handle.bytes->size()) handle.bytes->resize(handle.position + size);
    if (size > 0) std::memcpy(handle.bytes->data() + handle.position, data, size);
    handle.position += size;
    *done = size;
    Touch(handle.path);
    return true;
}

bool MemoryFiles::Flush(FileHandle file) {
    std::lock_guard<std::mutex> lock(mutex_);
    return handles_.count(file) != 0;
}

bool MemoryFiles::Close(FileHandle file) {
    std::lock_guard<std::mutex> lock(mutex_);
    return handles_.erase(file) != 0;
}

bool MemoryFiles::Size(FileHandle file, uint64_t* size) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = handles_.find(file);
    if (it == handles_.end()) return false;
    *size = it->second.bytes->size();
    return true;
}

bool MemoryFiles::Rename(const std::string& from, const std::string& to) {
    const std::string source = Key(from), target = Key(to);
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = nodes_.find(source);
    if (it == nodes_.end() || it->second.folder || !ParentExists(target)) return false;
    if (source == target) return true;
    const auto existing = nodes_.find(target);
    if (existing != nodes_.end() && existing->second.folder) return false;
    Node node = std::move(it->second);
    nodes_.erase(it);
    nodes_[target] = std::move(node);
    return true;
}

bool MemoryFiles::RenameNoReplace(const std::string& from, const std::string& to, bool* taken) {
    *taken = false;
    const std::string source = Key(from), target = Key(to);
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = nodes_.find(source);
    if (it == nodes_.end() || it->second.folder || !ParentExists(target)) return false;
    if (nodes_.count(target) != 0 || IsFolderKey(target)) return *taken = true, false;
    Node node = std::move(it->second);
    nodes_.erase(it);
    nodes_.emplace(target, std::move(node));
    return true;
}

bool MemoryFiles::Delete(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = nodes_.find(Key(path));
    if (it == nodes_.end() || it->second.folder) return false;
    nodes_.erase(it);
    return true;
}

bool MemoryFiles::PathSize(const std::string& path, uint64_t* size) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::string key = Key(path);
    const auto it = nodes_.find(key);
    if (it == nodes_.end()) {
        if (!IsFolderKey(key)) return false;
        *size = 0;
        return true;
    }
    *size = it->second.folder ? 0 : it->second.bytes->size();
    return true;
}

bool MemoryFiles::IsFolder(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    return IsFolderKey(Key(path));
}

FolderResult MemoryFiles::MakeFolder(const std::string& path) {
    const std::string key = Key(path);
    std::lock_guard<std::mutex> lock(mutex_);
    if (IsFolderKey(key)) return FolderResult::Exists;
    if (nodes_.count(key) != 0 || !ParentExists(key)) return FolderResult::Failed;
    nodes_.emplace(key, Node{true, nullptr, SystemTime100ns()});
    return FolderResult::Created;
}

bool MemoryFiles::List(const std::string& folder, std::vector<FolderEntry>* entries) {
    std::string key = Key(folder);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!IsFolderKey(key)) return false;
    const std::string prefix = key == "/" ? key : key + "/";
    auto it = nodes_.lower_bound(prefix);
    while (it != nodes_.end() && it->first.compare(0, prefix.size(), prefix) == 0) {
        const size_t slash = it->first.find('/', prefix.size());
        if (slash == std::string::npos) {
            if (it->first.size() > prefix.size())
                entries->push_back({it->first.substr(prefix.size()), it->second.folder, it->second.lastWrite});
            ++it;
        } else {
            // What lies deeper, in a subfolder, is skipped whole: '0' is the character after '/'.
            it = nodes_.lower_bound(it->first.substr(0, slash) + '0');
        }
    }
    return true;
}

void MemoryFiles::SyncFolder(const std::string&) {}
