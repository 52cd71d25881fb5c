// Placing an image on a new worksheet: the source, the label, the image's format and size, the
// host steps and their failures, and the project changing while a placement waits.
#include <gtest/gtest.h>

#include "handlers/output/Output.h"
#include "media/TestImages.h"
#include "output/OutputTestSupport.h"
#include "panel/Replies.h"
#include "platform/UserFolders.h"
#include "platform/Utf.h"
#include "store/FileStore.h"
#include "store/Images.h"
#include "support/ScopedEnvironment.h"
#include "support/Wine.h"

namespace {

Bitmap Gradient(int width, int height) {
    return MakeBitmap(width, height, [](int x, int y) { return 0xFF000000u | uint32_t(x * 40) << 16 | uint32_t(y * 40); });
}

std::string PlacePayload(const std::string& ref, const std::string& label = "Render") {
    return "{\"fileRef\":" + JsonQuote(ref) + ",\"label\":" + JsonQuote(label) + "}";
}

class Placing : public ::testing::Test {
protected:
    const ScriptedPage::Message* Place(const std::string& id, const std::string& payload) {
        h.Post(Request(id, "place", payload));
        return RunUntilReply(h, id);
    }
    const std::vector<SimWorksheet>& Sheets() { return h.host().model.worksheets; }

