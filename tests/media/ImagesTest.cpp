// Image conversions end to end on pictures made at test time: normalising to PNG, the pixel-size
// probe, and the scaling JPEG encoder's size rule, quality clamp, white background and refusals.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

#include "media/TestImages.h"
#include "platform/Images.h"
#include "store/Images.h"
#include "store/MediaTypes.h"

namespace {
constexpr char kWineWebp[] = "Wine's WIC cannot decode WebP";
constexpr char kWineQuality[] = "Wine's JPEG encoders ignore the quality setting";

// A test picture of steps and blocks in at most 128 colours, so that it also fits a GIF.
uint32_t Scene(int x, int y) {
    const uint32_t r = static_cast<uint32_t>((x * 7 + y * 3) & 0xF0);
    const uint32_t g = ((x / 16 + y / 16) & 1) ? 200u : 40u;
    const uint32_t b = static_cast<uint32_t>((y * 40) & 0xC0);
    return 0xFF000000u | (r << 16) | (g << 8) | b;
}

std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
}

std::string JpegOf(const Bitmap& b, int quality = 90) {
    std::string jpeg;
    EXPECT_TRUE(EncodeBitmapJpeg(b, quality, &jpeg));
    return jpeg;
}

struct Size {
    int w = 0, h = 0;
};

Size PixelSize(const std::string& bytes) {
    Size s;
    EXPECT_TRUE(ImagePixelSize(bytes, &s.w, &s.h));
    return s;
}

Size JpegSizeAfter(const std::string& input, int maxSide, int quality = 80) {
    std::string out;
    EXPECT_TRUE(EncodeJpeg(input, maxSide, quality, &out));
    EXPECT_EQ(SniffContentType(out), "image/jpeg");
    return PixelSize(out);
}

