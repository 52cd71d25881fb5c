// Pruning the file store: only old ".dat" and ".link" files go, and temporary files a crash
// left behind.
#include <gtest/gtest.h>

#include <filesystem>
#if defined(_WIN32)
#include <windows.h>
#endif

#include "platform/UserFolders.h"
#include "store/FileStore.h"
#include "support/Harness.h"
#include "support/ScratchFolders.h"

namespace fs = std::filesystem;

namespace {

// Dates a file or folder `days` days back. MinGW's std::filesystem opens the path as a file to
// set its time, which fails for a folder, so Windows dates folders with SetFileTime.
void DateBack(const fs::path& p, fs::file_time_type now, int days) {
#if defined(_WIN32)
    if (fs::is_directory(p)) {
        const int64_t when = SystemTime100ns() - int64_t{days} * 24 * 3600 * 10000000;
        const FILETIME time{static_cast<DWORD>(when), static_cast<DWORD>(when >> 32)};
        const HANDLE h = ::CreateFileW(p.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(::SetFileTime(h, nullptr, nullptr, &time));
        ::CloseHandle(h);
        return;
    }
#endif
    fs::last_write_time(p, now - std::chrono::hours(24 * days));
}

TEST(Prune, DeletesOnlyOldStoreEntries) {
    ScratchFolders folders;
    const fs::path files = fs::path(DataSubfolder("files"));
    const auto now = fs::file_time_type::clock::now();
    struct Entry {
        const char* name;
        int age;
        bool folder;
        bool kept;
    } entries[] = {
        {"old.dat", 61, false, false},   {"young.dat", 59, false, true},  {"old.link", 61, false, false},
        {"old.txt", 400, false, true},   {"up.DAT", 400, false, true},    {"up.Link", 400, false, true},
        {"folder.dat", 400, true, true}, {"x.dat", 400, false, true},     {"xy.dat", 61, false, false},
        {"x.link", 61, false, false},    {"future.dat", -10, false, true}, {"old.dat.bak", 400, false, true},
    };
    for (const auto& e : entries) {
        const fs::path p = files / e.name;
        if (e.folder)
            fs::create_directory(p);
        else
            WriteFileText(p, "content");
        DateBack(p, now, e.age);
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

TEST(Prune, TemporaryFilesACrashLeftGoAfterADayFromEveryFolderTheAddOnWrites) {
    ScratchFolders folders;
    const auto now = fs::file_time_type::clock::now();
    const fs::path data = fs::path(DataFolder());
    for (const fs::path& folder : {data, fs::path(DataSubfolder("files")), fs::path(DataSubfolder("state"))}) {
        struct Entry {
            const char* name;
            int age;
            bool kept;
        } entries[] = {
            {"tohA1B2.tmp", 2, false}, {"tot1.tmp", 2, false},   {"toh9F.tmp", 0, true},
            {"tmpA1.tmp", 30, true},   {"toh.tmp", 30, true},    {"tohA1.tmp.keep", 30, true},
        };
        for (const auto& e : entries) {
            WriteFileText(folder / e.name, "partial");
            DateBack(folder / e.name, now, e.age);
        }
        PruneStore(60);
        for (const auto& e : entries) EXPECT_EQ(fs::exists(folder / e.name), e.kept) << folder / e.name;
    }
}

TEST(Prune, InAUsersFolderOnlyTheWritersOwnOldTemporaryFilesGo) {
    ScratchFolders folders;
    const fs::path folder = folders.root() / "Renders";
    const auto now = fs::file_time_type::clock::now();
    struct Entry {
        const char* name;
        int age;
        bool kept;
    } entries[] = {
        {"tohA1B2.tmp", 2, false}, {"toh1.TMP", 2, false},     {"tohff.tmp", 2, false},   {"toh9F.tmp", 0, true},
        {"toh12345.tmp", 30, true}, {"toh.tmp", 30, true},     {"tohG1.tmp", 30, true},   {"tot1.tmp", 30, true},
        {"TOH7.tmp", 30, true},    {"toh1.tmp.png", 30, true}, {"my toh1.tmp", 30, true}, {"toh1.tmpx", 30, true},
    };
    for (const auto& e : entries) {
        WriteFileText(folder / e.name, "partial");
        DateBack(folder / e.name, now, e.age);
    }
    fs::create_directory(folder / "tohA.tmp");
    DateBack(folder / "tohA.tmp", now, 30);
    PruneOwnTemporaryFiles(folder.string());
    for (const auto& e : entries) EXPECT_EQ(fs::exists(folder / e.name), e.kept) << e.name;
    EXPECT_TRUE(fs::is_directory(folder / "tohA.tmp")) << "a folder is never the writer's";
}

TEST(DataFolder, IsMadeWithEveryMissingParentOfTheRoot) {
    // A fresh account: not even ~/.local exists.
    ScratchFolders folders;
    const fs::path root = folders.root() / "home" / ".local" / "share";
    SetUserFoldersForTesting(root.string(), (folders.root() / "config").string());
    const std::string data = DataFolder();
    EXPECT_EQ(fs::path(data), root / "Ovra for Archicad");
    EXPECT_TRUE(fs::is_directory(data));
    EXPECT_FALSE(DataSubfolder("files").empty());
#if !defined(_WIN32)
    for (const fs::path& made : {root.parent_path(), root, fs::path(data)})
        EXPECT_EQ(fs::status(made).permissions() & fs::perms::all, fs::perms::owner_all) << made;
#endif
}

TEST(Prune, ThePalettePrunesWhenItIsCreated) {
    Harness h(false);
    const fs::path entry = fs::path(DataSubfolder("files")) / "cap-old.dat";
    WriteFileText(entry, "content");
    DateBack(entry, fs::file_time_type::clock::now(), 61);
    h.host().OpenPaletteFromMenu();
    EXPECT_FALSE(fs::exists(entry));
}

}  // namespace
