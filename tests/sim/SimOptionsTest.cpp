// The simulator's command line: options before or after FILE, each option's values, the
// messages for what it refuses, and the files it writes at exit.
#include <gtest/gtest.h>

#include "platform/Utf.h"
#include "sim/SimOptions.h"
#include "support/Harness.h"

namespace {

bool Parse(std::vector<std::string> args, SimOptions* o, std::string* error) {
    args.insert(args.begin(), "tamsel-sim");
    return ParseSimOptions(args, o, error);
}

TEST(SimOptionsParse, OptionsStandBeforeOrAfterFile) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"requests", "--host-language", "ESP", "cases.txt", "--model", "empty"},
             {"requests", "cases.txt", "--host-language", "ESP", "--model", "empty"},
             {"--model", "empty", "--host-language", "ESP", "requests", "cases.txt"}}) {
        SimOptions o;
        std::string error;
        ASSERT_TRUE(Parse(args, &o, &error)) << error;
        EXPECT_EQ(o.mode, "requests");
        EXPECT_EQ(o.file, "cases.txt");
        EXPECT_EQ(o.hostLanguage, "ESP");
        EXPECT_EQ(o.model, "empty");
    }
    SimOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"requests", "-", "--front", "3d"}, &o, &error)) << error;
    EXPECT_EQ(o.file, "-");
}

TEST(SimOptionsParse, RunForIsACountOfSimulatedSeconds) {
    SimOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"requests", "/dev/null", "--run-for", "60"}, &o, &error)) << error;
    EXPECT_EQ(o.runFor, 60);
    for (const char* bad : {"-1", "ten", ""}) {
        SimOptions refused;
        EXPECT_FALSE(Parse({"requests", "f", "--run-for", bad}, &refused, &error)) << bad;
        EXPECT_EQ(error, "--run-for takes a count of seconds, 0 or more") << bad;
    }
}

TEST(SimOptionsParse, DefaultsAndEveryValue) {
    SimOptions o;
    std::string error;
    ASSERT_TRUE(Parse({}, &o, &error));
    EXPECT_EQ(o.mode, "demo");
    EXPECT_EQ(o.model, "house");
    EXPECT_EQ(o.front, "plan");
    EXPECT_EQ(o.windowWidth, 1200);
    EXPECT_EQ(o.windowHeight, 800);
    EXPECT_EQ(o.drawDelayMs, 1000);
    EXPECT_TRUE(o.untitled) << "no path: an untitled project";

    ASSERT_TRUE(Parse({"demo", "--front", "3d", "--window-size", "1920x1080", "--draw-delay", "2.75",
                       "--refuse-event-loop", "--fail",
                       "GetFrontWindow=0x81060065:once", "--fail", "ListElements=-2130313115", "--project-path",
                       "/p/casa.pln"},
                      &o, &error))
        << error;
    EXPECT_EQ(o.front, "3d");
    EXPECT_EQ(o.windowWidth, 1920);
    EXPECT_EQ(o.windowHeight, 1080);
    EXPECT_EQ(o.drawDelayMs, 2750);
    EXPECT_TRUE(o.refuseEventLoop);
    EXPECT_FALSE(o.untitled) << "a path: a saved project";
    ASSERT_EQ(o.failures.size(), 2u);
    EXPECT_EQ(o.failures[0].operation, "GetFrontWindow");
    EXPECT_EQ(o.failures[0].code, kHostErrNotFound);
    EXPECT_TRUE(o.failures[0].once);
    EXPECT_EQ(o.failures[1].code, kHostErrNotFound);
    EXPECT_FALSE(o.failures[1].once);
}

TEST(SimOptionsParse, TheServiceOptionsAndWhatTheyImply) {
    SimOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"requests", "f"}, &o, &error));
    EXPECT_FALSE(o.service);
    EXPECT_EQ(o.credits, 10);
    for (const char* implying : {"--signed-in", "--approve"}) {
        SimOptions implied;
        ASSERT_TRUE(Parse({implying, "requests", "f", "--credits", "0"}, &implied, &error)) << error;
        EXPECT_TRUE(implied.service) << implying;
        EXPECT_EQ(implied.credits, 0);
    }
    ASSERT_TRUE(Parse({"requests", "--service-record", "out.jsonl", "f", "--service", "--approve", "--signed-in",
                       "--credits", "250"},
                      &o, &error))
        << error;
    EXPECT_EQ(o.file, "f");
    EXPECT_TRUE(o.service && o.approve && o.signedIn);
    EXPECT_EQ(o.credits, 250);
    EXPECT_EQ(o.serviceRecord, "out.jsonl");
}

