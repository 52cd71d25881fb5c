// The 3D window's picture: the host tests, the three ways of taking the picture, the blank test,
// the enlargement and the JPEG encoding, with the picture decoded once.
#include "handlers/views/Picture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "host/HostApi.h"
#include "platform/Files.h"
#include "platform/Guarded.h"
#include "platform/Images.h"
#include "platform/NativeWindows.h"
#include "platform/UserFolders.h"
#include "platform/Utf.h"
#include "store/FileStore.h"
#include "store/Images.h"

namespace OvraViews {
const char* captureMethod = "none";

namespace {
constexpr int32_t kPictureFileType = 16;
constexpr int32_t kPictureColourDepth = 6;
constexpr int kPngEncoding = 1;
constexpr size_t kMaxPathUnits = 260;
constexpr int kThumbnailSide = 480;
constexpr int kCaptureQuality = 92, kThumbnailQuality = 80;
// The prefix of the add-on's temporary picture files.
constexpr const char* kTempPrefix = "tov";

// Element types that render, in the order they are asked for.
constexpr std::array<int32_t, 14> kContentTypes = {1, 8, 9, 6, 10, 45, 2, 3, 37, 43, 4, 5, 44, 7};

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// Writes a new file at the path, through a temporary file beside it that is renamed into place,
// so that the path holds either every byte or nothing. Not flushed: the file is read back at
// once and deleted.
bool WriteNewFile(const std::string& path, const void* data, size_t size) {
    FileSystem& files = Files();
    std::string temp;
    if (size == 0 || size > UINT32_MAX || !files.CreateTemp(FolderOf(path), kTempPrefix, &temp)) return false;
    bool written = false;
    {
        ScopedFile file(files.OpenWrite(temp));
        uint32_t done = 0;
        written = file.valid() && files.Write(file.get(), data, static_cast<uint32_t>(size), &done) && done == size;
        written = file.Close() && written;
    }
    if (written && files.Rename(temp, path)) return true;
    files.Delete(temp);
    return false;
}

// A new path for the picture in the user's temporary folder: a unique name made there, that
// file deleted again and ".png" appended; at most 260 UTF-16 units.
bool MakeTempPngPath(std::string* path) {
    const std::string folder = UserTempFolder();
    std::string unique;
    if (folder.empty() || Utf8ToUtf16(folder).size() > kMaxPathUnits ||
        !Files().CreateTemp(folder, kTempPrefix, &unique))
        return false;
    Files().Delete(unique);
    *path = unique + ".png";
    return Utf8ToUtf16(*path).size() <= kMaxPathUnits;
}

bool IsWindow3D(const WindowInfo& window) { return window.kind == kWindow3D; }

// The host's image of the 3D window, encoded as PNG and written to the path.
bool CaptureByCurrentImage(const std::string& path) {
    int32_t option = 0;
    std::unique_ptr<NativeImage> image;
    if (Host().GetCurrent3DImage(&option, &image) != kHostOk || !image || image->Width() == 0 ||
        image->Height() == 0)
        return false;
    std::vector<uint8_t> png;
    return image->Encode(kPngEncoding, &png) == kHostOk && !png.empty() && WriteNewFile(path, png.data(), png.size());
}

// The drawing area of the 3D window: in a visible "DGFrameWindow" of this process, a visible
// "DGModelessDlgClass" descendant whose title holds " 3D", and among that window's direct
// children the first "DGUserItemClass" wider and taller than 100 pixels. 0 when there is none.
NativeWindowHandle Find3DDrawingArea(NativeWindows& windows) {
    for (const NativeWindowHandle frame : windows.TopLevelWindows()) {
        if (!windows.IsOwnProcess(frame) || !windows.IsVisible(frame) || windows.ClassName(frame) != "DGFrameWindow")
            continue;
        for (const NativeWindowHandle dialog : windows.Descendants(frame)) {
            if (!windows.IsVisible(dialog) || windows.ClassName(dialog) != "DGModelessDlgClass" ||
                windows.Title(dialog).find(" 3D") == std::string::npos)
                continue;
            for (const NativeWindowHandle child : windows.Children(dialog)) {
                WindowRect rect;
                if (windows.ClassName(child) == "DGUserItemClass" && windows.GetRect(child, &rect) &&
                    rect.Width() > 100 && rect.Height() > 100)
                    return child;
            }
        }
    }
    return 0;
}

bool DecodeWhole(std::string_view bytes, Bitmap* picture) {
    return Guarded([&] { return DecodeBitmap(bytes, picture) && picture->width > 0 && picture->height > 0; });
}

// The picture as the capture's or the thumbnail's JPEG: drawn on white at its new size unless it
// is opaque and keeps its size, then encoded.
bool EncodePicture(Bitmap picture, bool fullSize, std::string* jpeg) {
    return Guarded([&] {
        int width = picture.width, height = picture.height;
        if (fullSize) {
            UpscaledSize(picture.width, picture.height, &width, &height);
        } else {
            const int longer = std::max(picture.width, picture.height);
            if (longer > kThumbnailSide) {
                const double scale = static_cast<double>(kThumbnailSide) / longer;
                width = static_cast<int>(std::max(1L, std::lround(picture.width * scale)));
                height = static_cast<int>(std::max(1L, std::lround(picture.height * scale)));
            }
        }
        if (width != picture.width || height != picture.height || !picture.opaque) {
            Bitmap drawn;
            if (!DrawScaledOnWhite(std::move(picture), width, height, &drawn)) return false;
            picture = std::move(drawn);
        }
        std::string out;
        if (!EncodeBitmapJpeg(picture, fullSize ? kCaptureQuality : kThumbnailQuality, &out) || out.empty() ||
            out.size() > kMaxJpegOutputBytes)
            return false;
        *jpeg = std::move(out);
        return true;
    });
}

bool Fail(std::string* errorCode, const char* code) {
    *errorCode = code;
    return false;
}
}  // namespace

bool Is3DWindowCurrent() {
    WindowInfo window;
    return Host().GetFrontWindow(&window) == kHostOk && IsWindow3D(window);
}

HostError ModelHasContent(bool checkWindow, bool* hasContent) {
    *hasContent = false;
    if (checkWindow) {
        WindowInfo window;
        if (const HostError e = Host().GetFrontWindow(&window)) return e;
        if (!IsWindow3D(window)) return kWrongWindow;
    }
    for (const int32_t type : kContentTypes) {
        std::vector<HostGuid> elements;
        if (const HostError e = Host().ListElements(type, kListFilterFlags, &elements)) return e;
        if (!elements.empty()) {
            *hasContent = true;
            return kHostOk;
        }
    }
    return kHostOk;
}

HostError CaptureWindowImage(const std::string& pngPath) {
    WindowInfo window;
    if (const HostError e = Host().GetFrontWindow(&window)) return e;
    if (!IsWindow3D(window)) return kWrongWindow;
    if (CaptureByCurrentImage(pngPath)) {
        captureMethod = "GetCurrentImage";
        return kHostOk;
    }
    PictureSettings settings;
    settings.colourDepth = kPictureColourDepth;
    const HostError saved = Host().SaveFrontWindowPicture(kPictureFileType, Utf8ToUtf16(pngPath), settings);
    if (saved == kHostOk) {
        captureMethod = "SavePicture";
        return kHostOk;
    }
    if (saved == kNotSupported && CaptureByPrintWindow(pngPath)) {
        captureMethod = "PrintWindow";
        return kHostOk;
    }
    captureMethod = "failed";
    return saved;
}

bool CaptureByPrintWindow(const std::string& pngPath) {
    NativeWindows& windows = Windows();
    const NativeWindowHandle area = Find3DDrawingArea(windows);
    if (area == 0) return false;
    return Guarded([&] {
        int width = 0, height = 0;
        std::vector<uint32_t> argb;
        Bitmap picture;
        if (!windows.PrintWindow(area, &width, &height, &argb) || !picture.Allocate(width, height) ||
            argb.size() != picture.pixels.size())
            return false;
        std::memcpy(picture.pixels.data(), argb.data(), argb.size() * sizeof(uint32_t));
        picture.opaque = true;
        std::string png;
        return EncodeBitmapPng(picture, &png) && WriteNewFile(pngPath, png.data(), png.size());
    });
}

bool HasImageContent(const Bitmap& picture) {
    const int width = picture.width, height = picture.height;
    if (width <= 0 || height <= 0) return false;
    const int columns = std::min(width, 64), rows = std::min(height, 64);
    std::vector<uint32_t> samples;
    samples.reserve(static_cast<size_t>(columns) * static_cast<size_t>(rows));
    for (int j = 0; j < rows; ++j) {
        const auto y = static_cast<int>((2 * int64_t{j} + 1) * height / (2 * int64_t{rows}));
        for (int k = 0; k < columns; ++k) {
            const auto x = static_cast<int>((2 * int64_t{k} + 1) * width / (2 * int64_t{columns}));
            uint32_t argb = 0;
            if (!picture.GetPixel(x, y, &argb)) return false;
            samples.push_back(argb);
        }
    }
    const size_t n = samples.size();
    auto channel = [](uint32_t argb, int shift) { return static_cast<int>((argb >> shift) & 0xFF); };
    // The median of each channel: the value at position n/2 of the sorted values.
    int median[3] = {0, 0, 0};
    const int shifts[3] = {16, 8, 0};
    std::vector<int> values(n);
    for (int c = 0; c < 3; ++c) {
        for (size_t i = 0; i < n; ++i) values[i] = channel(samples[i], shifts[c]);
        std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(n / 2), values.end());
        median[c] = values[n / 2];
    }
    size_t nearMedian = 0;
    for (const uint32_t s : samples)
        if (std::abs(channel(s, 16) - median[0]) <= 8 && std::abs(channel(s, 8) - median[1]) <= 8 &&
            std::abs(channel(s, 0) - median[2]) <= 8)
            ++nearMedian;
    int rowsWithSteps = 0;
    for (int j = 0; j < rows; ++j) {
        int steps = 0;
        for (int k = 1; k < columns; ++k) {
            const uint32_t a = samples[static_cast<size_t>(j) * columns + k - 1];
            const uint32_t b = samples[static_cast<size_t>(j) * columns + k];
            const int difference = std::abs(channel(a, 16) - channel(b, 16)) + std::abs(channel(a, 8) - channel(b, 8)) +
                                   std::abs(channel(a, 0) - channel(b, 0));
            if (difference > 36) ++steps;
        }
        if (steps > 1) ++rowsWithSteps;
    }
    const bool uniform = nearMedian * 100 > n * 97;
    const bool smooth = rowsWithSteps * 100 < rows * 8;
    return !uniform && !smooth;
}

