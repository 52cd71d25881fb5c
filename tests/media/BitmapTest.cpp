// The platform's picture operations: the resampler against a double-precision reference, exact
// round trips, the decoder's reduction hint and the bounds every operation keeps.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "media/TestImages.h"
#include "platform/Images.h"

namespace {
constexpr char kWineBilinear[] = "Wine's GDI+ draws high-quality bicubic as bilinear";

// Keys' cubic with a = -0.5, the high-quality bicubic filter.
double Keys(double x) {
    x = std::fabs(x);
    if (x < 1) return 1.5 * x * x * x - 2.5 * x * x + 1;
    if (x < 2) return -0.5 * x * x * x + 2.5 * x * x - 4 * x + 2;
    return 0;
}

// Weights of every source position for one output position: the filter stretched by the ratio
// when shrinking, centred on the output pixel's centre, normalised over the picture.
std::vector<double> Weights(int source, int target, int i) {
    const double scale = static_cast<double>(source) / target;
    const double stretch = std::max(1.0, scale);
    const double centre = (i + 0.5) * scale;
    std::vector<double> w(static_cast<size_t>(source));
    double sum = 0;
    for (int x = 0; x < source; ++x) sum += w[static_cast<size_t>(x)] = Keys((x + 0.5 - centre) / stretch);
    for (double& v : w) v /= sum;
    return w;
}

double OnWhite(uint32_t p, int shift) {
    const double a = (p >> 24) / 255.0;
    return 255.0 + (static_cast<double>((p >> shift) & 0xFF) - 255.0) * a;
}

// Direct two-dimensional filtering in double precision.
std::vector<double> Reference(const Bitmap& src, int width, int height) {
    std::vector<double> out(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    for (int j = 0; j < height; ++j) {
        const std::vector<double> wy = Weights(src.height, height, j);
        for (int i = 0; i < width; ++i) {
            const std::vector<double> wx = Weights(src.width, width, i);
            double acc[3] = {0, 0, 0};
            for (int y = 0; y < src.height; ++y) {
                if (wy[static_cast<size_t>(y)] == 0) continue;
                for (int x = 0; x < src.width; ++x) {
                    const double w = wy[static_cast<size_t>(y)] * wx[static_cast<size_t>(x)];
                    if (w == 0) continue;
                    const uint32_t p = src.pixels[static_cast<size_t>(y) * static_cast<size_t>(src.width) +
                                                  static_cast<size_t>(x)];
                    for (int c = 0; c < 3; ++c) acc[c] += w * OnWhite(p, 8 * c);
                }
            }
            for (int c = 0; c < 3; ++c)
                out[(static_cast<size_t>(j) * static_cast<size_t>(width) + static_cast<size_t>(i)) * 3 +
                    static_cast<size_t>(c)] = std::clamp(acc[c], 0.0, 255.0);
        }
    }
    return out;
}

Bitmap Textured(int w, int h, bool alpha, unsigned seed) {
    std::mt19937 rng(seed);
    return MakeBitmap(w, h, [&](int x, int y) -> uint32_t {
        const uint32_t r = static_cast<uint32_t>(128 + 100 * std::sin(x * 0.3) * std::cos(y * 0.2));
        const uint32_t g = ((x / 5 + y / 7) & 1) ? 220u : 30u;  // hard edges
        const uint32_t b = static_cast<uint32_t>(rng() & 0xFF);  // noise
        const uint32_t a = alpha ? static_cast<uint32_t>((x * 255) / std::max(1, w - 1)) : 255u;
        return (a << 24) | (r << 16) | (g << 8) | b;
    });
}

TEST(DrawScaledOnWhite, MatchesADoublePrecisionBicubicReference) {
    if (RunningUnderWine()) GTEST_SKIP() << kWineBilinear;
    const struct {
        int w, h, toW, toH;
        bool alpha;
    } cases[] = {
        {97, 61, 40, 25, false},   // shrinking by about 2.4
        {97, 61, 12, 7, true},     // shrinking by about 8, with alpha
        {30, 20, 71, 45, false},   // enlarging
        {97, 61, 97, 20, true},    // one axis only
        {97, 61, 13, 61, false},
        {5, 3, 2, 1, false},       // fewer source pixels than filter taps
        {1, 40, 1, 9, false},
    };
    for (const auto& c : cases) {
        const Bitmap src = Textured(c.w, c.h, c.alpha, 17);
        Bitmap out;
        ASSERT_TRUE(DrawScaledOnWhite(src, c.toW, c.toH, &out));
        ASSERT_EQ(out.width, c.toW);
        ASSERT_EQ(out.height, c.toH);
        EXPECT_TRUE(out.opaque);
        const std::vector<double> ref = Reference(src, c.toW, c.toH);
        double total = 0, worst = 0;
        for (size_t i = 0; i < out.pixels.size(); ++i) {
            ASSERT_EQ(out.pixels[i] >> 24, 0xFFu);
            for (int ch = 0; ch < 3; ++ch) {
                const double e = std::fabs(static_cast<double>((out.pixels[i] >> (8 * ch)) & 0xFF) -
                                           ref[i * 3 + static_cast<size_t>(ch)]);
                total += e;
                worst = std::max(worst, e);
            }
        }
        const double mean = total / (static_cast<double>(out.pixels.size()) * 3);
        EXPECT_LT(mean, 1.0) << c.w << "x" << c.h << " to " << c.toW << "x" << c.toH;
        EXPECT_LE(worst, 1.0) << c.w << "x" << c.h << " to " << c.toW << "x" << c.toH;
    }
}

TEST(DrawScaledOnWhite, KeepsAFlatColourFlatToTheEdges) {
    if (RunningUnderWine()) GTEST_SKIP() << kWineBilinear;
    const Bitmap flat = MakeBitmap(50, 30, [](int, int) { return 0xFF336699u; });
    for (const auto& [w, h] : {std::pair{17, 9}, std::pair{50, 30}, std::pair{173, 111}, std::pair{1, 1}}) {
        Bitmap out;
        ASSERT_TRUE(DrawScaledOnWhite(flat, w, h, &out));
        for (const uint32_t p : out.pixels) ASSERT_EQ(p, 0xFF336699u) << w << "x" << h;
    }
}

TEST(Bitmaps, PngRoundTripKeepsEveryPixelAndAlpha) {
    const Bitmap src = Textured(33, 21, true, 3);
    std::string png;
    ASSERT_TRUE(EncodeBitmapPng(src, &png));
    Bitmap back;
    ASSERT_TRUE(DecodeBitmap(png, &back));
    ASSERT_EQ(back.width, 33);
    ASSERT_EQ(back.height, 21);
    EXPECT_FALSE(back.opaque);
    for (size_t i = 0; i < src.pixels.size(); ++i) ASSERT_EQ(back.pixels[i], src.pixels[i]) << i;
}

TEST(Bitmaps, JpegDecodesReducedOnlyDownToTheHint) {
    std::string jpeg;
    ASSERT_TRUE(EncodeBitmapJpeg(Textured(400, 300, false, 5), 85, &jpeg));
    for (const auto& [minW, minH] : {std::pair{160, 120}, std::pair{399, 1}, std::pair{0, 0}, std::pair{51, 38}}) {
        Bitmap b;
        ASSERT_TRUE(DecodeBitmap(jpeg, &b, minW, minH));
        EXPECT_GE(b.width, minW);
        EXPECT_GE(b.height, minH);
        EXPECT_LE(b.width, 400);
        EXPECT_LE(b.height, 300);
        EXPECT_TRUE(b.opaque);
        EXPECT_EQ(b.pixels.size(), static_cast<size_t>(b.width) * static_cast<size_t>(b.height));
        if (minW == 0) {
            EXPECT_EQ(b.width, 400);
        }
    }
}

TEST(Bitmaps, EveryOperationKeepsItsBounds) {
    Bitmap b = MakeBitmap(3, 2, [](int x, int y) { return 0xFF000000u | static_cast<uint32_t>(x * 16 + y); });
    uint32_t p = 0;
    EXPECT_TRUE(b.GetPixel(2, 1, &p));
    EXPECT_EQ(p, 0xFF000021u);
    for (const auto& [x, y] : {std::pair{3, 0}, std::pair{0, 2}, std::pair{-1, 0}, std::pair{0, -1}})
        EXPECT_FALSE(b.GetPixel(x, y, &p)) << x << "," << y;

    Bitmap big;
    EXPECT_FALSE(big.Allocate(1 << 14, (1 << 13) + 1));
    EXPECT_FALSE(big.Allocate(0, 5));
    EXPECT_FALSE(big.Allocate(5, -1));
    EXPECT_TRUE(big.Allocate(7, 3));
    EXPECT_EQ(big.pixels.size(), 21u);

    Bitmap out;
    EXPECT_FALSE(DrawScaledOnWhite(b, 0, 5, &out));
    EXPECT_FALSE(DrawScaledOnWhite(b, 5, -2, &out));
    EXPECT_FALSE(DrawScaledOnWhite(b, 1 << 14, (1 << 13) + 1, &out));
    EXPECT_FALSE(DrawScaledOnWhite(Bitmap(), 5, 5, &out));

    std::string bytes;
    EXPECT_FALSE(EncodeBitmapJpeg(b, 0, &bytes));
    EXPECT_FALSE(EncodeBitmapJpeg(b, 101, &bytes));
    EXPECT_FALSE(EncodeBitmapJpeg(Bitmap(), 90, &bytes));
    EXPECT_FALSE(EncodeBitmapPng(Bitmap(), &bytes));
    Bitmap inconsistent = b;
    inconsistent.pixels.pop_back();
    EXPECT_FALSE(EncodeBitmapPng(inconsistent, &bytes));
    EXPECT_FALSE(DrawScaledOnWhite(inconsistent, 2, 2, &out));

    std::string png;
    ASSERT_TRUE(EncodeBitmapPng(Textured(64, 64, false, 9), &png));
    EXPECT_FALSE(ConvertToPng(png, 100, &bytes)) << "a 100-byte limit cannot hold 64 × 64 noise";
    EXPECT_TRUE(ConvertToPng(png, png.size() * 2, &bytes));
}

TEST(Bitmaps, APictureOverTheCapIsRefusedBeforeItIsDecoded) {
    // 16 MiB of file that decodes to 2^27 + 16384 pixels (512 MiB as 32-bit pixels).
    const std::string huge = BlackPng1Bit(16384, 8193);
    std::string bytes;
    EXPECT_FALSE(ConvertToPng(huge, size_t{1} << 30, &bytes));
    Bitmap bitmap;
    EXPECT_FALSE(DecodeBitmap(huge, &bitmap));
    EXPECT_TRUE(ConvertToPng(BlackPng1Bit(300, 200), size_t{1} << 20, &bytes)) << "the same kind of file, smaller";
}
}  // namespace
