// POSIX: drawing a picture scaled onto opaque white with a separable high-quality bicubic filter
// (Keys' cubic, a = -0.5). When shrinking, the filter's support is widened by the ratio, so every
// source pixel contributes in proportion to the area it covers and fine detail does not alias.
//
// Transparent pixels are composed onto white before filtering. Because the weights of every
// output pixel sum to 1, that gives the same result as filtering premultiplied colour and alpha
// and composing afterwards, with three useful channels instead of four.
//
// Rows are filtered horizontally into a small ring of float rows, then columns vertically. Each
// pixel is one 4-lane float vector, so the inner loops map onto SIMD registers directly.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "platform/Images.h"

namespace {
typedef float Float4 __attribute__((vector_size(16)));

inline Float4 Load(const float* p) {
    Float4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void Store(float* p, Float4 v) { std::memcpy(p, &v, sizeof v); }

double Cubic(double x) {
    constexpr double a = -0.5;
    x = std::fabs(x);
    if (x < 1) return ((a + 2) * x - (a + 3)) * x * x + 1;
    if (x < 2) return ((a * x - 5 * a) * x + 8 * a) * x - 4 * a;
    return 0;
}

// The filter along one axis: for every output position, `count` weights applied to the source
// positions from `first[i]` on. Windows cut by the picture's edge are renormalised; short
// windows are padded with zero weights so that every output has the same count.
struct Axis {
    int count = 0;
    std::vector<int> first;
    std::vector<float> weights;
    // The same weights, each repeated across the four lanes, for the horizontal pass.
    std::vector<float> lanes;
};

Axis MakeAxis(int source, int target) {
    const double scale = static_cast<double>(source) / target;
    const double widen = std::max(scale, 1.0);
    const double support = 2.0 * widen;
    Axis axis;
    axis.count = std::min(source, static_cast<int>(std::ceil(support)) * 2 + 1);
    axis.first.resize(static_cast<size_t>(target));
    axis.weights.assign(static_cast<size_t>(target) * static_cast<size_t>(axis.count), 0.0f);
    std::vector<double> w(static_cast<size_t>(axis.count));
    for (int i = 0; i < target; ++i) {
        // Pixel centres sit at half-integers in both grids.
        const double centre = (i + 0.5) * scale;
        const int lo = std::max(0, static_cast<int>(std::floor(centre - support + 0.5)));
        const int hi = std::min(source, static_cast<int>(std::floor(centre + support + 0.5)));
        const int first = std::max(0, std::min(lo, source - axis.count));
        double sum = 0;
        std::fill(w.begin(), w.end(), 0.0);
        for (int j = lo; j < hi && j - first < axis.count; ++j) {
            w[static_cast<size_t>(j - first)] = Cubic((j + 0.5 - centre) / widen);
            sum += w[static_cast<size_t>(j - first)];
        }
        axis.first[static_cast<size_t>(i)] = first;
        float* out = &axis.weights[static_cast<size_t>(i) * static_cast<size_t>(axis.count)];
        for (int k = 0; k < axis.count; ++k) out[k] = sum != 0 ? static_cast<float>(w[static_cast<size_t>(k)] / sum) : 0.0f;
    }
    axis.lanes.resize(axis.weights.size() * 4);
    for (size_t k = 0; k < axis.weights.size(); ++k)
        for (size_t lane = 0; lane < 4; ++lane) axis.lanes[4 * k + lane] = axis.weights[k];
    return axis;
}

// One source row composed onto white as floats: B, G, R and a spare lane per pixel. An opaque
// row is a plain byte-to-float conversion (the spare lane then holds alpha, which is unused).
void RowOnWhite(const uint32_t* pixels, int width, bool opaque, float* out) {
    if (opaque) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(pixels);
        const size_t n = 4 * static_cast<size_t>(width);
        for (size_t i = 0; i < n; ++i) out[i] = bytes[i];
        return;
    }
    const Float4 white = {255.0f, 255.0f, 255.0f, 0.0f};
    for (int x = 0; x < width; ++x) {
        const uint32_t p = pixels[x];
        const Float4 colour = {static_cast<float>(p & 0xFF), static_cast<float>((p >> 8) & 0xFF),
                               static_cast<float>((p >> 16) & 0xFF), 0.0f};
        const float alpha = static_cast<float>(p >> 24) * (1.0f / 255.0f);
        Store(out + 4 * x, white + (colour - white) * alpha);
    }
}

// Four independent sums, so consecutive taps do not wait for each other's additions.
void FilterRow(const float* in, const Axis& axis, int target, float* out) {
    const int count = axis.count;
    for (int i = 0; i < target; ++i) {
        const float* w = &axis.lanes[4 * static_cast<size_t>(i) * static_cast<size_t>(count)];
        const float* s = in + 4 * static_cast<size_t>(axis.first[static_cast<size_t>(i)]);
        Float4 s0 = {0, 0, 0, 0}, s1 = s0, s2 = s0, s3 = s0;
        int k = 0;
        for (; k + 4 <= count; k += 4) {
            s0 += Load(s + 4 * k) * Load(w + 4 * k);
            s1 += Load(s + 4 * k + 4) * Load(w + 4 * k + 4);
            s2 += Load(s + 4 * k + 8) * Load(w + 4 * k + 8);
            s3 += Load(s + 4 * k + 12) * Load(w + 4 * k + 12);
        }
        for (; k < count; ++k) s0 += Load(s + 4 * k) * Load(w + 4 * k);
        Store(out + 4 * static_cast<size_t>(i), (s0 + s1) + (s2 + s3));
    }
}

inline uint32_t Channel(float v) {
    v = std::min(255.0f, std::max(0.0f, v));
    return static_cast<uint32_t>(v + 0.5f);
}

inline uint32_t Pack(Float4 p) { return 0xFF000000u | (Channel(p[2]) << 16) | (Channel(p[1]) << 8) | Channel(p[0]); }

void PackRow(const float* in, int width, uint32_t* out) {
    for (int x = 0; x < width; ++x) out[x] = Pack(Load(in + 4 * x));
}

// One output row from `count` intermediate rows, four pixels at a time in independent sums.
void FilterColumns(const float* const* rows, const float* w, int count, int width, uint32_t* out) {
    int x = 0;
    for (; x + 4 <= width; x += 4) {
        const size_t i = 4 * static_cast<size_t>(x);
        Float4 s0 = {0, 0, 0, 0}, s1 = s0, s2 = s0, s3 = s0;
        for (int k = 0; k < count; ++k) {
            const float* r = rows[k] + i;
            s0 += Load(r) * w[k];
            s1 += Load(r + 4) * w[k];
            s2 += Load(r + 8) * w[k];
            s3 += Load(r + 12) * w[k];
        }
        out[x] = Pack(s0);
        out[x + 1] = Pack(s1);
        out[x + 2] = Pack(s2);
        out[x + 3] = Pack(s3);
    }
    for (; x < width; ++x) {
        Float4 s0 = {0, 0, 0, 0};
        for (int k = 0; k < count; ++k) s0 += Load(rows[k] + 4 * static_cast<size_t>(x)) * w[k];
        out[x] = Pack(s0);
    }
}

bool Resample(const Bitmap& src, int width, int height, Bitmap* out) {
    const size_t rowFloats = 4 * static_cast<size_t>(width);
    const bool sameWidth = width == src.width, sameHeight = height == src.height;
    const Axis across = sameWidth ? Axis() : MakeAxis(src.width, width);
    const Axis down = sameHeight ? Axis() : MakeAxis(src.height, height);
    // Horizontally filtered rows are kept only while some output row still needs them: a ring
    // of as many rows as the vertical filter has taps. Output rows need source rows in
    // ascending windows, so every source row is filtered exactly once.
    const int ring = sameHeight ? 1 : down.count;
    std::vector<float> filtered(static_cast<size_t>(ring) * rowFloats);
    std::vector<float> row(sameWidth ? 0 : 4 * static_cast<size_t>(src.width));
    std::vector<const float*> rows(static_cast<size_t>(ring));
    int next = 0;
    for (int y = 0; y < height; ++y) {
        const int first = sameHeight ? y : down.first[static_cast<size_t>(y)];
        for (; next < first + ring; ++next) {
            const uint32_t* pixels = src.pixels.data() + static_cast<size_t>(next) * static_cast<size_t>(src.width);
            float* slot = filtered.data() + static_cast<size_t>(next % ring) * rowFloats;
            if (sameWidth) {
                RowOnWhite(pixels, src.width, src.opaque, slot);
            } else {
                RowOnWhite(pixels, src.width, src.opaque, row.data());
                FilterRow(row.data(), across, width, slot);
            }
        }
        uint32_t* dst = out->pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
        if (sameHeight) {
            PackRow(filtered.data(), width, dst);
            continue;
        }
        for (int k = 0; k < ring; ++k)
            rows[static_cast<size_t>(k)] = filtered.data() + static_cast<size_t>((first + k) % ring) * rowFloats;
        FilterColumns(rows.data(), &down.weights[static_cast<size_t>(y) * static_cast<size_t>(ring)], ring, width, dst);
    }
    return true;
}

// Same size: only the composition onto white, in place.
void ComposeOnWhite(Bitmap& bitmap) {
    for (uint32_t& p : bitmap.pixels) {
        const uint32_t a = p >> 24;
        if (a == 255) continue;
        uint32_t result = 0xFF000000u;
        for (int shift = 0; shift <= 16; shift += 8) {
            const uint32_t c = (p >> shift) & 0xFF;
            // 255 + (c - 255) × a / 255, rounded.
            const uint32_t v = (c * a + 255 * (255 - a) + 127) / 255;
            result |= v << shift;
        }
        p = result;
    }
}
}  // namespace

bool DrawScaledOnWhite(Bitmap source, int width, int height, Bitmap* out) {
    if (source.width <= 0 || source.height <= 0 ||
        source.pixels.size() != static_cast<size_t>(source.width) * static_cast<size_t>(source.height))
        return false;
    if (width <= 0 || height <= 0 || int64_t{width} * height > kMaxBitmapPixels) return false;
    try {
        if (width == source.width && height == source.height) {
            if (!source.opaque) ComposeOnWhite(source);
            source.opaque = true;
            *out = std::move(source);
            return true;
        }
        Bitmap result;
        if (!result.Allocate(width, height) || !Resample(source, width, height, &result)) return false;
        result.opaque = true;
        *out = std::move(result);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}
