// The 3D window's picture: the blank test and its thresholds, the enlargement, the three ways of
// taking the picture and the window search, the error code of each stage, and the temporary file.
#include <gtest/gtest.h>

#include <filesystem>

#include "handlers/views/Picture.h"
#include "sim/host/SimRasteriser.h"
#include "store/Images.h"
#include "support/FaultyFiles.h"
#include "views/ViewsHarness.h"

using namespace OvraViews;
namespace fs = std::filesystem;

namespace {

Bitmap Filled(int width, int height, uint32_t rgb) {
    Bitmap b;
    EXPECT_TRUE(b.Allocate(width, height));
    std::fill(b.pixels.begin(), b.pixels.end(), 0xFF000000u | rgb);
    b.opaque = true;
    return b;
}

void Set(Bitmap& b, int x, int y, uint32_t rgb) {
    b.pixels[static_cast<size_t>(y) * static_cast<size_t>(b.width) + static_cast<size_t>(x)] = 0xFF000000u | rgb;
}

Bitmap FromSim(const SimPicture& p) {
    Bitmap b;
    EXPECT_TRUE(b.Allocate(p.width, p.height));
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) Set(b, x, y, p.Pixel(x, y));
    return b;
}

Bitmap Rendered(const std::string& sample) {
    SimModel model;
    EXPECT_TRUE(MakeSampleProject(sample, &model));
    SimPicture picture;
    EXPECT_TRUE(Render3D(model, model.startProjection, 320, 200, &picture));
    return FromSim(picture);
}

// ---- The blank test -------------------------------------------------------------------------

TEST(BlankTest, TheHouseHasContentAndAnEmptySceneOrOneColourHasNot) {
    EXPECT_TRUE(HasImageContent(Rendered("house")));
    EXPECT_FALSE(HasImageContent(Rendered("empty"))) << "sky over ground, each row one colour";
    EXPECT_FALSE(HasImageContent(Rendered("uniform")));
    EXPECT_FALSE(HasImageContent(Filled(640, 480, 0x336699)));
}

TEST(BlankTest, AWhiteViewWithOneThinLineShowsNothing) {
    Bitmap b = Filled(640, 480, 0xFFFFFF);
    for (int x = 0; x < 640; ++x) Set(b, x, 240, 0x000000);
    EXPECT_FALSE(HasImageContent(b));
}

TEST(BlankTest, ASmoothGradientFromSkyToGroundShowsNothing) {
    Bitmap b = Filled(640, 480, 0);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            Set(b, x, y, y < 240 ? 0x4080FF - (uint32_t(y / 4) << 8) : 0x206020 + (uint32_t((y - 240) / 3) << 16));
    EXPECT_FALSE(HasImageContent(b)) << "much colour, but no row holds two strong steps";
}

TEST(BlankTest, APictureOnePixelWideAlwaysShowsNothing) {
    Bitmap b = Filled(1, 400, 0);
    for (int y = 0; y < 400; ++y) Set(b, 0, y, (y % 2) ? 0xFF0000 : 0x00FF00);
    EXPECT_FALSE(HasImageContent(b));
}

// 64 × 64 pictures are sampled pixel for pixel, so the thresholds can be met exactly.
TEST(BlankTest, FewerThanEightPercentOfRowsWithStepsShowNothing) {
    for (const int rows : {5, 6}) {
        Bitmap b = Filled(64, 64, 0xFFFFFF);
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < 64; x += 2) Set(b, x, y * 10, 0x000000);
        // 5 of 64 rows is 7.8 %, 6 is 9.4 %.
        EXPECT_EQ(HasImageContent(b), rows == 6) << rows << " rows";
    }
}

TEST(BlankTest, MoreThanNinetySevenPercentNearTheMedianShowNothing) {
    // 4096 samples: 97 % is 3973.12, so 123 differing samples give content and 122 do not.
    for (const int differing : {122, 123}) {
        Bitmap b = Filled(64, 64, 0xFFFFFF);
        for (int i = 0; i < differing; ++i) Set(b, 1 + (i % 2) * 30, i / 2, 0x000000);
        EXPECT_EQ(HasImageContent(b), differing == 123) << differing << " black samples";
    }
}

TEST(BlankTest, NearTheMedianMeansWithinEightInEachChannel) {
    // Six rows with a black dot give the steps; 117 more samples at a distance of 8 or 9 decide.
    for (const uint32_t grey : {0xF7F7F7u, 0xF6F6F6u}) {
        Bitmap b = Filled(64, 64, 0xFFFFFF);
        for (int y = 0; y < 6; ++y) Set(b, 10, y, 0x000000);
        for (int i = 0; i < 117; ++i) Set(b, 20 + i % 40, 10 + i / 40, grey);
        EXPECT_EQ(HasImageContent(b), grey == 0xF6F6F6u) << std::hex << grey;
    }
}

