// What the fuzz targets that drive the bridge share: one simulated host with the palette open,
// kept for the whole run and put back to a known state before each input; the checks every
// message to the page must pass; and the clean-up that keeps the store and the project from
// growing over millions of inputs. Host thread only (the fuzzer's thread).
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "panel/Palette.h"
#include "sim/host/SimHost.h"

namespace FuzzBridge {

// Ends the run with a message on standard error when the condition fails, so that libFuzzer
// keeps the input as a crash.
void Check(bool condition, const char* what);

// The token of the signed-in session each input starts with.
inline constexpr char kSessionToken[] = "fuzz-session-token-0123456789";

// Stored files every input may name; they are made once, before the first input.
inline constexpr char kPictureRef[] = "cap-00000000000000000000000000000001";  // a PNG
inline constexpr char kJpegRef[] = "res-00000000000000000000000000000002";     // a JPEG
inline constexpr char kVideoRef[] = "res-00000000000000000000000000000003";    // an MP4 header
inline constexpr char kLinkRef[] = "pick-00000000000000000000000000000004";    // a link to a PNG

// A small PNG and a small JPEG picture (8 x 6 pixels).
const std::string& SamplePng();
const std::string& SampleJpeg();

// The host, started with the palette open and the page loaded on the first call; the open-file
// and folder dialogs answer a picture file and a scratch folder inside the data folder. Files
// are written without flushing them to disk.
SimHost& StartedHost();
Palette& CurrentPaletteOrAbort();

// Puts the session back before an input: signed in with kSessionToken, no reason, no records of
// the page, the launcher or the dialogs, and no worksheets or undo steps in the project.
void ResetSession(SimHost& host);

// Runs the host until nothing is left to do (no worker running, nothing posted, queued or
// waiting for the event loop or a capture's deadline), then at least `extraTurns` turns more,
// in which nothing may arrive. Aborts when the host is still busy after 30 simulated seconds or
// 20 seconds of real time.
void Settle(SimHost& host, int extraTurns = 2);

// Removes what inputs made: store entries other than the seeded ones, and everything saved into
// the scratch folder.
void RemoveMadeFiles();

// The replies (messages with an "id") and events (with an "event") the page received since
// `firstMessage`; every script the add-on executed since `firstScript` that calls the page's
// receive function must be a message the page could read: a whole JSON object, no byte after it.
struct Arrivals {
    std::vector<const ScriptedPage::Message*> replies;
    std::vector<const ScriptedPage::Message*> events;
};
Arrivals CheckedArrivals(const ScriptedPage& page, size_t firstMessage, size_t firstScript);

// True for a text that is exactly one JSON object, as RapidJSON reads it with the encoding
// checked, with nothing but JSON whitespace after it and no NUL byte anywhere.
bool IsWholeJsonObject(std::string_view text);

}  // namespace FuzzBridge