int ChannelDistance(uint32_t a, uint32_t b) {
    int worst = 0;
    for (int shift = 0; shift <= 16; shift += 8)
        worst = std::max(worst, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
    return worst;
}

TEST(EnsurePngOrJpeg, PngAndJpegPassUntouched) {
    const Bitmap picture = MakeBitmap(9, 7, Scene);
    for (std::string bytes : {PngFile(picture, true), JpegOf(picture), std::string("\x89P"), std::string("\xFF\xD8junk")}) {
        const std::string before = bytes;
        EXPECT_TRUE(EnsurePngOrJpeg(&bytes));
        EXPECT_EQ(bytes, before);
    }
}

TEST(EnsurePngOrJpeg, GifAndBmpBecomePngOfTheSameSizeAndPixels) {
    const Bitmap picture = MakeBitmap(23, 11, Scene);
    for (std::string bytes : {GifFile(picture), BmpFile(picture)}) {
        ASSERT_TRUE(EnsurePngOrJpeg(&bytes));
        ASSERT_EQ(SniffContentType(bytes), "image/png");
        Bitmap decoded;
        ASSERT_TRUE(DecodeBitmap(bytes, &decoded));
        ASSERT_EQ(decoded.width, 23);
        ASSERT_EQ(decoded.height, 11);
        for (size_t i = 0; i < decoded.pixels.size(); ++i) ASSERT_EQ(decoded.pixels[i], picture.pixels[i]) << i;
    }
}

TEST(EnsurePngOrJpeg, WebpBecomesPngOfTheSameSizeAndPixels) {
    if (RunningUnderWine()) GTEST_SKIP() << kWineWebp;
    const int w = 37, h = 5;
    std::vector<bool> bits;
    for (int i = 0; i < w * h; ++i) bits.push_back((i * 7) % 3 == 0);
    std::string bytes = WebpLosslessFile(w, h, 200, 40, 10, 250, bits);
    ASSERT_EQ(SniffContentType(bytes), "image/webp");
    ASSERT_TRUE(EnsurePngOrJpeg(&bytes));
    ASSERT_EQ(SniffContentType(bytes), "image/png");
    Bitmap decoded;
    ASSERT_TRUE(DecodeBitmap(bytes, &decoded));
    ASSERT_EQ(decoded.width, w);
    ASSERT_EQ(decoded.height, h);
    for (int i = 0; i < w * h; ++i)
        ASSERT_EQ(decoded.pixels[static_cast<size_t>(i)], bits[static_cast<size_t>(i)] ? 0xFFC8FA28u : 0xFFC80A28u) << i;
}

TEST(EnsurePngOrJpeg, RefusesWhatIsNotAPictureAndLeavesItAlone) {
    const Bitmap picture = MakeBitmap(8, 8, Scene);
    const std::string gif = GifFile(picture), bmp = BmpFile(picture);
    const std::string cases[] = {
        bmp.substr(0, bmp.size() - 30),  // rows missing
        RandomBytes(5000, 1),
        std::string(),
        std::string("\x89"),
        std::string("GIF89a\x08\x00\x08\x00", 10),  // a GIF header and nothing after it
        gif.substr(0, gif.size() / 2) + RandomBytes(64, 2),
        std::string("RIFF\x20\x00\x00\x00WEBPVP8L", 16) + RandomBytes(20, 3),
    };
    for (std::string bytes : cases) {
        const std::string before = bytes;
        EXPECT_FALSE(EnsurePngOrJpeg(&bytes));
        EXPECT_EQ(bytes, before);
    }
}

TEST(NormalizeImage, ConvertsOnlyWebpAndUnknownContent) {
    const Bitmap picture = MakeBitmap(6, 4, Scene);
    // Recognised types come back as they are, even video or a damaged picture.
    for (const std::string& bytes : {GifFile(picture), BmpFile(picture), PngFile(picture, false), JpegOf(picture),
                                     std::string("\0\0\0\x18" "ftypisom", 12), std::string("BM broken")})
        EXPECT_EQ(NormalizeImage(bytes), bytes);
    EXPECT_EQ(NormalizeImage(RandomBytes(300, 4)), "");
    EXPECT_EQ(NormalizeImage(""), "");
}

TEST(ImagesFromWebp, AreNormalisedMeasuredAndEncoded) {
    if (RunningUnderWine()) GTEST_SKIP() << kWineWebp;
    const std::string webp = WebpLosslessFile(50, 20, 1, 2, 3, 4, std::vector<bool>(1000, true));
    const std::string png = NormalizeImage(webp);
    EXPECT_EQ(SniffContentType(png), "image/png");
    EXPECT_EQ(PixelSize(png).w, 50);
    const Size s = PixelSize(webp);
    EXPECT_EQ(s.w, 50);
    EXPECT_EQ(s.h, 20);
    const Size jpeg = JpegSizeAfter(webp, 25);
    EXPECT_EQ(jpeg.w, 25);
    EXPECT_EQ(jpeg.h, 10);
}

TEST(ImagePixelSize, ReadsEveryFormatAndRefusesGarbage) {
    const Bitmap picture = MakeBitmap(31, 17, Scene);
    for (const std::string& bytes : {PngFile(picture, true), PngFile(picture, false), JpegOf(picture), GifFile(picture),
                                     BmpFile(picture)}) {
        const Size s = PixelSize(bytes);
        EXPECT_EQ(s.w, 31);
        EXPECT_EQ(s.h, 17);
    }
    int w = -1, h = -1;
    EXPECT_FALSE(ImagePixelSize(RandomBytes(1000, 5), &w, &h));
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    EXPECT_FALSE(ImagePixelSize("", &w, &h));
    EXPECT_FALSE(ImagePixelSize(std::string("\xFF\xD8\xFF\xE0\x00\x10", 6), &w, &h));
}

TEST(EncodeJpeg, ScalesTheLongerSideDownToTheLimit) {
    // 4000 × 3000 → 1600 × 1200, from a JPEG (which the decoder may reduce on the way).
    const std::string big = JpegOf(MakeBitmap(4000, 3000, Scene), 75);
    Size s = JpegSizeAfter(big, 1600);
    EXPECT_EQ(s.w, 1600);
    EXPECT_EQ(s.h, 1200);
    s = JpegSizeAfter(big, 0);
    EXPECT_EQ(s.w, 4000);
    EXPECT_EQ(s.h, 3000);

    // The short side never drops below 1.
    const std::string tall = PngFile(MakeBitmap(1, 5000, Scene), false);
    s = JpegSizeAfter(tall, 480);
    EXPECT_EQ(s.w, 1);
    EXPECT_EQ(s.h, 480);

    const struct {
        int w, h, maxSide, expectW, expectH;
    } cases[] = {
        {8, 5, 4, 4, 3},        // 2.5 rounds away from zero
        {5, 8, 4, 3, 4},
        {1001, 333, 500, 500, 166},
        {300, 200, 480, 300, 200},  // never enlarged
        {480, 100, 480, 480, 100},  // exactly at the limit
        {500, 3, 100, 100, 1},      // 0.6 rounds to 1
        {3000, 2, 100, 100, 1},     // 0.067 is raised to 1
    };
    for (const auto& c : cases) {
        s = JpegSizeAfter(PngFile(MakeBitmap(c.w, c.h, Scene), false), c.maxSide);
        EXPECT_EQ(s.w, c.expectW) << c.w << "x" << c.h << " to " << c.maxSide;
        EXPECT_EQ(s.h, c.expectH) << c.w << "x" << c.h << " to " << c.maxSide;
    }
}

TEST(EncodeJpeg, ClampsTheQuality) {
    if (RunningUnderWine()) GTEST_SKIP() << kWineQuality;
    const std::string png = PngFile(MakeBitmap(64, 48, Scene), false);
    std::string q0, q1, q100, q150;
    ASSERT_TRUE(EncodeJpeg(png, 0, 0, &q0));
    ASSERT_TRUE(EncodeJpeg(png, 0, 1, &q1));
    ASSERT_TRUE(EncodeJpeg(png, 0, 100, &q100));
    ASSERT_TRUE(EncodeJpeg(png, 0, 150, &q150));
    EXPECT_EQ(q0, q1);
    EXPECT_EQ(q150, q100);
    EXPECT_LT(q1.size(), q100.size());
    std::string negative;
    ASSERT_TRUE(EncodeJpeg(png, 0, -20, &negative));
    EXPECT_EQ(negative, q1);
}

TEST(EncodeJpeg, DrawsTransparentPartsOnWhite) {
    // Left third fully transparent red, middle third half-transparent black, right third opaque
    // blue.
    const Bitmap picture = MakeBitmap(48, 16, [](int x, int) -> uint32_t {
        if (x < 16) return 0x00FF0000u;
        if (x < 32) return 0x80000000u;
        return 0xFF0000FFu;
    });
    std::string libraryPng;
    ASSERT_TRUE(EncodeBitmapPng(picture, &libraryPng));
    for (const std::string& input : {PngFile(picture, true), libraryPng}) {
        for (const int maxSide : {0, 24}) {
            std::string jpeg;
            ASSERT_TRUE(EncodeJpeg(input, maxSide, 100, &jpeg));
            Bitmap out;
            ASSERT_TRUE(DecodeBitmap(jpeg, &out));
            const int third = out.width / 3;
            uint32_t p = 0;
            ASSERT_TRUE(out.GetPixel(third / 2, out.height / 2, &p));
            EXPECT_LE(ChannelDistance(p, 0xFFFFFFFFu), 6) << std::hex << p;
            ASSERT_TRUE(out.GetPixel(third + third / 2, out.height / 2, &p));
            EXPECT_LE(ChannelDistance(p, 0xFF7F7F7Fu), 6) << std::hex << p;
            ASSERT_TRUE(out.GetPixel(2 * third + third / 2, out.height / 2, &p));
            EXPECT_LE(ChannelDistance(p, 0xFF0000FFu), 12) << std::hex << p;
        }
    }
}

TEST(EncodeJpeg, RefusesGarbageWithAnEmptyResult) {
    const Bitmap picture = MakeBitmap(40, 30, Scene);
    const std::string jpeg = JpegOf(picture);
    const std::string png = PngFile(picture, true);
    const std::string cases[] = {
        RandomBytes(4096, 7),
        std::string(),
        jpeg.substr(0, 20),
        png.substr(0, 40),
        "\x89PNG\r\n\x1A\n" + RandomBytes(200, 8),
        "\xFF\xD8\xFF" + RandomBytes(200, 9),
        "BM" + RandomBytes(60, 10),
        "GIF89a" + RandomBytes(60, 11),
    };
    for (const std::string& bytes : cases) {
        std::string out = "left over";
        EXPECT_FALSE(EncodeJpeg(bytes, 640, 82, &out));
        EXPECT_TRUE(out.empty());
    }
}

TEST(EncodeJpeg, ReadsEveryInputFormat) {
    const Bitmap picture = MakeBitmap(50, 20, Scene);
    for (const std::string& input : {PngFile(picture, true), GifFile(MakeBitmap(50, 20, [](int x, int y) {
                                         return ((x + y) & 1) ? 0xFF102030u : 0xFFF0E0D0u;
                                     })),
                                     BmpFile(picture), JpegOf(picture)}) {
        const Size s = JpegSizeAfter(input, 25);
        EXPECT_EQ(s.w, 25);
        EXPECT_EQ(s.h, 10);
    }
}
}  // namespace