TEST(SimOptionsParse, BadValuesAreRefusedWithTheirMessage) {
    const std::string kDrawDelay =
        "--draw-delay takes simulated seconds, 0 or more, with at most three decimals (such as 1 or 0.25)";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"requests"}, "requests needs a FILE (or - for standard input)"},
        {{"render"}, "unknown command render"},
        {{"requests", "a", "b"}, "unexpected argument b"},
        {{"--colour"}, "unknown option --colour"},
        {{"--model"}, "--model needs a value"},
        {{"--model", "castle"}, "--model takes house, empty, stairs-only, uniform or many-views"},
        {{"--front", "section"}, "--front takes plan or 3d"},
        {{"--host-language", "ES"}, "--host-language takes a three-letter code"},
        {{"--window-size", "1200"}, "--window-size takes WxH, each from 1 to 8192, such as 1200x800"},
        {{"--window-size", "0x800"}, "--window-size takes WxH, each from 1 to 8192, such as 1200x800"},
        {{"--window-size", "1200x"}, "--window-size takes WxH, each from 1 to 8192, such as 1200x800"},
        {{"--window-size", "1200x-8"}, "--window-size takes WxH, each from 1 to 8192, such as 1200x800"},
        {{"--window-size", "9000x800"}, "--window-size takes WxH, each from 1 to 8192, such as 1200x800"},
        {{"--draw-delay"}, "--draw-delay needs a value"},
        {{"--draw-delay", "-1"}, kDrawDelay},
        {{"--draw-delay", "0.1234"}, kDrawDelay},
        {{"--draw-delay", "1s"}, kDrawDelay},
        {{"--fail", "GetFrontWindow"}, "--fail takes OP=CODE[:once]"},
        {{"--fail", "OpenDoor=1"}, "--fail: unknown host operation OpenDoor"},
        {{"--fail", "GetFrontWindow=0"}, "--fail: 0 is not a non-zero 32-bit error code"},
        {{"--fail", "GetFrontWindow=0x1FFFFFFFF"}, "--fail: 0x1FFFFFFFF is not a non-zero 32-bit error code"},
        {{"--fail", "GetFrontWindow=12abc"}, "--fail: 12abc is not a non-zero 32-bit error code"},
        {{"--fail", "GetFrontWindow=5:twice"}, "--fail: only :once may follow the code"},
        {{"--credits"}, "--credits needs a value"},
        {{"--service", "--credits", "-1"}, "--credits takes a count of 0 or more"},
        {{"--service", "--credits", "ten"}, "--credits takes a count of 0 or more"},
        {{"--credits", "5"}, "--credits needs the simulated service (--service, --signed-in or --approve)"},
        {{"--service-record", "r.jsonl", "demo"},
         "--service-record needs the simulated service (--service, --signed-in or --approve)"},
        {{"--service", "--service-record", ""}, "--service-record needs a FILE"},
    };
    for (const auto& [args, message] : cases) {
        SimOptions o;
        std::string error;
        EXPECT_FALSE(Parse(args, &o, &error)) << args.front();
        EXPECT_EQ(error, message);
    }
}

TEST(SimOptionsParse, ErrorCodesInDecimalOrHex) {
    HostError code = 0;
    EXPECT_TRUE(ParseHostErrorCode("0x81060388", &code));
    EXPECT_EQ(code, kHostErrRefused);
    EXPECT_TRUE(ParseHostErrorCode("2164654984", &code)) << "unsigned decimal";
    EXPECT_EQ(code, kHostErrRefused);
    EXPECT_TRUE(ParseHostErrorCode("-2130312312", &code));
    EXPECT_EQ(code, kHostErrRefused);
    for (const char* bad : {"", "0x", "-", "+5", "0x-1", "4294967296", "-2147483649", "1e3", " 5"})
        EXPECT_FALSE(ParseHostErrorCode(bad, &code)) << bad;
}

TEST(SimOptionsApply, SetsModelFrontWindowSizeAndFailures) {
    SimOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"--model", "stairs-only", "--front", "3d", "--window-size", "300x200", "--draw-delay", "0.5",
                       "--fail",
                       "GetStories=77:once", "--refuse-event-loop", "--callbacks-first", "--host-language", "POR"},
                      &o, &error));
    Harness h(false);
    ApplySimOptions(o, h.host());
    EXPECT_EQ(h.host().model.name, "Escada");
    EXPECT_EQ(h.host().languageCode, "POR");
    WindowInfo front;
    ASSERT_EQ(h.host().GetFrontWindow(&front), kHostOk);
    EXPECT_EQ(front.kind, 4);
    WindowRect area;
    ASSERT_TRUE(h.host().windows.GetRect(h.host().drawingArea3D, &area));
    EXPECT_EQ(area.Width(), 300);
    EXPECT_EQ(area.Height(), 200);
    EXPECT_EQ(h.host().frame3D.drawDelay, std::chrono::milliseconds(500));
    EXPECT_TRUE(h.host().frame3D.Waiting()) << "the 3D window brought to the front draws a frame";
    std::vector<StoryInfo> stories;
    EXPECT_EQ(h.host().GetStories(&stories), 77);
    EXPECT_EQ(h.host().GetStories(&stories), kHostOk);
    EXPECT_EQ(h.host().refuseEventLoopCalls, kHostErrRefused);
    EXPECT_TRUE(h.host().callbacksFirst);
}

