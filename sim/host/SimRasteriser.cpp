// The simulated 3D window's software rasteriser.
#include "sim/host/SimRasteriser.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>

namespace {
// The value as a pixel index within [low, high]; anything outside, and NaN, goes to the nearer
// bound (NaN to `low`).
int PixelBound(double value, int low, int high) {
    if (!(value > low)) return low;
    if (!(value < high)) return high;
    return static_cast<int>(value);
}

struct Vec {
    double x = 0, y = 0, z = 0;
    Vec operator+(const Vec& o) const { return {x + o.x, y + o.y, z + o.z}; }
    Vec operator-(const Vec& o) const { return {x - o.x, y - o.y, z - o.z}; }
    Vec operator*(double s) const { return {x * s, y * s, z * s}; }
    double Dot(const Vec& o) const { return x * o.x + y * o.y + z * o.z; }
    Vec Cross(const Vec& o) const { return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x}; }
    double Length() const { return std::sqrt(Dot(*this)); }
    Vec Unit() const {
        const double l = Length();
        return l > 0 ? *this * (1 / l) : *this;
    }
};

// The direction towards the sun, from the south-west and high.
const Vec kSun = Vec{-0.45, -0.6, 0.75}.Unit();
constexpr double kNear = 0.05;

uint32_t Mix(uint32_t a, uint32_t b, double t) {
    t = std::clamp(t, 0.0, 1.0);
    auto channel = [&](int shift) {
        const double ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
        return static_cast<uint32_t>(std::lround(ca + (cb - ca) * t)) << shift;
    };
    return channel(16) | channel(8) | channel(0);
}

uint32_t Shade(uint32_t colour, double light) {
    auto channel = [&](int shift) {
        const double c = ((colour >> shift) & 0xFF) * light;
        return static_cast<uint32_t>(std::clamp(std::lround(c), 0L, 255L)) << shift;
    };
    return channel(16) | channel(8) | channel(0);
}

// A point in camera space: right, up, and depth along the view direction.
struct CameraPoint {
    double x, y, z;
};

class Canvas {
public:
    Canvas(SimPicture& picture, const Projection3D& projection, const Box3D& extent, bool hasExtent)
        : picture_(picture), w_(picture.width), h_(picture.height) {
        depth_.assign(static_cast<size_t>(w_) * static_cast<size_t>(h_), -std::numeric_limits<float>::infinity());
        const PerspectiveCamera& c = projection.camera;
        perspective_ = projection.perspective;
        eye_ = {c.cameraX, c.cameraY, c.cameraZ};
        forward_ = Vec{c.targetX - c.cameraX, c.targetY - c.cameraY, c.targetZ - c.cameraZ}.Unit();
        if (forward_.Length() < 0.5) forward_ = perspective_ ? Vec{1, 0, 0} : Vec{1, 1, -0.8}.Unit();
        right_ = forward_.Cross({0, 0, 1});
        right_ = right_.Length() < 1e-6 ? Vec{1, 0, 0} : right_.Unit();
        up_ = right_.Cross(forward_).Unit();
        if (perspective_) {
            double angle = c.viewAngle;
            if (!(angle >= 1 && angle <= 170)) angle = 60;
            focal_ = (w_ / 2.0) / std::tan(angle * std::numbers::pi / 360);
        } else {
            FitParallel(extent, hasExtent);
        }
    }

    // Sky and ground, each row one colour. In perspective the ground's depth is that of the
    // ground plane along the row; a parallel view has a plain gradient behind the model, as an
    // axonometry has, since its ground would fill the picture or end in slanted edges.
    void Background() {
        for (int y = 0; y < h_; ++y) {
            uint32_t colour = kSimSkyZenith;
            float rowDepth = -std::numeric_limits<float>::infinity();
            if (perspective_) {
                const double v = (h_ / 2.0 - y - 0.5) / focal_;
                const Vec ray = forward_ + up_ * v;
                const double elevation = ray.z / ray.Length();
                if (ray.z < 0 && eye_.z > 0) {
                    colour = Mix(kSimGround, Shade(kSimGround, 0.8), 1 + elevation * 4);
                    const double s = -eye_.z / ray.z;  // depth along the view direction
                    rowDepth = static_cast<float>(1 / s);
                } else {
                    colour = Mix(kSimSkyHorizon, kSimSkyZenith, std::sqrt(std::max(0.0, elevation)) * 1.3);
                }
            } else {
                colour = Mix(kSimSkyZenith, kSimSkyHorizon, static_cast<double>(y) / h_ * 1.2);
            }
            for (int x = 0; x < w_; ++x) Put(x, y, colour);
            std::fill_n(&depth_[static_cast<size_t>(y) * static_cast<size_t>(w_)], w_, rowDepth);
        }
    }

