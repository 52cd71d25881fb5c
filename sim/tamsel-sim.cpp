// tamsel-sim: runs the add-on module in the simulated host.
//   tamsel-sim [demo] [options]      load, open the palette, answer a few requests, release, and
//                                    narrate what happened
//   tamsel-sim requests FILE|- [options]
//                                    post each line of FILE as a page request and print every
//                                    reply and event, one JSON text per line, in arrival order;
//                                    {{ID.PATH}} in a line stands for a value of an earlier reply
//   tamsel-sim run [--out DIR] [--scripted-page] [options]
//                                    the render flow with the reference panel (sim/SimRunPosix.cpp)
//   tamsel-sim --help | -h | --version
// Options (before or after FILE): see SimUsage in sim/SimOptions.cpp.
#include <rapidjson/document.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host/AddonResources.h"
#include "sim/host/ModuleLoader.h"
#include "sim/host/SimHost.h"
#include "sim/PageRequests.h"
#include "sim/RequestReferences.h"
#include "sim/SimOptions.h"
#include "sim/SimProcess.h"
#include "sim/SimRun.h"
#include "sim/SimServiceRun.h"

namespace {
constexpr auto kRealTimeLimit = std::chrono::seconds(30);

int Usage(const std::string& message) {
    std::cerr << "tamsel-sim: " << message << "\n" << SimUsage();
    return 2;
}

// A line the add-on will answer: a JSON object whose id is a string of 1 to 128 bytes that does
// not begin with "selftest-".
bool IsAnswerable(const std::string& line, std::string* answerId = nullptr) {
    rapidjson::Document d;
    d.Parse(line.data(), line.size());
    if (d.HasParseError() || !d.IsObject()) return false;
    const rapidjson::Value& request = d;
    auto id = request.FindMember("id");
    if (id == request.MemberEnd() || !id->value.IsString()) return false;
    const std::string text(id->value.GetString(), id->value.GetStringLength());
    if (answerId != nullptr) *answerId = text;
    return !text.empty() && text.size() <= 128 && text.rfind("selftest-", 0) != 0;
}

bool ReadLines(const std::string& file, std::vector<std::string>* lines, std::string* error) {
    std::ifstream in;
    std::istream* stream = &std::cin;
    if (file != "-") {
        // A UTF-8 path, whatever the system's narrow code page.
        const std::filesystem::path path(std::u8string(file.begin(), file.end()));
        std::error_code ec;
        if (std::filesystem::is_directory(path, ec))
            return *error = "cannot read " + file + ": " + std::generic_category().message(EISDIR), false;
        errno = 0;
        in.open(path, std::ios::binary);
        if (!in) {
            const int why = errno != 0 ? errno : EIO;
            return *error = "cannot read " + file + ": " + std::generic_category().message(why), false;
        }
        stream = &in;
    }
    std::string line;
    while (std::getline(*stream, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines->push_back(line);
    }
    return true;
}

size_t CountReplies(const ScriptedPage& page) {
    size_t n = 0;
    for (const auto& m : page.Messages())
        if (m.document->HasMember("id")) ++n;
    return n;
}

// Runs host loop turns until `done` or the real-time limit; between turns real threads get time.
template <typename Done>
bool RunUntil(SimHost& host, Done done) {
    const auto start = std::chrono::steady_clock::now();
    while (!done()) {
        if (std::chrono::steady_clock::now() - start > kRealTimeLimit) return false;
        host.Turn();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The reply as narrated: each data URL's base64 text shortened to its length, so that thumbnails
// and previews do not fill the screen.
std::string Narrated(const std::string& json) {
    std::string out;
    size_t from = 0;
    for (size_t at; (at = json.find(";base64,", from)) != std::string::npos;) {
        const size_t start = at + 8, end = json.find('"', start);
        if (end == std::string::npos) break;
        out.append(json, from, start - from);
        out += "…(" + std::to_string(end - start) + " characters)";
        from = end;
    }
    return out.append(json, from, std::string::npos);
}

// Ends a requests run that cannot go on: the message on standard error, status 1.
int StopRequests(SimHost& host, const std::string& message) {
    std::cout.flush();
    // A worker of a request still in flight (one a reload dropped) ends before the add-on is
    // released and the process exits under it; the host keeps turning, the clock standing still.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (host.clock.WorkRunning() && std::chrono::steady_clock::now() < deadline) {
        host.TurnWithoutTime();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    host.Release();
    std::cerr << "tamsel-sim: " << message << "\n";
    return 1;
}

std::string SecondsText(int64_t ms) {
    std::string text = std::to_string(ms / 1000);
    if (ms % 1000 != 0) {
        char fraction[8];
        std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(ms % 1000));
        std::string digits = fraction;
        while (digits.back() == '0') digits.pop_back();
        text += digits;
    }
    return text;
}

// The host loop of a requests run: host turns, the project changes that fall due between them,
// and what the page has seen, each request that a reload dropped named on standard error.
class RequestsLoop {
public:
    RequestsLoop(SimHost& host, ScriptedPage& page, const std::vector<SimProjectChange>& changes)
        : host_(host), page_(page), changes_(changes), requests_(page) {}

    PageRequests& Requests() { return requests_; }

    // Posts a line to the page; `answerId` is its id when a reply is due.
    void Post(const std::string& line, const std::string* answerId) {
        if (answerId != nullptr) requests_.Sent(*answerId);
        page_.Post(line);
        Observe();
    }

    // Turns the host until `done` holds and the page is not waiting for a reload, or the real-time
    // limit passes (false). Before each turn the project changes due by then are made.
    template <typename Done>
    bool Wait(Done done) {
        const auto start = std::chrono::steady_clock::now();
        for (;;) {
            OpenDueProjects();
            Observe();
            if (Settled() && done()) return true;
            if (std::chrono::steady_clock::now() - start > kRealTimeLimit) return false;
            host_.Turn();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    // One turn of --run-for: the clock stands still while a worker runs, so the work finishes
    // before simulated time moves on. True when the turn moved the clock.
    bool RunForTurn() {
        OpenDueProjects();
        const bool timed = !host_.clock.WorkRunning();
        if (timed) host_.Turn();
        else host_.TurnWithoutTime();
        Observe();
        return timed;
    }

    // The change the page is still to be reloaded for, in simulated seconds; empty when none.
    std::string AwaitedChange() const { return awaitingReload_ ? SecondsText(awaitedAtMs_) : std::string(); }

private:
    void OpenDueProjects() {
        while (next_ < changes_.size() && changes_[next_].atMs <= host_.clock.Elapsed().count()) {
            loadsAtChange_ = page_.Loads().size();
            awaitingReload_ = true;
            awaitedAtMs_ = changes_[next_].atMs;
            OpenProjectAt(changes_[next_++], host_);
        }
    }

    void Observe() {
        for (const std::string& id : requests_.Update())
            std::cerr << "tamsel-sim: request " << id << " dropped by the reload\n";
        if (awaitingReload_ && page_.Loads().size() > loadsAtChange_) awaitingReload_ = false;
    }

    // The lines after a project change go to the new page once it has loaded.
    bool Settled() const { return !awaitingReload_ && !page_.IsLoading(); }

    SimHost& host_;
    ScriptedPage& page_;
    const std::vector<SimProjectChange>& changes_;
    PageRequests requests_;
    size_t next_ = 0;
    size_t loadsAtChange_ = 0;
    bool awaitingReload_ = false;
    int64_t awaitedAtMs_ = 0;
};

int RunRequests(SimHost& host, const SimOptions& o) {
    std::vector<std::string> lines;
    std::string error;
    if (!ReadLines(o.file, &lines, &error)) {
        std::cerr << "tamsel-sim: " << error << "\n";
        return 1;
    }
    if (!host.Start()) {
        std::cerr << "tamsel-sim: the add-on did not start\n";
        return 1;
    }
    host.OpenPaletteFromMenu();
    ScriptedPage* page = host.Page();
    if (page == nullptr) {
        std::cerr << "tamsel-sim: the palette did not open\n";
        return 1;
    }
    page->onMessage = [](const ScriptedPage::Message& m) { std::cout << m.json << '\n'; };
    host.Turn();  // the page finishes loading and gets its adapter
    RequestsLoop loop(host, *page, o.projectChanges);
    PageRequests& requests = loop.Requests();
    for (size_t n = 0; n < lines.size(); ++n) {
        std::string line = lines[n];
        std::vector<ReplyReference> references;
        const std::string where = "line " + std::to_string(n + 1) + ": ";
        if (!FindReferences(line, &references, &error)) return StopRequests(host, where + error);
        if (!references.empty()) {
            auto named = [&](const ReplyReference& r) { return "{{" + r.id + "." + r.path + "}} names request " + r.id; };
            // This line, and so every later one, waits for the replies it names.
            for (const ReplyReference& r : references)
                if (requests.StateOf(r.id) == PageRequests::State::NotSent)
                    return StopRequests(host, where + named(r) + ", which no earlier line sends");
            auto dropped = [&](const ReplyReference& r) { return requests.StateOf(r.id) == PageRequests::State::Dropped; };
            const bool arrived = loop.Wait([&] {
                for (const ReplyReference& r : references)
                    if (requests.StateOf(r.id) == PageRequests::State::Waiting) return false;
                return true;
            });
            for (const ReplyReference& r : references)
                if (dropped(r))
                    return StopRequests(host, where + named(r) + ", which the reload dropped before its reply came");
            if (!arrived) {
                const std::string change = loop.AwaitedChange();
                return StopRequests(host, where + (change.empty() ? "the replies it names did not arrive within 30 seconds"
                                                                  : "the page was not reloaded within 30 seconds of "
                                                                    "the project change at " + change + " s"));
            }
            const auto replyTo = [&](const std::string& id) { return requests.ReplyTo(id); };
            if (!SubstituteReferences(lines[n], replyTo, &line, &error)) return StopRequests(host, where + error);
        }
        std::string id;
        loop.Post(line, IsAnswerable(line, &id) ? &id : nullptr);
    }
    const bool answered = loop.Wait([&] { return requests.Count(PageRequests::State::Waiting) == 0; });
    // Idle notifications and the timer go on as the host gives them, 100 ms of simulated time a
    // turn, with the clock still while a worker runs.
    for (int64_t turn = 0; answered && turn < o.runFor * 10;) {
        if (loop.RunForTurn()) ++turn;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const size_t answeredCount = requests.Count(PageRequests::State::Answered);
    const size_t waitingCount = requests.Count(PageRequests::State::Waiting);
    std::cout.flush();
    host.Release();
    if (!answered) {
        const std::string change = loop.AwaitedChange();
        if (!change.empty())
            std::cerr << "tamsel-sim: the page was not reloaded within 30 seconds of the project change at " << change
                      << " s\n";
        else
            std::cerr << "tamsel-sim: " << answeredCount << " of " << answeredCount + waitingCount
                      << " requests answered after 30 seconds\n";
        return 1;
    }
    return 0;
}

// The string member `name` of a reply's result; empty when there is none.
std::string ResultString(const ScriptedPage::Message* reply, const char* name) {
    if (reply == nullptr) return {};
    const rapidjson::Value& d = *reply->document;
    const auto result = d.FindMember("result");
    if (result == d.MemberEnd() || !result->value.IsObject()) return {};
    const auto member = result->value.FindMember(name);
    return member != result->value.MemberEnd() && member->value.IsString() ? member->value.GetString() : "";
}

// A device that signed in on an earlier day: in a session of its own, the add-on signs in through
// its own bridge with the service approving the code, so the token is stored exactly as the
// add-on stores it. The run's session then starts with the token present. This session's
// requests are left out of the service's record; its lines stay in host.log.
bool SignInBeforeStart(const LoadedModule& module, SimServiceRun& service, const SimOptions& o, std::string* error) {
    SimHost host(module.Entry());
    host.UseService(service.Port(), service.CaFile());
    if (!host.Start()) return *error = "the add-on did not start for the sign-in", false;
    host.OpenPaletteFromMenu();
    ScriptedPage* page = host.Page();
    if (page == nullptr) return *error = "the palette did not open for the sign-in", false;
    host.Turn();
    service.SetApproveAtFirstPoll(true);
    auto call = [&](const std::string& id, const std::string& payload) -> const ScriptedPage::Message* {
        page->Post(R"({"id":")" + id + R"(","type":"api","payload":)" + payload + "}");
        if (!RunUntil(host, [&] { return !page->RepliesTo(id).empty(); })) return nullptr;
        return page->RepliesTo(id).front();
    };
    const std::string code =
        ResultString(call("sign-in-start", R"({"method":"POST","path":"/api/v1/device/start","body":{}})"), "device_code");
    const ScriptedPage::Message* signedIn =
        code.empty() ? nullptr
                     : call("sign-in-token", R"({"method":"POST","path":"/api/v1/device/token","body":{"device_code":")" +
                                                 code + R"("}})");
    const bool ok = signedIn != nullptr && signedIn->Ok();
    service.SetApproveAtFirstPoll(o.approve);
    host.Release();
    service.ResetRecord();
    if (!ok) *error = "the sign-in before start failed: " + (signedIn ? signedIn->json : std::string("no answer"));
    return ok;
}

int RunDemo(SimHost& host, const SimOptions& o) {
    std::cout << "Tamsel Ovra in the simulated Archicad\n";
    std::cout << "module: " << o.module << "\n";
    WindowRect area;
    host.windows.GetRect(host.drawingArea3D, &area);
    std::cout << "model: " << o.model << " (\"" << host.model.name << "\", " << host.model.stories.size()
              << " stories, " << host.model.elements.size() << " elements); front window " << o.front
              << "; 3D window " << area.Width() << " x " << area.Height() << "\n";
    const int32_t environment = host.CheckEnvironment();
    std::cout << "environment check: " << environment << " (add-on \"" << host.addonName << "\", \""
              << host.addonDescription << "\")\n";
    std::cout << "interface registration: " << host.RegisterInterface() << " (service TOVR, menu 32500 \""
              << (host.resources ? host.resources->String(32500, 3) : "") << "\")\n";
    const HostError init = host.Initialize();
    char refId[16];
    std::snprintf(refId, sizeof refId, "0x%08X", static_cast<uint32_t>(host.paletteRefId));
    std::cout << "initialisation: " << init << " (palette " << host.paletteGuid.ToText() << ", ref id " << refId
              << ", flags " << host.paletteFlags << ")\n";
    host.OpenPaletteFromMenu();
    SimPaletteWindow* palette = host.Palette();
    if (palette == nullptr) {
        std::cout << "the palette did not open\n";
        return 1;
    }
    WindowRect rect;
    host.windows.GetRect(palette->Handle(), &rect);
    std::cout << "menu command: palette \"" << palette->title << "\" open, client " << palette->clientWidth << " x "
              << palette->clientHeight << " at " << rect.left << "," << rect.top << "\n";
    ScriptedPage& page = palette->page;
    for (const auto& load : page.Loads())
        std::cout << "page load: " << (load.isUrl ? load.text : "fallback page (TamselOvra-ui not found)") << "\n";
    host.Turn();
    std::cout << "page loaded; scripts executed: " << page.Scripts().size() << " (adapter installs tamselHost)\n";
    page.onMessage = [](const ScriptedPage::Message& m) { std::cout << "  reply: " << Narrated(m.json) << "\n"; };
    const std::vector<std::string> requests = {
        R"({"id":"r1","type":"getState"})",
        R"({"id":"r2","type":"listViews"})",
        R"({"id":"r3","type":"record"})",
        R"({"id":"r4","type":"capture","payload":{"viewId":"current"}})",
    };
    for (const std::string& r : requests) {
        std::cout << "page posts: " << r << "\n";
        page.Post(r);
    }
    const bool answered = RunUntil(host, [&] { return CountReplies(page) >= requests.size(); });
    std::cout << "answered " << CountReplies(page) << " of " << requests.size() << " requests"
              << (answered ? "" : " (gave up after 30 seconds)") << "\n";
    std::cout << "release: " << host.Release() << " (palette unregistered: "
              << (host.unregisteredPalettes.empty() ? "no" : "yes") << ")\n";
    return answered ? 0 : 1;
}
}  // namespace

int main(int argc, char** argv) {
    SimOptions options;
    std::string error;
    UseBinaryStandardOutput();
    const std::vector<std::string> arguments = ProgramArguments(argc, argv);
    // --help and --version answer on standard output whatever else the line holds.
    for (size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == "--help" || arguments[i] == "-h") return std::cout << SimUsage(), 0;
        if (arguments[i] == "--version") return std::cout << "tamsel-sim " << TOVR_VERSION << "\n", 0;
    }
    if (IsRunCommand(arguments)) return RunRenderFlow(arguments);
    if (!ParseSimOptions(arguments, &options, &error)) return Usage(error);
    // The demo narrates one session in one project; what it cannot honour is refused.
    if (options.mode == "demo" && !options.projectChanges.empty())
        return std::cerr << "tamsel-sim: --project-change-at is for requests; demo stays in one project\n", 2;
    if (options.module.empty()) options.module = DefaultModulePath();
    std::unique_ptr<LoadedModule> module = LoadAddonModule(options.module, &error);
    if (!module) {
        std::cerr << "tamsel-sim: cannot load " << options.module << ": " << error << "\n";
        return 1;
    }
    std::unique_ptr<SimServiceRun> service;
    if (options.service) {
        service = StartSimServiceRun(options, &error);
        if (!service) {
            std::cerr << "tamsel-sim: " << error << "\n";
            return 2;
        }
        if (options.signedIn && !SignInBeforeStart(*module, *service, options, &error)) {
            std::cerr << "tamsel-sim: " << error << "\n";
            return 1;
        }
    }
    int status = 0;
    {
        SimHost host(module->Entry());
        ApplySimOptions(options, host);
        if (service) host.UseService(service->Port(), service->CaFile());
        status = options.mode == "requests" ? RunRequests(host, options) : RunDemo(host, options);
        if (!WriteSimOutputs(options, host, &error)) {
            std::cerr << "tamsel-sim: " << error << "\n";
            status = 1;
        }
        // Workers may still be running after release; the add-on asked to stay loaded.
        if (host.keepInMemory) module->KeepLoaded();
    }
    if (service && !options.serviceRecord.empty() && !service->WriteRecord(options.serviceRecord)) {
        std::cerr << "tamsel-sim: cannot write " << options.serviceRecord << "\n";
        status = 1;
    }
    // A request that breaks the service's rules fails the run, as it would fail with the real one.
    if (service)
        for (const std::string& violation : service->Violations()) {
            std::cerr << "tamsel-sim: the simulated service recorded a violation: " << violation << "\n";
            status = 1;
        }
    return status;
}
