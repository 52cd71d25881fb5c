// tamsel-sim run: starts the simulated service in process and the simulated Archicad with the
// module, opens the palette with the reference panel in Chromium and drives it through the flow's
// steps with clicks and typing, one progress line a step; writes a report folder. Without
// Chromium the same steps run as bridge requests through the scripted page.
#include "sim/SimRun.h"

#include <rapidjson/document.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include <stdlib.h>

#include "host/AddonAbi.h"
#include "sim/PanelDriver.h"
#include "sim/SimOptions.h"
#include "sim/SimProcess.h"
#include "sim/browser/ChromiumPage.h"
#include "sim/host/ModuleLoader.h"
#include "sim/host/SimHost.h"
#include "sim/service/SimService.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {
// What every step can reach.
struct Flow {
    PanelDriver& driver;
    SimService& service;
    bool live = false;
    std::string userCode;
};

// One step of the flow: true when it did what it is for; `detail` says what it saw, or why not.
struct FlowStep {
    std::string name;
    std::function<bool(Flow&, std::string* detail)> browser;   // with the panel in Chromium
    std::function<bool(Flow&, std::string* detail)> scripted;  // as bridge requests
};

struct StepOutcome {
    std::string name;
    bool ok = false;
    double seconds = 0;
    std::string detail;
    std::string screenshot;  // file name in the report folder, empty without one
};

std::string Html(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string Member(const rapidjson::Value& v, const char* path) {
    const rapidjson::Value* at = &v;
    std::string name;
    std::istringstream parts(path);
    while (std::getline(parts, name, '.')) {
        if (!at->IsObject()) return {};
        auto it = at->FindMember(name.c_str());
        if (it == at->MemberEnd()) return {};
        at = &it->value;
    }
    if (at->IsString()) return std::string(at->GetString(), at->GetStringLength());
    if (at->IsInt64()) return std::to_string(at->GetInt64());
    if (at->IsBool()) return at->GetBool() ? "true" : "false";
    return {};
}

// The panel's error line, when it shows one.
bool PanelShowsError(Flow& f, std::string* detail) {
    auto shown = f.driver.Live()->Evaluate("!document.getElementById('error').hidden");
    if (shown && *shown == "true") {
        *detail = "the panel shows: " + f.driver.Text("#error-message");
        return true;
    }
    return false;
}

// Clicks, then waits until the panel has no request in flight and `until` holds.
bool ClickAndWait(Flow& f, const std::string& selector, const std::string& until, std::chrono::milliseconds timeout,
                  std::string* detail) {
    if (!f.driver.Live()->Click(selector, detail)) return false;
    if (!f.driver.WaitForScript("document.body.dataset.busy==='0'&&(" + until + ")", timeout, detail))
        return PanelShowsError(f, detail), false;
    return !PanelShowsError(f, detail);
}

// A reply's error as one line.
std::string ErrorLine(const ScriptedPage::Message* reply) {
    if (reply == nullptr) return "no reply in time";
    return "error " + reply->ErrorCode() + ": " + Member(*reply->document, "error.message");
}

const ScriptedPage::Message* Ask(Flow& f, const std::string& id, const std::string& line) {
    return f.driver.Ask(id, line, 30s);
}

// The flow's steps, in order. Each adds what a person would do next; later steps (capture,
// upload, generate, poll, download, place, save, pick) go after these.
std::vector<FlowStep> Steps() {
    return {
        {"open the palette",
         [](Flow& f, std::string* d) {
             if (!f.driver.Open(d)) return false;
             if (!f.driver.WaitForScript("document.body.dataset.session", 30s, d)) return false;
             std::string session = f.driver.Live()->Evaluate("document.body.dataset.session").value_or("?");
             if (session.size() >= 2 && session.front() == '"') session = session.substr(1, session.size() - 2);
             *d = "project \"" + f.driver.Text("#project") + "\", " + session;
             return !PanelShowsError(f, d);
         },
         [](Flow& f, std::string* d) {
             if (!f.driver.Open(d)) return false;
             f.driver.RunUntil([&] { return !f.driver.Page().IsLoading(); }, 10s);
             const auto* reply = Ask(f, "run-state", R"({"id":"run-state","type":"getState","payload":{}})");
             if (reply == nullptr || !reply->Ok()) return *d = ErrorLine(reply), false;
             *d = "project \"" + Member(*reply->document, "result.session.projectName") + "\"";
             return true;
         }},
        {"sign in",
         [](Flow& f, std::string* d) {
             if (!f.driver.Live()->Click("#signin-start", d)) return false;
             if (!f.driver.WaitForScript("document.getElementById('user-code').textContent", 30s, d))
                 return PanelShowsError(f, d), false;
             f.userCode = f.driver.Text("#user-code");
             // Signed in, and the panel's own follow-up (credits, listing) answered.
             if (!f.driver.WaitForScript("document.body.dataset.session==='signed-in'&&document.body.dataset.busy==='0'",
                                         30s, d))
                 return PanelShowsError(f, d), false;
             *d = "user code " + f.userCode + " approved by the service";
             return true;
         },
         [](Flow& f, std::string* d) {
             const auto* start = Ask(f, "run-start",
                                     R"({"id":"run-start","type":"api","payload":{"method":"POST","path":"/api/v1/device/start","body":{}}})");
             if (start == nullptr || !start->Ok()) return *d = ErrorLine(start), false;
             f.userCode = Member(*start->document, "result.user_code");
             const std::string line = R"({"id":"run-token","type":"api","payload":{"method":"POST","path":"/api/v1/device/token","body":{"device_code":")" +
                                      Member(*start->document, "result.device_code") + R"("}}})";
             const auto* token = Ask(f, "run-token", line);
             if (token == nullptr || !token->Ok()) return *d = ErrorLine(token), false;
             *d = "user code " + f.userCode + " approved by the service";
             return true;
         }},
        {"credits",
         [](Flow& f, std::string* d) {
             if (!ClickAndWait(f, "#refresh-credits", "document.getElementById('credits').dataset.credits", 30s, d))
                 return false;
             *d = f.driver.Text("#account-name") + ": " + f.driver.Text("#credits");
             return true;
         },
         [](Flow& f, std::string* d) {
             const auto* me = Ask(f, "run-me", R"({"id":"run-me","type":"api","payload":{"method":"GET","path":"/api/v1/me"}})");
             if (me == nullptr || !me->Ok()) return *d = ErrorLine(me), false;
             *d = Member(*me->document, "result.name") + ": " + Member(*me->document, "result.credits") + " credits";
             return true;
         }},
        {"list the views",
         [](Flow& f, std::string* d) {
             if (!ClickAndWait(f, "#views-refresh", "document.getElementById('views-grid').dataset.state!=='loading'",
                               60s, d))
                 return false;
             auto count = f.driver.Live()->Evaluate("document.querySelectorAll('.view-card').length");
             *d = (count ? *count : "?") + " views";
             return true;
         },
         [](Flow& f, std::string* d) {
             const auto* views = Ask(f, "run-views", R"({"id":"run-views","type":"listViews","payload":{}})");
             if (views == nullptr || !views->Ok()) return *d = ErrorLine(views), false;
             *d = std::to_string((*views->document)["result"]["views"].Size()) + " views";
             return true;
         }},
    };
}

