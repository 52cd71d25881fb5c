// POSIX: the simulator's arguments, standard output and default module path.
#include <unistd.h>

#include "sim/SimProcess.h"

std::vector<std::string> ProgramArguments(int argc, char** argv) { return {argv, argv + argc}; }

void UseBinaryStandardOutput() {}

std::string DefaultModulePath() {
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "./TamselOvra.so";
    const std::string path(buf, static_cast<size_t>(n));
    return path.substr(0, path.find_last_of('/')) + "/TamselOvra.so";
}