TEST(SimOptionsParse, ProjectChangesInMillisecondsEarliestFirst) {
    SimOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"requests", "f", "--project-change-at", "2=/p/B.pln", "--project-change-at", "0.25",
                       "--project-change-at", "2=/p/C=D.pln", "--project-change-at", "1.5", "--project-change-at", "0"},
                      &o, &error))
        << error;
    std::vector<std::pair<int64_t, std::string>> changes;
    for (const SimProjectChange& c : o.projectChanges) changes.emplace_back(c.atMs, c.path);
    // Changes at the same second keep their order on the command line; a PATH may hold "=".
    EXPECT_EQ(changes, (std::vector<std::pair<int64_t, std::string>>{
                           {0, ""}, {250, ""}, {1500, ""}, {2000, "/p/B.pln"}, {2000, "/p/C=D.pln"}}));
}

// The host's project as GetProjectInfo reports it, and the add-on told: its page is loaded again
// at the next call-back and names the project opened.
TEST(SimOptionsApply, OpeningAProjectSetsTheHostsProjectAndTellsTheAddOn) {
    const struct {
        const char* path;
        bool untitled;
        const char* name;
    } cases[] = {{"/projetos/Casa Ribeira.pln", false, "Casa Ribeira"},
                 {"C:\\Projetos\\Torre.v2.pln", false, "Torre.v2"},
                 {"/p/Sem extensao", false, "Sem extensao"},
                 {"/p/.pln", false, ".pln"},
                 {"", true, "Untitled"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        Harness h;
        h.host().project.queryFails = true;
        const size_t loads = h.page().Loads().size();
        OpenProjectAt(SimProjectChange{1000, c.path}, h.host());
        ProjectInfo info;
        ASSERT_EQ(h.host().GetProjectInfo(&info), kHostOk);
        EXPECT_EQ(info.untitled, c.untitled);
        EXPECT_EQ(info.hasPath, !c.untitled);
        EXPECT_EQ(info.path, Utf8ToUtf16(c.path));
        EXPECT_EQ(info.name, Utf8ToUtf16(c.name));
        h.host().Turn();
        EXPECT_EQ(h.page().Loads().size(), loads + 1);
        h.host().Turn();
        h.Post(Request("s", "getState"));
        const ScriptedPage::Message* state = h.OnlyReplyTo("s");
        ASSERT_NE(state, nullptr);
        EXPECT_EQ(std::string((*state->document)["result"]["session"]["projectName"].GetString()), c.name);
    }
}

TEST(SimOptionsWrite, TheWorksheetPngIsTheShownWorksheetDrawnElseTheBlankSheet) {
    Harness h(false);
    SimHost& host = h.host();
    const std::filesystem::path file = h.folders().root() / "sheet.png";
    SimOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"requests", "-", "--worksheet-png", file.string()}, &o, &error)) << error;
    EXPECT_EQ(o.worksheetPng, file.string());
    auto drawn = [&host](const HostGuid& sheet) {
        std::vector<uint8_t> png;
        EXPECT_TRUE(host.DrawWorksheetPng(sheet, &png));
        return std::string(png.begin(), png.end());
    };

    ASSERT_TRUE(WriteSimOutputs(o, host, &error)) << error;
    EXPECT_EQ(ReadFileText(file), drawn(HostGuid{})) << "no worksheet: the blank sheet";

    // A worksheet in front with a 4 x 4 picture on it.
    DatabaseInfo sheet{kDatabaseWorksheet, {}, u"Sheet", u"TO"};
    ASSERT_EQ(host.NewDatabase(&sheet), kHostOk);
    ASSERT_EQ(host.ChangeWindow({kDatabaseWorksheet, sheet.databaseGuid}), kHostOk);
    SimPicture picture;
    picture.Allocate(4, 4);
    std::vector<uint8_t> png;
    ASSERT_TRUE(EncodePng(picture, &png));
    PictureElement element;
    ASSERT_EQ(host.GetPictureDefaults(&element), kHostOk);
    element.formatCode = kPictureFormatPng;
    element.xMax = element.yMax = 0.04;
    ElementMemo memo;
    ASSERT_EQ(host.AllocateBlock(png.size(), false, &memo.pictureData), kHostOk);
    std::copy(png.begin(), png.end(), memo.pictureData.data);
    HostGuid created;
    ASSERT_EQ(host.RunUndoable(u"Picture", [&] { return host.CreatePicture(element, memo, &created); }), kHostOk);
    host.ReleaseMemo(&memo);

    ASSERT_TRUE(WriteSimOutputs(o, host, &error)) << error;
    EXPECT_EQ(ReadFileText(file), drawn(sheet.databaseGuid));
    EXPECT_NE(ReadFileText(file), drawn(HostGuid{}));

    o.worksheetPng = (h.folders().root() / "missing" / "sheet.png").string();
    EXPECT_FALSE(WriteSimOutputs(o, host, &error));
    EXPECT_EQ(error, "cannot write " + o.worksheetPng);
}

}  // namespace
