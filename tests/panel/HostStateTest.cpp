// Host state through the bridge: the UI language, getState's exact text and setState's files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "handlers/state/HostState.h"
#include "panel/Language.h"
#include "platform/Locale.h"
#include "platform/Utf.h"
#include "store/StateFiles.h"
#include "support/Harness.h"

namespace fs = std::filesystem;

namespace {

const std::string kHost = R"("host":{"app":"archicad","appVersion":"30","platform":"win","lang":"en",)"
                          R"("pluginVersion":"1.1.0","capabilities":{"record":false,"previewPath":false,)"
                          R"("pickFile":true,"place":true,"saveFiles":true,"batches":false}})";

std::string Result(const Harness& h, const std::string& id) {
    const auto* reply = h.OnlyReplyTo(id);
    if (reply == nullptr) return {};
    const std::string prefix = "{\"id\":\"" + id + "\",\"ok\":true,\"result\":";
    EXPECT_EQ(reply->json.rfind(prefix, 0), 0u) << reply->json;
    return reply->json.substr(prefix.size(), reply->json.size() - prefix.size() - 1);
}

#if defined(_WIN32)
// A Windows process cannot change its user's locale: the testing override stands in for it.
class Locale {
public:
    explicit Locale(const char* value) {
        SetUserLocaleNameForTesting(value != nullptr ? Utf8ToUtf16(value) : std::u16string());
    }
    ~Locale() { SetUserLocaleNameForTesting(std::nullopt); }
};
#else
// Sets the locale variables for one case and restores them after.
class Locale {
public:
    explicit Locale(const char* value) {
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
            const char* old = std::getenv(name);
            saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
            ::unsetenv(name);
        }
        if (value != nullptr) ::setenv("LANG", value, 1);
    }
    ~Locale() {
        for (const auto& [name, value] : saved_)
            value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};
#endif

TEST(UiLanguage, HostCodesFirstThenTheUsersLocale) {
    struct Case {
        const char* code;
        const char* locale;
        const char16_t* expected;
    } cases[] = {
        {"ESP", "en_US.UTF-8", u"es"}, {"SPA", nullptr, u"es"},        {"BRA", "de_DE", u"pt-BR"},
        {"POR", nullptr, u"pt-BR"},    {"PTB", nullptr, u"pt-BR"},     {"PTG", nullptr, u"pt-BR"},
        {"INT", "pt-PT", u"pt-BR"},    {"GER", "de-DE", u"en"},        {"INT", "es_AR.UTF-8", u"es"},
        {"esp", "en", u"en"},          {"INT", "PT-BR", u"en"},        {"ENG", nullptr, u"en"},
    };
    for (const auto& c : cases) {
        Locale locale(c.locale);
        SelectUiLanguage(c.code);
        EXPECT_EQ(uiLanguage, c.expected) << c.code << " " << (c.locale ? c.locale : "(none)");
    }
    uiLanguage = u"en";
}

#if !defined(_WIN32)
// The POSIX locale comes from the environment; Windows asks the system.
TEST(UiLanguage, TheFirstSetLocaleVariableDecides) {
    Locale locale(nullptr);
    ::setenv("LANG", "pt_BR", 1);
    ::setenv("LC_MESSAGES", "es_ES", 1);
    SelectUiLanguage("INT");
    EXPECT_EQ(uiLanguage, u"es");
    ::setenv("LC_ALL", "de_DE", 1);
    SelectUiLanguage("INT");
    EXPECT_EQ(uiLanguage, u"en");
    uiLanguage = u"en";
}
#endif

TEST(GetState, ASignedOutUntitledProject) {
    Harness h;
    h.Post(Request("g", "getState"));
    EXPECT_EQ(Result(h, "g"), R"({"state":{},"session":{"authenticated":false,"reason":null,"projectName":"Untitled"},)" +
                                  kHost + R"(,"model":{"fileName":"","title":""}})");
}

TEST(GetState, ASignedInSavedProjectWhoseFolderExists) {
    Harness h(false);
    const fs::path folder = h.folders().root() / "Projetos Ção";
    fs::create_directories(folder);
    h.host().project = {false, false, (folder / "Casa \"Nova\".pln").string(), "Casa \"Nova\""};
    h.host().OpenPaletteFromMenu();
    h.palette().SignInState().SignIn(SecretString("token"));
    h.Post(Request("g", "getState"));
    EXPECT_EQ(Result(h, "g"),
              R"({"state":{},"session":{"authenticated":true,"reason":null,"projectName":"Casa \"Nova\""},)" + kHost +
                  R"(,"model":{"fileName":"Casa \"Nova\".pln","title":"Casa \"Nova\""}})");
}