void WriteReport(const fs::path& out, const std::vector<StepOutcome>& outcomes, bool live, const std::string& browserNote,
                 size_t serviceRequests) {
    std::ofstream html(out / "index.html", std::ios::binary);
    html << "<!doctype html><html><head><meta charset=\"utf-8\"><title>Tamsel Ovra run</title><style>"
            "body{font:14px sans-serif;margin:24px;color:#222}table{border-collapse:collapse}"
            "td,th{border:1px solid #ccc;padding:6px 10px;vertical-align:top;text-align:left}"
            ".ok{color:#1a7f37}.failed{color:#b42318}img{border:1px solid #ccc;max-width:360px}</style></head><body>"
            "<h1>Tamsel Ovra in the simulated Archicad</h1><p>"
         << Html(live ? "The reference panel in Chromium, driven with clicks and typing."
                      : "Bridge requests through the scripted page: " + browserNote)
         << "</p><p>Service requests: " << serviceRequests << ". <a href=\"host.log\">host.log</a></p>"
         << "<table><tr><th>#</th><th>step</th><th>time</th><th>result</th>" << (live ? "<th>panel</th>" : "")
         << "</tr>";
    for (size_t i = 0; i < outcomes.size(); ++i) {
        const StepOutcome& s = outcomes[i];
        char time[32];
        std::snprintf(time, sizeof time, "%.2f s", s.seconds);
        html << "<tr><td>" << i + 1 << "</td><td>" << Html(s.name) << "</td><td>" << time << "</td><td class=\""
             << (s.ok ? "ok" : "failed") << "\">" << (s.ok ? "ok" : "failed") << ": " << Html(s.detail) << "</td>";
        if (live)
            html << "<td>" << (s.screenshot.empty() ? "" : "<img src=\"" + Html(s.screenshot) + "\" alt=\"\">") << "</td>";
        html << "</tr>";
    }
    html << "</table></body></html>\n";
}
}  // namespace

bool IsRunCommand(const std::vector<std::string>& argv) {
    for (size_t i = 1; i < argv.size(); ++i) {
        if (argv[i].size() >= 2 && argv[i][0] == '-') continue;
        return argv[i] == "run";
    }
    return false;
}

