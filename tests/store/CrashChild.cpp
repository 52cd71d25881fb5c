// Rewrites every kind of crash-safe file of the add-on in a loop until it is killed: a whole
// file, the device token, a page-state file, a store entry, and new saved files. The crash test
// kills it at random moments and checks what is left on disk.
// Usage: store_crash_child FILE SAVE_FOLDER
#include <string>

#include "store/CrashContent.h"
#include "store/FileStore.h"
#include "store/StateFiles.h"
#include "store/TokenStore.h"

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const std::string path = argv[1], saves = argv[2];
    for (unsigned i = 0;; ++i) {
        const bool odd = i % 2 != 0;
        const std::string& bytes = odd ? CrashContentA() : CrashContentB();
        if (!WriteFileAtomic(path, bytes)) return 1;
        if (!TokenStore().Save(odd ? "token-one" : "token-two")) return 1;
        if (!WriteStateFile(kCrashProjectKey, odd ? CrashStateA() : CrashStateB())) return 1;
        if (!StoreBytes(kCrashFileRef, bytes)) return 1;
        // A saved file never replaces another: each write adds one under the next free name.
        const std::string saved = WriteNewFile(saves, bytes, [&](int n) -> std::string {
            if (n > 999) return {};
            std::string name = "render";
            if (n > 1) name.append(" (").append(std::to_string(n)).append(")");
            return JoinPath(saves, name.append(".png"));
        });
        if (saved.empty()) return 1;
    }
}
