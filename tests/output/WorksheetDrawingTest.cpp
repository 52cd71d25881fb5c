// The simulated host's drawing of a worksheet: each picture decoded and laid at its box, the sheet
// scaled to fit, transparency on white, undecodable bytes shown as a crossed box, and blank
// sheets. The drawings are read back through the add-on's own PNG decoder.
#include <gtest/gtest.h>

#include <cstdlib>

#include "media/TestImages.h"
#include "output/OutputTestSupport.h"
#include "panel/Replies.h"
#include "platform/Images.h"

namespace {

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00A000, kBlue = 0x0000FF, kYellow = 0xFFFF00, kWhite = 0xFFFFFF;

Bitmap Solid(int width, int height, uint32_t rgb) {
    return MakeBitmap(width, height, [rgb](int, int) { return 0xFF000000u | rgb; });
}

// Red on the left half, blue on the right.
Bitmap RedBlue(int width, int height) {
    return MakeBitmap(width, height, [width](int x, int) { return 0xFF000000u | (x < width / 2 ? kRed : kBlue); });
}

// A new worksheet in front, as the host's own commands make it.
HostGuid NewSheet(SimHost& host, const std::u16string& name = u"Sheet") {
    DatabaseInfo sheet{kDatabaseWorksheet, {}, name, u"TO"};
    EXPECT_EQ(host.NewDatabase(&sheet), kHostOk);
    EXPECT_EQ(host.ChangeWindow({kDatabaseWorksheet, sheet.databaseGuid}), kHostOk);
    return sheet.databaseGuid;
}

// A picture of `bytes` on the worksheet in front, at the box in model units.
void AddPicture(SimHost& host, const std::string& bytes, int32_t format, double x0, double y0, double x1, double y1) {
    PictureElement element;
    ASSERT_EQ(host.GetPictureDefaults(&element), kHostOk);
    element.formatCode = format;
    element.xMin = x0, element.yMin = y0, element.xMax = x1, element.yMax = y1;
    ElementMemo memo;
    ASSERT_EQ(host.AllocateBlock(bytes.size(), false, &memo.pictureData), kHostOk);
    std::copy(bytes.begin(), bytes.end(), memo.pictureData.data);
    HostGuid created;
    EXPECT_EQ(host.RunUndoable(u"Picture", [&] { return host.CreatePicture(element, memo, &created); }), kHostOk);
    host.ReleaseMemo(&memo);
}

std::string Jpeg(const Bitmap& bitmap) {
    std::string jpeg;
    EXPECT_TRUE(EncodeBitmapJpeg(bitmap, 95, &jpeg));
    return jpeg;
}

// The worksheet drawn as PNG and decoded again.
Bitmap DrawnSheet(const SimHost& host, const HostGuid& sheet) {
    std::vector<uint8_t> png;
    EXPECT_TRUE(host.DrawWorksheetPng(sheet, &png));
    Bitmap drawing;
    EXPECT_TRUE(DecodeBitmap(std::string_view(reinterpret_cast<const char*>(png.data()), png.size()), &drawing));
    return drawing;
}

// The pixel's colour within `tolerance` on each channel (JPEG moves colours a little).
::testing::AssertionResult ColourAt(const Bitmap& b, int x, int y, uint32_t rgb, int tolerance = 0) {
    uint32_t argb = 0;
    if (!b.GetPixel(x, y, &argb)) return ::testing::AssertionFailure() << "(" << x << "," << y << ") is outside";
    for (int shift : {0, 8, 16}) {
        const int got = static_cast<int>((argb >> shift) & 0xFF), want = static_cast<int>((rgb >> shift) & 0xFF);
        if (std::abs(got - want) > tolerance)
            return ::testing::AssertionFailure()
                   << "(" << x << "," << y << ") is " << std::hex << (argb & 0xFFFFFF) << ", not " << rgb;
    }
    return ::testing::AssertionSuccess();
}

TEST(WorksheetDrawing, APlacedPictureShowsAtItsOwnSizeWithItsColoursInsideAMargin) {
    Harness h;
    const std::string ref = StoreResult(PngFile(RedBlue(300, 200), false));
    h.Post(Request("1", "place", "{\"fileRef\":" + JsonQuote(ref) + ",\"label\":\"Render\"}"));
    const auto* reply = RunUntilReply(h, "1");
    ASSERT_NE(reply, nullptr);
    ASSERT_TRUE(reply->Ok()) << reply->json;
    ASSERT_EQ(h.host().model.worksheets.size(), 1u);

    // 3 by 2 model units at 0.01 a pixel, and 16 pixels of paper around it.
    const Bitmap sheet = DrawnSheet(h.host(), h.host().ShownWorksheet());
    ASSERT_EQ(sheet.width, 332);
    ASSERT_EQ(sheet.height, 232);
    EXPECT_TRUE(ColourAt(sheet, 16, 16, kRed));
    EXPECT_TRUE(ColourAt(sheet, 165, 215, kRed));
    EXPECT_TRUE(ColourAt(sheet, 166, 16, kBlue));
    EXPECT_TRUE(ColourAt(sheet, 315, 215, kBlue));
    for (auto [x, y] : {std::pair{15, 100}, {316, 100}, {100, 15}, {100, 216}, {0, 0}, {331, 231}})
        EXPECT_TRUE(ColourAt(sheet, x, y, kWhite));
}

TEST(WorksheetDrawing, TwoPicturesKeepTheirPlacesAndTheDrawingMatchesItsPng) {
    Harness h(false);
    SimHost& host = h.host();
    const HostGuid guid = NewSheet(host);
    // A PNG at the bottom left, a JPEG at the top right; the sheet spans 4 by 3 units.
    AddPicture(host, PngFile(RedBlue(200, 100), false), kPictureFormatPng, 0, 0, 2, 1);
    AddPicture(host, Jpeg(Solid(100, 100, kGreen)), kPictureFormatJpeg, 3, 2, 4, 3);

    // 400 pixels across: a twentieth of that, 20 pixels, of paper around them.
    const Bitmap sheet = DrawnSheet(host, guid);
    ASSERT_EQ(sheet.width, 440);
    ASSERT_EQ(sheet.height, 340);
    EXPECT_TRUE(ColourAt(sheet, 70, 270, kRed));
    EXPECT_TRUE(ColourAt(sheet, 170, 270, kBlue));
    EXPECT_TRUE(ColourAt(sheet, 370, 70, kGreen, 8));
    EXPECT_TRUE(ColourAt(sheet, 320, 20, kGreen, 8));
    EXPECT_TRUE(ColourAt(sheet, 419, 119, kGreen, 8));
    // Paper between and beside them: above the PNG, below the JPEG, and between the two.
    for (auto [x, y] : {std::pair{70, 170}, {370, 170}, {270, 270}, {270, 70}, {420, 70}, {370, 120}, {19, 19}})
        EXPECT_TRUE(ColourAt(sheet, x, y, kWhite));

    SimPicture drawing;
    ASSERT_TRUE(host.DrawWorksheet(guid, &drawing));
    ASSERT_EQ(drawing.width, sheet.width);
    ASSERT_EQ(drawing.height, sheet.height);
    for (int y = 0; y < sheet.height; y += 7)
        for (int x = 0; x < sheet.width; x += 5) ASSERT_TRUE(ColourAt(sheet, x, y, drawing.Pixel(x, y)));
}

TEST(WorksheetDrawing, ALargeSheetIsScaledToFitAndLaterPicturesLieOverEarlierOnes) {
    Harness h(false);
    SimHost& host = h.host();
    const HostGuid guid = NewSheet(host);
    // 40 pixels stretched over 40 by 10 units: four bands of 10 by 10 units.
    const uint32_t bands[4] = {kRed, kGreen, kBlue, 0x000000};
    const Bitmap banded = MakeBitmap(40, 10, [&bands](int x, int) { return 0xFF000000u | bands[x / 10]; });
    AddPicture(host, PngFile(banded, false), kPictureFormatPng, 0, 0, 40, 10);
    AddPicture(host, PngFile(Solid(8, 8, kYellow), false), kPictureFormatPng, 30, 5, 35, 10);

    // 1454 pixels for 40 units (36.35 a unit) and 72 of paper on each side: 1598 in all.
    const Bitmap sheet = DrawnSheet(host, guid);
    ASSERT_EQ(sheet.width, 1598);
    ASSERT_EQ(sheet.height, 508);
    for (int band = 0; band < 4; ++band)
        EXPECT_TRUE(ColourAt(sheet, 72 + 182 + 363 * band, 72 + 280, bands[band])) << band;
    for (auto [x, y] : {std::pair{71, 200}, {1526, 200}, {800, 71}, {800, 436}})
        EXPECT_TRUE(ColourAt(sheet, x, y, kWhite)) << x << "," << y;
    // The yellow square covers the top left quarter of the black band.
    EXPECT_TRUE(ColourAt(sheet, 72 + 1090 + 91, 72 + 91, kYellow));
    EXPECT_TRUE(ColourAt(sheet, 72 + 1090 + 272, 72 + 91, 0x000000));
}

TEST(WorksheetDrawing, TransparencyIsPaperAndUndecodableBytesShowAsACrossedGreyBox) {
    Harness h(false);
    SimHost& host = h.host();
    const HostGuid guid = NewSheet(host);
    const Bitmap halfClear = MakeBitmap(100, 100, [](int x, int) { return x < 50 ? 0x00FF0000u : 0xFF0000FFu; });
    AddPicture(host, PngFile(halfClear, true), kPictureFormatPng, 0, 0, 1, 1);
    // The signature the host checks, then nothing a decoder can read.
    std::string broken = "\x89PNG\r\n\x1a\n";
    broken.append(200, 'x');
    AddPicture(host, broken, kPictureFormatPng, 2, 0, 3, 1);

    const Bitmap sheet = DrawnSheet(host, guid);
    ASSERT_EQ(sheet.width, 332);
    ASSERT_EQ(sheet.height, 132);
    EXPECT_TRUE(ColourAt(sheet, 40, 66, kWhite));
    EXPECT_TRUE(ColourAt(sheet, 90, 66, kBlue));
    EXPECT_TRUE(ColourAt(sheet, 266, 66, 0x606060)) << "the middle, where the diagonals cross";
    EXPECT_TRUE(ColourAt(sheet, 266, 30, 0xD0D0D0));
    EXPECT_TRUE(ColourAt(sheet, 216, 16, 0x606060)) << "a corner";
    EXPECT_TRUE(ColourAt(sheet, 166, 66, kWhite)) << "paper between the two";
}

TEST(WorksheetDrawing, ASheetWithoutPicturesIsASmallBlankSheetAndAnUnknownOneIsNone) {
    Harness h(false);
    SimHost& host = h.host();
    for (const HostGuid& guid : {NewSheet(host), HostGuid{}}) {
        const Bitmap sheet = DrawnSheet(host, guid);
        ASSERT_EQ(sheet.width, 160);
        ASSERT_EQ(sheet.height, 120);
        for (int y = 0; y < sheet.height; y += 3)
            for (int x = 0; x < sheet.width; x += 3) ASSERT_TRUE(ColourAt(sheet, x, y, kWhite));
    }
    SimPicture drawing;
    EXPECT_FALSE(host.DrawWorksheet(SimGuid("no such worksheet"), &drawing));
    std::vector<uint8_t> png;
    EXPECT_FALSE(host.DrawWorksheetPng(SimGuid("no such worksheet"), &png));
}

TEST(WorksheetDrawing, TheShownWorksheetIsTheOneInFrontElseTheLastMade) {
    Harness h(false);
    SimHost& host = h.host();
    EXPECT_TRUE(host.ShownWorksheet().IsNull());
    const HostGuid first = NewSheet(host, u"First");
    const HostGuid second = NewSheet(host, u"Second");
    EXPECT_EQ(host.ShownWorksheet(), second);
    ASSERT_EQ(host.ChangeWindow({kDatabaseWorksheet, first}), kHostOk);
    EXPECT_EQ(host.ShownWorksheet(), first);
    ASSERT_TRUE(host.UserBringToFront(SimWindowKind::k3D));
    EXPECT_EQ(host.ShownWorksheet(), second);
}

}  // namespace
