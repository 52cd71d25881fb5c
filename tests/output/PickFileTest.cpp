// Picking a file: the filters offered for the accepted kinds in each language, the dialog's
// settings, the link entry and the reply.
#include <gtest/gtest.h>

#include <filesystem>

#include "output/OutputTestSupport.h"
#include "panel/Language.h"
#include "store/FileStore.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

const std::u16string kVideos = u"Videos (*.avi;*.mp4;*.mov;*.wmv;*.mkv;*.webm)\0*.avi;*.mp4;*.m4v;*.mov;*.wmv;*.mkv;*.webm\0"s;
const std::u16string kImages = u"Images (*.jpg;*.png;*.webp)\0*.jpg;*.jpeg;*.png;*.webp\0"s;
const std::u16string kAll = u"All files (*.*)\0*.*\0"s;

// Sets the UI language for the life of the object.
class LanguageScope {
public:
    explicit LanguageScope(std::u16string language) : saved_(uiLanguage) { uiLanguage = std::move(language); }
    ~LanguageScope() { uiLanguage = saved_; }
    LanguageScope(const LanguageScope&) = delete;
    LanguageScope& operator=(const LanguageScope&) = delete;

private:
    std::u16string saved_;
};

class Picking : public ::testing::Test {
protected:
    const ScriptedPage::Message* Pick(const std::string& id, const std::string& payload) {
        h.Post(Request(id, "pickFile", payload));
        return RunUntilReply(h, id);
    }
    const FileDialogRequest& LastShown() { return h.host().dialogs.shownFileDialogs.back(); }
    Harness h;
};

