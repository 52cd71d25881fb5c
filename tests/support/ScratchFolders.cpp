// Scratch user folders for one test.
#include "support/ScratchFolders.h"

#include <fstream>
#include <iterator>
#include <random>

#include "platform/UserFolders.h"

namespace fs = std::filesystem;

ScratchFolders::ScratchFolders() {
    std::random_device random;
    root_ = fs::temp_directory_path() / ("tovr-test-" + std::to_string(random()) + std::to_string(random()));
    fs::create_directories(dataRoot());
    fs::create_directories(configRoot());
    SetUserFoldersForTesting(dataRoot().string(), configRoot().string());
}

ScratchFolders::~ScratchFolders() {
    SetUserFoldersForTesting("", "");
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

std::string ReadFileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFileText(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}