    Harness h;
    const std::string png = PngFile(Gradient(6, 4), false);
};

TEST_F(Placing, ASourceThatNamesNothingIsMissingFileAndChangesNothing) {
    ScopedEnvironment noFlag("TAMSEL_OVRA_FAIL_PLACE", std::nullopt);
    // A picture where an escaping reference would lead, so that reading it would place it.
    WriteFileText(h.folders().dataFolder() / "token.dat", png);
    WriteFileText(h.folders().dataFolder() / "token", png);
    const std::vector<std::string> payloads = {"", "{}", R"({"fileRef":"","path":""})", R"({"fileRef":7,"path":[]})",
                                               R"({"fileRef":"cap-../../token"})",
                                               // The reference wins: the path is never fetched, so
                                               // no "revoked" for the missing token either.
                                               R"({"fileRef":"res-0123456789abcdef0123456789abcdef","path":"/files/job_1/result.png"})"};
    int n = 0;
    for (const std::string& payload : payloads) {
        const std::string id = std::string("p").append(std::to_string(n++));
        const auto* reply = Place(id, payload);
        ASSERT_NE(reply, nullptr) << payload;
        EXPECT_EQ(reply->ErrorCode(), "missing_file") << payload;
        EXPECT_EQ(ErrorReason(*reply), "") << payload;
    }
    EXPECT_TRUE(Sheets().empty());
    EXPECT_TRUE(h.host().undoHistory.empty());
}

TEST_F(Placing, PutsThePictureOnANewCurrentWorksheetInOneUndoStepAndZoomsToIt) {
    const auto* reply = Place("1", PlacePayload(StoreResult(png), "Kitchen \xC3\xA0 noite"));
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(reply->json, R"({"id":"1","ok":true,"result":{"label":"Kitchen )" "\xC3\xA0" R"( noite"}})");
    ASSERT_EQ(Sheets().size(), 1u);
    const SimWorksheet& sheet = Sheets()[0];
    EXPECT_EQ(sheet.name, u"Kitchen \u00e0 noite");
    EXPECT_EQ(sheet.refId, u"TO");
    EXPECT_EQ(h.host().front.kind, kDatabaseWorksheet);
    EXPECT_EQ(h.host().front.databaseGuid, sheet.guid);
    ASSERT_EQ(sheet.pictures.size(), 1u);
    const SimPictureElement& picture = sheet.pictures[0];
    EXPECT_EQ(picture.settings.name, u"Kitchen \u00e0 noite");
    EXPECT_EQ(picture.settings.formatCode, kPictureFormatPng);
    EXPECT_EQ(std::string(picture.bytes.begin(), picture.bytes.end()), png);
    // Every setting the host's defaults would otherwise give.
    EXPECT_EQ(picture.settings.framePen, 0);
    EXPECT_EQ(picture.settings.mirrored, 0);
    EXPECT_EQ(picture.settings.angle, 0.0);
    EXPECT_EQ(picture.settings.colourDepth, 6);
    EXPECT_DOUBLE_EQ(picture.settings.xMin, 0.0);
    EXPECT_DOUBLE_EQ(picture.settings.yMin, 0.0);
    EXPECT_DOUBLE_EQ(picture.settings.xMax, 0.06);
    EXPECT_DOUBLE_EQ(picture.settings.yMax, 0.04);
    EXPECT_EQ(h.host().undoHistory, std::vector<std::u16string>{u"Kitchen \u00e0 noite"});
    EXPECT_EQ(h.host().lastZoom, std::vector<HostGuid>{picture.guid});
    EXPECT_EQ(h.host().LiveBlocks(), 0u) << "the memo's block is given back";
    EXPECT_NE(LogText(h).find("place 0 step \r\n"), std::string::npos);
}

TEST_F(Placing, ALongLabelIsCutAtAWholeCharacterWithin120BytesEverywhere) {
    struct Case {
        std::string label, expected;
    } cases[] = {
        {std::string(130, 'a'), std::string(120, 'a')},
        // "é" would straddle the limit: it goes whole.
        {std::string(119, 'b') + "\xC3\xA9" + "cc", std::string(119, 'b')},
        // A four-byte character ending exactly at 120 stays.
        {std::string(116, 'c') + "\xF0\x9F\x8F\xA0" + "d", std::string(116, 'c') + "\xF0\x9F\x8F\xA0"},
        {std::string(120, 'e'), std::string(120, 'e')},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string id = std::string("l").append(std::to_string(n++));
        const auto* reply = Place(id, PlacePayload(StoreResult(png), c.label));
        ASSERT_NE(reply, nullptr);
        EXPECT_EQ(ResultString(*reply, "label"), c.expected);
        ASSERT_FALSE(Sheets().empty());
        EXPECT_EQ(Sheets().back().name, Utf8ToUtf16(c.expected));
        ASSERT_EQ(Sheets().back().pictures.size(), 1u);
        EXPECT_EQ(Sheets().back().pictures[0].settings.name, Utf8ToUtf16(c.expected));
        EXPECT_EQ(h.host().undoHistory.back(), Utf8ToUtf16(c.expected));
    }
}

TEST_F(Placing, AnEmptyLabelIsTheLocalDayMonthAndTime) {
    TimeOfDay t;
    t.day = 7, t.month = 3, t.hour = 9, t.minute = 5, t.second = 0;
    SetLocalTimeForTesting(t);
    const auto* reply = Place("1", R"({"fileRef":")" + StoreResult(png) + R"(","label":""})");
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(ResultString(*reply, "label"), "Tamsel Ovra 07-03 09.05.00");
    TimeOfDay late;
    late.day = 31, late.month = 12, late.hour = 23, late.minute = 59, late.second = 58;
    SetLocalTimeForTesting(late);
    const auto* second = Place("2", R"({"fileRef":")" + StoreResult(png) + R"(","label":5})");
    SetLocalTimeForTesting(std::nullopt);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(ResultString(*second, "label"), "Tamsel Ovra 31-12 23.59.58");
    ASSERT_EQ(Sheets().size(), 2u);
    EXPECT_EQ(Sheets()[0].name, u"Tamsel Ovra 07-03 09.05.00");
}

TEST_F(Placing, WebpAndGifArePlacedAsPngAndJpegUnchanged) {
    const Bitmap picture = Gradient(5, 3);
    std::string jpeg;
    ASSERT_TRUE(EncodeBitmapJpeg(picture, 90, &jpeg));
    const std::vector<bool> bits(15, true);
    struct Case {
        std::string name, bytes;
        int32_t format;
    } cases[] = {
        {"webp", WebpLosslessFile(5, 3, 10, 20, 30, 200, bits), kPictureFormatPng},
        {"gif", GifFile(picture), kPictureFormatPng},
        {"bmp", BmpFile(picture), kPictureFormatPng},
        {"jpeg", jpeg, kPictureFormatJpeg},
    };
    for (const Case& c : cases) {
        // Wine's imaging components have no WebP decoder; the Linux build covers that case.
        if (c.name == "webp" && RunningUnderWine()) continue;
        const auto* reply = Place(c.name, PlacePayload(StoreResult(c.bytes), c.name));
        ASSERT_NE(reply, nullptr);
        ASSERT_TRUE(reply->Ok()) << c.name << ": " << reply->json;
        const SimPictureElement& placed = Sheets().back().pictures.at(0);
        EXPECT_EQ(placed.settings.formatCode, c.format) << c.name;
        const std::string bytes(placed.bytes.begin(), placed.bytes.end());
        if (c.format == kPictureFormatJpeg) {
            EXPECT_EQ(bytes, c.bytes) << "a JPEG goes to the host as it is";
        } else {
            EXPECT_EQ(bytes.substr(0, 4), "\x89PNG") << c.name;
            int w = 0, hgt = 0;
            ASSERT_TRUE(ImagePixelSize(bytes, &w, &hgt));
            EXPECT_EQ(w, 5);
            EXPECT_EQ(hgt, 3);
        }
        EXPECT_DOUBLE_EQ(placed.settings.xMax, 0.05) << c.name;
        EXPECT_DOUBLE_EQ(placed.settings.yMax, 0.03) << c.name;
    }
}

TEST_F(Placing, AFullHdImageIsNineteenPointTwoByTenPointEightModelUnits) {
    const auto* reply = Place("hd", PlacePayload(StoreResult(BlackPng1Bit(1920, 1080))));
    ASSERT_NE(reply, nullptr);
    ASSERT_TRUE(reply->Ok()) << reply->json;
    const PictureElement& s = Sheets().at(0).pictures.at(0).settings;
    EXPECT_DOUBLE_EQ(s.xMax - s.xMin, 19.2);
    EXPECT_DOUBLE_EQ(s.yMax - s.yMin, 10.8);
}

TEST_F(Placing, BytesThatAreNoImageAreUnreadableAndCreateNoWorksheet) {
    for (const std::string& bytes : {std::string("%PDF-1.7 not a picture"), std::string("\x89PNG\r\n\x1a\n broken", 16),
                                     std::string("\xFF\xD8\xFF\xE0 cut", 8)}) {
        const auto* reply = Place(std::string("bad").append(std::to_string(bytes.size())), PlacePayload(StoreResult(bytes)));
        ASSERT_NE(reply, nullptr);
        EXPECT_EQ(reply->ErrorCode(), "place_failed");
        EXPECT_EQ(ErrorReason(*reply), "unreadable_image");
    }
    EXPECT_TRUE(Sheets().empty());
    EXPECT_NE(LogText(h).find("place -2130313112 step \r\n"), std::string::npos);
}

TEST_F(Placing, TheFailPlaceFlagRefusesEveryPlacementBeforeTheHostIsAsked) {
    for (const char* value : {"1", "1xy", "10"}) {
        ScopedEnvironment flag("TAMSEL_OVRA_FAIL_PLACE", value);
        const auto* reply = Place(std::string("f") + value, PlacePayload(StoreResult(png)));
        ASSERT_NE(reply, nullptr);
        EXPECT_EQ(ErrorReason(*reply), "refused_by_archicad") << value;
    }
    EXPECT_TRUE(Sheets().empty());
    EXPECT_NE(LogText(h).find("place -2130312312 step \r\n"), std::string::npos);
    // Values that do not ask for it: another first character, or too long for the flag.
    for (const char* value : {"0", "yes", "1234"}) {
        ScopedEnvironment flag("TAMSEL_OVRA_FAIL_PLACE", value);
        const auto* reply = Place(std::string("n") + value, PlacePayload(StoreResult(png)));
        ASSERT_NE(reply, nullptr);
        EXPECT_TRUE(reply->Ok()) << value;
    }
}

TEST(PlacingFailures, EachHostStepThatFailsIsNamedAndLeavesWhatTheHostAlreadyMade) {
    const std::string png = PngFile(Gradient(6, 4), false);
    constexpr HostError kOdd = static_cast<HostError>(0x81060001u);
    struct Case {
        const char* operation;
        HostError code;
        const char* step;
        size_t worksheetsLeft;
        const char* reason;
    } cases[] = {
        {"NewDatabase", kOdd, "NewDatabase", 0, "archicad_error_-2130313215"},
        {"ChangeWindow", kHostErrRefused, "ChangeWindow", 1, "refused_by_archicad"},
        {"RunUndoable", kOdd, "CallUndoableCommand", 1, "archicad_error_-2130313215"},
        {"GetPictureDefaults", kHostErrNotFound, "GetDefaults", 1, "archicad_error_-2130313115"},
        {"AllocateBlock", kOdd, "memory", 1, "out_of_memory"},
        {"CreatePicture", kHostErrOutOfMemory, "Element_Create", 1, "out_of_memory"},
    };
    for (const Case& c : cases) {
        Harness fresh;
        fresh.host().FailOperation(c.operation, c.code, true);
        fresh.Post(Request("1", "place", PlacePayload(StoreResult(png))));
        const auto* reply = RunUntilReply(fresh, "1");
        ASSERT_NE(reply, nullptr) << c.operation;
        EXPECT_EQ(reply->ErrorCode(), "place_failed") << c.operation;
        EXPECT_EQ(ErrorReason(*reply), c.reason) << c.operation;
        const auto& sheets = fresh.host().model.worksheets;
        ASSERT_EQ(sheets.size(), c.worksheetsLeft) << c.operation;
        if (!sheets.empty()) {
            EXPECT_TRUE(sheets[0].pictures.empty()) << c.operation;
        }
        EXPECT_TRUE(fresh.host().undoHistory.empty()) << c.operation;
        EXPECT_EQ(fresh.host().LiveBlocks(), 0u) << c.operation;
        const HostError logged = c.operation == std::string("AllocateBlock") ? kHostErrOutOfMemory : c.code;
        EXPECT_NE(LogText(fresh).find("place " + std::to_string(logged) + " step " + c.step + "\r\n"),
                  std::string::npos)
            << c.operation;
    }
}

TEST_F(Placing, AFailedZoomStillPlacesThePicture) {
    h.host().FailOperation("ZoomToElements", kHostErrRefused);
    const auto* reply = Place("z", PlacePayload(StoreResult(png)));
    ASSERT_NE(reply, nullptr);
    EXPECT_TRUE(reply->Ok());
    ASSERT_EQ(Sheets().size(), 1u);
    EXPECT_EQ(Sheets()[0].pictures.size(), 1u);
    EXPECT_EQ(h.host().zooms, 0);
}

TEST_F(Placing, WhenTheHostRefusesTheEventLoopCallThePlacementRunsInsideThePump) {
    h.host().refuseEventLoopCalls = kHostErrRefused;
    h.Post(Request("r", "place", PlacePayload(StoreResult(png))));
    h.Idle();
    ASSERT_NE(h.OnlyReplyTo("r"), nullptr);
    EXPECT_TRUE(h.OnlyReplyTo("r")->Ok());
    EXPECT_EQ(Sheets().size(), 1u);
}

// The host may call the add-on's module command back before or after the idle and timer
// notifications that follow its project notification: in either order the old project's picture
// is not placed in the project just opened, and the old page's request gets no answer in the new
// page (its page is gone).
TEST_F(Placing, AProjectChangeWhileThePlacementWaitsForItsCallBackPlacesNothingInEitherOrder) {
    for (const bool callBackFirst : {true, false}) {
        SCOPED_TRACE(callBackFirst ? "the event-loop call-back first" : "the timer first");
        const std::string id = callBackFirst ? "w1" : "w2";
        h.Post(Request(id, "place", PlacePayload(StoreResult(png))));
        h.Idle();  // read from the store; the placement waits for the host's event-loop call
        ASSERT_TRUE(h.page().RepliesTo(id).empty());
        const size_t undoSteps = h.host().undoHistory.size();
        h.host().project = {false, false, "/projects/other.pln", "other"};
        h.host().SendProjectEvent(4);
        if (!callBackFirst) h.host().Advance(std::chrono::milliseconds(100));
        h.host().RunEventLoopCalls();
        h.host().Advance(std::chrono::milliseconds(100));
        h.host().FinishPageLoad();
        h.Idle(3);
        EXPECT_TRUE(h.page().RepliesTo(id).empty());
        EXPECT_NE(LogText(h).find("reply dropped after reload " + id), std::string::npos);
        EXPECT_TRUE(Sheets().empty());
        EXPECT_EQ(h.host().undoHistory.size(), undoSteps);
    }
    // The next placement belongs to the new project and goes ahead.
    EXPECT_TRUE(Place("next", PlacePayload(StoreResult(png)))->Ok());
}

}  // namespace