TEST(GetState, ARevokedSessionAndAProjectWhoseFolderIsGone) {
    Harness h(false);
    h.host().project = {false, false, "/no/such/folder/house.pln", "house"};
    h.host().OpenPaletteFromMenu();
    h.palette().SignInState().SignIn(SecretString("revoked-token"));
    h.palette().SignInState().Revoke(SecretString("revoked-token"));
    h.Post(Request("g", "getState"));
    EXPECT_EQ(Result(h, "g"), R"({"state":{},"session":{"authenticated":false,"reason":"revoked","projectName":"house"},)" +
                                  kHost + R"(,"model":{"fileName":"house.pln","title":""}})");
}

TEST(GetState, AFailingProjectQuery) {
    Harness h(false);
    h.host().project.queryFails = true;
    h.host().OpenPaletteFromMenu();
    EXPECT_EQ(h.palette().PageProjectKey(), "none");
    h.Post(Request("g", "getState"));
    EXPECT_EQ(Result(h, "g"), R"({"state":{},"session":{"authenticated":false,"reason":null,"projectName":"Archicad"},)" +
                                  kHost + R"(,"model":{"fileName":"","title":""}})");
}

TEST(SetState, RefusesAStateThatIsNotAnObject) {
    Harness h;
    h.palette().SignInState().SignIn(SecretString("token"));
    for (const char* payload : {R"({"state":[1]})", R"({"state":"x"})", R"({})", R"([1])"})
        h.Post(Request(payload, "setState", payload));
    h.Post(R"({"id":"none","type":"setState"})");
    for (const auto& m : h.page().Messages()) EXPECT_EQ(m.ErrorCode(), "invalid_request") << m.json;
    EXPECT_EQ(h.page().Messages().size(), 5u);
}

TEST(SetState, SignedOutItAnswersOkAndWritesNothing) {
    Harness h;
    h.Post(Request("s", "setState", R"({"state":{}})"));
    EXPECT_EQ(Result(h, "s"), "{}");
    EXPECT_FALSE(ReadStateFile(h.palette().PageProjectKey()).has_value());
}

TEST(SetState, SignedInTheStateIsKeptPerProjectWithTenDecimalPlaces) {
    Harness h;
    h.palette().SignInState().SignIn(SecretString("token"));
    h.Post(Request("s", "setState", R"({"state":{"zoom":0.1234567890123,"views":["a b",{"n":null}],"big":1e21}})"));
    EXPECT_EQ(Result(h, "s"), "{}");
    h.Post(Request("g", "getState"));
    EXPECT_EQ(Result(h, "g").rfind(R"({"state":{"zoom":0.123456789,"views":["a b",{"n":null}],"big":1e21},)", 0), 0u)
        << Result(h, "g");
    // The file is named by the key's hash.
    char name[32];
    std::snprintf(name, sizeof name, "%016llx.json", static_cast<unsigned long long>(ProjectKeyHash("untitled:Untitled")));
    EXPECT_TRUE(fs::exists(h.folders().dataFolder() / "state" / name));
    // Another project sees its own, empty state.
    h.host().project = {false, false, "/p/other.pln", "other"};
    h.host().SendProjectEvent(4);
    h.host().Advance(std::chrono::milliseconds(100));
    h.Post(Request("g2", "getState"));
    EXPECT_EQ(Result(h, "g2").rfind(R"({"state":{},)", 0), 0u);
}

TEST(SetState, AStateWithANumberPastTheLargestDoubleIsRefusedAndTheOldOneStays) {
    // The parser reads 1.8e308 as infinity, which JSON cannot spell: written out, the state was
    // cut short at that number and read back as no state at all.
    Harness h;
    h.palette().SignInState().SignIn(SecretString("token"));
    h.Post(Request("s1", "setState", R"({"state":{"kept":true}})"));
    h.Post(Request("s2", "setState", R"({"state":{"zoom":1.8e308}})"));
    h.Post(Request("s3", "setState", R"({"state":{"list":[1,-123456789012345678e301]}})"));
    EXPECT_EQ(h.OnlyReplyTo("s2")->ErrorCode(), "invalid_request");
    EXPECT_EQ(h.OnlyReplyTo("s3")->ErrorCode(), "invalid_request");
    EXPECT_EQ(ReadStateFile(h.palette().PageProjectKey()).value_or(""), R"({"kept":true})");
}

TEST(SetState, AFailedWriteIsSaveFailed) {
    Harness h;
    h.palette().SignInState().SignIn(SecretString("revoked-token"));
    h.palette().SignInState().Revoke(SecretString("revoked-token"));
    fs::remove_all(h.folders().dataRoot());
    WriteFileText(h.folders().dataRoot(), "not a folder");
    h.Post(Request("s", "setState", R"({"state":{"a":1}})"));
    EXPECT_EQ(h.OnlyReplyTo("s")->ErrorCode(), "save_failed");
}

