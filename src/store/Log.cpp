// The host log: "host.log" in the data folder, one time-stamped line per call, opened and closed
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
    line += text;
    line += "\r\n";
    ScopedFile file(Files().OpenAppend(path));
    if (!file.valid()) return;
    // One write per line, so lines of other writers never interleave inside it.
    uint32_t done = 0;
    Files().Write(file.get(), line.data(), static_cast<uint32_t>(line.size()), &done);
}
