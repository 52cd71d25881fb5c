// A simulated host for benchmarks: the linked add-on loaded, its palette open and the page
// loaded, with the page's records cleared.
#pragma once
#include <cstdlib>

#include "host/AddonAbi.h"
#include "sim/host/SimHost.h"

inline SimHost* NewBenchHost() {
    auto* h = new SimHost(AddonEntry{GetExportedFuncAddrs, SetImportedFuncAddrs});
    if (!h->Start()) std::abort();
    h->OpenPaletteFromMenu();
    h->FinishPageLoad();
    return h;
}
