// A file table that passes every call to the operating system's, for stand-ins (a fuzz target's,
// a benchmark's) that change one or two calls and keep the rest.
#pragma once
#include "platform/Files.h"

class ForwardingFiles : public FileSystem {
public:
    FileHandle OpenRead(const std::string& path) override { return real_.OpenRead(path); }
    FileHandle OpenAppend(const std::string& path) override { return real_.OpenAppend(path); }
    bool CreateTemp(const std::string& folder, const std::string& prefix, std::string* path) override {
        return real_.CreateTemp(folder, prefix, path);
    }
    FileHandle OpenWrite(const std::string& path) override { return real_.OpenWrite(path); }
    bool Read(FileHandle file, void* data, uint32_t size, uint32_t* done) override {
        return real_.Read(file, data, size, done);
    }
    bool Write(FileHandle file, const void* data, uint32_t size, uint32_t* done) override {
        return real_.Write(file, data, size, done);
    }
    bool Flush(FileHandle file) override { return real_.Flush(file); }
    bool Close(FileHandle file) override { return real_.Close(file); }
    bool Size(FileHandle file, uint64_t* size) override { return real_.Size(file, size); }
    bool Rename(const std::string& from, const std::string& to) override { return real_.Rename(from, to); }
    bool RenameNoReplace(const std::string& from, const std::string& to, bool* taken) override {
        return real_.RenameNoReplace(from, to, taken);
    }
    bool Delete(const std::string& path) override { return real_.Delete(path); }
    bool PathSize(const std::string& path, uint64_t* size) override { return real_.PathSize(path, size); }
    bool IsFolder(const std::string& path) override { return real_.IsFolder(path); }
    FolderResult MakeFolder(const std::string& path) override { return real_.MakeFolder(path); }
    bool List(const std::string& folder, std::vector<FolderEntry>* entries) override {
        return real_.List(folder, entries);
    }
    void SyncFolder(const std::string& folder) override { real_.SyncFolder(folder); }

protected:
    FileSystem& real_ = SystemFiles();
};
