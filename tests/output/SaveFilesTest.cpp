// Saving files: the folder (the project's, or the one the user picks), the subfolder, the names
// and numbers, what an item that cannot be fetched or written does to the reply, and Explorer.
#include <gtest/gtest.h>

#include <filesystem>

#include "media/TestImages.h"
#include "output/OutputTestSupport.h"
#include "panel/Replies.h"
#include "platform/Desktop.h"
#include "support/FaultyFiles.h"

namespace fs = std::filesystem;

namespace {

std::string Item(const std::string& ref, const std::string& name) {
    return "{\"fileRef\":" + JsonQuote(ref) + ",\"name\":" + JsonQuote(name) + ",\"kind\":\"render\"}";
}

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class Saving : public ::testing::Test {
protected:
    Saving() {
        projectFolder = h.folders().root() / "Projetos";
        fs::create_directories(projectFolder);
        h.host().project = {false, false, (projectFolder / "Casa.pln").string(), "Casa"};
    }
    const ScriptedPage::Message* Save(const std::string& id, const std::string& payload) {
        h.Post(Request(id, "saveFiles", payload));
        return RunUntilReply(h, id);
    }

    Harness h;
    fs::path projectFolder;
    const std::string png = PngFile(MakeBitmap(3, 3, [](int, int) { return 0xFFFF0000u; }), false);
};

TEST_F(Saving, ASavedProjectsFolderTakesTheFilesWithoutADialog) {
    const auto* reply = Save("1", R"({"folder":"Renders","files":[)" + Item(StoreResult(png), "render.jpg") + "]}");
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(reply->json, R"({"id":"1","ok":true,"result":{"saved":1,"folderName":"Renders"}})");
    EXPECT_TRUE(h.host().dialogs.shownFolderDialogs.empty());
    EXPECT_EQ(ReadFileText(projectFolder / "Renders" / "render.png"), png);
    EXPECT_NE(LogText(h).find("saveFiles 1\r\n"), std::string::npos);
    // Explorer opens on the first saved file, exactly as the shell is asked.
    const auto& launches = h.host().launcher.launches;
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].verb, "open");
    EXPECT_EQ(launches[0].file, "explorer.exe");
    EXPECT_EQ(launches[0].parameters, "/select,\"" + (projectFolder / "Renders" / "render.png").string() + "\"");
}

// A save still running when the project changes keeps the files it wrote, but its answer belongs
// to the page that asked, which is gone: no Explorer window opens over the project just opened,
// and the reloaded page hears nothing of it, whichever call-back comes first after the change.
TEST_F(Saving, ASaveInFlightAtAProjectChangeKeepsItsFilesAndOpensNoExplorer) {
    for (const bool callBackFirst : {false, true}) {
        SCOPED_TRACE(callBackFirst ? "the event-loop call-back first" : "the idle notification first");
        const std::string id = callBackFirst ? "s2" : "s1";
        h.Post(Request(id, "saveFiles", R"({"folder":"Renders","files":[)" + Item(StoreResult(png), id + ".png") + "]}"));
        h.Idle();  // the worker starts
        h.host().SendProjectEvent(4);
        if (callBackFirst) h.host().RunEventLoopCalls();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (ProcessMailbox()->workers.load() > 0 && std::chrono::steady_clock::now() < deadline) h.host().Turn();
        for (int i = 0; i < 3; ++i) h.host().Turn();
        EXPECT_TRUE(h.page().RepliesTo(id).empty());
        EXPECT_TRUE(h.host().launcher.launches.empty());
        EXPECT_EQ(ReadFileText(projectFolder / "Renders" / (id + ".png")), png);
        EXPECT_NE(LogText(h).find("reply dropped after reload " + id), std::string::npos);
    }
}

TEST_F(Saving, TheSubfolderNameIsSanitisedAndCutOrLeftOut) {
    const auto* forbidden = Save("f", R"({"folder":" ..:*?. ","files":[)" + Item(StoreResult(png), "a") + "]}");
    ASSERT_NE(forbidden, nullptr);
    EXPECT_EQ(ResultString(*forbidden, "folderName"), "Projetos");
    EXPECT_EQ(ReadFileText(projectFolder / "a.png"), png);

    const std::string letters(100, 'x');
    const auto* cut = Save("c", R"({"folder":")" + letters + R"(","files":[)" + Item(StoreResult(png), "b") + "]}");
    ASSERT_NE(cut, nullptr);
    EXPECT_EQ(ResultString(*cut, "folderName"), std::string(80, 'x'));
    EXPECT_EQ(ReadFileText(projectFolder / std::string(80, 'x') / "b.png"), png);

    // A name that is a file already cannot become a folder: the files go to the chosen one.
    WriteFileText(projectFolder / "Taken", "a file");
    const auto* taken = Save("t", R"({"folder":"Taken","files":[)" + Item(StoreResult(png), "c") + "]}");
    ASSERT_NE(taken, nullptr);
    EXPECT_EQ(ResultString(*taken, "folderName"), "Projetos");
    EXPECT_EQ(ReadFileText(projectFolder / "c.png"), png);
}

