// The device token store: the protected file, what it refuses, and where the token never goes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#if defined(_WIN32)
#include <windows.h>
#include <dpapi.h>
#endif

#include "platform/Files.h"
#include "platform/Protect.h"
#include "store/FileStore.h"
#include "store/TokenStore.h"
#include "support/FaultyFiles.h"
#include "support/Harness.h"
#include "support/ScratchFolders.h"

namespace fs = std::filesystem;

namespace {
const std::string kToken = "ovra_device_7f3c9a1b2d4e6f8091a2b3c4d5e6f708";

// True when any file under the folder holds the text.
bool AnyFileHolds(const fs::path& root, const std::string& text) {
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file() && ReadFileText(e.path()).find(text) != std::string::npos) return true;
    return false;
}

TEST(TokenStore, ASavedTokenIsReadBackByAFreshStore) {
    ScratchFolders folders;
    TokenStore store;
    EXPECT_EQ(store.Load(), "");
    ASSERT_TRUE(store.Save(kToken));
    EXPECT_EQ(store.Load(), kToken);
    EXPECT_EQ(TokenStore().Load(), kToken);
    EXPECT_TRUE(fs::exists(folders.dataFolder() / "token.dpapi"));
    EXPECT_FALSE(AnyFileHolds(folders.root(), kToken)) << "only the protected form is written";
}

TEST(TokenStore, EraseWipesTheCacheAndTheFileAndNeedsNoFile) {
    ScratchFolders folders;
    TokenStore store;
    store.Erase();
    ASSERT_TRUE(store.Save(kToken));
    store.Erase();
    EXPECT_FALSE(fs::exists(folders.dataFolder() / "token.dpapi"));
    EXPECT_EQ(store.Load(), "");
    store.Erase();
}

TEST(TokenStore, ADeleteThatFailsOnceIsRetriedAndOneThatKeepsFailingIsReported) {
    ScratchFolders folders;
    const fs::path file = folders.dataFolder() / "token.dpapi";
    {
        TokenStore store;
        ASSERT_TRUE(store.Save(kToken));
        FaultyFiles faults;
        faults.FailAt(FileCall::Delete, 1);
        EXPECT_TRUE(store.Erase());
        EXPECT_FALSE(fs::exists(file));
    }
    TokenStore store;
    ASSERT_TRUE(store.Save(kToken));
    {
        FaultyFiles faults;
        faults.FailAt(FileCall::Delete, 1, true);
        EXPECT_FALSE(store.Erase());
        EXPECT_EQ(faults.Count(FileCall::Delete), 2);
    }
    EXPECT_TRUE(fs::exists(file));
    EXPECT_NE(ReadFileText(folders.dataFolder() / "host.log").find("token delete failed\r\n"), std::string::npos);
}

TEST(TokenStore, EraseDeletesTheFileWhenTheDataFolderCannotBeMadeJustThen) {
    ScratchFolders folders;
    TokenStore store;
    ASSERT_TRUE(store.Save(kToken));
    {
        FaultyFiles faults;
        faults.FailAt(FileCall::MakeFolder, 1, true);
        EXPECT_TRUE(store.Erase());
    }
    EXPECT_FALSE(fs::exists(folders.dataFolder() / "token.dpapi"));
    EXPECT_EQ(TokenStore().Load(), "");
}

TEST(TokenStore, AReaderHoldingTheFileOpenDoesNotStopTheDelete) {
    ScratchFolders folders;
    TokenStore store;
    ASSERT_TRUE(store.Save(kToken));
    const std::string path = TokenFilePath();
    ScopedFile reader(Files().OpenRead(path));
    ASSERT_TRUE(reader.valid());
    EXPECT_TRUE(store.Erase());
    reader.Close();
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(TokenStore().Load(), "");
}

// The fixed entropy is part of every stored token: a changed constant would sign every user out.
TEST(TokenStore, ReadsATokenSealedWithTheFixedEntropy) {
    ScratchFolders folders;
    const std::string token = "ovra_device_pinned_0123456789";
#if defined(_WIN32)
    // A blob is bound to its Wine prefix's user, so it is made here, with the entropy written out.
    const std::string entropy = "Quill Harbor seal phrase 42";
    DATA_BLOB in{static_cast<DWORD>(token.size()), reinterpret_cast<BYTE*>(const_cast<char*>(token.data()))};
    DATA_BLOB extra{static_cast<DWORD>(entropy.size()), reinterpret_cast<BYTE*>(const_cast<char*>(entropy.data()))};
    DATA_BLOB out{0, nullptr};
    ASSERT_TRUE(::CryptProtectData(&in, nullptr, &extra, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out));
    const std::string blob(reinterpret_cast<const char*>(out.pbData), out.cbData);
    ::LocalFree(out.pbData);
#else
    // Sealed once outside the add-on (libsodium's XChaCha20-Poly1305, the entropy as associated
    // data) under the key 00 01 … 1F with the nonce A0 A1 … B7, which leads the blob.
    std::string key;
    for (int i = 0; i < 32; ++i) key += static_cast<char>(i);
    WriteFileText(folders.configRoot() / "Ovra for Archicad" / "token.key", key);
    fs::permissions(folders.configRoot() / "Ovra for Archicad" / "token.key", fs::perms::owner_read | fs::perms::owner_write);
    const std::string hex = "a0a1a2a3a4a5a6a7a8a9aaabacadaeafb0b1b2b3b4b5b6b72a9a787ce839c1da080c48d60159cdae5ecec01c9b34"
                            "f9ed2876bcdfde21bdc056cefb29de91439188bda9eb7a";
    std::string blob;
    for (size_t i = 0; i < hex.size(); i += 2) blob += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
#endif
    WriteFileText(folders.dataFolder() / "token.dpapi", blob);
    EXPECT_EQ(TokenStore().Load(), token);
}