TEST(StateFiles, StoredTextComesBackAsStoredWhenItIsAnObject) {
    Harness h;
    WriteFileText(StateFilePath(h.palette().PageProjectKey()), "{ \"spaced\" : 1 }");
    h.Post(Request("g", "getState"));
    EXPECT_EQ(Result(h, "g").rfind(R"({"state":{ "spaced" : 1 },)", 0), 0u);
    int n = 0;
    for (const char* bad : {"[1,2]", "{\"cut\":", "", "null"}) {
        WriteFileText(StateFilePath(h.palette().PageProjectKey()), bad);
        const std::string id = "bad" + std::to_string(n++);
        h.Post(Request(id, "getState"));
        EXPECT_EQ(Result(h, id).rfind(R"({"state":{},)", 0), 0u) << bad;
    }
}

TEST(StateFiles, AStrayByteOrByteOrderMarkBeforeTheObjectIsNotSpliced) {
    Harness h;
    const std::string path = StateFilePath(h.palette().PageProjectKey());
    int n = 0;
    for (const std::string& bad : {std::string("\xEF{\"a\":1}"), std::string("\xEF\xBB\xBF{\"a\":1}")}) {
        WriteFileText(path, bad);
        const std::string id = "g" + std::to_string(n++);
        h.Post(Request(id, "getState"));
        // The reply still reaches the page as a parsed object, with an empty state.
        EXPECT_EQ(Result(h, id).rfind(R"({"state":{},)", 0), 0u);
        EXPECT_EQ(ReadFileText(path), bad) << "the stored file is left as it is";
    }
}

TEST(StateFiles, TextAfterANulByteIsNotSpliced) {
    // The parser reads a NUL byte as the end of the text, so it would pass the object before it
    // and leave the rest to be spliced into the reply's script unread.
    Harness h;
    const std::string path = StateFilePath(h.palette().PageProjectKey());
    int n = 0;
    for (const std::string& bad : {std::string("{}\0\x0e", 4), std::string("{\"a\":1}\0);alert(1);//", 21)}) {
        WriteFileText(path, bad);
        const std::string id = "nul" + std::to_string(n++);
        h.Post(Request(id, "getState"));
        EXPECT_EQ(Result(h, id).rfind(R"({"state":{},)", 0), 0u);
    }
}

TEST(SetState, AStateLongerThanTheReadLimitIsSaveFailedAndTheOldOneStays) {
    Harness h;
    h.palette().SignInState().SignIn(SecretString("token"));
    h.Post(Request("s1", "setState", R"({"state":{"kept":true}})"));
    ASSERT_EQ(Result(h, "s1"), "{}");
    // {"x":"…"} with 64 MiB of text inside serialises past 67,108,864 bytes.
    const std::string big = R"({"state":{"x":")" + std::string(67108864, 'a') + R"("}})";
    h.Post(Request("s2", "setState", big));
    EXPECT_EQ(h.OnlyReplyTo("s2")->ErrorCode(), "save_failed");
    h.Post(Request("g", "getState"));
    EXPECT_EQ(Result(h, "g").rfind(R"({"state":{"kept":true},)", 0), 0u);
}

TEST(StateFiles, FileNamesForKnownKeys) {
    // Computed outside the add-on: FNV-1a over the UTF-8 bytes with the basis 0x14650fb0739d0383.
    const struct {
        const char* key;
        const char* name;
    } cases[] = {{"untitled:Untitled", "cf56534cece6bb1d.json"},
                 {"file:/Projetos/Casa \xC3\x87\xC3\xA3o.pln", "ca5ad589b79c705a.json"},
                 {"untitled:Sem t\xC3\xADtulo", "2fc28483db893841.json"}};
    ScratchFolders folders;
    for (const auto& c : cases)
        EXPECT_EQ(fs::path(StateFilePath(c.key)).filename().string(), c.name) << c.key;
}

TEST(StateFiles, HashesAreFnv1aWithTheirOwnBasis) {
    EXPECT_EQ(ProjectKeyHash(""), 0x14650fb0739d0383ull);
    // One step by hand: (basis ^ 'a') * prime mod 2^64.
    EXPECT_EQ(ProjectKeyHash("a"), (0x14650fb0739d0383ull ^ 0x61) * 0x100000001b3ull);
    EXPECT_NE(ProjectKeyHash("file:a"), ProjectKeyHash("file:b"));
}

TEST(StateFiles, DeletingRemovesEveryStateFileAndNothingElse) {
    ScratchFolders folders;
    ASSERT_TRUE(WriteStateFile("file:a", "{}"));
    ASSERT_TRUE(WriteStateFile("file:b", "{}"));
    const fs::path state = folders.dataFolder() / "state";
    WriteFileText(state / "notes.txt", "keep");
    fs::create_directories(state / "folder.json");
    DeleteStateFiles();
    EXPECT_FALSE(ReadStateFile("file:a").has_value());
    EXPECT_FALSE(ReadStateFile("file:b").has_value());
    EXPECT_TRUE(fs::exists(state / "notes.txt"));
    EXPECT_TRUE(fs::is_directory(state / "folder.json"));
}

}  // namespace
