// The self-test: a fixed script of bridge requests sent through the same dispatch as the page's,
// one at a time, each reply written to the log instead of reaching the page.
#include "handlers/selftest/SelfTest.h"

#include <rapidjson/document.h>

#include "handlers/service/ApiRequest.h"
#include "panel/Palette.h"
#include "platform/Clock.h"
#include "panel/Replies.h"
#include "panel/Upcalls.h"
#include "platform/Http.h"
#include "panel/TestMode.h"
#include "platform/System.h"
#include "store/Log.h"

namespace {
constexpr size_t kMaxLoggedBytes = 1500;
constexpr auto kArmDelay = std::chrono::seconds(8);
constexpr auto kStepDelay = std::chrono::milliseconds(1500);

// An address on a host that is not the service's.
constexpr char kForeignOrigin[] = "https://tamsel-selftest.invalid";

// The run's state: the next step, whether a reply is awaited, when the next step may start, and
// what earlier replies gave the later steps. One run at a time, for the one palette.
struct SelfTestRun {
    int32_t step = -1;  // -1: not armed, or done
    bool awaiting = false;
    SteadyTime deadline{};
    std::string fileRef;
    std::string viewId;
    std::string unavailableViewId;
};

SelfTestRun& Run() {
    static SelfTestRun run;
    return run;
}

// The request text of step n without its id; empty for a skipped step. `done` is set past the
// end of the script.
std::string ScriptText(const SelfTestRun& p, int32_t n, bool* done) {
    *done = false;
    switch (n) {
        case 0:
            return R"({"type":"getState","payload":{}})";
        case 1:
            return R"({"type":"listViews","payload":{}})";
        case 2:
            return R"({"type":"capture","payload":{"viewId":"current"}})";
        case 3:
            if (p.fileRef.empty()) return {};
            return R"({"type":"place","payload":{"fileRef":)" + JsonQuote(p.fileRef) +
                   ",\"label\":\"Ovra \xC2\xB7 teste do host\"}}";
        case 4:
            return R"({"type":"capture","payload":{"viewId":)" +
                   JsonQuote(p.viewId.empty() ? std::string("selftest-orbit") : p.viewId) + "}}";
        case 5:
            return R"({"type":"capture","payload":{"viewId":)" +
                   JsonQuote(p.unavailableViewId.empty() ? std::string("nav-00000000-0000-0000-0000-000000000001")
                                                                 : p.unavailableViewId) +
                   "}}";
        case 6:
            if (p.fileRef.empty()) return {};
            return R"({"type":"saveFiles","payload":{"folder":"Ovra - teste do host","files":[{"fileRef":)" +
                   JsonQuote(p.fileRef) + R"(,"name":"Vista teste.jpg"}]}})";
        case 7:
            return R"({"type":"record","payload":{"viewIds":["current"],"durationSeconds":5,"preview":false}})";
        case 8:
            return R"({"type":"api","payload":{"method":"GET","path":)" + JsonQuote(std::string(kForeignOrigin) + "/steal") +
                   R"(,"body":null,"options":{}}})";
        case 9:
            return R"({"type":"api","payload":{"method":"GET","path":"/api/v1/../../etc","body":null,"options":{}}})";
        case 10:
            return R"({"type":"openUrl","payload":{"url":)" +
                   JsonQuote(std::string(kForeignOrigin) + "/" + kServiceDomain) + "}}";
        case 11:
            return R"({"type":"place","payload":{"fileRef":"cap-../../token"}})";
        case 12:
            if (!PaidCallsBlocked()) return {};
            return R"({"type":"api","payload":{"method":"POST","path":"/api/v1/projects/x/images/y/generations","body":{},"options":{}}})";
        default:
            *done = true;
            return {};
    }
}

std::string StepId(int32_t n) { return "selftest-" + std::to_string(n); }
}  // namespace