TEST(BlankTest, AStepIsMoreThanThirtySixInSum) {
    for (const uint32_t band : {0x8C8C8Cu /* 12 + 12 + 12 */, 0x8D8C8Cu /* 13 + 12 + 12 */}) {
        Bitmap b = Filled(64, 64, 0x808080);
        for (int y = 0; y < 64; ++y)
            for (int x = 20; x < 40; ++x) Set(b, x, y, band);
        EXPECT_EQ(HasImageContent(b), band == 0x8D8C8Cu) << std::hex << band;
    }
}

TEST(BlankTest, LargePicturesAreSampledOnA64By64Grid) {
    // Content only between the grid's sample points is not seen.
    Bitmap b = Filled(1280, 1280, 0xFFFFFF);
    for (int y = 0; y < 1280; ++y)
        for (int x = 0; x < 1280; ++x)
            if (x % 20 != 10 && y % 20 != 10) Set(b, x, y, (x / 20 + y / 20) % 2 ? 0x000000 : 0xFF0000);
    EXPECT_FALSE(HasImageContent(b));
    Set(b, 10, 10, 0x000000);
    for (int y = 10; y < 1280; y += 20)
        for (int x = 10; x < 1280; x += 40) Set(b, x, y, 0x000000);
    EXPECT_TRUE(HasImageContent(b));
}

// ---- Enlarging --------------------------------------------------------------------------------

TEST(Upscale, ShortPicturesGrowTo1600OnTheirLongSideAndLargerOnesKeepTheirSize) {
    struct Case {
        int w, h, expectW, expectH;
    } cases[] = {
        {1200, 800, 1600, 1067}, {800, 1200, 1067, 1600}, {1920, 1080, 1920, 1080}, {1600, 10, 1600, 10},
        {3000, 2000, 3000, 2000}, {1, 1, 1600, 1600},     {1280, 2, 1600, 3} /* 2.5: away from zero */,
        {1599, 1, 1600, 1},
    };
    for (const Case& c : cases) {
        int w = 0, h = 0;
        UpscaledSize(c.w, c.h, &w, &h);
        EXPECT_EQ(w, c.expectW) << c.w << "x" << c.h;
        EXPECT_EQ(h, c.expectH) << c.w << "x" << c.h;
    }
}

TEST(Upscale, TheFileIsReplacedThroughAScaledCopy) {
    ViewsHarness h;
    Bitmap small = Rendered("house");
    std::string png;
    ASSERT_TRUE(EncodeBitmapPng(small, &png));
    const fs::path path = fs::path(h.temporaryFolder) / "picture.png";
    WriteFileText(path, png);
    ASSERT_TRUE(UpscalePng(path.string()));
    const Bitmap big = DecodePicture(ReadFileText(path));
    EXPECT_EQ(big.width, 1600);
    EXPECT_EQ(big.height, 1000);
    EXPECT_EQ(h.TemporaryFiles(), 1u) << "no .scaled.png or temporary file left";

    // When the scaled copy cannot replace the file, the file stays as it was.
    WriteFileText(path, png);
    FaultyFiles files;
    files.FailAt(FileCall::Rename, 2);
    EXPECT_FALSE(UpscalePng(path.string()));
    EXPECT_EQ(ReadFileText(path), png);
    EXPECT_FALSE(fs::exists(path.string() + ".scaled.png"));
    EXPECT_EQ(h.TemporaryFiles(), 1u);
}

// ---- The pipeline -----------------------------------------------------------------------------

struct Picture3D : ::testing::Test {
    ViewsHarness h;
    std::string jpeg, code;

    // The 3D window in front, its frame drawn.
    void SetUp() override {
        h.host().UserBringToFront(SimWindowKind::k3D);
        h.TurnFor(h.host().frame3D.drawDelay);
    }
    bool Capture(bool fullSize = true) { return CaptureView(fullSize, &jpeg, &code); }
    void ExpectSize(int width, int height) {
        int w = 0, hh = 0;
        EXPECT_TRUE(ImagePixelSize(jpeg, &w, &hh));
        EXPECT_EQ(w, width);
        EXPECT_EQ(hh, height);
    }
    void TearDown() override { EXPECT_EQ(h.TemporaryFiles(), 0u) << "the temporary picture is always deleted"; }
};

