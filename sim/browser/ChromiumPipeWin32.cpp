// Windows: the Chromium driver is not built there; the scripted page stands in.
#include "sim/browser/ChromiumPipe.h"

std::unique_ptr<ChromiumPipe> StartChromiumPipe(const ChromiumLaunch&, std::string* error) {
    *error = "the Chromium driver runs on Linux only";
    return nullptr;
}