std::string ShortenForLog(const std::string& json) {
    std::string copy = json;
    size_t from = 0;
    for (;;) {
        const size_t start = copy.find("data:", from);
        if (start == std::string::npos) break;
        const size_t quote = copy.find('"', start);
        if (quote == std::string::npos) break;
        const size_t length = quote - start;
        const std::string marker = "<data " + std::to_string(length) + " chars>";
        copy.replace(start, length, marker);
        from = start + 1;
    }
    if (copy.size() > kMaxLoggedBytes) {
        // Cut before a character the limit would split, so that UTF-8 text stays UTF-8 (a run
        // of more than three continuation bytes is no character and is cut where it stands).
        size_t cut = kMaxLoggedBytes;
        while (cut > kMaxLoggedBytes - 3 && (static_cast<unsigned char>(copy[cut]) & 0xC0) == 0x80) --cut;
        if ((static_cast<unsigned char>(copy[cut]) & 0xC0) == 0x80) cut = kMaxLoggedBytes;
        copy.resize(cut);
        copy += "...";
    }
    return copy;
}

bool IsSelfTestMode() { return TestRunMode(); }

void ForgetSelfTestRun() { Run() = SelfTestRun{}; }

void ArmSelfTest(Palette&, bool afterProjectChange) {
    if (!IsSelfTestMode()) return;
    Run() = SelfTestRun{};
    Run().step = 0;
    Run().deadline = SteadyNow() + kArmDelay;
    WriteLog(afterProjectChange ? "SELFTEST re-armed after project change" : "SELFTEST armed");
}

void SelfTestStep(Palette& palette) {
    SelfTestRun& run = Run();
    if (run.step < 0 || run.awaiting || SteadyNow() < run.deadline) return;
    const int32_t n = run.step;
    run.step = n + 1;
    const std::string id = StepId(n);
    bool done = false;
    std::string text = ScriptText(run, n, &done);
    if (done) {
        WriteLog("SELFTEST done");
        run.step = -1;
        return;
    }
    if (text.empty()) {
        WriteLog("SELFTEST " + id + " skipped");
        return;
    }
    text.insert(1, "\"id\":" + JsonQuote(id) + ",");
    run.awaiting = true;
    Upcalls().dispatch(palette, text, palette.MessageLoad());
}

void SelfTestResult(Palette&, const std::string& id, bool ok, const std::string& json) {
    SelfTestRun& run = Run();
    const std::string logged = ShortenForLog(json);
    // Only the reply to the request the run waits for moves it on; a late reply from before a
    // project change, or to a self-test id the page sent itself, is logged and changes nothing.
    if (!run.awaiting || run.step < 1 || id != StepId(run.step - 1)) {
        WriteLog("SELFTEST " + id + " ignored (not awaited) " + (ok ? "OK " : "ERROR ") + logged);
        return;
    }
    WriteLog("SELFTEST " + id + (ok ? " OK " : " ERROR ") + logged);
    if (ok) {
        rapidjson::Document doc;
        const size_t bom = json.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
        doc.Parse(json.data() + bom, json.size() - bom);
        if (!doc.HasParseError() && doc.IsObject()) {
            const rapidjson::Value& root = doc;
            const auto ref = root.FindMember("fileRef");
            if (ref != root.MemberEnd() && ref->value.IsString())
                run.fileRef.assign(ref->value.GetString(), ref->value.GetStringLength());
            const auto views = root.FindMember("views");
            if (views != root.MemberEnd() && views->value.IsArray()) {
                for (const rapidjson::Value& view : views->value.GetArray()) {
                    const std::string viewId = StringMember(view, "id");
                    if (viewId.size() <= 4 || viewId.rfind("nav-", 0) != 0) continue;
                    const auto unavailable = view.FindMember("unavailable");
                    const bool isUnavailable = unavailable != view.MemberEnd() && unavailable->value.IsBool() &&
                                               unavailable->value.GetBool();
                    std::string& slot = isUnavailable ? run.unavailableViewId : run.viewId;
                    if (slot.empty()) slot = viewId;
                }
            }
        }
    }
    run.awaiting = false;
    run.deadline = SteadyNow() + kStepDelay;
}