    void Box(const Box3D& b, uint32_t colour) {
        const double xs[2] = {b.xMin, b.xMax}, ys[2] = {b.yMin, b.yMax}, zs[2] = {b.zMin, b.zMax};
        auto corner = [&](int i) { return Vec{xs[i & 1], ys[(i >> 1) & 1], zs[(i >> 2) & 1]}; };
        // Each face: four corners counter-clockwise seen from outside, and its normal.
        struct Face {
            std::array<int, 4> c;
            Vec normal;
        };
        static const Face faces[6] = {{{0, 2, 6, 4}, {-1, 0, 0}}, {{1, 5, 7, 3}, {1, 0, 0}},
                                      {{0, 4, 5, 1}, {0, -1, 0}}, {{2, 3, 7, 6}, {0, 1, 0}},
                                      {{0, 1, 3, 2}, {0, 0, -1}}, {{4, 6, 7, 5}, {0, 0, 1}}};
        for (const Face& f : faces) {
            const Vec centre = (corner(f.c[0]) + corner(f.c[2])) * 0.5;
            const Vec view = perspective_ ? centre - eye_ : forward_;
            if (f.normal.Dot(view) >= 0) continue;  // facing away
            const double light = 0.5 + 0.5 * std::max(0.0, f.normal.Dot(kSun));
            const uint32_t shaded = Shade(colour, light);
            std::array<CameraPoint, 4> quad;
            for (int i = 0; i < 4; ++i) quad[static_cast<size_t>(i)] = ToCamera(corner(f.c[static_cast<size_t>(i)]));
            Polygon(quad.data(), 4, shaded);
        }
    }

private:
    void Put(int x, int y, uint32_t colour) {
        uint8_t* p = &picture_.rgb[(static_cast<size_t>(y) * static_cast<size_t>(w_) + static_cast<size_t>(x)) * 3];
        p[0] = static_cast<uint8_t>(colour >> 16), p[1] = static_cast<uint8_t>(colour >> 8);
        p[2] = static_cast<uint8_t>(colour);
    }

    CameraPoint ToCamera(const Vec& p) const {
        const Vec d = p - eye_;
        return {d.Dot(right_), d.Dot(up_), d.Dot(forward_)};
    }

    void FitParallel(const Box3D& extent, bool hasExtent) {
        const Box3D e = hasExtent ? extent : Box3D{-10, -10, 0, 10, 10, 5};
        eye_ = Vec{(e.xMin + e.xMax) / 2, (e.yMin + e.yMax) / 2, (e.zMin + e.zMax) / 2} - forward_ * 1000;
        double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
        for (int i = 0; i < 8; ++i) {
            const CameraPoint p = ToCamera({i & 1 ? e.xMax : e.xMin, i & 2 ? e.yMax : e.yMin, i & 4 ? e.zMax : e.zMin});
            minX = std::min(minX, p.x), maxX = std::max(maxX, p.x), minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
        }
        scale_ = std::min(w_ / std::max(maxX - minX, 1e-6), h_ / std::max(maxY - minY, 1e-6)) * 0.95;
        offsetX_ = (minX + maxX) / 2, offsetY_ = (minY + maxY) / 2;
    }

private:
    // Clips a convex polygon to the near plane, projects it and fills it as a triangle fan.
    void Polygon(const CameraPoint* points, int count, uint32_t colour) {
        CameraPoint clipped[8];
        int n = 0;
        for (int i = 0; i < count; ++i) {
            const CameraPoint& a = points[i];
            const CameraPoint& b = points[(i + 1) % count];
            const bool aIn = !perspective_ || a.z >= kNear, bIn = !perspective_ || b.z >= kNear;
            if (aIn) clipped[n++] = a;
            if (aIn != bIn) {
                const double t = (kNear - a.z) / (b.z - a.z);
                clipped[n++] = {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, kNear};
            }
        }
        if (n < 3) return;
        struct Screen {
            double x, y, depth;  // depth: larger is nearer
        } s[8];
        for (int i = 0; i < n; ++i) {
            const CameraPoint& p = clipped[i];
            if (perspective_)
                s[i] = {w_ / 2.0 + focal_ * p.x / p.z, h_ / 2.0 - focal_ * p.y / p.z, 1 / p.z};
            else
                s[i] = {w_ / 2.0 + (p.x - offsetX_) * scale_, h_ / 2.0 - (p.y - offsetY_) * scale_, -p.z};
        }
        for (int i = 1; i + 1 < n; ++i) Triangle(s[0].x, s[0].y, s[0].depth, s[i].x, s[i].y, s[i].depth, s[i + 1].x,
                                                 s[i + 1].y, s[i + 1].depth, colour);
    }

