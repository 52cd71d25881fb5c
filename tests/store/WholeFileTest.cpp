// Whole-file reads and replacing writes: sizes, pieces, and every failure point of a write
// leaving the old file whole and no temporary file behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <future>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "store/FileStore.h"
#include "store/TokenStore.h"
#include "support/FaultyFiles.h"
#include "support/ScratchFolders.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class WholeFile : public ::testing::Test {
protected:
    ScratchFolders folders;
    fs::path folder = folders.root() / "out";
    std::string path = (folder / "target.bin").string();
    void SetUp() override { fs::create_directories(folder); }
};

TEST_F(WholeFile, ReadsFilesOfOneByteUpToTheMaximum) {
    std::string out = "stale";
    EXPECT_FALSE(ReadWholeFile(path, &out, 10)) << "missing";
    EXPECT_TRUE(out.empty());
    WriteFileText(path, "");
    EXPECT_FALSE(ReadWholeFile(path, &out, 10)) << "empty";
    WriteFileText(path, "0123456789");
    EXPECT_TRUE(ReadWholeFile(path, &out, 10));
    EXPECT_EQ(out, "0123456789");
    EXPECT_FALSE(ReadWholeFile(path, &out, 9));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(ReadWholeFile("", &out, 10));
    EXPECT_FALSE(ReadWholeFile(folder.string(), &out, 1 << 20)) << "a folder is not a file";
}

TEST_F(WholeFile, ADeviceOrAPipeIsRefusedWithoutBlocking) {
    std::string out;
#if defined(_WIN32)
    EXPECT_FALSE(ReadWholeFile("NUL", &out, 10)) << "a character device";
#else
    EXPECT_FALSE(ReadWholeFile("/dev/zero", &out, 10)) << "a character device";
    // A FIFO with no writer: a blocking open would wait for one for ever.
    const std::string fifo = (folder / "pipe").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto read = std::async(std::launch::async, [&] {
        std::string bytes;
        return ReadWholeFile(fifo, &bytes, 10);
    });
    if (read.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        // Release the blocked reader before failing, so the test ends.
        const int fd = ::open(fifo.c_str(), O_WRONLY);
        if (fd >= 0) ::close(fd);
        FAIL() << "reading the FIFO blocked";
    }
    EXPECT_FALSE(read.get());
#endif
}

TEST_F(WholeFile, WritesExactlyTheBytesAndReplacesAnOldFile) {
    ASSERT_TRUE(WriteFileAtomic(path, "first version, longer"));
    ASSERT_TRUE(WriteFileAtomic(path, std::string("second\0v", 8)));
    EXPECT_EQ(ReadFileText(path), std::string("second\0v", 8));
    ASSERT_TRUE(WriteFileAtomic(path, ""));
    EXPECT_TRUE(fs::exists(path));
    EXPECT_EQ(fs::file_size(path), 0u);
    EXPECT_EQ(Names(folder), std::vector<std::string>{"target.bin"});
}

TEST_F(WholeFile, APathWithoutAFolderFailsWithoutCreatingAnything) {
    FaultyFiles files;
    EXPECT_FALSE(WriteFileAtomic("target.bin", "x"));
    EXPECT_FALSE(WriteFileAtomic("", "x"));
    EXPECT_EQ(files.Count(FileCall::CreateTemp), 0);
    EXPECT_FALSE(fs::exists("target.bin"));
}

TEST_F(WholeFile, MovesAtMost16MiBPerCall) {
    const std::string big(40u << 20, 'b');
    FaultyFiles files;
    ASSERT_TRUE(WriteFileAtomic(path, big));
    EXPECT_EQ(files.Count(FileCall::Write), 3);
    EXPECT_EQ(files.largestWrite.load(), 16u << 20);
    std::string out;
    ASSERT_TRUE(ReadWholeFile(path, &out, big.size()));
    EXPECT_EQ(files.Count(FileCall::Read), 3);
    EXPECT_EQ(files.largestRead.load(), 16u << 20);
    EXPECT_TRUE(out == big);
}

TEST_F(WholeFile, AReadThatFailsPartWayLeavesNothing) {
    WriteFileText(path, std::string(20u << 20, 'r'));
    FaultyFiles files;
    files.FailAt(FileCall::Read, 2);
    std::string out;
    EXPECT_FALSE(ReadWholeFile(path, &out, 64u << 20));
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(files.Count(FileCall::Close), 1) << "the file is closed on the failure path";
}

// Every call of a replacing write up to the rename, failing once and from then on.
const FileCall kWriteSteps[] = {FileCall::CreateTemp, FileCall::OpenWrite, FileCall::Write,
                                FileCall::Flush,      FileCall::Close,     FileCall::Rename};

TEST_F(WholeFile, EveryFailurePointLeavesTheOldFileWholeAndNoTemporaryFile) {
    for (const bool persist : {false, true}) {
        for (const FileCall step : kWriteSteps) {
            WriteFileText(path, "old content");
            FaultyFiles files;
            files.FailAt(step, 1, persist);
            EXPECT_FALSE(WriteFileAtomic(path, "new content that is longer")) << FileCallName(step);
            EXPECT_EQ(ReadFileText(path), "old content") << FileCallName(step);
            EXPECT_EQ(Names(folder), std::vector<std::string>{"target.bin"}) << FileCallName(step);
        }
    }
}

TEST_F(WholeFile, AWriteFailingInItsSecondPieceLeavesTheOldFile) {
    WriteFileText(path, "old content");
    FaultyFiles files;
    files.FailAt(FileCall::Write, 2);
    EXPECT_FALSE(WriteFileAtomic(path, std::string(20u << 20, 'n')));
    EXPECT_EQ(ReadFileText(path), "old content");
    EXPECT_EQ(Names(folder), std::vector<std::string>{"target.bin"});
}

TEST_F(WholeFile, TemporaryFilesAreMadeBesideTheTargetWithTheirPrefix) {
    // Stop right after the temporary file is made, by failing its deletion too.
    FaultyFiles files;
    files.FailAt(FileCall::Rename, 1);
    files.FailAt(FileCall::Delete, 1);
    EXPECT_FALSE(WriteFileAtomic(path, "x"));
    const auto names = Names(folder);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].rfind("toh", 0), 0u) << names[0];
    EXPECT_EQ(names[0].substr(names[0].size() - 4), ".tmp");
}

TEST(TokenSaveFaults, EveryFailurePointKeepsThePreviousTokenFile) {
    for (const bool persist : {false, true}) {
        for (const FileCall step : kWriteSteps) {
            ScratchFolders folders;
            ASSERT_TRUE(TokenStore().Save("previous-token"));
            const std::string before = ReadFileText(TokenFilePath());
            FaultyFiles files;
            files.FailAt(step, 1, persist);
            EXPECT_FALSE(TokenStore().Save("next-token")) << FileCallName(step);
            files.Reset();
            EXPECT_EQ(ReadFileText(TokenFilePath()), before) << FileCallName(step);
            for (const auto& name : Names(folders.dataFolder()))
                EXPECT_EQ(name.find(".tmp"), std::string::npos) << FileCallName(step) << " left " << name;
            EXPECT_EQ(TokenStore().Load(), "previous-token");
        }
    }
}

}  // namespace