TEST_F(Picture3D, ACaptureIsAJpegOfTheHouseEnlargedTo1600) {
    ASSERT_TRUE(Capture()) << code;
    EXPECT_EQ(static_cast<unsigned char>(jpeg[0]), 0xFF);
    EXPECT_STREQ(captureMethod, "GetCurrentImage");
    ExpectSize(1600, 1067);
    EXPECT_TRUE(HasImageContent(DecodePicture(jpeg)));
}

TEST_F(Picture3D, APictureOf1600OrMoreKeepsItsSize) {
    h.host().Set3DWindowSize(1800, 1000);
    ASSERT_TRUE(Capture()) << code;
    ExpectSize(1800, 1000);
}

TEST_F(Picture3D, AThumbnailIs480AtMostAndNeverEnlarged) {
    ASSERT_TRUE(Capture(false)) << code;
    ExpectSize(480, 320);
    h.host().Set3DWindowSize(300, 200);
    ASSERT_TRUE(Capture(false)) << code;
    ExpectSize(300, 200);
}

TEST_F(Picture3D, WithoutTheHostsImageThePictureIsSaved) {
    for (const char* failing : {"GetCurrent3DImage", "NativeImage.Encode"}) {
        h.host().ClearFailures();
        h.host().FailOperation(failing, kHostErrOutOfMemory);
        ASSERT_TRUE(Capture()) << failing << ": " << code;
        EXPECT_STREQ(captureMethod, "SavePicture") << failing;
        ExpectSize(1600, 1067);
    }
}

TEST_F(Picture3D, AFailedWriteOfTheHostsImageFallsThroughToTheSave) {
    FaultyFiles files;
    files.FailAt(FileCall::Write, 1);
    ASSERT_TRUE(Capture()) << code;
    EXPECT_STREQ(captureMethod, "SavePicture");
}

TEST_F(Picture3D, OnlyASaveRefusedAsNotSupportedIsFollowedByPrintingTheWindow) {
    h.host().FailOperation("GetCurrent3DImage", kHostErrOutOfMemory);
    h.host().FailOperation("SaveFrontWindowPicture", kHostErrRefused);
    ASSERT_TRUE(Capture()) << code;
    EXPECT_STREQ(captureMethod, "PrintWindow");
    ExpectSize(1600, 1067);

    h.host().FailOperation("SaveFrontWindowPicture", kHostErrOutOfMemory);
    EXPECT_FALSE(Capture());
    EXPECT_EQ(code, "capture_failed");
    EXPECT_STREQ(captureMethod, "failed");
    EXPECT_EQ(CaptureWindowImage((fs::path(h.temporaryFolder) / "x.png").string()), kHostErrOutOfMemory)
        << "the save's status is returned";
}

// The drawing area is found only in a visible 3D window of this process, and only when it is
// larger than 100 × 100.
TEST_F(Picture3D, TheWindowSearchRules) {
    h.host().FailOperation("GetCurrent3DImage", kHostErrOutOfMemory);
    h.host().FailOperation("SaveFrontWindowPicture", kHostErrRefused);
    SimWindows& windows = h.host().windows;
    auto printed = [&] {
        if (Capture()) return std::string(captureMethod) == "PrintWindow";
        EXPECT_EQ(code, "capture_failed");
        return false;
    };
    EXPECT_TRUE(printed());

    windows.Find(h.host().dialog3D)->visible = false;
    EXPECT_FALSE(printed()) << "hidden 3D window";
    windows.Find(h.host().dialog3D)->visible = true;

    windows.Find(h.host().mainWindow)->visible = false;
    EXPECT_FALSE(printed()) << "hidden frame";
    windows.Find(h.host().mainWindow)->visible = true;

    const std::string title = windows.Find(h.host().dialog3D)->title;
    windows.Find(h.host().dialog3D)->title = "Casa exemplo - Planta";
    EXPECT_FALSE(printed()) << "no \" 3D\" in the title";
    windows.Find(h.host().dialog3D)->title = title;

    windows.Find(h.host().mainWindow)->processId = 7;
    EXPECT_FALSE(printed()) << "another process's window";
    windows.Find(h.host().mainWindow)->processId = SimWindows::kOwnProcess;

    for (const auto& [w, hh, found] : {std::tuple{100, 400, false}, {400, 100, false}, {101, 101, true}}) {
        h.host().Set3DWindowSize(w, hh);
        EXPECT_EQ(printed(), found) << w << "x" << hh;
    }
}

