// The host log: its line format, its size limit, and the lines the palette and bridge write.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "store/Log.h"
#include "support/Harness.h"
#include "support/ScratchFolders.h"

namespace fs = std::filesystem;

namespace {
constexpr size_t kLimit = 1048576;

fs::path LogPath(const ScratchFolders& folders) { return folders.dataFolder() / "host.log"; }

// The messages of the log, without their time stamps.
std::vector<std::string> Messages(const ScratchFolders& folders) {
    std::vector<std::string> messages;
    const std::string text = ReadFileText(LogPath(folders));
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find("\r\n", at);
        if (end == std::string::npos) break;
        messages.push_back(text.substr(at + 13, end - at - 13));
        at = end + 2;
    }
    return messages;
}

TEST(LogLines, AreATimeStampTheTextAndCrLf) {
    ScratchFolders folders;
    WriteLog("first");
    WriteLog("caf\xC3\xA9 \xE2\x80\x9Cquoted\xE2\x80\x9D");
    const std::string text = ReadFileText(LogPath(folders));
    EXPECT_TRUE(std::regex_match(text, std::regex("[0-2][0-9]:[0-5][0-9]:[0-6][0-9]\\.[0-9]{3} first\r\n"
                                                  "[0-9:.]{12} caf\xC3\xA9 \xE2\x80\x9Cquoted\xE2\x80\x9D\r\n")))
        << text;
}

TEST(LogLines, OneCallIsOneLineWhateverItsTextHolds) {
    // Text from outside (a service's error code, a file name) cannot forge a line of its own:
    // control characters are written as \xNN.
    ScratchFolders folders;
    WriteLog("reply error x\r\n12:00:00.000 token present");
    WriteLog(std::string("tab\there, nul\0, del\x7F, bell\a, back\\slash", 39));
    EXPECT_EQ(Messages(folders), (std::vector<std::string>{"reply error x\\x0D\\x0A12:00:00.000 token present",
                                                          "tab\\x09here, nul\\x00, del\\x7F, bell\\x07, back\\slash"}));
}

TEST(LogLines, AFileOfExactlyTheLimitIsAppendedToAndALargerOneRestarts) {
    ScratchFolders folders;
    WriteFileText(LogPath(folders), std::string(kLimit, 'x'));
    WriteLog("appended");
    EXPECT_EQ(fs::file_size(LogPath(folders)), kLimit + 13 + 8 + 2);
    WriteLog("restarted");
    EXPECT_EQ(Messages(folders), std::vector<std::string>{"restarted"});
}

TEST(LogLines, WithoutADataFolderNothingIsWritten) {
    ScratchFolders folders;
    fs::remove_all(folders.dataRoot());
    WriteFileText(folders.dataRoot(), "not a folder");
    WriteLog("lost");
    EXPECT_EQ(ReadFileText(folders.dataRoot()), "not a folder");
}

TEST(LogLines, ThePaletteAndBridgeLogTheirSteps) {
    Harness h;
    h.Post(Request("a", "record"));
    h.Post("not json");
    h.Post(Request("c", "capture"));
    h.Idle();
    h.host().RunEventLoopCalls();
    EXPECT_EQ(Messages(h.folders()), (std::vector<std::string>{
                                         "panel files missing",
                                         "palette created; token absent",
                                         "request record",
                                         "reply error unsupported",
                                         "request capture",
                                         "event loop call 0",
                                         "reply error view_not_found",
                                     }))
        << "the page is loaded before the palette reports itself created";
}

TEST(LogLines, ARefusedEventLoopCallLogsTheHostsCode) {
    Harness h;
    h.host().refuseEventLoopCalls = static_cast<HostError>(0x81060388u);
    h.Post(Request("c", "capture"));
    h.Idle();
    const auto messages = Messages(h.folders());
    EXPECT_NE(std::find(messages.begin(), messages.end(), "event loop call -2130312312"), messages.end());
}

}  // namespace
