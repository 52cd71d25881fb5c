// Fuzz target: request texts through the bridge of a palette in the simulated host. Each text
// gets at most one reply, and exactly one when it is a JSON object with an answerable id.
#include <rapidjson/document.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "host/AddonAbi.h"
#include "sim/host/SimHost.h"

namespace {
SimHost& FuzzHost() {
    static SimHost* host = [] {
        auto* h = new SimHost(AddonEntry{GetExportedFuncAddrs, SetImportedFuncAddrs});
        if (!h->Start()) std::abort();
        h->OpenPaletteFromMenu();
        h->FinishPageLoad();
        // A small 3D window keeps each capture's picture work short.
        h->Set3DWindowSize(320, 200);
        return h;
    }();
    return *host;
}

bool Answerable(const std::string& text) {
    rapidjson::Document d;
    d.Parse(text.data(), text.size());
    if (d.HasParseError() || !d.IsObject()) return false;
    const rapidjson::Value& request = d;
    auto id = request.FindMember("id");
    if (id == request.MemberEnd() || !id->value.IsString()) return false;
    const size_t n = id->value.GetStringLength();
    return n >= 1 && n <= 128 && std::string(id->value.GetString(), n).rfind("selftest-", 0) != 0;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SimHost& host = FuzzHost();
    ScriptedPage& page = *host.Page();
    const std::string text(reinterpret_cast<const char*>(data), size);
    // The page keeps only this run's records, so millions of runs keep the memory flat.
    page.ClearRecords();
    page.Post(text);
    // Enough turns for a queued operation and its event-loop call to finish, and for a capture's
    // 2.5 s wait on simulated time; then two more, in which no second reply may come.
    for (int i = 0; i < 4 || (i < 30 && page.Messages().empty()); ++i) host.Turn();
    for (int i = 0; i < 2; ++i) host.Turn();
    const size_t replies = page.Messages().size();
    if (replies > 1 || (Answerable(text) && replies != 1)) std::abort();
    return 0;
}