bool HasImageContent(const std::string& path) {
    std::string bytes;
    Bitmap picture;
    return ReadWholeFile(path, &bytes, kMaxCaptureBytes) && DecodeWhole(bytes, &picture) && HasImageContent(picture);
}

void UpscaledSize(int width, int height, int* newWidth, int* newHeight) {
    const int longer = std::max(width, height);
    const double scale = static_cast<double>(std::max(longer, kCaptureMinLongSide)) / longer;
    *newWidth = static_cast<int>(std::max(1L, std::lround(width * scale)));
    *newHeight = static_cast<int>(std::max(1L, std::lround(height * scale)));
}

bool UpscaleBitmap(Bitmap picture, Bitmap* out) {
    if (picture.width <= 0 || picture.height <= 0) return false;
    int width = 0, height = 0;
    UpscaledSize(picture.width, picture.height, &width, &height);
    return Guarded([&] { return DrawScaledOnWhite(std::move(picture), width, height, out); });
}

bool UpscalePng(const std::string& path) {
    const std::string scaledPath = path + ".scaled.png";
    std::string bytes, png;
    Bitmap picture, scaled;
    const bool ok = ReadWholeFile(path, &bytes, kMaxCaptureBytes) && DecodeWhole(bytes, &picture) &&
                    UpscaleBitmap(std::move(picture), &scaled) &&
                    Guarded([&] { return EncodeBitmapPng(scaled, &png); }) &&
                    WriteNewFile(scaledPath, png.data(), png.size()) && Files().Rename(scaledPath, path);
    if (!ok) Files().Delete(scaledPath);
    return ok;
}

