// Pruning the file store: only old ".dat" and ".link" files go.
#include <gtest/gtest.h>

#include <filesystem>

#include "store/FileStore.h"
#include "support/ScratchFolders.h"

namespace fs = std::filesystem;

namespace {

TEST(Prune, DeletesOnlyOldStoreEntries) {
    ScratchFolders folders;
    const fs::path files = fs::path(DataSubfolder("files"));
    const auto now = fs::file_time_type::clock::now();
    const auto daysAgo = [&](int days) { return now - std::chrono::hours(24 * days); };
    struct Entry {
        const char* name;
        int age;
        bool folder;
        bool kept;
    } entries[] = {
        {"old.dat", 61, false, false},   {"young.dat", 59, false, true},  {"old.link", 61, false, false},
        {"old.txt", 400, false, true},   {"old.DAT", 400, false, true},   {"old.Link", 400, false, true},
        {"folder.dat", 400, true, true}, {"x.dat", 400, false, true},     {"xy.dat", 61, false, false},
        {"x.link", 61, false, false},    {"future.dat", -10, false, true}, {"old.dat.bak", 400, false, true},
    };
    for (const auto& e : entries) {
        const fs::path p = files / e.name;
        if (e.folder)
            fs::create_directory(p);
        else
            WriteFileText(p, "content");
        fs::last_write_time(p, daysAgo(e.age));
    }
    PruneStore(60);
    for (const auto& e : entries) EXPECT_EQ(fs::exists(files / e.name), e.kept) << e.name;
}

TEST(Prune, TheAgeIsTheCallersChoice) {
    ScratchFolders folders;
    const fs::path entry = fs::path(DataSubfolder("files")) / "ab.dat";
    WriteFileText(entry, "content");
    fs::last_write_time(entry, fs::file_time_type::clock::now() - std::chrono::hours(24 * 3));
    PruneStore(4);
    EXPECT_TRUE(fs::exists(entry));
    PruneStore(2);
    EXPECT_FALSE(fs::exists(entry));
}

}  // namespace
