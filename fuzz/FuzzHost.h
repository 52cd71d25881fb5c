// What the fuzz targets that drive the bridge share: one simulated host with the add-on loaded,
// kept for the whole run and put back to the state of its start after each input, and the checks
// every message to the page must pass. Host thread only (the fuzzer's thread).
#pragma once
#include <rapidjson/document.h>

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
// and folder dialogs answer a picture file and a scratch folder inside the data folder. Every
// file (the store, the log, the state files, the token) is held in memory (fuzz/MemoryFiles.h),
// and the local time of day stands still, so that names made from it are the same every run.
SimHost& StartedHost();
Palette& CurrentPaletteOrAbort();

// Puts everything back as the first input found it, once an input is done: the add-on's palette
// replaced by a fresh one signed in with kSessionToken, the process-wide state of the add-on
// forgotten, the file table as it was after seeding, and the host's project, view state, undo
// steps, failures and records of the page, the launcher and the dialogs as they were at the
// start. Aborts when anything still runs. Called at the end of each input, so that what the
// input allocated is freed within its own run.
void ResetForNextInput(SimHost& host);

// Runs the host until nothing is left to do (no worker running, nothing posted, queued or
// waiting for the event loop or a capture's deadline), then at least `extraTurns` turns more,
// in which nothing may arrive. Aborts when the host is still busy after 30 simulated seconds or
// 20 seconds of real time.
void Settle(SimHost& host, int extraTurns = 2);

// The replies (messages with an "id") and events (with an "event") the page received since
// `firstMessage`; every script the add-on executed since `firstScript` that calls the page's
// receive function must be a message the page could read: a whole JSON object, no byte after it.
struct Arrivals {
    std::vector<const ScriptedPage::Message*> replies;
    std::vector<const ScriptedPage::Message*> events;
};
Arrivals CheckedArrivals(const ScriptedPage& page, size_t firstMessage, size_t firstScript);

// The member `name` of a JSON object, or null (also when `object` is not an object).
const rapidjson::Value* Member(const rapidjson::Value& object, const char* name);

// True for a text that is exactly one JSON object, as RapidJSON reads it with the encoding
// checked, with nothing but JSON whitespace after it and no NUL byte anywhere.
bool IsWholeJsonObject(std::string_view text);

}  // namespace FuzzBridge
