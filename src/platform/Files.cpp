// The installed file table and the owner of open files.
#include "platform/Files.h"

#include <atomic>

namespace {
std::atomic<FileSystem*> gFiles{nullptr};
}

FileSystem& Files() {
    FileSystem* f = gFiles.load(std::memory_order_acquire);
    return f ? *f : SystemFiles();
}

void InstallFileSystem(FileSystem* files) { gFiles.store(files, std::memory_order_release); }

bool ScopedFile::Close() {
    if (file_ == kNoFile) return true;
    const FileHandle file = file_;
    file_ = kNoFile;
    return Files().Close(file);
}