int RunRenderFlow(const std::vector<std::string>& argv) {
    // The run's own options; the rest are the simulator's.
    std::vector<std::string> rest = {argv.empty() ? "tamsel-sim" : argv[0]};
    std::string outText;
    bool scriptedOnly = false;
    bool runSeen = false;
    for (size_t i = 1; i < argv.size(); ++i) {
        if (argv[i] == "run" && !runSeen) {
            runSeen = true;
        } else if (argv[i] == "--out") {
            if (i + 1 >= argv.size()) return std::cerr << "tamsel-sim: --out needs a value\n", 2;
            outText = argv[++i];
        } else if (argv[i] == "--scripted-page") {
            scriptedOnly = true;
        } else {
            rest.push_back(argv[i]);
        }
    }
    SimOptions options;
    std::string error;
    if (!ParseSimOptions(rest, &options, &error)) return std::cerr << "tamsel-sim: " << error << "\n" << SimUsage(), 2;
    if (options.module.empty()) options.module = DefaultModulePath();
    const fs::path out = outText.empty() ? fs::path(options.module).parent_path().parent_path() / "run-report" : fs::path(outText);
    std::error_code ec;
    fs::remove_all(out, ec);
    fs::create_directories(out, ec);
    if (ec) return std::cerr << "tamsel-sim: cannot make " << out.string() << ": " << ec.message() << "\n", 1;

    // The run's own user folders: a fresh data folder and token key, whatever an earlier run or
    // the user's own session left; host.log is copied into the report at the end.
    const fs::path user = out / ".user";
    fs::create_directories(user, ec);
    ::setenv("XDG_DATA_HOME", (user / "data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (user / "config").c_str(), 1);

    std::unique_ptr<LoadedModule> module = LoadAddonModule(options.module, &error);
    if (!module) return std::cerr << "tamsel-sim: cannot load " << options.module << ": " << error << "\n", 1;

    // The simulated service, its CA in the report folder's scratch corner, approving each device
    // code at its first poll and asking for polls a second apart.
    const fs::path scratch = out / ".service";
    fs::create_directories(scratch, ec);
    const TestPki pki = MakeTestPki();
    WriteCaPem(pki, scratch / "ca.pem");
    SimService::Options serviceOptions;
    serviceOptions.routes.pollInterval = 1s;
    SimService service(pki, serviceOptions);
    service.Start();
    service.Routes().SetApproveAtFirstPoll(true);
    const std::string caFile = (scratch / "ca.pem").string();

    int status = 0;
    std::vector<StepOutcome> outcomes;
    std::string browserNote;
    std::unique_ptr<ChromiumPage> chrome;
    if (!scriptedOnly) chrome = ChromiumPage::Start({}, &browserNote);
    else browserNote = "the scripted page was asked for";
    if (!chrome) std::cout << browserNote << "; running the flow as bridge requests through the scripted page\n";
    {
        SimHost host(module->Entry());
        ApplySimOptions(options, host);
        // Point the module at the service: the same host extension, with the service's endpoint.
        HostExtension extension;
        AimModuleAtService(host, module->Entry(), service.Port(), caFile, &extension);

        PanelDriver driver(host, chrome.get());
        Flow flow{driver, service, chrome != nullptr, {}};
        const auto steps = Steps();
        for (size_t i = 0; i < steps.size(); ++i) {
            StepOutcome outcome;
            outcome.name = steps[i].name;
            const auto start = std::chrono::steady_clock::now();
            outcome.ok = (flow.live ? steps[i].browser : steps[i].scripted)(flow, &outcome.detail);
            outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (flow.live) {
                std::vector<uint8_t> png;
                char name[32];
                std::snprintf(name, sizeof name, "step-%02zu.png", i + 1);
                if (chrome->Screenshot(&png)) {
                    std::ofstream(out / name, std::ios::binary)
                        .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
                    outcome.screenshot = name;
                }
            }
            char line[64];
            std::snprintf(line, sizeof line, "[%zu/%zu] %6.2f s  ", i + 1, steps.size(), outcome.seconds);
            std::cout << line << outcome.name << ": " << (outcome.ok ? "" : "FAILED: ") << outcome.detail << std::endl;
            outcomes.push_back(outcome);
            if (!outcome.ok) {
                status = 1;
                break;
            }
        }
        if (chrome)
            for (const std::string& e : chrome->PageErrors()) std::cout << "page error: " << e << "\n";
        host.Release();
        if (host.keepInMemory) module->KeepLoaded();
    }
    chrome.reset();
    fs::copy_file(user / "data" / "Ovra for Archicad" / "host.log", out / "host.log", fs::copy_options::overwrite_existing, ec);
    WriteReport(out, outcomes, !browserNote.empty() ? false : true, browserNote, service.Requests().size());
    service.Stop();
    fs::remove_all(scratch, ec);
    fs::remove_all(user, ec);
    std::cout << "report: " << fs::absolute(out / "index.html").string() << "\n";
    return status;
}
