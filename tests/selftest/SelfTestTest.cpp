// The self-test run: armed by the environment, driven by simulated time through idle
// notifications, each reply logged and never sent to the page.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "handlers/selftest/SelfTest.h"
#include "host/HostErrors.h"
#include "support/Harness.h"
#include "support/ScopedEnvironment.h"

namespace {

// The log's messages (time stamps removed) that begin with "SELFTEST".
std::vector<std::string> SelfTestLines(const Harness& h) {
    std::vector<std::string> lines;
    const std::string text = ReadFileText(h.folders().dataFolder() / "host.log");
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find("\r\n", at);
        const std::string line = text.substr(at, end - at);
        if (line.size() > 13 && line.compare(13, 8, "SELFTEST") == 0) lines.push_back(line.substr(13));
        if (end == std::string::npos) break;
        at = end + 2;
    }
    return lines;
}

// Host turns of 100 simulated milliseconds each.
void Turns(Harness& h, int turns) {
    for (int i = 0; i < turns; ++i) h.host().Turn();
}

bool HasLine(const std::vector<std::string>& lines, const std::string& prefix) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

TEST(SelfTest, WithTheVariableUnsetNothingIsEverSent) {
    ScopedEnvironment env("TAMSEL_OVRA_SELFTEST", std::nullopt);
    Harness h;
    Turns(h, 400);
    EXPECT_TRUE(SelfTestLines(h).empty());
    EXPECT_TRUE(h.page().Messages().empty());
}

TEST(SelfTest, TheRefusedStepsAreAnsweredWithTheirErrorsAndTheRunEnds) {
    ScopedEnvironment env("TAMSEL_OVRA_SELFTEST", "1");
    ScopedEnvironment paid("TAMSEL_OVRA_BLOCK_PAID", "1");
    Harness h;
    Turns(h, 79);
    EXPECT_EQ(SelfTestLines(h), std::vector<std::string>{"SELFTEST armed"}) << "nothing before 8 seconds";
    Turns(h, 600);
    const auto lines = SelfTestLines(h);
    EXPECT_TRUE(HasLine(lines, "SELFTEST selftest-0 OK {\"state\":{}"));
    EXPECT_TRUE(HasLine(lines, "SELFTEST selftest-7 ERROR {\"code\":\"unsupported\""));
    for (const char* step : {"8", "9", "10"})
        EXPECT_TRUE(HasLine(lines, std::string("SELFTEST selftest-") + step + " ERROR {\"code\":\"invalid_request\""))
            << step;
    EXPECT_TRUE(HasLine(lines, "SELFTEST selftest-12 ERROR {\"code\":\"blocked\""));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "SELFTEST done");
    // Steps go in order, each once.
    std::vector<int> steps;
    const std::regex step("SELFTEST selftest-([0-9]+) .*");
    for (const auto& line : lines) {
        std::smatch m;
        if (std::regex_match(line, m, step)) steps.push_back(std::stoi(m[1]));
    }
    std::vector<int> expected(13);
    for (int i = 0; i < 13; ++i) expected[i] = i;
    EXPECT_EQ(steps, expected);
    EXPECT_TRUE(h.page().Messages().empty()) << "no self-test reply reaches the page";
}

TEST(SelfTest, WithoutTheBlockStepTwelveIsSkipped) {
    ScopedEnvironment env("TAMSEL_OVRA_SELFTEST", "1");
    ScopedEnvironment paid("TAMSEL_OVRA_BLOCK_PAID", std::nullopt);
    Harness h;
    Turns(h, 600);
    const auto lines = SelfTestLines(h);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "SELFTEST selftest-12 skipped");
    EXPECT_EQ(lines.back(), "SELFTEST done");
}

// The step numbers of the answered steps' lines, in log order, from the first line on.
std::vector<int> AnsweredSteps(const std::vector<std::string>& lines, size_t first = 0);

