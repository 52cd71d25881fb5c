// The per-user folders the add-on keeps its files in, and small facts that need the system.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>

// The roaming application-data folder (Windows), or $XDG_DATA_HOME, else ~/.local/share; empty
// when it cannot be found.
std::string UserDataRoot();
// The folder for per-user keys kept apart from the data: the roaming application-data folder
// (Windows), or $XDG_CONFIG_HOME, else ~/.config; empty when it cannot be found.
std::string UserConfigRoot();
// The user's folder for temporary files (GetTempPathW on Windows, at most 260 characters;
// $TMPDIR when it holds an absolute path, else /tmp), without a trailing separator; empty when
// it cannot be had.
std::string UserTempFolder();
// Tests point both roots at scratch folders; empty texts restore the system's.
void SetUserFoldersForTesting(const std::string& dataRoot, const std::string& configRoot);

// Sixteen bytes for a new identifier, from a cryptographically random source.
std::array<uint8_t, 16> NewIdentifierBytes();

struct TimeOfDay {
    unsigned hour = 0, minute = 0, second = 0, millisecond = 0;
    unsigned day = 1, month = 1;  // day of the month 1-31, month 1-12
};
// The local date and time: the system's, or the one a test set.
TimeOfDay LocalTimeOfDay();
// Fixes the local time that LocalTimeOfDay answers; nothing restores the system's.
void SetLocalTimeForTesting(std::optional<TimeOfDay> time);
// The wall clock in 100-nanosecond units, on the scale of FolderEntry::lastWrite.
int64_t SystemTime100ns();
