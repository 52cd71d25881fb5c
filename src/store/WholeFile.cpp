// Whole-file reads, and writes that replace a file whole or not at all.
#include <algorithm>

#include "platform/Files.h"
#include "store/FileStore.h"

namespace {
// Each system call moves at most this much (the Windows calls take 32-bit counts).
constexpr uint64_t kPiece = 16777216;

// The folder part of a path: everything before its last separator; empty when it has none.
bool FolderOf(const std::string& path, std::string* folder) {
    const size_t cut = path.find_last_of("\\/");
    if (cut == std::string::npos) return false;
    *folder = path.substr(0, cut);
    return true;
}

bool WriteAll(FileHandle file, std::string_view bytes) {
    for (uint64_t at = 0; at < bytes.size();) {
        const auto piece = static_cast<uint32_t>(std::min<uint64_t>(kPiece, bytes.size() - at));
        uint32_t done = 0;
        if (!Files().Write(file, bytes.data() + at, piece, &done) || done != piece) return false;
        at += piece;
    }
    return true;
}
}  // namespace

bool ReadWholeFile(const std::string& path, std::string* bytes, uint64_t maxBytes) {
    bytes->clear();
    if (path.empty()) return false;
    ScopedFile file(Files().OpenRead(path));
    if (!file.valid()) return false;
    uint64_t size = 0;
    if (!Files().Size(file.get(), &size) || size == 0 || size > maxBytes) return false;
    bytes->resize(size);
    for (uint64_t at = 0; at < size;) {
        const auto piece = static_cast<uint32_t>(std::min(kPiece, size - at));
        uint32_t done = 0;
        if (!Files().Read(file.get(), bytes->data() + at, piece, &done) || done != piece) {
            bytes->clear();
            return false;
        }
        at += piece;
    }
    return true;
}

bool ReplaceFileContents(const std::string& path, std::string_view bytes, const std::string& tempPrefix) {
    std::string folder;
    if (path.empty() || !FolderOf(path, &folder)) return false;
    std::string temp;
    if (!Files().CreateTemp(folder, tempPrefix, &temp)) return false;
    bool written = false;
    {
        ScopedFile file(Files().OpenWrite(temp));
        // A close that fails may have lost buffered data, so it fails the write too.
        written = file.valid() && WriteAll(file.get(), bytes) && Files().Flush(file.get()) && file.Close();
    }
    if (!written || !Files().Rename(temp, path)) {
        Files().Delete(temp);
        return false;
    }
    // The rename happened; putting the folder on disk is best effort and not reported.
    Files().SyncFolder(folder);
    return true;
}

std::string WriteNewFile(const std::string& folder, std::string_view bytes,
                        const std::function<std::string(int)>& nameFor) {
    std::string temp;
    if (!Files().CreateTemp(folder, "toh", &temp)) return {};
    bool written = false;
    {
        ScopedFile file(Files().OpenWrite(temp));
        written = file.valid() && WriteAll(file.get(), bytes) && Files().Flush(file.get()) && file.Close();
    }
    if (written) {
        for (int n = 1;; ++n) {
            const std::string target = nameFor(n);
            if (target.empty()) break;
            uint64_t size = 0;
            if (Files().PathSize(target, &size)) continue;  // a file or a folder holds the name
            bool taken = false;
            if (Files().RenameNoReplace(temp, target, &taken)) {
                Files().SyncFolder(folder);
                return target;
            }
            if (!taken) break;  // anything but a name taken meanwhile ends the attempt
        }
    }
    Files().Delete(temp);
    return {};
}

bool WriteFileAtomic(const std::string& path, std::string_view bytes) { return ReplaceFileContents(path, bytes, "toh"); }