TEST_F(Saving, TheNameKeepsItsBaseAndTakesTheExtensionOfTheContent) {
    const std::string unknown = "plain bytes of no known kind";
    const auto* reply = Save("n", std::string(R"({"files":[)") + Item(StoreResult(png), "report.pdf") + "," +
                                      Item(StoreResult(unknown), "archive.tar.gz") + "," +
                                      Item(StoreResult(png), "scene.verylong") + "," + Item(StoreResult(png), "") +
                                      "," + Item(StoreResult(unknown), "<>:|") + "," + Item(StoreResult(png), " . .") +
                                      "," + Item(StoreResult(png), "con.txt") + "]}");
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(reply->json, R"({"id":"n","ok":true,"result":{"saved":7,"folderName":"Projetos"}})");
    EXPECT_EQ(Names(projectFolder), (std::vector<std::string>{"Tamsel Ovra (2).png", "Tamsel Ovra.bin",
                                                              "Tamsel Ovra.png", "archive.tar.bin", "con_.png",
                                                              "report.png", "scene.verylong.png"}));
    EXPECT_EQ(ReadFileText(projectFolder / "archive.tar.bin"), unknown);
}

TEST_F(Saving, AnExistingNameIsNeverReplacedButNumbered) {
    const std::string first = PngFile(MakeBitmap(2, 2, [](int, int) { return 0xFF00FF00u; }), false);
    ASSERT_TRUE(Save("1", R"({"files":[)" + Item(StoreResult(first), "image.png") + "]}")->Ok());
    ASSERT_TRUE(Save("2", R"({"files":[)" + Item(StoreResult(png), "image.png") + "]}")->Ok());
    EXPECT_EQ(ReadFileText(projectFolder / "image.png"), first);
    EXPECT_EQ(ReadFileText(projectFolder / "image (2).png"), png);
    // A folder holds a name as a file does; so does every number up to 999.
    fs::create_directory(projectFolder / "image (3).png");
    for (int n = 4; n <= 999; ++n) WriteFileText(projectFolder / ("image (" + std::to_string(n) + ").png"), "x");
    const auto* full = Save("3", R"({"files":[)" + Item(StoreResult(png), "image") + "]}");
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(full->ErrorCode(), "save_failed") << "no free name is a failed write";
    EXPECT_EQ(ReadFileText(projectFolder / "image (999).png"), "x");
    for (const auto& entry : fs::directory_iterator(projectFolder))
        EXPECT_NE(entry.path().extension(), ".tmp") << "no temporary file is left behind";
}

TEST_F(Saving, ANameTakenBetweenTheCheckAndTheRenameIsNeverReplaced) {
    // Another writer (a second save, another program) takes the name after it was found free.
    const std::string other = PngFile(MakeBitmap(4, 1, [](int, int) { return 0xFF0000FFu; }), false);
    const std::string payload = R"({"files":[)" + Item(StoreResult(png), "same") + "]}";
    FaultyFiles files;
    files.BeforeNextRenameNoReplace([&](const std::string& to) { WriteFileText(to, other); });
    const auto* reply = Save("a", payload);
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(reply->json, R"({"id":"a","ok":true,"result":{"saved":1,"folderName":"Projetos"}})");
    EXPECT_EQ(ReadFileText(projectFolder / "same.png"), other);
    EXPECT_EQ(ReadFileText(projectFolder / "same (2).png"), png);
    EXPECT_EQ(Names(projectFolder), (std::vector<std::string>{"same (2).png", "same.png"}));
}

TEST_F(Saving, AnItemWhoseReadFailsByExceptionIsAFailedWriteAndTheOthersAreSaved) {
    const std::string second = PngFile(MakeBitmap(2, 2, [](int, int) { return 0xFF00FF00u; }), false);
    const std::string third = PngFile(MakeBitmap(1, 2, [](int, int) { return 0xFF0000FFu; }), false);
    const std::string payload = "{\"files\":[" + Item(StoreResult(png), "one") + "," + Item(StoreResult(second), "two") +
                                "," + Item(StoreResult(third), "three") + "]}";
    FaultyFiles files;
    files.ThrowAt(FileCall::OpenRead, 2);  // no memory to read the second source
    const auto* reply = Save("x", payload);
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(files.Failed(FileCall::OpenRead), 1);
    EXPECT_EQ(reply->json, R"({"id":"x","ok":true,"result":{"saved":2,"folderName":"Projetos"}})");
    EXPECT_EQ(Names(projectFolder), (std::vector<std::string>{"one.png", "three.png"}));
    const auto& launches = h.host().launcher.launches;
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].parameters, "/select,\"" + (projectFolder / "one.png").string() + "\"");

    // Every read failing so: nothing is saved, and the reply is a failed write's.
    files.ThrowAt(FileCall::OpenRead, 1);
    const auto* none = Save("y", "{\"files\":[" + Item(StoreResult(png), "four") + "]}");
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none->ErrorCode(), "save_failed");
}