TEST(SelfTest, AProjectChangeReArmsAndALateReplyMovesNothing) {
    ScopedEnvironment env("TAMSEL_OVRA_SELFTEST", "1");
    Harness h;
    Turns(h, 81);  // step 0 sent and answered
    h.host().SendProjectEvent(4);
    Turns(h, 2);
    EXPECT_TRUE(HasLine(SelfTestLines(h), "SELFTEST re-armed after project change"));
    // A reply to a self-test id nobody waits for (the page may send one itself) is only logged.
    h.Post(Request("selftest-5", "getState"));
    const auto lines = SelfTestLines(h);
    EXPECT_TRUE(HasLine(lines, "SELFTEST selftest-5 ignored (not awaited) OK "));
    EXPECT_TRUE(h.page().Messages().empty());
    Turns(h, 81);
    const auto after = SelfTestLines(h);
    const auto rearmed = std::find(after.begin(), after.end(), "SELFTEST re-armed after project change");
    ASSERT_NE(rearmed, after.end());
    EXPECT_EQ(AnsweredSteps(after, static_cast<size_t>(rearmed - after.begin())), std::vector<int>{0})
        << "the re-armed run starts again from step 0";
}

std::vector<int> AnsweredSteps(const std::vector<std::string>& lines, size_t first) {
    std::vector<int> steps;
    const std::regex step("SELFTEST selftest-([0-9]+) (OK|ERROR) .*");
    for (size_t i = first; i < lines.size(); ++i) {
        std::smatch m;
        if (std::regex_match(lines[i], m, step)) steps.push_back(std::stoi(m[1]));
    }
    return steps;
}

TEST(SelfTest, OnlyTheAwaitedReplyMovesTheRunAndARunReArmedAfterItRunsWholeAgain) {
    ScopedEnvironment env("TAMSEL_OVRA_SELFTEST", "1");
    ScopedEnvironment paid("TAMSEL_OVRA_BLOCK_PAID", "1");
    Harness h;
    const auto captureOpened = [&] {
        return ReadFileText(h.folders().dataFolder() / "host.log").find("capture opened current") != std::string::npos;
    };
    for (int i = 0; i < 600 && !captureOpened(); ++i) Turns(h, 1);
    ASSERT_TRUE(captureOpened()) << "step 2, the capture, waits for its picture";
    // The page sends a self-test id of its own while step 2 is awaited.
    h.Post(Request("selftest-9", "getState"));
    Turns(h, 1);
    EXPECT_TRUE(HasLine(SelfTestLines(h), "SELFTEST selftest-9 ignored (not awaited) OK "));
    EXPECT_EQ(AnsweredSteps(SelfTestLines(h)), (std::vector<int>{0, 1})) << "it moved nothing on";
    Turns(h, 600);
    std::vector<std::string> lines = SelfTestLines(h);
    const std::vector<int> all = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    EXPECT_EQ(AnsweredSteps(lines), all);
    ASSERT_EQ(lines.back(), "SELFTEST done");

    h.host().SendProjectEvent(4);
    Turns(h, 600);
    lines = SelfTestLines(h);
    const auto rearmed = std::find(lines.begin(), lines.end(), "SELFTEST re-armed after project change");
    ASSERT_NE(rearmed, lines.end());
    EXPECT_EQ(AnsweredSteps(lines, static_cast<size_t>(rearmed - lines.begin())), all);
    EXPECT_EQ(lines.back(), "SELFTEST done");
}

// The whole log text, for lines other than the self-test's own.
std::string LogText(const Harness& h) { return ReadFileText(h.folders().dataFolder() / "host.log"); }

TEST(SelfTest, AgainstTheSampleHouseEachStepUsesWhatTheEarlierOnesFound) {
    ScopedEnvironment env("TAMSEL_OVRA_SELFTEST", "1");
    ScopedEnvironment paid("TAMSEL_OVRA_BLOCK_PAID", "1");
    Harness h;
    Turns(h, 700);
    const auto lines = SelfTestLines(h);
    EXPECT_TRUE(HasLine(lines, "SELFTEST selftest-1 OK {\"projectName\":"));
    // The capture's file reference is placed and saved; its preview is logged shortened.
    EXPECT_TRUE(HasLine(lines, "SELFTEST selftest-2 OK {\"fileRef\":\"cap-"));
    EXPECT_NE(LogText(h).find("<data "), std::string::npos);
    EXPECT_TRUE(HasLine(lines, "SELFTEST selftest-3 OK {\"label\":\"Ovra \xC2\xB7 teste do host\"}"));
    EXPECT_TRUE(HasLine(lines, "SELFTEST selftest-4 OK {\"fileRef\":\"cap-")) << "a saved camera view";
    EXPECT_TRUE(HasLine(lines, "SELFTEST selftest-5 ERROR {\"code\":\"view_unavailable\""))
        << "the first view without a camera";
    EXPECT_TRUE(HasLine(lines, "SELFTEST selftest-6 OK {\"cancelled\":true,\"saved\":0}"))
        << "an untitled project asks for a folder, and the simulated dialog cancels";
    EXPECT_TRUE(HasLine(lines, "SELFTEST selftest-11 ERROR {\"code\":\"missing_file\""));
    EXPECT_TRUE(HasLine(lines, "SELFTEST selftest-12 ERROR {\"code\":\"blocked\""));
    EXPECT_EQ(lines.back(), "SELFTEST done");
    EXPECT_TRUE(h.page().Messages().empty());
}

