// The simulator's command from outside: "listViews" and "capture" posted as request lines, a
// later line using an earlier reply's value, and the captured JPEG found in the store through
// its file reference, and the self-test run from outside with --run-for. POSIX: the simulator
// runs as a child process.
#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <cstdio>
#include <map>
#include <regex>
#include <sstream>

#include "handlers/views/Picture.h"
#include "store/FileStore.h"
#include "views/ViewsHarness.h"

namespace {

// Runs the simulator on the request lines; its standard output's lines.
std::vector<std::string> RunSimulator(const ScratchFolders& folders, const std::string& requests,
                                      const std::string& options) {
    const std::string file = (folders.root() / "requests.txt").string();
    WriteFileText(file, requests);
    const std::string command = "XDG_DATA_HOME='" + folders.dataRoot().string() + "' XDG_CONFIG_HOME='" +
                                folders.configRoot().string() + "' '" TOVR_SIM "' requests '" + file + "' " + options;
    std::vector<std::string> lines;
    FILE* out = ::popen(command.c_str(), "r");
    if (out == nullptr) return lines;
    std::string line;
    for (int c; (c = std::fgetc(out)) != EOF;) {
        if (c != '\n') {
            line.push_back(static_cast<char>(c));
            continue;
        }
        lines.push_back(line);
        line.clear();
    }
    EXPECT_EQ(::pclose(out), 0) << command;
    return lines;
}

// The results of the successful replies by id.
std::map<std::string, std::string> FileRefs(const std::vector<std::string>& lines) {
    std::map<std::string, std::string> refs;
    for (const std::string& line : lines) {
        rapidjson::Document reply;
        reply.Parse(line.data(), line.size());
        if (reply.HasParseError() || !reply.IsObject() || !reply.HasMember("result")) continue;
        refs[Text(reply, "id")] = Text(reply["result"], "fileRef");
    }
    return refs;
}

TEST(SimCommand, ACapturedJpegInTheStoreShowsTheHouse) {
    ScratchFolders folders;
    const std::vector<std::string> lines = RunSimulator(folders,
                                                        "{\"id\":\"list\",\"type\":\"listViews\"}\n"
                                                        "{\"id\":\"current\",\"type\":\"capture\",\"payload\":{\"viewId\":\"current\"}}\n"
                                                        "{\"id\":\"entrance\",\"type\":\"capture\",\"payload\":{\"viewId\":"
                                                        "{{list.result.views.3.id}}}}\n",
                                                        "--window-size 800x600");
    ASSERT_EQ(lines.size(), 3u);
    const auto refs = FileRefs(lines);
    SimModel house;
    ASSERT_TRUE(MakeSampleProject("house", &house));
    Projection3D entrance;
    entrance.perspective = true;
    entrance.camera = house.FindElement(SimGuid("Casa exemplo/element/camera/entrada"))->camera;
    for (const auto& [id, projection] : {std::pair{std::string("current"), house.startProjection},
                                         std::pair{std::string("entrance"), entrance}}) {
        ASSERT_TRUE(IsValidFileRef(refs.at(id))) << id;
        std::string jpeg;
        ASSERT_TRUE(LoadFileRef(refs.at(id), &jpeg, kMaxCaptureBytes)) << id;
        const Bitmap picture = DecodePicture(jpeg);
        EXPECT_EQ(picture.width, 1600) << id;
        EXPECT_EQ(picture.height, 1200) << id;
        EXPECT_TRUE(OvraViews::HasImageContent(picture)) << id;
        // Against the same camera's view of an empty model, much of the picture is the house.
        EXPECT_GT(ShareDiffering(picture, EmptyScene(projection, 1600, 1200)), 0.1) << id;
    }
    // Each picture is its own camera's: where the model's two views differ, each capture is
    // nearer the view it asked for than the other.
    const Bitmap currentView = Scene(house, house.startProjection, 1600, 1200);
    const Bitmap entranceView = Scene(house, entrance, 1600, 1200);
    std::string jpeg;
    ASSERT_TRUE(LoadFileRef(refs.at("current"), &jpeg, kMaxCaptureBytes));
    EXPECT_GT(ShareNearerTheFirst(DecodePicture(jpeg), currentView, entranceView), 0.9);
    ASSERT_TRUE(LoadFileRef(refs.at("entrance"), &jpeg, kMaxCaptureBytes));
    EXPECT_GT(ShareNearerTheFirst(DecodePicture(jpeg), entranceView, currentView), 0.9);
}

TEST(SimCommand, TheFrontWindowAndEventLoopOptionsReachTheCapture) {
    ScratchFolders folders;
    const std::vector<std::string> lines =
        RunSimulator(folders, "{\"id\":\"c\",\"type\":\"capture\",\"payload\":{\"viewId\":\"current\"}}\n",
                     // The 3D window draws by the first turn, before the capture is posted.
                     "--front 3d --refuse-event-loop --window-size 2000x1000 --draw-delay 0");
    ASSERT_EQ(lines.size(), 1u);
    std::string jpeg;
    ASSERT_TRUE(LoadFileRef(FileRefs(lines).at("c"), &jpeg, kMaxCaptureBytes));
    const Bitmap picture = DecodePicture(jpeg);
    EXPECT_EQ(picture.width, 2000);
    EXPECT_EQ(picture.height, 1000);
    const std::string log = ReadFileText(folders.dataFolder() / "host.log");
    EXPECT_NE(log.find("event loop call -2130312312"), std::string::npos);
    EXPECT_EQ(log.find("capture restore"), std::string::npos) << "the 3D window was in front";
}

// Signed in, with paid calls blocked: the self-test starts 8 simulated seconds after the palette
// opens, every step 0 to 12 is answered and logged once and in order, and the run ends.
TEST(SimCommand, TheSelfTestRunsWholeFromOutsideWhileTheHostLoopRunsOn) {
    ScratchFolders folders;
    ScopedEnvironment selfTest("TAMSEL_OVRA_SELFTEST", "1");
    ScopedEnvironment blockPaid("TAMSEL_OVRA_BLOCK_PAID", "1");
    EXPECT_TRUE(RunSimulator(folders, "", "--run-for 60 --signed-in").empty()) << "no request of the page's own";
    std::vector<std::string> lines;
    std::istringstream log(ReadFileText(folders.dataFolder() / "host.log"));
    for (std::string line; std::getline(log, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > 13 && line.compare(13, 8, "SELFTEST") == 0) lines.push_back(line.substr(13));
    }
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "SELFTEST done");
    const std::regex step("SELFTEST selftest-([0-9]+) (OK|ERROR) .*");
    std::vector<int> steps;
    for (const std::string& line : lines) {
        std::smatch m;
        if (std::regex_match(line, m, step)) steps.push_back(std::stoi(m[1]));
    }
    EXPECT_EQ(steps, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    for (const std::string& line : lines) {
        if (line.rfind("SELFTEST selftest-0 ", 0) == 0) {
            EXPECT_NE(line.find("\"authenticated\":true"), std::string::npos) << line;
        } else if (line.rfind("SELFTEST selftest-2 ", 0) == 0) {
            EXPECT_EQ(line.rfind("SELFTEST selftest-2 OK {\"fileRef\":\"cap-", 0), 0u) << line;
        } else if (line.rfind("SELFTEST selftest-12 ", 0) == 0) {
            EXPECT_EQ(line.rfind("SELFTEST selftest-12 ERROR {\"code\":\"blocked\"", 0), 0u) << line;
        }
    }
}
}  // namespace