TEST_F(Saving, ASaveRemovesTheTemporaryFilesAnEarlierCrashLeftInItsFolder) {
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(48);
    for (const char* name : {"tohA1B2.tmp", "toh12345.tmp", "notes.tmp"}) {
        WriteFileText(projectFolder / name, "partial");
        fs::last_write_time(projectFolder / name, old);
    }
    WriteFileText(projectFolder / "toh9.tmp", "a save writing right now");
    ASSERT_TRUE(Save("s", R"({"files":[)" + Item(StoreResult(png), "render") + "]}")->Ok());
    EXPECT_EQ(Names(projectFolder),
              (std::vector<std::string>{"notes.tmp", "render.png", "toh12345.tmp", "toh9.tmp"}));
}

TEST_F(Saving, ItemsThatCannotBeFetchedOrWrittenDecideTheReplyOnlyWhenNothingIsSaved) {
    const std::string gone = "res-0123456789abcdef0123456789abcdef";
    const auto* one = Save("one", "{\"files\":[" + Item(gone, "a") + "," + Item(StoreResult(png), "b") + "]}");
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->json, R"({"id":"one","ok":true,"result":{"saved":1,"folderName":"Projetos"}})");

    // A number is an item with no source; the last failed fetch gives the code.
    const auto* none = Save("none", "{\"files\":[" + Item(gone, "a") + ",42]}");
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(none->ErrorCode(), "invalid_request");
    EXPECT_EQ(ErrorReason(*none), "");

    // Only writes failed: "save_failed".
    FaultyFiles files;
    files.FailAt(FileCall::RenameNoReplace, 1, true);
    const auto* unwritten = Save("w", "{\"files\":[" + Item(StoreResult(png), "c") + "]}");
    ASSERT_NE(unwritten, nullptr);
    EXPECT_EQ(unwritten->ErrorCode(), "save_failed");
    // A fetch failure before a failed write still names the reply.
    const auto* mixed = Save("m", "{\"files\":[" + Item(gone, "d") + "," + Item(StoreResult(png), "e") + "]}");
    ASSERT_NE(mixed, nullptr);
    EXPECT_EQ(mixed->ErrorCode(), "missing_file");
    EXPECT_FALSE(fs::exists(projectFolder / "c.png"));
    EXPECT_EQ(h.host().launcher.launches.size(), 1u) << "Explorer only for a save that saved something";
}

TEST_F(Saving, RequestsWithoutFilesAreAnsweredAtOnce) {
    EXPECT_EQ(Save("x", "{}")->ErrorCode(), "invalid_request");
    EXPECT_EQ(Save("y", R"({"files":{"a":1}})")->ErrorCode(), "invalid_request");
    EXPECT_EQ(Save("z", R"({"files":[]})")->json, R"({"id":"z","ok":true,"result":{"saved":0}})");
    EXPECT_TRUE(h.host().launcher.launches.empty());
}

TEST(SavingUnsaved, AnUntitledProjectAsksForAFolderAndACancelIsNoError) {
    Harness h;
    h.Post(Request("c", "saveFiles", R"({"files":[{"fileRef":"x"}]})"));
    const auto* cancelled = RunUntilReply(h, "c");
    ASSERT_NE(cancelled, nullptr);
    EXPECT_EQ(cancelled->json, R"({"id":"c","ok":true,"result":{"cancelled":true,"saved":0}})");
    EXPECT_NE(LogText(h).find("saveFiles cancelled\r\n"), std::string::npos);
    ASSERT_EQ(h.host().dialogs.shownFolderDialogs.size(), 1u);
    const auto& shown = h.host().dialogs.shownFolderDialogs[0];
    EXPECT_EQ(shown.owner, h.palette().Window().Handle());
    EXPECT_EQ(shown.options, h.host().dialogs.folderDialogOptions | 0x20u | 0x40u);

    const fs::path chosen = h.folders().root() / "Escolhida";
    fs::create_directories(chosen);
    h.host().dialogs.folderAnswers.push_back(chosen.string());
    h.Post(Request("p", "saveFiles", "{\"files\":[" + Item(StoreResult("GIF89a"), "anim") + "]}"));
    const auto* picked = RunUntilReply(h, "p");
    ASSERT_NE(picked, nullptr);
    EXPECT_EQ(ResultString(*picked, "folderName"), "Escolhida");
    EXPECT_FALSE(h.palette().Pump().ModalOpen());
    EXPECT_EQ(ReadFileText(chosen / "anim.gif"), "GIF89a");
}

}  // namespace