    void Triangle(double x0, double y0, double d0, double x1, double y1, double d1, double x2, double y2, double d2,
                  uint32_t colour) {
        const double area = (x1 - x0) * (y2 - y0) - (x2 - x0) * (y1 - y0);
        // A model far off or huge puts corners where no int reaches, or where the arithmetic
        // overflows; such a triangle is cut to the picture or, when not finite, left out.
        if (!std::isfinite(area) || std::fabs(area) < 1e-12) return;
        const int minX = PixelBound(std::floor(std::min({x0, x1, x2})), 0, w_);
        const int maxX = PixelBound(std::ceil(std::max({x0, x1, x2})), -1, w_ - 1);
        const int minY = PixelBound(std::floor(std::min({y0, y1, y2})), 0, h_);
        const int maxY = PixelBound(std::ceil(std::max({y0, y1, y2})), -1, h_ - 1);
        const double inv = 1 / area;
        // The weights change by a constant step from pixel to pixel along a row.
        const double step0 = (y1 - y2) * inv, step1 = (y2 - y0) * inv, step2 = -step0 - step1;
        const double depthStep = step0 * (d0 - d2) + step1 * (d1 - d2);
        for (int y = minY; y <= maxY; ++y) {
            const double py = y + 0.5, px = minX + 0.5;
            const double w0 = ((x1 - px) * (y2 - py) - (x2 - px) * (y1 - py)) * inv;
            const double w1 = ((x2 - px) * (y0 - py) - (x0 - px) * (y2 - py)) * inv;
            const double w2 = 1 - w0 - w1;
            // The span of the row inside all three edges.
            double first = 0, last = maxX - minX;
            for (const auto& [w, step] : {std::pair{w0, step0}, std::pair{w1, step1}, std::pair{w2, step2}}) {
                if (step > 0)
                    first = std::max(first, std::ceil(-w / step - 1e-9));
                else if (step < 0)
                    last = std::min(last, std::floor(-w / step + 1e-9));
                else if (w < 0)
                    last = -1;
            }
            if (first > last) continue;
            const int from = minX + static_cast<int>(first), to = minX + static_cast<int>(last);
            double depth = d2 + w0 * (d0 - d2) + w1 * (d1 - d2) + depthStep * first;
            float* z = &depth_[static_cast<size_t>(y) * static_cast<size_t>(w_) + static_cast<size_t>(from)];
            uint8_t* p = &picture_.rgb[(static_cast<size_t>(y) * static_cast<size_t>(w_) + static_cast<size_t>(from)) * 3];
            const uint8_t r = static_cast<uint8_t>(colour >> 16), g = static_cast<uint8_t>(colour >> 8),
                          b = static_cast<uint8_t>(colour);
            for (int x = from; x <= to; ++x, ++z, p += 3, depth += depthStep) {
                const float d = static_cast<float>(depth);
                if (d <= *z) continue;
                *z = d;
                p[0] = r, p[1] = g, p[2] = b;
            }
        }
    }

    SimPicture& picture_;
    const int w_, h_;
    std::vector<float> depth_;
    bool perspective_ = true;
    Vec eye_, forward_, right_, up_;
    double focal_ = 1, scale_ = 1, offsetX_ = 0, offsetY_ = 0;
};
}  // namespace

bool Render3D(const SimModel& model, const Projection3D& projection, int width, int height, SimPicture* picture,
              int32_t layerCombination) {
    if (width <= 0 || height <= 0) return false;
    picture->Allocate(width, height);
    if (model.uniform) {
        for (size_t i = 0; i < picture->rgb.size(); i += 3) {
            picture->rgb[i] = static_cast<uint8_t>(model.uniformColour >> 16);
            picture->rgb[i + 1] = static_cast<uint8_t>(model.uniformColour >> 8);
            picture->rgb[i + 2] = static_cast<uint8_t>(model.uniformColour);
        }
        return true;
    }
    Box3D extent;
    const bool hasExtent = model.Extent(&extent);
    Canvas canvas(*picture, projection, extent, hasExtent);
    canvas.Background();
    const SimLayerCombination* layers = model.FindLayerCombination(layerCombination);
    for (const SimElement& e : model.elements) {
        if (e.typeCode == SimType::kZone || e.typeCode == SimType::kCamera || (layers && layers->Hides(e.typeCode)))
            continue;
        for (const Box3D& part : e.parts) canvas.Box(part, e.colour);
    }
    return true;
}
