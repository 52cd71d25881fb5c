// The simulated service's "render": a picture made from an uploaded file, deterministic (the same
// bytes for the same input) and visibly unlike its input. A JPEG or PNG upload is decoded, colour
// graded towards warm tones, posterised to six levels a channel and framed; any other upload gives
// a generated landscape whose colours follow a hash of its bytes. Any thread; no shared state.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// An 8-bit RGB picture, rows top to bottom, no padding.
struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;  // width * height * 3
};

// Decodes a JPEG or PNG (told apart by their signatures). False for anything else, for a broken
// file and for a picture larger than 8192 pixels on a side.
bool DecodePicture(std::string_view bytes, RgbPicture* picture);
// PNG bytes of the picture; empty when libpng fails.
std::string EncodePng(const RgbPicture& picture);

// The result picture of an upload, as PNG bytes.
std::string MakeResultPicture(std::string_view upload);
// The digest of an upload's bytes (64-bit FNV-1a), from which the generated picture is made.
uint64_t UploadDigest(std::string_view upload);
// The result picture of an upload that is not a picture and whose digest is `digest`: the same
// bytes as MakeResultPicture gives for it, without the upload at hand.
std::string MakeGeneratedPicture(uint64_t digest);
// The result of an animation request: an ISO media file ("ftyp" box, brand "isom") whose one
// further box holds the result picture `png`. It carries the video signature and the picture, but
// no playable track.
std::string VideoHolding(std::string_view png);
