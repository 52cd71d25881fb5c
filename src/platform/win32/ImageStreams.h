// Memory streams for the imaging calls: bytes into a stream that frees its memory on release,
// and a stream's whole content back out within a size bound.
#pragma once
#include <objbase.h>
#include <windows.h>

#include <string>
#include <string_view>

#include "platform/win32/Owners.h"

// A new stream holding a copy of the bytes (at most 4 GiB - 1), positioned at its start; empty
// when it cannot be made or not every byte could be written.
ComPtr<IStream> StreamWithBytes(std::string_view bytes);

// A new, empty stream that frees its memory on release.
ComPtr<IStream> EmptyStream();

// The stream's whole content when it is 1 to maxBytes long, read from its start; false on a
// short read.
bool ReadWholeStream(IStream* stream, size_t maxBytes, std::string* bytes);
