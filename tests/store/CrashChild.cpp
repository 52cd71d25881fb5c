// Rewrites a file and the device token in a loop until it is killed; the crash test kills it
// at random moments and checks what is left on disk. Usage: store_crash_child FILE
#include <string>

#include "store/FileStore.h"
#include "store/TokenStore.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const std::string path = argv[1];
    const std::string a(300 * 1024, 'a'), b(200 * 1024, 'b');
    for (unsigned i = 0;; ++i) {
        if (!WriteFileAtomic(path, i % 2 ? a : b)) return 1;
        if (!TokenStore().Save(i % 2 ? "token-one" : "token-two")) return 1;
    }
}