TEST_F(Picking, TheFiltersFollowTheAcceptedKinds) {
    const LanguageScope english(u"en");
    struct Case {
        const char* payload;
        std::u16string filters;
    } cases[] = {
        {R"({"accept":["video/*"]})", kVideos + kAll + u'\0'},
        {R"({"accept":["image/png","video/mp4"]})", kVideos + kImages + kAll + u'\0'},
        {R"({"accept":["image/png","image/jpeg",3]})", kImages + kAll + u'\0'},
        {R"({"accept":["Video/mp4","video","IMAGE/png"]})", kAll + u'\0'},
        {R"({"accept":"image/png"})", kAll + u'\0'},
        {R"({"accept":[]})", kAll + u'\0'},
        {"{}", kAll + u'\0'},
        {"", kAll + u'\0'},
    };
    int n = 0;
    for (const Case& c : cases) {
        ASSERT_NE(Pick(std::string("f").append(std::to_string(n++)), c.payload), nullptr) << c.payload;
        EXPECT_EQ(LastShown().filterList, c.filters) << c.payload;
    }
    // The dialog's own settings: one existing file, the current folder kept, a 1040-unit buffer.
    EXPECT_EQ(LastShown().flags, 0x81808u);
    EXPECT_EQ(LastShown().bufferUnits, 1040u);
    EXPECT_EQ(LastShown().owner, h.palette().Window().Handle());
}

TEST_F(Picking, TheLabelsFollowTheUiLanguage) {
    {
        const LanguageScope spanish(u"es");
        Pick("es", R"({"accept":["image/webp","video/webm"]})");
        EXPECT_EQ(LastShown().filterList,
                  u"Videos (*.avi;*.mp4;*.mov;*.wmv;*.mkv;*.webm)\0*.avi;*.mp4;*.m4v;*.mov;*.wmv;*.mkv;*.webm\0"
                  u"Im\u00e1genes (*.jpg;*.png;*.webp)\0*.jpg;*.jpeg;*.png;*.webp\0"
                  u"Todos los archivos (*.*)\0*.*\0\0"s);
    }
    const LanguageScope portuguese(u"pt-BR");
    Pick("pt", R"({"accept":["video/mp4","image/png"]})");
    EXPECT_EQ(LastShown().filterList.substr(0, 7), u"V\u00eddeos ");
    EXPECT_NE(LastShown().filterList.find(u"\0Imagens (*.jpg;*.png;*.webp)\0"s), std::u16string::npos);
    EXPECT_NE(LastShown().filterList.find(u"\0Todos os arquivos (*.*)\0*.*\0\0"s), std::u16string::npos);
}

TEST_F(Picking, AChosenFileIsLinkedNotCopiedAndDescribed) {
    const fs::path clip = h.folders().root() / "Clips" / "Walk.M4V";
    WriteFileText(clip, std::string(1234, 'v'));
    h.host().dialogs.fileAnswers.push_back(clip.string());
    const auto* reply = Pick("walk", R"({"accept":["video/mp4"]})");
    ASSERT_NE(reply, nullptr);
    const std::string ref = ResultString(*reply, "fileRef");
    ASSERT_TRUE(IsValidFileRef(ref)) << ref;
    EXPECT_EQ(ref.substr(0, 5), "pick-");
    EXPECT_EQ(reply->json, R"({"id":"walk","ok":true,"result":{"fileRef":")" + ref +
                               R"(","name":"Walk.M4V","contentType":"video/mp4","sizeBytes":1234}})");
    EXPECT_EQ(ReadFileText(FileRefPath(ref, ".link")).find(clip.string()), 0u) << "the entry holds the path";
    EXPECT_FALSE(fs::exists(FileRefPath(ref, ".dat"))) << "no copy";
    std::string bytes;
    ASSERT_TRUE(LoadFileRef(ref, &bytes, kMaxSourceBytes));
    EXPECT_EQ(bytes.size(), 1234u);
    EXPECT_NE(LogText(h).find("pickFile ok\r\n"), std::string::npos);
}

TEST_F(Picking, ANameWithoutExtensionIsOctetStreamAndAnUnreadableSizeIsZero) {
    const fs::path plain = h.folders().root() / "LEIAME";
    WriteFileText(plain, "abc");
    h.host().dialogs.fileAnswers.push_back(plain.string());
    const auto* reply = Pick("plain", "{}");
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(ResultString(*reply, "name"), "LEIAME");
    EXPECT_EQ(ResultString(*reply, "contentType"), "application/octet-stream");
    EXPECT_NE(reply->json.find("\"sizeBytes\":3}"), std::string::npos);

    h.host().dialogs.fileAnswers.push_back((h.folders().root() / "vanished.png").string());
    const auto* vanished = Pick("vanished", "{}");
    ASSERT_NE(vanished, nullptr);
    EXPECT_EQ(ResultString(*vanished, "contentType"), "image/png");
    EXPECT_NE(vanished->json.find("\"sizeBytes\":0}"), std::string::npos);
}

TEST_F(Picking, ACancelledOrFailedDialogAnswersNull) {
    const auto* cancelled = Pick("c", R"({"accept":["image/png"]})");
    ASSERT_NE(cancelled, nullptr);
    EXPECT_EQ(cancelled->json, R"({"id":"c","ok":true,"result":null})");
    // A path longer than the dialog's buffer fails the dialog; its error code is logged.
    h.host().dialogs.fileAnswers.push_back(std::string(1040, 'p'));
    const auto* failed = Pick("f", "{}");
    ASSERT_NE(failed, nullptr);
    EXPECT_EQ(failed->json, R"({"id":"f","ok":true,"result":null})");
    const std::string log = LogText(h);
    EXPECT_NE(log.find("pickFile dialog error 12291\r\n"), std::string::npos);
    EXPECT_NE(log.find("pickFile cancelled\r\n"), std::string::npos);
    EXPECT_FALSE(h.palette().Pump().ModalOpen());
}

TEST_F(Picking, ALinkThatCannotBeWrittenIsSaveFailed) {
    const fs::path file = h.folders().root() / "a.png";
    WriteFileText(file, "x");
    fs::remove_all(h.folders().dataFolder() / "files");
    WriteFileText(h.folders().dataFolder() / "files", "a file where the store's folder should be");
    h.host().dialogs.fileAnswers.push_back(file.string());
    const auto* reply = Pick("s", "{}");
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(reply->ErrorCode(), "save_failed");
}

}  // namespace
