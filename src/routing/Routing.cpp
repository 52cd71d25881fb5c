// Dispatch of request texts by type, the table of queued request types, and the wiring of the
// core's upcalls.
#include "routing/Routing.h"

#include <rapidjson/document.h>

#include "handlers/output/Output.h"
#include "handlers/selftest/SelfTest.h"
#include "handlers/service/ApiRequest.h"
#include "handlers/service/WebPages.h"
#include "handlers/state/HostState.h"
#include "handlers/views/Views.h"
#include "panel/Palette.h"
#include "panel/Replies.h"
#include "panel/Serving.h"
#include "panel/Upcalls.h"
#include "store/Log.h"

namespace {
constexpr size_t kMaxIdBytes = 128;

// The queued request types and the step that serves each.
struct ModelOpHandler {
    const char* type;
    void (*run)(Palette&, const std::string& id, const rapidjson::Value& payload);
};

const ModelOpHandler kModelOpHandlers[] = {
    {"listViews", [](Palette& p, const std::string& id, const rapidjson::Value&) { OvraViews::ListViews(p, id); }},
    {"capture", OvraViews::StartCapture},
    {"place", OvraViews::Place},
    {"pickFile", HandlePickFile},
    {"saveFiles", SaveFiles},
};

const ModelOpHandler* HandlerFor(const std::string& type) {
    for (const ModelOpHandler& h : kModelOpHandlers)
        if (type == h.type) return &h;
    return nullptr;
}

void RunModelOp(Palette& palette, const ModelOp& op) {
    if (const ModelOpHandler* handler = HandlerFor(StringMember(*op.request, "type")))
        handler->run(palette, op.tag.id, PayloadOf(*op.request));
}

void Route(Palette& palette, const std::string& id, const std::string& type, const rapidjson::Value& payload,
           std::shared_ptr<rapidjson::Document>& request) {
    if (type == "getState") {
        GetState(palette, id);
    } else if (type == "setState") {
        SetState(palette, id, payload);
    } else if (type == "openUrl") {
        HandleOpenUrl(palette, id, payload);
    } else if (type == "api") {
        HandleApi(palette, id, payload);
    } else if (IsModelOpType(type)) {
        palette.Pump().Queue(ModelOp{palette.HandOff(), std::move(request)});
    } else {
        ReplyError(palette, id, MakeFailure("unsupported", "", 0));
    }
}
}  // namespace

bool IsModelOpType(const std::string& type) { return HandlerFor(type) != nullptr; }

void Dispatch(Palette& palette, const std::string& text, uint64_t load) {
    auto request = std::make_shared<rapidjson::Document>();
    request->Parse(text.data(), text.size());
    if (request->HasParseError() || !request->IsObject()) return;
    const std::string id = StringMember(*request, "id");
    if (id.empty() || id.size() > kMaxIdBytes) return;
    // A request the page sent before it was replaced is not served: its page is gone, and
    // nothing it asks may reach the project opened since.
    if (!palette.IsCurrentLoad(load)) {
        WriteLog("reply dropped after reload " + id);
        return;
    }
    const std::string type = StringMember(*request, "type");
    const rapidjson::Value& payload = PayloadOf(*request);
    WriteLog("request " + type);
    Serve(palette, RequestTag{id, load, false}, [&] { Route(palette, id, type, payload, request); });
}

void InstallRouting() { InstallUpcalls({Dispatch, RunModelOp, ArmSelfTest, SelfTestStep, SelfTestResult}); }
