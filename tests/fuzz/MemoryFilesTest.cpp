// The in-memory file table keeps the system table's rules that the store relies on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fuzz/MemoryFiles.h"

namespace {
// A table of its own, installed for the case: a ScopedFile closes through the installed table.
class MemoryFilesCase : public ::testing::Test {
protected:
    MemoryFilesCase() : previous_(Files()) { InstallFileSystem(&files); }
    ~MemoryFilesCase() override { InstallFileSystem(&previous_); }
    MemoryFiles files;

private:
    FileSystem& previous_;
};

std::string ReadAll(MemoryFiles& files, const std::string& path) {
    ScopedFile file(files.OpenRead(path));
    if (!file.valid()) return "<none>";
    std::string text(64, '\0');
    uint32_t done = 0;
    files.Read(file.get(), text.data(), 64, &done);
    text.resize(done);
    return text;
}

bool Write(MemoryFiles& files, const std::string& path, const std::string& text) {
    ScopedFile file(files.OpenAppend(path));
    uint32_t done = 0;
    return file.valid() && files.Write(file.get(), text.data(), static_cast<uint32_t>(text.size()), &done) &&
           done == text.size();
}

TEST_F(MemoryFilesCase, FilesAreMadeOnlyInFoldersThatExist) {
    EXPECT_FALSE(Write(files, "/data/a.txt", "x"));
    EXPECT_EQ(files.MakeFolder("/data/sub"), FolderResult::Failed);
    EXPECT_EQ(files.MakeFolder("/data"), FolderResult::Created);
    EXPECT_EQ(files.MakeFolder("/data"), FolderResult::Exists);
    EXPECT_TRUE(Write(files, "/data/a.txt", "x"));
    EXPECT_EQ(files.MakeFolder("/data/a.txt"), FolderResult::Failed);
    std::string temp;
    EXPECT_FALSE(files.CreateTemp("/nowhere", "toh", &temp));
    ASSERT_TRUE(files.CreateTemp("/data", "toh", &temp));
    EXPECT_EQ(temp.rfind("/data/toh", 0), 0u);
    EXPECT_EQ(temp.substr(temp.size() - 4), ".tmp");
}

TEST_F(MemoryFilesCase, RenamesReplaceOrRefuseAndReadersKeepWhatTheyOpened) {
    files.MakeFolder("/d");
    ASSERT_TRUE(Write(files, "/d/old", "old"));
    ASSERT_TRUE(Write(files, "/d/new", "new"));
    ScopedFile reader(files.OpenRead("/d/old"));
    ASSERT_TRUE(reader.valid());
    bool taken = false;
    EXPECT_FALSE(files.RenameNoReplace("/d/new", "/d/old", &taken));
    EXPECT_TRUE(taken);
    EXPECT_TRUE(files.Rename("/d/new", "/d/old"));
    EXPECT_EQ(ReadAll(files, "/d/old"), "new");
    EXPECT_EQ(ReadAll(files, "/d/new"), "<none>");
    std::string text(8, '\0');
    uint32_t done = 0;
    ASSERT_TRUE(files.Read(reader.get(), text.data(), 8, &done));
    EXPECT_EQ(text.substr(0, done), "old");
    EXPECT_TRUE(files.Delete("/d/old"));
    EXPECT_FALSE(files.Delete("/d"));
    std::vector<FolderEntry> entries;
    ASSERT_TRUE(files.List("/d", &entries));
    EXPECT_TRUE(entries.empty());
}

TEST_F(MemoryFilesCase, ASnapshotComesBackAsTakenWhateverWasWrittenSince) {
    files.MakeFolder("/d");
    ASSERT_TRUE(Write(files, "/d/log", "one\n"));
    const auto snapshot = files.Take();
    ASSERT_TRUE(Write(files, "/d/log", "two\n"));
    ASSERT_TRUE(Write(files, "/d/more", "x"));
    {
        ScopedFile file(files.OpenWrite("/d/log"));
        ASSERT_TRUE(file.valid());
    }
    files.Restore(snapshot);
    EXPECT_EQ(ReadAll(files, "/d/log"), "one\n");
    EXPECT_EQ(ReadAll(files, "/d/more"), "<none>");
    ASSERT_TRUE(Write(files, "/d/log", "three\n"));
    files.Restore(snapshot);
    EXPECT_EQ(ReadAll(files, "/d/log"), "one\n");
    EXPECT_EQ(files.OpenHandles(), 0u);
}

TEST_F(MemoryFilesCase, AListingNamesAFoldersOwnEntriesAndNothingDeeper) {
    for (const char* folder : {"/d", "/d/sub", "/d/sub/deeper", "/d-x", "/e"}) files.MakeFolder(folder);
    // Names on either side of '/' in the table's order: '-' and '.' sort before it, '0' after it.
    for (const char* file : {"/d/a", "/d/sub-x", "/d/sub.txt", "/d/sub/in", "/d/sub/deeper/in", "/d/sub0", "/d/z",
                             "/d-x/out", "/e/out"})
        ASSERT_TRUE(Write(files, file, "x"));
    std::vector<FolderEntry> entries;
    ASSERT_TRUE(files.List("/d", &entries));
    std::string names;
    for (const FolderEntry& entry : entries) names += entry.name + (entry.isFolder ? "/ " : " ");
    EXPECT_EQ(names, "a sub/ sub-x sub.txt sub0 z ");
}
}  // namespace
