// The host contract of placing a picture: a new worksheet made current, the picture's defaults,
// a block of host memory for its bytes, the picture made inside one undo step, the zoom to it and
// the memo given back; and what the worksheet holds after.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "host/ContractCase.h"

namespace {

using HostContractPlacement = HostContract;
using HostContractUndoStep = HostContract;
using HostContractMemory = HostContract;

// A new worksheet, made the current window; its GUID, or null when the host refused a step.
HostGuid NewCurrentWorksheet(HostApi& host, const std::u16string& name) {
    DatabaseInfo sheet{kDatabaseWorksheet, {}, name, u"TO"};
    if (host.NewDatabase(&sheet) != kHostOk) return {};
    if (host.ChangeWindow({kDatabaseWorksheet, sheet.databaseGuid}) != kHostOk) return {};
    return sheet.databaseGuid;
}

// The picture's record as the add-on fills it over the host's defaults.
PictureElement PictureRecord(HostApi& host, const std::u16string& name) {
    PictureElement element;
    EXPECT_EQ(host.GetPictureDefaults(&element), kHostOk);
    element.framePen = 0;
    element.mirrored = 0;
    element.angle = 0;
    element.xMin = 0, element.yMin = 0, element.xMax = 0.04, element.yMax = 0.04;
    element.formatCode = kPictureFormatPng;
    element.name = name;
    return element;
}

// A memo whose block holds the bytes.
ElementMemo MemoOf(HostApi& host, const uint8_t* bytes, size_t size) {
    ElementMemo memo;
    if (host.AllocateBlock(size, true, &memo.pictureData) == kHostOk && memo.pictureData.data != nullptr)
        std::memcpy(memo.pictureData.data, bytes, size);
    return memo;
}

TEST_F(HostContractPlacement, TheDefaultsFillEveryFieldOfThePictureRecord) {
    // Values no default has, so that a field the host leaves alone shows.
    const double unset = std::numeric_limits<double>::quiet_NaN();
    PictureElement element;
    element.framePen = -12345;
    element.mirrored = -99;
    element.angle = element.xMin = element.yMin = element.xMax = element.yMax = unset;
    element.colourDepth = -7;
    element.formatCode = -9;
    element.name = u"\uFFFF not a default";
    ASSERT_EQ(host.GetPictureDefaults(&element), kHostOk);
    EXPECT_NE(element.framePen, -12345);
    EXPECT_NE(element.mirrored, -99);
    EXPECT_TRUE(std::isfinite(element.angle));
    EXPECT_TRUE(std::isfinite(element.xMin) && std::isfinite(element.yMin));
    EXPECT_TRUE(std::isfinite(element.xMax) && std::isfinite(element.yMax));
    EXPECT_NE(element.colourDepth, -7);
    EXPECT_NE(element.formatCode, -9);
    EXPECT_NE(element.name, u"\uFFFF not a default");
    EXPECT_LE(element.name.size(), kMaxHostNameUnits);
}

TEST_F(HostContractPlacement, ANewWorksheetBecomesTheFrontWindowUnderItsGuid) {
    const FrontWindowKept kept(host);
    DatabaseInfo sheet{kDatabaseWorksheet, {}, u"Contract worksheet", u"TO"};
    ASSERT_EQ(host.NewDatabase(&sheet), kHostOk);
    ASSERT_FALSE(sheet.databaseGuid.IsNull());
    ASSERT_EQ(host.ChangeWindow({kDatabaseWorksheet, sheet.databaseGuid}), kHostOk);
    WindowInfo front;
    ASSERT_EQ(host.GetFrontWindow(&front), kHostOk);
    ExpectWindowIs({kDatabaseWorksheet, sheet.databaseGuid}, front);
    const std::optional<ContractWorksheet> held = world.Worksheet(sheet.databaseGuid);
    ASSERT_TRUE(held.has_value());
    EXPECT_EQ(held->name, u"Contract worksheet");
    EXPECT_EQ(held->refId, u"TO");
    EXPECT_TRUE(held->pictures.empty());
}

TEST_F(HostContractPlacement, AWorksheetThatIsNotThereIsNotFoundAndTheFrontStays) {
    const FrontWindowKept kept(host);
    WindowInfo before;
    ASSERT_EQ(host.GetFrontWindow(&before), kHostOk);
    EXPECT_EQ(host.ChangeWindow({kDatabaseWorksheet, kMissingGuid}), kHostErrNotFound);
    WindowInfo after;
    ASSERT_EQ(host.GetFrontWindow(&after), kHostOk);
    ExpectSameWindow(before, after);
}

TEST_F(HostContractPlacement, AWorksheetNameOfTheLongestLengthIsKeptWhole) {
    const FrontWindowKept kept(host);
    std::u16string name(kMaxHostNameUnits - 1, u'w');
    name += u'\u00E9';
    DatabaseInfo sheet{kDatabaseWorksheet, {}, name, u"TO"};
    ASSERT_EQ(host.NewDatabase(&sheet), kHostOk);
    const std::optional<ContractWorksheet> held = world.Worksheet(sheet.databaseGuid);
    ASSERT_TRUE(held.has_value());
    EXPECT_EQ(held->name, name);
}

TEST_F(HostContractPlacement, APictureMadeInOneUndoStepIsOnTheWorksheetAsTheRecordSaid) {
    const FrontWindowKept kept(host);
    const HostGuid sheet = NewCurrentWorksheet(host, u"Contract placement");
    ASSERT_FALSE(sheet.IsNull());
    const PictureElement element = PictureRecord(host, u"Contract picture");
    ElementMemo memo = MemoOf(host, kSmallPng, sizeof kSmallPng);
    ASSERT_NE(memo.pictureData.data, nullptr);

    HostGuid created;
    int runs = 0;
    const HostError result = host.RunUndoable(u"Place picture", [&] {
        ++runs;
        return host.CreatePicture(element, memo, &created);
    });
    EXPECT_EQ(result, kHostOk);
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(created.IsNull());
    EXPECT_EQ(host.ZoomToElements({created}), kHostOk);
    EXPECT_EQ(host.ReleaseMemo(&memo), kHostOk);

    const std::optional<ContractWorksheet> held = world.Worksheet(sheet);
    ASSERT_TRUE(held.has_value());
    ASSERT_EQ(held->pictures.size(), 1u);
    const ContractPicture& picture = held->pictures.front();
    EXPECT_EQ(picture.name, u"Contract picture");
    EXPECT_EQ(picture.formatCode, kPictureFormatPng);
    EXPECT_EQ(picture.bytes, sizeof kSmallPng) << "the host keeps its own copy of the bytes";
    EXPECT_NEAR(picture.xMin, element.xMin, kModelTolerance);
    EXPECT_NEAR(picture.yMin, element.yMin, kModelTolerance);
    EXPECT_NEAR(picture.xMax, element.xMax, kModelTolerance);
    EXPECT_NEAR(picture.yMax, element.yMax, kModelTolerance);
}

TEST_F(HostContractPlacement, BytesThatAreNotTheRecordsFormatAreUnreadableAndPlaceNothing) {
    const FrontWindowKept kept(host);
    const HostGuid sheet = NewCurrentWorksheet(host, u"Contract unreadable");
    ASSERT_FALSE(sheet.IsNull());
    PictureElement element = PictureRecord(host, u"Not a JPEG");
    element.formatCode = kPictureFormatJpeg;  // the bytes are a PNG
    ElementMemo memo = MemoOf(host, kSmallPng, sizeof kSmallPng);
    HostGuid created;
    EXPECT_EQ(host.RunUndoable(u"Place picture", [&] { return host.CreatePicture(element, memo, &created); }),
              kHostErrUnreadableImage);
    EXPECT_EQ(host.ReleaseMemo(&memo), kHostOk);
    const std::optional<ContractWorksheet> held = world.Worksheet(sheet);
    ASSERT_TRUE(held.has_value());
    EXPECT_TRUE(held->pictures.empty());
}

TEST_F(HostContractPlacement, APictureOutsideAnUndoStepIsRefusedAndPlacesNothing) {
    const FrontWindowKept kept(host);
    const HostGuid sheet = NewCurrentWorksheet(host, u"Contract outside");
    ASSERT_FALSE(sheet.IsNull());
    const PictureElement element = PictureRecord(host, u"Outside");
    ElementMemo memo = MemoOf(host, kSmallPng, sizeof kSmallPng);
    HostGuid created;
    EXPECT_NE(host.CreatePicture(element, memo, &created), kHostOk);
    EXPECT_EQ(host.ReleaseMemo(&memo), kHostOk);
    const std::optional<ContractWorksheet> held = world.Worksheet(sheet);
    ASSERT_TRUE(held.has_value());
    EXPECT_TRUE(held->pictures.empty());
}

TEST_F(HostContractUndoStep, TheCommandsFailureIsTheStepsResult) {
    constexpr HostError failure = static_cast<HostError>(0x8106ABCDu);
    int runs = 0;
    EXPECT_EQ(host.RunUndoable(u"Failing step", [&] {
        ++runs;
        return failure;
    }),
              failure);
    EXPECT_EQ(runs, 1);
}

TEST_F(HostContractMemory, ABlockIsOfItsSizeAndZeroedAndTheMemoIsClearedWhenGivenBack) {
    ElementMemo memo;
    ASSERT_EQ(host.AllocateBlock(4096, true, &memo.pictureData), kHostOk);
    ASSERT_NE(memo.pictureData.data, nullptr);
    EXPECT_NE(memo.pictureData.id, uintptr_t{0});
    EXPECT_EQ(memo.pictureData.size, 4096u);
    const uint8_t* data = memo.pictureData.data;
    EXPECT_TRUE(std::all_of(data, data + 4096, [](uint8_t b) { return b == 0; }));
    ASSERT_EQ(host.ReleaseMemo(&memo), kHostOk);
    EXPECT_EQ(memo.pictureData.id, uintptr_t{0});
    EXPECT_EQ(memo.pictureData.data, nullptr);
    EXPECT_EQ(memo.pictureData.size, 0u);
}

TEST_F(HostContractMemory, TwoBlocksAreApartAndAnEmptyMemoIsGivenBackQuietly) {
    ElementMemo a, b;
    ASSERT_EQ(host.AllocateBlock(64, true, &a.pictureData), kHostOk);
    ASSERT_EQ(host.AllocateBlock(64, true, &b.pictureData), kHostOk);
    EXPECT_NE(a.pictureData.id, b.pictureData.id);
    std::memset(a.pictureData.data, 0xAB, 64);
    EXPECT_EQ(b.pictureData.data[0], 0) << "writing one block wrote the other";
    EXPECT_EQ(host.ReleaseMemo(&a), kHostOk);
    EXPECT_EQ(host.ReleaseMemo(&b), kHostOk);
    ElementMemo empty;
    EXPECT_EQ(host.ReleaseMemo(&empty), kHostOk);
}

}  // namespace
