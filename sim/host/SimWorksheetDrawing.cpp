// The simulated host's drawing of a worksheet: white paper with each picture element decoded and
// laid, upright, into its box, the sheet scaled to fit a picture of at most kMaxSheetSide pixels.
#include <algorithm>
#include <cmath>
#include <new>

#include "sim/host/SimHost.h"

namespace {
// The longer side of a drawn sheet, margins included, in pixels.
constexpr int kMaxSheetSide = 1600;
// Paper around the pictures: a twentieth of their longer side, and at least this many pixels, so
// that a large picture still reads as lying on a sheet.
constexpr int kMargin = 16;
constexpr int kMarginParts = 20;
// Pixels per model unit at which a picture shows at its own size (the add-on places a picture at
// 0.01 units a pixel); a sheet is never drawn larger than that.
constexpr double kNativeScale = 100;
// A sheet with no pictures.
constexpr int kBlankWidth = 160, kBlankHeight = 120;
// What stands for a picture whose bytes cannot be decoded: a grey box crossed in dark grey.
constexpr uint8_t kMissingFill = 0xD0, kMissingCross = 0x60;

struct PixelRect {
    int x0, y0, x1, y1;  // x1 and y1 excluded
};

// For each of `to` target pixels along one side, the first and the end of the source pixels it
// covers when `from` pixels are stretched over them: at least one each.
std::vector<std::pair<int, int>> Spans(int from, int to) {
    std::vector<std::pair<int, int>> spans(static_cast<size_t>(to));
    for (int i = 0; i < to; ++i) {
        const int first = static_cast<int>(int64_t{i} * from / to);
        const int end = static_cast<int>(int64_t{i + 1} * from / to);
        spans[static_cast<size_t>(i)] = {first, std::max(end, first + 1)};
    }
    return spans;
}

// Lays the picture stretched over `place` (which may reach outside the sheet), each sheet pixel
// the mean of the picture's pixels under it.
void Lay(const SimPicture& source, const PixelRect& place, SimPicture* sheet) {
    const int width = place.x1 - place.x0, height = place.y1 - place.y0;
    const auto columns = Spans(source.width, width), rows = Spans(source.height, height);
    const int xFrom = std::max(place.x0, 0), xTo = std::min(place.x1, sheet->width);
    const int yFrom = std::max(place.y0, 0), yTo = std::min(place.y1, sheet->height);
    for (int y = yFrom; y < yTo; ++y) {
        const auto [row0, row1] = rows[static_cast<size_t>(y - place.y0)];
        uint8_t* out = &sheet->rgb[(static_cast<size_t>(y) * static_cast<size_t>(sheet->width) + xFrom) * 3];
        for (int x = xFrom; x < xTo; ++x, out += 3) {
            const auto [col0, col1] = columns[static_cast<size_t>(x - place.x0)];
            uint64_t sum[3] = {0, 0, 0};
            for (int sy = row0; sy < row1; ++sy) {
                const uint8_t* in =
                    &source.rgb[(static_cast<size_t>(sy) * static_cast<size_t>(source.width) + col0) * 3];
                for (int sx = col0; sx < col1; ++sx, in += 3) sum[0] += in[0], sum[1] += in[1], sum[2] += in[2];
            }
            const uint64_t count = static_cast<uint64_t>(row1 - row0) * static_cast<uint64_t>(col1 - col0);
            for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>((sum[c] + count / 2) / count);
        }
    }
}

void LayMissing(const PixelRect& place, SimPicture* sheet) {
    const int width = place.x1 - place.x0, height = place.y1 - place.y0;
    for (int y = std::max(place.y0, 0); y < std::min(place.y1, sheet->height); ++y)
        for (int x = std::max(place.x0, 0); x < std::min(place.x1, sheet->width); ++x) {
            // On one of the two diagonals, give or take a pixel.
            const int64_t u = int64_t{x - place.x0} * height, v = int64_t{y - place.y0} * width;
            const int64_t reach = std::max(width, height);
            const bool cross = std::llabs(u - v) <= reach || std::llabs(u + v - int64_t{width} * height) <= reach;
            uint8_t* out = &sheet->rgb[(static_cast<size_t>(y) * static_cast<size_t>(sheet->width) + x) * 3];
            out[0] = out[1] = out[2] = cross ? kMissingCross : kMissingFill;
        }
}

bool DrawSheet(const std::vector<SimPictureElement>& pictures, SimPicture* drawing) {
    SimPicture sheet;
    if (pictures.empty()) {
        sheet.Allocate(kBlankWidth, kBlankHeight);
        std::fill(sheet.rgb.begin(), sheet.rgb.end(), uint8_t{255});
        *drawing = std::move(sheet);
        return true;
    }
    double xMin = INFINITY, yMin = INFINITY, xMax = -INFINITY, yMax = -INFINITY;
    for (const SimPictureElement& p : pictures) {
        xMin = std::min(xMin, p.settings.xMin), yMin = std::min(yMin, p.settings.yMin);
        xMax = std::max(xMax, p.settings.xMax), yMax = std::max(yMax, p.settings.yMax);
    }
    const double longer = std::max(xMax - xMin, yMax - yMin);
    // The pictures' longer side plus the paper on both sides fits kMaxSheetSide (a sheet that
    // must be scaled down is wide enough for its margin to be more than kMargin).
    const double fit = std::floor(kMaxSheetSide * kMarginParts / (kMarginParts + 2.0));
    const double scale = std::min(kNativeScale, fit / longer);
    if (!std::isfinite(longer) || !(scale > 0)) return false;
    auto pixels = [scale](double length) { return std::max(1, static_cast<int>(std::lround(length * scale))); };
    const int margin = std::max(kMargin, std::max(pixels(xMax - xMin), pixels(yMax - yMin)) / kMarginParts);
    sheet.Allocate(2 * margin + pixels(xMax - xMin), 2 * margin + pixels(yMax - yMin));
    std::fill(sheet.rgb.begin(), sheet.rgb.end(), uint8_t{255});
    // Model y grows upwards, rows downwards. Later pictures lie over earlier ones.
    for (const SimPictureElement& p : pictures) {
        PixelRect place{margin + static_cast<int>(std::lround((p.settings.xMin - xMin) * scale)),
                        margin + static_cast<int>(std::lround((yMax - p.settings.yMax) * scale)),
                        margin + static_cast<int>(std::lround((p.settings.xMax - xMin) * scale)),
                        margin + static_cast<int>(std::lround((yMax - p.settings.yMin) * scale))};
        place.x1 = std::max(place.x1, place.x0 + 1);
        place.y1 = std::max(place.y1, place.y0 + 1);
        SimPicture decoded;
        if (DecodePicture(p.bytes, &decoded))
            Lay(decoded, place, &sheet);
        else
            LayMissing(place, &sheet);
    }
    *drawing = std::move(sheet);
    return true;
}
}  // namespace

bool SimHost::DrawWorksheet(const HostGuid& worksheet, SimPicture* drawing) const {
    if (worksheet.IsNull()) return DrawSheet({}, drawing);
    for (const SimWorksheet& sheet : model.worksheets) {
        if (sheet.guid != worksheet) continue;
        try {
            return DrawSheet(sheet.pictures, drawing);
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    return false;
}

bool SimHost::DrawWorksheetPng(const HostGuid& worksheet, std::vector<uint8_t>* png) const {
    SimPicture drawing;
    return DrawWorksheet(worksheet, &drawing) && EncodePng(drawing, png);
}

HostGuid SimHost::ShownWorksheet() const {
    if (front.kind == SimWindowKind::kWorksheet)
        for (const SimWorksheet& sheet : model.worksheets)
            if (sheet.guid == front.databaseGuid) return sheet.guid;
    return model.worksheets.empty() ? HostGuid{} : model.worksheets.back().guid;
}
