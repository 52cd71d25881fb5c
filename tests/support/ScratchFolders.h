// Scratch user folders for one test: the data and configuration roots point into a fresh
// temporary folder, removed with everything in it when the test ends.
#pragma once
#include <filesystem>
#include <string>

class ScratchFolders {
public:
    ScratchFolders();
    ~ScratchFolders();
    ScratchFolders(const ScratchFolders&) = delete;
    ScratchFolders& operator=(const ScratchFolders&) = delete;

    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path dataRoot() const { return root_ / "data"; }
    std::filesystem::path configRoot() const { return root_ / "config"; }
    // The add-on's own data folder inside the data root.
    std::filesystem::path dataFolder() const { return dataRoot() / "Ovra for Archicad"; }

private:
    std::filesystem::path root_;
};

// The whole content of a file; empty when it cannot be read.
std::string ReadFileText(const std::filesystem::path& path);
// Writes the bytes, making the folders on the way.
void WriteFileText(const std::filesystem::path& path, const std::string& bytes);
