// The per-user data folder, file references and their store entries, and the whole-file read
// and crash-safe whole-file write that every writer of the add-on uses. No memory state, no
// locks: callable from any thread. Failures are reported by the result (false or empty).
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// Maximum sizes the callers read with.
inline constexpr uint64_t kMaxSourceBytes = 536870912;   // place, save and upload sources
inline constexpr uint64_t kMaxStateBytes = 67108864;     // a page-state file
inline constexpr uint64_t kMaxCaptureBytes = 268435456;  // a captured picture
inline constexpr uint64_t kMaxLinkBytes = 4096;          // a link entry

// "Ovra for Archicad" in the user's data root, made when missing; empty when it cannot be.
std::string DataFolder();
// Makes the folder and those of its parents that are missing, each as MakeFolder makes it
// (owner-only on POSIX); best effort.
void MakeFolderAndParents(const std::string& path);
// Where DataFolder() is, without making it; empty when the user has no data folder.
std::string DataFolderPath();
// DataFolder() + separator + name, made when missing; empty on failure.
std::string DataSubfolder(std::string_view name);

// prefix + "-" + 32 lower-case hex digits of a new random identifier.
std::string NewFileRef(std::string_view prefix);
// 1 to 8 letters a-z, "-", 32 digits 0-9a-f, nothing else.
bool IsValidFileRef(std::string_view text);
// The entry's path in the "files" folder (suffix ".dat" or ".link"); empty for an invalid
// reference or when the folder cannot be made.
std::string FileRefPath(std::string_view ref, std::string_view suffix);

bool StoreBytes(std::string_view ref, std::string_view bytes);
// Links the reference to a file elsewhere, by its absolute path.
bool StoreLink(std::string_view ref, std::string_view path);
// The bytes entry, else the linked file; false (and empty bytes) when neither can be read
// whole within `maxBytes`.
bool LoadFileRef(std::string_view ref, std::string* bytes, uint64_t maxBytes);

// The whole file, of 1 to maxBytes bytes; false and empty bytes otherwise.
bool ReadWholeFile(const std::string& path, std::string* bytes, uint64_t maxBytes);
// Replaces the file with exactly these bytes, or leaves it as it was: writes a temporary file
// named "toh…" beside it, flushes it and renames it over the file.
bool WriteFileAtomic(const std::string& path, std::string_view bytes);
// The same with another prefix for the temporary file's name.
bool ReplaceFileContents(const std::string& path, std::string_view bytes, const std::string& tempPrefix);

// Writes the bytes as a new file that never replaces another: into a temporary file in
// `folder`, flushed, then moved to the first name that `nameFor(1)`, `nameFor(2)`, … gives (a
// full path in the same folder; empty ends the list) which nothing holds at that moment, by a
// move that refuses an existing name. The path written, or empty when every name is taken or a
// write fails; nothing is left behind then.
std::string WriteNewFile(const std::string& folder, std::string_view bytes,
                         const std::function<std::string(int)>& nameFor);

// Deletes store entries (".dat" and ".link" files) last written more than `days` days ago, and
// the add-on's own temporary files ("toh…" and "tot…" ".tmp") older than a day in the data
// folder, "files" and "state".
void PruneStore(int days);
// Deletes from a folder of the user's the temporary files that WriteNewFile left there when the
// add-on stopped in the middle of a write ("toh", one to four hexadecimal digits, ".tmp") and
// that are older than a day; no other file.
void PruneOwnTemporaryFiles(const std::string& folder);

// Joins a folder and a name with the platform's separator.
std::string JoinPath(std::string_view folder, std::string_view name);
