// Pictures for the benchmarks: rendered-looking scenes (sky and ground gradients under many
// flat-shaded triangles with a little texture), and the files a capture would hold.
#pragma once
#include <string>

#include "platform/Images.h"

Bitmap RenderedPicture(int width, int height, unsigned seed = 1);

// A 24-bit PNG at zlib's default compression, as picture-saving programs write them.
std::string DefaultPng(const Bitmap& picture);

// Bare decoders for comparison: the whole picture as RGB bytes, nothing else.
bool BareDecodeLibpng(const std::string& png, std::string* rgb, int* width, int* height);
bool BareDecodeSpng(const std::string& png, std::string* rgb, int* width, int* height);
