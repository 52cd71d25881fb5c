// Windows: the run needs the simulated service and Chromium, which only the Linux build has.
#include <iostream>

#include "sim/SimRun.h"

bool IsRunCommand(const std::vector<std::string>& argv) { return argv.size() > 1 && argv[1] == "run"; }

int RunRenderFlow(const std::vector<std::string>&) {
    std::cerr << "tamsel-sim: run needs the Linux build (the simulated service and Chromium)\n";
    return 1;
}