TEST_F(Picture3D, ThePrintedPictureIsWrittenThroughTheFileCalls) {
    h.host().FailOperation("GetCurrent3DImage", kHostErrOutOfMemory);
    h.host().FailOperation("SaveFrontWindowPicture", kHostErrRefused);
    FaultyFiles files;
    files.FailAt(FileCall::Write, 1);
    EXPECT_FALSE(Capture());
    EXPECT_EQ(code, "capture_failed");
}

TEST_F(Picture3D, NothingToRenderOrABlankPictureIsAnEmptyView) {
    for (const char* sample : {"empty", "stairs-only", "uniform"}) {
        h.host().LoadModel(sample);
        h.host().UserBringToFront(SimWindowKind::k3D);
        h.TurnFor(h.host().frame3D.drawDelay);
        EXPECT_FALSE(Capture()) << sample;
        EXPECT_EQ(code, "empty_view") << sample;
    }
}

TEST_F(Picture3D, APictureThatCannotBeReadIsAFailureNotAnEmptyView) {
    FaultyFiles files;
    files.FailAt(FileCall::Read, 1);
    EXPECT_FALSE(Capture());
    EXPECT_EQ(code, "capture_failed");
    files.Reset();
    files.FailAt(FileCall::OpenRead, 1);
    EXPECT_FALSE(Capture());
    EXPECT_EQ(code, "capture_failed");
}

TEST_F(Picture3D, WithoutATemporaryFileThereIsNoPicture) {
    FaultyFiles files;
    files.FailAt(FileCall::CreateTemp, 1);
    EXPECT_FALSE(Capture());
    EXPECT_EQ(code, "capture_failed");
}

TEST_F(Picture3D, AHostThatAnswersThe3DWindowIsNotInFrontIsOpen3d) {
    // The front window changed between the add-on's test and the host's picture.
    h.host().FailOperation("GetCurrent3DImage", kHostErrWrongWindow);
    h.host().FailOperation("SaveFrontWindowPicture", kHostErrWrongWindow);
    EXPECT_FALSE(Capture());
    EXPECT_EQ(code, "open_3d");
    EXPECT_EQ(CaptureWindowImage((fs::path(h.temporaryFolder) / "x.png").string()), kWrongWindow);
}

TEST_F(Picture3D, TheWindowTestComesFirst) {
    h.host().UserBringToFront(SimWindowKind::kFloorPlan);
    EXPECT_FALSE(Capture());
    EXPECT_EQ(code, "open_3d");
    h.host().UserBringToFront(SimWindowKind::k3D);
    for (const char* failing : {"GetFrontWindow", "ListElements"}) {
        h.host().FailOperation(failing, kHostErrOutOfMemory, true);
        EXPECT_FALSE(Capture()) << failing;
        EXPECT_EQ(code, "open_3d") << failing;
    }
}

// ---- The two host tests -----------------------------------------------------------------------

TEST(ModelContent, FourteenElementTypesRenderAndStairsZonesAndCamerasDoNot) {
    ViewsHarness h;
    const std::vector<SimElement> all = h.host().model.elements;
    auto only = [&](int32_t type) {
        h.host().model.elements.clear();
        for (const SimElement& e : all)
            if (e.typeCode == type) h.host().model.elements.push_back(e);
        bool content = false;
        EXPECT_EQ(ModelHasContent(false, &content), kHostOk);
        return content;
    };
    for (const int32_t type : {1, 8, 9, 6, 10, 45, 2, 3, 37, 43, 4, 5, 44, 7}) EXPECT_TRUE(only(type)) << type;
    for (const int32_t type : {SimType::kStair, SimType::kZone, SimType::kCamera}) EXPECT_FALSE(only(type)) << type;
}

TEST(ModelContent, TheWindowCheckDemandsThe3DWindow) {
    ViewsHarness h;
    bool content = true;
    EXPECT_EQ(ModelHasContent(true, &content), kWrongWindow);
    EXPECT_FALSE(content);
    EXPECT_EQ(ModelHasContent(false, &content), kHostOk);
    EXPECT_TRUE(content);
    EXPECT_FALSE(Is3DWindowCurrent());
    h.host().UserBringToFront(SimWindowKind::k3D);
    EXPECT_TRUE(Is3DWindowCurrent());
    h.host().FailOperation("GetFrontWindow", kHostErrOutOfMemory, true);
    EXPECT_FALSE(Is3DWindowCurrent());
    h.host().FailOperation("GetFrontWindow", kHostErrOutOfMemory, true);
    EXPECT_EQ(ModelHasContent(true, &content), kHostErrOutOfMemory);
}
}  // namespace
