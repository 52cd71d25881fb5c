// The page's saved state, one file per project key in the "state" folder of the data folder.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// FNV-1a over the key's bytes, with this add-on's own initial value.
uint64_t ProjectKeyHash(std::string_view projectKey);
// The state file's path; empty when the folder cannot be made.
std::string StateFilePath(std::string_view projectKey);
// The file's whole content; nothing when it is missing, empty, unreadable or over 64 MiB.
std::optional<std::string> ReadStateFile(std::string_view projectKey);
// Replaces the file whole; false, leaving the old file, when the bytes are over 64 MiB or the
// write fails.
bool WriteStateFile(std::string_view projectKey, std::string_view bytes);
// Deletes every "*.json" file (not folder) in the state folder.
void DeleteStateFiles();