bool CaptureView(bool fullSize, std::string* jpeg, std::string* errorCode) {
    jpeg->clear();
    errorCode->clear();
    bool hasContent = false;
    if (ModelHasContent(true, &hasContent) != kHostOk) return Fail(errorCode, "open_3d");
    if (!hasContent) return Fail(errorCode, "empty_view");
    std::string path;
    if (!MakeTempPngPath(&path)) return Fail(errorCode, "capture_failed");

    // The file is read once within the capture limit and decoded once; the content test, the
    // enlargement and the encoding all use that one picture.
    const HostError status = CaptureWindowImage(path);
    bool read = false;
    Bitmap picture;
    if (status == kHostOk) {
        std::string bytes;
        read = ReadWholeFile(path, &bytes, kMaxCaptureBytes) && DecodeWhole(bytes, &picture);
    }
    Files().Delete(path);

    if (status == kWrongWindow) return Fail(errorCode, "open_3d");
    if (status != kHostOk) return Fail(errorCode, "capture_failed");
    // A picture that could not be read says nothing about the model: that is a failure, not an
    // empty view.
    if (!read) return Fail(errorCode, "capture_failed");
    if (!HasImageContent(picture)) return Fail(errorCode, "empty_view");
    if (!EncodePicture(std::move(picture), fullSize, jpeg)) return Fail(errorCode, "capture_failed");
    return true;
}
}  // namespace OvraViews
