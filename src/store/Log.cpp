// The host log: "host.log" in the data folder, one time-stamped line per call (control characters
// escaped), opened and closed
// each time so other readers and writers can share it.
#include "store/Log.h"

#include <cstdio>

#include "platform/Files.h"
#include "platform/UserFolders.h"
#include "store/FileStore.h"

namespace {
constexpr uint64_t kLogLimit = 1048576;
}

void WriteLog(const std::string& text) {
    const std::string folder = DataFolder();
    if (folder.empty()) return;
    const std::string path = JoinPath(folder, "host.log");
    uint64_t size = 0;
    // The log restarts empty once it has grown past its limit; there is no second file.
    if (Files().PathSize(path, &size) && size > kLogLimit) Files().Delete(path);
    const TimeOfDay t = LocalTimeOfDay();
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02u:%02u:%02u.%03u ", t.hour, t.minute, t.second, t.millisecond);
    std::string line = stamp;
    line.reserve(line.size() + text.size() + 2);
    // One call is one line: control characters (line breaks among them) are written as \xNN,
    // so text from outside cannot start a line of its own.
    static const char kHex[] = "0123456789ABCDEF";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7F) {
            line += c;
        } else {
            line += "\\x";
            line += kHex[u >> 4];
            line += kHex[u & 15];
        }
    }
    line += "\r\n";
    ScopedFile file(Files().OpenAppend(path));
    if (!file.valid()) return;
    // One write per line, so lines of other writers never interleave inside it.
    uint32_t done = 0;
    Files().Write(file.get(), line.data(), static_cast<uint32_t>(line.size()), &done);
}
