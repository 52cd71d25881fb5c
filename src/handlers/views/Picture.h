// The 3D window's picture: whether the 3D window is in front and whether the model holds anything
// to render, and whatever the 3D window shows now as JPEG bytes. The picture is written to a
// temporary PNG file by the first of three methods that works (the host's image of the 3D window,
// the host's picture save, printing the drawing area), read back and decoded once, tested for
// content, enlarged for a capture and encoded. Host thread only.
#pragma once
#include <cstdint>
#include <string>

#include "host/HostErrors.h"

struct Bitmap;

namespace OvraViews {
// The statuses the views tell apart, as the host's error codes.
inline constexpr HostError kWrongWindow = kHostErrWrongWindow;  // the front window is not the 3D window
inline constexpr HostError kNotFound = kHostErrNotFound;        // no such view or camera
inline constexpr HostError kNotSupported = kHostErrRefused;     // the host's picture save refused

// How the last picture was taken: "GetCurrentImage", "SavePicture", "PrintWindow" or "failed";
// "none" before the first attempt.
extern const char* captureMethod;

// The filter flags of every element listing the views make.
inline constexpr uint32_t kListFilterFlags = 10;

// The long side a capture's picture is enlarged to when it is shorter.
inline constexpr int kCaptureMinLongSide = 1600;

// True when the host reports the front window without error and it is the 3D window (kind 4).
bool Is3DWindowCurrent();

// Whether the model holds any element of the fourteen types that render (walls, slabs, roofs,
// objects, meshes, morphs, columns, beams, curtain walls, shells, windows, doors, skylights,
// lamps, asked in that order). With checkWindow the 3D window must be in front first
// (kWrongWindow otherwise). Returns the first failing host status.
HostError ModelHasContent(bool checkWindow, bool* hasContent);

// The whole pipeline. At full size (a capture) the picture is enlarged to a long side of 1600
// when shorter and encoded at quality 92; otherwise (a listing's thumbnail) it is shrunk to 480
// on its long side when longer, never enlarged, and encoded at quality 80. False with the error
// code "open_3d", "empty_view" or "capture_failed". Writes no log line.
bool CaptureView(bool fullSize, std::string* jpeg, std::string* errorCode);

// Writes a picture of the 3D window to the path (UTF-8) by the first method that works and sets
// captureMethod; kWrongWindow when the 3D window is not in front, else the picture save's status
// when every method failed.
HostError CaptureWindowImage(const std::string& pngPath);

// Finds the 3D window's drawing area among the process's windows and writes its printed content
// to the path as PNG.
bool CaptureByPrintWindow(const std::string& pngPath);

// False for a picture that shows nothing: one colour nearly everywhere (more than 97 % of a
// 64 × 64 grid of samples within 8 of the median colour in each channel), or fewer than 8 % of the
// grid's rows holding more than one strong step between horizontal neighbours.
bool HasImageContent(const Bitmap& picture);
// The same for a picture file; false also when the file cannot be read or decoded.
bool HasImageContent(const std::string& path);

// The size a capture's picture is drawn at: a long side below 1600 grows to 1600 (each side
// rounded, halves away from zero, at least 1); a larger picture keeps its size.
void UpscaledSize(int width, int height, int* newWidth, int* newHeight);
// The picture drawn opaque at its upscaled size.
bool UpscaleBitmap(Bitmap picture, Bitmap* out);
// Replaces the picture file by its upscaled version, written first to path + ".scaled.png".
bool UpscalePng(const std::string& path);
}  // namespace OvraViews
