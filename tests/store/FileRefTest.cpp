// File references: the grammar, new references, and how a reference resolves to bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "store/FileStore.h"
#include "support/FaultyFiles.h"
#include "support/ScratchFolders.h"

namespace fs = std::filesystem;

namespace {
const std::string kHex32 = "0123456789abcdef0123456789abcdef";

std::set<std::string> AllFiles(const fs::path& root) {
    std::set<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root)) files.insert(e.path().string());
    return files;
}

TEST(FileRefGrammar, AcceptsOneToEightLettersAHyphenAnd32LowerHexDigits) {
    EXPECT_TRUE(IsValidFileRef("cap-" + kHex32));
    EXPECT_TRUE(IsValidFileRef("abcdefgh-" + kHex32));
    EXPECT_TRUE(IsValidFileRef("x-" + kHex32));
    EXPECT_TRUE(IsValidFileRef("pick-ffffffffffffffffffffffffffffffff"));
}

TEST(FileRefGrammar, RejectsEveryOtherText) {
    for (const std::string& text : std::vector<std::string>{
             "abcdefghi-" + kHex32,                        // nine letters
             "-" + kHex32,                                 // no prefix
             "Cap-" + kHex32,                              // upper-case prefix
             std::string("cap-0123456789ABCDEF0123456789abcdef"),  // upper-case digits
             "cap-" + kHex32.substr(1),                    // 31 digits
             "cap-" + kHex32 + "0",                        // 33 digits
             "cap-" + kHex32.substr(0, 15) + "-" + kHex32.substr(16),  // a second hyphen
             "ca1-" + kHex32, "cap_" + kHex32, "cap" + kHex32, std::string("cap-../../token"),
             "cap-" + kHex32.substr(0, 31) + "g", std::string(), std::string("-"),
             std::string("cap-" + kHex32).append(1, '\0'),
         })
        EXPECT_FALSE(IsValidFileRef(text)) << text;
}

TEST(FileRefGrammar, NewReferencesObeyItAndDiffer) {
    ScratchFolders folders;
    const std::string pick = NewFileRef("pick");
    EXPECT_EQ(pick.size(), 37u);
    EXPECT_TRUE(IsValidFileRef(pick));
    EXPECT_EQ(pick.rfind("pick-", 0), 0u);
    std::set<std::string> made;
    for (int i = 0; i < 1000; ++i) made.insert(NewFileRef("res"));
    EXPECT_EQ(made.size(), 1000u);
}

TEST(FileRefGrammar, AnInvalidReferenceTouchesNothing) {
    ScratchFolders folders;
    const auto before = AllFiles(folders.root());
    std::string bytes = "unchanged";
    EXPECT_EQ(FileRefPath("cap-../../token", ".dat"), "");
    EXPECT_FALSE(StoreBytes("cap-../../token", "x"));
    EXPECT_FALSE(StoreLink("cap-../../token", "/etc/passwd"));
    EXPECT_FALSE(LoadFileRef("cap-../../token", &bytes, kMaxSourceBytes));
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(AllFiles(folders.root()), before) << "not even the data folder was made";
}

class Entries : public ::testing::Test {
protected:
    ScratchFolders folders;
    std::string ref = NewFileRef("cap");
    fs::path linked = folders.root() / "elsewhere" / "picked image.png";
};

TEST_F(Entries, ABytesEntryResolvesToExactlyItsBytes) {
    const std::string bytes("\x89PNG\0\r\n", 7);
    ASSERT_TRUE(StoreBytes(ref, bytes));
    EXPECT_EQ(ReadFileText(folders.dataFolder() / "files" / (ref + ".dat")), bytes);
    std::string out;
    ASSERT_TRUE(LoadFileRef(ref, &out, kMaxSourceBytes));
    EXPECT_EQ(out, bytes);
}

TEST_F(Entries, ALinkEntryHoldsThePathAndResolvesToTheLinkedFile) {
    WriteFileText(linked, "picture");
    ASSERT_TRUE(StoreLink(ref, linked.string()));
    EXPECT_EQ(ReadFileText(folders.dataFolder() / "files" / (ref + ".link")), linked.string());
    std::string out;
    ASSERT_TRUE(LoadFileRef(ref, &out, kMaxSourceBytes));
    EXPECT_EQ(out, "picture");
    EXPECT_FALSE(StoreLink(ref, ""));
}

