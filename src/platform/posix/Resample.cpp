// POSIX: drawing a picture scaled onto opaque white with a separable high-quality bicubic filter
// (Keys' cubic, a = -0.5). When shrinking, the filter's support is widened by the ratio, so every
// source pixel contributes in proportion to the area it covers and fine detail does not alias.
//
// Transparent pixels are composed onto white before filtering. Because the weights of every
// output pixel sum to 1, that gives the same result as filtering premultiplied colour and alpha
// and composing afterwards, with three useful channels instead of four.
//
// Rows are filtered horizontally into a float intermediate, then columns vertically. Each pixel
// is one 4-lane float vector, so the inner loops map onto SIMD registers directly.
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
    return axis;
}

// One source row composed onto white as floats: B, G, R and a spare lane per pixel.
void RowOnWhite(const uint32_t* pixels, int width, bool opaque, float* out) {
    for (int x = 0; x < width; ++x) {
        const uint32_t p = pixels[x];
        const Float4 colour = {static_cast<float>(p & 0xFF), static_cast<float>((p >> 8) & 0xFF),
                               static_cast<float>((p >> 16) & 0xFF), 0.0f};
        if (opaque) {
            Store(out + 4 * x, colour);
        } else {
            const float alpha = static_cast<float>(p >> 24) * (1.0f / 255.0f);
            const Float4 white = {255.0f, 255.0f, 255.0f, 0.0f};
            Store(out + 4 * x, white + (colour - white) * alpha);
        }
    }
}

void FilterRow(const float* in, const Axis& axis, int target, float* out) {
    for (int i = 0; i < target; ++i) {
        const float* w = &axis.weights[static_cast<size_t>(i) * static_cast<size_t>(axis.count)];
        const float* s = in + 4 * static_cast<size_t>(axis.first[static_cast<size_t>(i)]);
        Float4 sum = {0, 0, 0, 0};
        for (int k = 0; k < axis.count; ++k) sum += Load(s + 4 * k) * w[k];
        Store(out + 4 * static_cast<size_t>(i), sum);
    }
}

inline uint32_t Channel(float v) {
    v = std::min(255.0f, std::max(0.0f, v));
    return static_cast<uint32_t>(v + 0.5f);
}

void PackRow(const float* in, int width, uint32_t* out) {
    for (int x = 0; x < width; ++x) {
        const float* p = in + 4 * x;
        out[x] = 0xFF000000u | (Channel(p[2]) << 16) | (Channel(p[1]) << 8) | Channel(p[0]);
    }
}

bool Resample(const Bitmap& src, int width, int height, Bitmap* out) {
    const size_t rowFloats = 4 * static_cast<size_t>(width);
    // Horizontal pass: every source row into the intermediate, `width` pixels wide.
    std::vector<float> middle(rowFloats * static_cast<size_t>(src.height));
    std::vector<float> row(4 * static_cast<size_t>(src.width));
    const bool sameWidth = width == src.width;
    const Axis across = sameWidth ? Axis() : MakeAxis(src.width, width);
    for (int y = 0; y < src.height; ++y) {
        const uint32_t* pixels = src.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(src.width);
        float* dst = middle.data() + static_cast<size_t>(y) * rowFloats;
        if (sameWidth) {
            RowOnWhite(pixels, src.width, src.opaque, dst);
        } else {
            RowOnWhite(pixels, src.width, src.opaque, row.data());
            FilterRow(row.data(), across, width, dst);
        }
    }
    // Vertical pass: each output row a weighted sum of intermediate rows.
    const bool sameHeight = height == src.height;
    const Axis down = sameHeight ? Axis() : MakeAxis(src.height, height);
    std::vector<float> sum(rowFloats);
    for (int y = 0; y < height; ++y) {
        uint32_t* dst = out->pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
        if (sameHeight) {
            PackRow(middle.data() + static_cast<size_t>(y) * rowFloats, width, dst);
            continue;
        }
        std::fill(sum.begin(), sum.end(), 0.0f);
        const float* w = &down.weights[static_cast<size_t>(y) * static_cast<size_t>(down.count)];
        const int first = down.first[static_cast<size_t>(y)];
        for (int k = 0; k < down.count; ++k) {
            if (w[k] == 0.0f) continue;
            const float* in = middle.data() + static_cast<size_t>(first + k) * rowFloats;
            for (size_t i = 0; i < rowFloats; i += 4) Store(&sum[i], Load(&sum[i]) + Load(in + i) * w[k]);
        }
        PackRow(sum.data(), width, dst);
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