TEST(SelfTest, AFailedCaptureSkipsThePlacingAndTheSaving) {
    ScopedEnvironment env("TAMSEL_OVRA_SELFTEST", "1");
    Harness h;
    h.host().FailOperation("GetCurrent3DImage", kHostErrOutOfMemory);
    h.host().FailOperation("SaveFrontWindowPicture", kHostErrOutOfMemory);
    Turns(h, 700);
    const auto lines = SelfTestLines(h);
    EXPECT_TRUE(HasLine(lines, "SELFTEST selftest-2 ERROR {\"code\":\"capture_failed\""));
    EXPECT_TRUE(HasLine(lines, "SELFTEST selftest-3 skipped"));
    EXPECT_TRUE(HasLine(lines, "SELFTEST selftest-6 skipped"));
    EXPECT_EQ(lines.back(), "SELFTEST done");
}

TEST(SelfTest, WithoutNavigatorViewsItOrbitsTheCurrentViewAndAsksForAViewThatIsNot) {
    ScopedEnvironment env("TAMSEL_OVRA_SELFTEST", "1");
    Harness h;
    h.host().LoadModel("empty");
    Turns(h, 700);
    const std::string log = LogText(h);
    EXPECT_NE(log.find("capture opening selftest-orbit\r\n"), std::string::npos);
    // Step 5 asks for a view id the listing never registered.
    EXPECT_NE(log.find("capture refused view_unavailable nav-00000000-0000-0000-0000-000000000001\r\n"),
              std::string::npos);
    EXPECT_TRUE(HasLine(SelfTestLines(h), "SELFTEST selftest-5 ERROR {\"code\":\"view_unavailable\""));
}

TEST(SelfTestLog, DataUrlsAreShortenedAndLongRepliesCut) {
    const std::string url = "data:image/jpeg;base64," + std::string(40000 - 23, 'A');
    EXPECT_EQ(ShortenForLog("{\"dataUrl\":\"" + url + "\",\"n\":1}"), "{\"dataUrl\":\"<data 40000 chars>\",\"n\":1}");
    EXPECT_EQ(ShortenForLog("[\"data:a\",\"data:bc\"]"), "[\"<data 6 chars>\",\"<data 7 chars>\"]");
    EXPECT_EQ(ShortenForLog("\"data: no closing quote"), "\"data: no closing quote");
    const std::string longText(1600, 'x');
    EXPECT_EQ(ShortenForLog(longText), std::string(1500, 'x') + "...");
    EXPECT_EQ(ShortenForLog(std::string(1500, 'y')), std::string(1500, 'y'));
}

TEST(SelfTestLog, TheCutNeverSplitsAUtf8Character) {
    // "ç" is two bytes and the emoji four: the limit falls inside each, and the cut moves back
    // to the character's start.
    std::string cedillas;
    for (int i = 0; i < 800; ++i) cedillas += "\xC3\xA7";
    EXPECT_EQ(ShortenForLog("x" + cedillas), "x" + cedillas.substr(0, 1498) + "...");
    const std::string emoji = "\xF0\x9F\x98\x80";
    EXPECT_EQ(ShortenForLog(std::string(1498, 'z') + emoji + "tail"), std::string(1498, 'z') + "...");
    // Bytes that are no character are cut at the limit as before.
    EXPECT_EQ(ShortenForLog(std::string(1496, 'w') + std::string(10, '\x80')), std::string(1496, 'w') + "\x80\x80\x80\x80...");
}

}  // namespace