TEST_F(Entries, TheBytesEntryWinsOverALinkEntry) {
    WriteFileText(linked, "linked");
    ASSERT_TRUE(StoreLink(ref, linked.string()));
    ASSERT_TRUE(StoreBytes(ref, "stored"));
    std::string out;
    ASSERT_TRUE(LoadFileRef(ref, &out, kMaxSourceBytes));
    EXPECT_EQ(out, "stored");
}

TEST_F(Entries, AnEmptyBytesEntryFallsThroughToTheLink) {
    WriteFileText(linked, "linked");
    ASSERT_TRUE(StoreLink(ref, linked.string()));
    ASSERT_TRUE(StoreBytes(ref, ""));
    EXPECT_TRUE(fs::exists(folders.dataFolder() / "files" / (ref + ".dat")));
    std::string out;
    ASSERT_TRUE(LoadFileRef(ref, &out, kMaxSourceBytes));
    EXPECT_EQ(out, "linked");
}

TEST_F(Entries, ALinkWhoseTargetIsGoneResolvesToNothing) {
    WriteFileText(linked, "linked");
    ASSERT_TRUE(StoreLink(ref, linked.string()));
    fs::remove(linked);
    std::string out = "stale";
    EXPECT_FALSE(LoadFileRef(ref, &out, kMaxSourceBytes));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(LoadFileRef(NewFileRef("cap"), &out, kMaxSourceBytes)) << "a reference without entries";
}

TEST_F(Entries, LinkEntriesUpTo4096BytesAreFollowed) {
    // Paths this long exceed what Linux opens, so whether the target is tried shows the limit:
    // one more read-open after the two entries' means the link was followed.
    for (const size_t size : {size_t{4096}, size_t{4097}}) {
        const std::string linkRef = NewFileRef("pick");
        std::string path = (folders.root() / "").string();
        path.append(size - path.size(), 'p');
        WriteFileText(folders.dataFolder() / "files" / (linkRef + ".link"), path);
        FaultyFiles files;
        std::string out;
        EXPECT_FALSE(LoadFileRef(linkRef, &out, kMaxSourceBytes));
        EXPECT_EQ(files.Count(FileCall::OpenRead), size == 4096 ? 3 : 2) << size;
    }
}

TEST_F(Entries, TheCallersMaximumIsInclusive) {
    ASSERT_TRUE(StoreBytes(ref, std::string(1000, 'x')));
    std::string out;
    EXPECT_TRUE(LoadFileRef(ref, &out, 1000));
    EXPECT_EQ(out.size(), 1000u);
    EXPECT_FALSE(LoadFileRef(ref, &out, 999));
    EXPECT_TRUE(out.empty());
}

TEST(DataFolder, IsMadeInTheUserDataRootAndRemadeWhenDeleted) {
    ScratchFolders folders;
    EXPECT_EQ(DataFolder(), folders.dataFolder().string());
    EXPECT_TRUE(fs::is_directory(folders.dataFolder()));
    fs::remove_all(folders.dataFolder());
    EXPECT_EQ(DataSubfolder("files"), (folders.dataFolder() / "files").string());
    EXPECT_TRUE(fs::is_directory(folders.dataFolder() / "files"));
}

TEST(DataFolder, WithoutOneEveryOperationFailsQuietly) {
    ScratchFolders folders;
    fs::remove_all(folders.dataRoot());
    WriteFileText(folders.dataRoot(), "a file where the folder should be");
    const std::string ref = NewFileRef("res");
    std::string out;
    EXPECT_EQ(DataFolder(), "");
    EXPECT_EQ(DataSubfolder("state"), "");
    EXPECT_EQ(FileRefPath(ref, ".dat"), "");
    EXPECT_FALSE(StoreBytes(ref, "x"));
    EXPECT_FALSE(StoreLink(ref, "/tmp/x"));
    EXPECT_FALSE(LoadFileRef(ref, &out, kMaxSourceBytes));
    PruneStore(60);
    EXPECT_EQ(ReadFileText(folders.dataRoot()), "a file where the folder should be");
}

}  // namespace
