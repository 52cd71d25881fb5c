// The table of calls into the layers above the core, empty until the routing installs it.
#include "panel/Upcalls.h"

namespace {
const UpcallTable kNothing = {
    [](Palette&, const std::string&, uint64_t) {},
    [](Palette&, const ModelOp&) {},
    [](Palette&, bool) {},
    [](Palette&) {},
    [](Palette&, const std::string&, bool, const std::string&) {},
};
UpcallTable gUpcalls = kNothing;
}  // namespace

const UpcallTable& Upcalls() { return gUpcalls; }

void InstallUpcalls(const UpcallTable& table) { gUpcalls = table; }