TEST(TokenStore, FilesOfZeroOrMoreThan65536BytesAreIgnored) {
    ScratchFolders folders;
    ASSERT_TRUE(TokenStore().Save(kToken));
    const fs::path file = folders.dataFolder() / "token.dpapi";
    WriteFileText(file, "");
    EXPECT_EQ(TokenStore().Load(), "");
    WriteFileText(file, std::string(65537, 'x'));
    EXPECT_EQ(TokenStore().Load(), "");
}

TEST(TokenStore, ABlobUnderAnotherKeyOrEntropyReadsAsNoToken) {
    ScratchFolders folders;
    std::string otherEntropy;
    ASSERT_TRUE(ProtectForUser(kToken, "another phrase", &otherEntropy));
    WriteFileText(folders.dataFolder() / "token.dpapi", otherEntropy);
    EXPECT_EQ(TokenStore().Load(), "");

    ASSERT_TRUE(TokenStore().Save(kToken));
    const std::string blob = ReadFileText(folders.dataFolder() / "token.dpapi");
    std::string damaged = blob;
    damaged[damaged.size() / 2] ^= 1;
    WriteFileText(folders.dataFolder() / "token.dpapi", damaged);
    EXPECT_EQ(TokenStore().Load(), "");

#if !defined(_WIN32)
    // Another user's store: the same blob under a different key. On Windows the protection is
    // bound to the Windows account, which a test cannot switch.
    ScratchFolders otherUser;
    ASSERT_TRUE(TokenStore().Save("someone else"));
    WriteFileText(otherUser.dataFolder() / "token.dpapi", blob);
    EXPECT_EQ(TokenStore().Load(), "");
#endif
}

TEST(TokenStore, WithoutADataFolderTheTokenStaysInMemoryOnly) {
    ScratchFolders folders;
    fs::remove_all(folders.dataRoot());
    WriteFileText(folders.dataRoot(), "not a folder");
    TokenStore store;
    EXPECT_FALSE(store.Save(kToken));
    EXPECT_EQ(store.Load(), kToken);
    EXPECT_EQ(TokenStore().Load(), "");
}

#ifndef _WIN32
fs::path KeyFile(const ScratchFolders& folders) { return folders.configRoot() / "Ovra for Archicad" / "token.key"; }

TEST(TokenKey, IsMadePrivateOnFirstUseOutsideTheDataFolder) {
    ScratchFolders folders;
    ASSERT_TRUE(TokenStore().Save(kToken));
    struct stat st {};
    ASSERT_EQ(::stat(KeyFile(folders).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_size, 32);
    EXPECT_EQ(fs::file_size(folders.dataFolder() / "token.dpapi"), 24u + kToken.size() + 16u);
}

TEST(TokenKey, AKeyOthersCouldReadOrAnotherUserOwnsIsRefused) {
    ScratchFolders folders;
    ASSERT_TRUE(TokenStore().Save(kToken));
    for (const mode_t mode : {0640, 0604, 0660}) {
        ASSERT_EQ(::chmod(KeyFile(folders).c_str(), mode), 0);
        EXPECT_EQ(TokenStore().Load(), "") << std::oct << mode;
        EXPECT_FALSE(TokenStore().Save(kToken)) << std::oct << mode;
    }
    ASSERT_EQ(::chmod(KeyFile(folders).c_str(), 0600), 0);
    EXPECT_EQ(TokenStore().Load(), kToken);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(KeyFile(folders).c_str(), 65534, 65534), 0);
        EXPECT_EQ(TokenStore().Load(), "");
        EXPECT_FALSE(TokenStore().Save(kToken));
    }
}

TEST(TokenKey, ASymbolicLinkOrAShortKeyIsRefused) {
    ScratchFolders folders;
    ASSERT_TRUE(TokenStore().Save(kToken));
    const fs::path real = folders.root() / "real.key";
    fs::rename(KeyFile(folders), real);
    fs::create_symlink(real, KeyFile(folders));
    EXPECT_EQ(TokenStore().Load(), "");
    fs::remove(KeyFile(folders));
    WriteFileText(KeyFile(folders), std::string(31, 'k'));
    fs::permissions(KeyFile(folders), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(TokenStore().Load(), "");
    // A FIFO in the key's place is refused at once; opening it to read would wait for a writer.
    fs::remove(KeyFile(folders));
    ASSERT_EQ(::mkfifo(KeyFile(folders).c_str(), 0600), 0);
    EXPECT_EQ(TokenStore().Load(), "");
    EXPECT_FALSE(TokenStore().Save(kToken));
}
#endif

TEST(TokenStore, ThePaletteReportsAStoredTokenAtCreation) {
    Harness h(false);
    ASSERT_TRUE(TokenStore().Save(kToken));
    h.host().OpenPaletteFromMenu();
    EXPECT_EQ(h.palette().SignInState().Token().text(), kToken);
    EXPECT_NE(ReadFileText(h.folders().dataFolder() / "host.log").find("palette created; token present\r\n"),
              std::string::npos);
    EXPECT_FALSE(AnyFileHolds(h.folders().root(), kToken));
}

}  // namespace
