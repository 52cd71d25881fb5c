// The model operations that write into the project or to disk: placing an image on a new
// worksheet, saving files into a folder, and picking a file to send. Host thread only, except
// where a function says otherwise.
#pragma once
#include <rapidjson/fwd.h>

#include <cstddef>
#include <memory>
#include <string>

#include "host/HostErrors.h"

class Palette;

namespace OvraViews {
// "place": reads the image named by the payload (from the store at once, or downloaded from the
// service on a worker) and hands it to PlaceNow; answers itself when there is nothing to place.
void Place(Palette& palette, const std::string& id, const rapidjson::Value& payload);

// Queues the placement step of the serving request as an event-loop call and asks the host for
// it. The image is shared, never copied. A project change before the step runs replaces the page
// that asked, and the step does not run: nothing is created.
void PlaceNow(Palette& palette, std::shared_ptr<std::string> bytes, const std::string& label);

// Creates a worksheet named `label`, makes it current, puts one picture of the image on it at
// 0.01 model units per pixel inside one undoable command, and zooms to it. Takes the bytes over
// (converting them when they are neither PNG nor JPEG). The host's error code, 0 on success;
// `PlaceStep()` names the host step that failed.
HostError PlaceInWorksheet(std::string bytes, const std::string& label);

// The host step at which the last placement failed ("NewDatabase", "ChangeWindow",
// "CallUndoableCommand", "GetDefaults", "memory", "Element_Create"); empty when none did.
const std::string& PlaceStep();

// The label of a placement: the page's label cut to at most 120 bytes at a whole UTF-8
// character, or, when it is empty, "Tamsel Ovra DD-MM hh.mm.ss" in local time.
std::string PlacementLabel(const std::string& requested);

// The reason of a failed placement for the host's error code.
std::string PlaceFailureReason(HostError code);
}  // namespace OvraViews

// "saveFiles": writes the payload's files into the project's folder or one the user picks.
void SaveFiles(Palette& palette, const std::string& id, const rapidjson::Value& payload);

// "pickFile": lets the user choose an image or video and answers with a link to it.
void HandlePickFile(Palette& palette, const std::string& id, const rapidjson::Value& payload);

// One file or folder name from any text: control characters and \ / : * ? " < > | dropped,
// leading and trailing spaces and dots trimmed, at most `maxUnits` UTF-16 units (never half a
// surrogate pair) and trimmed again after the cut, and a Windows device name (CON, PRN, AUX,
// NUL, COM1-COM9, LPT1-LPT9, with or without an extension) given a "_" after it. Any thread.
std::u16string SanitizeFileName(std::u16string_view text, size_t maxUnits);
