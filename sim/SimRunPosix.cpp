// tamsel-sim run: starts the simulated service in process and the simulated Archicad with the
// module, opens the palette with the reference panel in Chromium and drives it through the flow's
// steps with clicks and typing, one progress line a step; writes a report folder. Without
// Chromium the same steps run as bridge requests through the scripted page.
#include "sim/SimRun.h"

#include <rapidjson/document.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include <stdlib.h>

#include "host/AddonAbi.h"
#include "sim/PanelDriver.h"
#include "sim/RenderFlow.h"
#include "sim/SimOptions.h"
#include "sim/SimProcess.h"
#include "sim/browser/ChromiumPage.h"
#include "sim/host/ModuleLoader.h"
#include "sim/host/SimHost.h"
#include "sim/service/SimService.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {
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

std::string Milliseconds(std::chrono::nanoseconds t) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", std::chrono::duration<double, std::milli>(t).count());
    return text;
}

std::string Seconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", s);
    return text;
}

std::string Bytes(uint64_t n) {
    char text[48];
    if (n >= 1024 * 1024) std::snprintf(text, sizeof text, "%.2f MiB", static_cast<double>(n) / (1024.0 * 1024.0));
    else if (n >= 1024) std::snprintf(text, sizeof text, "%.1f KiB", static_cast<double>(n) / 1024.0);
    else std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(n));
    return text;
}

// What the report shows besides the steps.
struct RunFigures {
    bool live = false;
    std::string browserNote;
    std::string started;      // when the run began, UTC
    std::string commandLine;  // the options it was given
    std::string hostLanguage;
    size_t serviceRequests = 0;
    uint64_t bytesUp = 0, bytesDown = 0;
};

std::string UtcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc);
    return text;
}

// The longest single host turn of the flow, and the step it came in.
const StepOutcome* LongestTurnStep(const std::vector<StepOutcome>& outcomes) {
    const StepOutcome* longest = nullptr;
    for (const StepOutcome& s : outcomes)
        if (longest == nullptr || s.longestHostTurn > longest->longestHostTurn) longest = &s;
    return longest;
}

void Pictures(std::ofstream& html, const char* heading, const std::vector<FlowFile>& files, bool images,
              const char* style = "pictures") {
    if (files.empty()) return;
    html << "<h2>" << heading << "</h2><div class=\"pictures " << style << "\">";
    for (const FlowFile& f : files) {
        html << "<figure>";
        if (images) html << "<a href=\"" << Html(f.file) << "\"><img src=\"" << Html(f.file) << "\" alt=\"\"></a>";
        html << "<figcaption>" << Html(f.caption) << " (<a href=\"" << Html(f.file) << "\">" << Html(f.file) << "</a>, "
             << Bytes(f.bytes) << ")</figcaption></figure>";
    }
    html << "</div>";
}

void WriteReport(const fs::path& out, const std::vector<StepOutcome>& outcomes, const FlowRun& run,
                 const RunFigures& figures) {
    std::ofstream html(out / "index.html", std::ios::binary);
    html << "<!doctype html><html><head><meta charset=\"utf-8\"><title>Tamsel Ovra run</title><style>"
            "body{font:14px sans-serif;margin:24px;color:#222}table{border-collapse:collapse}"
            "td,th{border:1px solid #ccc;padding:6px 10px;vertical-align:top;text-align:left}"
            ".ok{color:#1a7f37}.failed{color:#b42318}img{border:1px solid #ccc;max-width:360px}"
            ".pictures{display:flex;flex-wrap:wrap;gap:16px}figure{margin:0}.pictures img{max-width:480px}"
            ".sheet img{background:#fff;box-shadow:0 2px 8px rgba(0,0,0,.35);border-color:#999}"
            "</style></head><body><h1>Tamsel Ovra in the simulated Archicad</h1><p>"
         << Html(figures.live ? "The reference panel in Chromium, driven with clicks and typing."
                              : "Bridge requests through the scripted page: " + figures.browserNote)
         << "</p><p>Ran " << Html(figures.started) << " with the host language " << Html(figures.hostLanguage)
         << "; options: <code>" << Html(figures.commandLine.empty() ? "(none)" : figures.commandLine) << "</code></p>";
    double total = 0;
    for (const StepOutcome& s : outcomes) total += s.seconds;
    const StepOutcome* longest = LongestTurnStep(outcomes);
    html << "<h2>Figures</h2><table>"
         << "<tr><th>steps done</th><td>" << std::count_if(outcomes.begin(), outcomes.end(), [](const StepOutcome& s) { return s.ok; })
         << " of " << FlowStepNames().size() << "</td></tr>"
         << "<tr><th>whole flow</th><td>" << Seconds(total) << "</td></tr>"
         << "<tr><th>capture of the current view, host thread</th><td>" << Milliseconds(run.captureHostThread)
         << " of processor time in host turns, of which the host's own drawing and encoding "
         << Milliseconds(run.captureHostDrawing) << "</td></tr>";
    if (longest != nullptr)
        html << "<tr><th>longest single host-thread turn</th><td>" << Milliseconds(longest->longestHostTurn)
             << " of processor time, in the step \"" << Html(longest->name) << "\"</td></tr>";
    html
         << "<tr><th>uploaded to the service</th><td>" << Bytes(figures.bytesUp) << " (" << figures.serviceRequests
         << " requests, headers included)</td></tr>"
         << "<tr><th>downloaded from the service</th><td>" << Bytes(figures.bytesDown) << "</td></tr>";
    if (run.creditsBefore >= 0 && run.creditsAfter >= 0)
        html << "<tr><th>credits</th><td>" << run.creditsBefore << " before, " << run.creditsAfter << " after</td></tr>";
    html << "</table><p><a href=\"host.log\">host.log</a></p>";

    html << "<h2>Steps</h2><table><tr><th>#</th><th>step</th><th>time</th><th>result</th>"
         << (figures.live ? "<th>panel</th>" : "") << "</tr>";
    for (size_t i = 0; i < outcomes.size(); ++i) {
        const StepOutcome& s = outcomes[i];
        html << "<tr><td>" << i + 1 << "</td><td>" << Html(s.name) << "</td><td>" << Seconds(s.seconds) << "</td><td class=\""
             << (s.ok ? "ok" : "failed") << "\">" << (s.ok ? "ok" : "failed") << ": " << Html(s.detail) << "</td>";
        if (figures.live)
            html << "<td>" << (s.screenshot.empty() ? "" : "<img src=\"" + Html(s.screenshot) + "\" alt=\"\">") << "</td>";
        html << "</tr>";
    }
    html << "</table>";
    Pictures(html, "Captured pictures", run.captures, true);
    Pictures(html, "Generated results", run.results, true);
    Pictures(html, "The worksheet with the placed picture", run.worksheets, true, "sheet");
    Pictures(html, "Saved files", run.saved, true);
    html << "</body></html>\n";
}
}  // namespace

bool IsRunCommand(const std::vector<std::string>& argv) {
    for (size_t i = 1; i < argv.size(); ++i) {
        if (argv[i].size() >= 2 && argv[i][0] == '-') continue;
        return argv[i] == "run";
    }
    return false;
}

namespace {
// The file name the run gives the project it saves for itself: the project's name, with what a
// file name cannot hold replaced.
std::string ProjectFileName(std::string name) {
    for (char& c : name)
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) c = '_';
    if (name.empty() || name == "." || name == "..") name = "House";
    return name + ".pln";
}

bool Given(const std::vector<std::string>& arguments, const char* option) {
    return std::find(arguments.begin(), arguments.end(), option) != arguments.end();
}

void WritePng(const fs::path& file, const std::vector<uint8_t>& png) {
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
}
}  // namespace

int RunRenderFlow(const std::vector<std::string>& argv) {
    // The run's own options; the rest are the simulator's.
    std::vector<std::string> rest = {argv.empty() ? "tamsel-sim" : argv[0]};
    std::string outText;
    bool scriptedOnly = false;
    bool runSeen = false;
    RunFigures figures;
    for (size_t i = 1; i < argv.size(); ++i) {
        if (argv[i] == "run" && !runSeen) {
            runSeen = true;
            continue;
        }
        figures.commandLine += (figures.commandLine.empty() ? "" : " ") + argv[i];
        if (argv[i] == "--out") {
            if (i + 1 >= argv.size()) return std::cerr << "tamsel-sim: --out needs a value\n", 2;
            outText = argv[++i];
            figures.commandLine += " " + outText;
        } else if (argv[i] == "--scripted-page") {
            scriptedOnly = true;
        } else {
            rest.push_back(argv[i]);
        }
    }
    // The run always has the simulated service, approving each code at its first poll.
    SimOptions options;
    options.service = true;
    std::string error;
    if (!ParseSimOptions(rest, &options, &error)) return std::cerr << "tamsel-sim: " << error << "\n" << SimUsage(), 2;
    if (options.mode != "demo" || Given(rest, "demo"))
        return std::cerr << "tamsel-sim: run takes no other command\n", 2;
    // What the run cannot honour is refused rather than ignored.
    if (options.signedIn)
        return std::cerr << "tamsel-sim: run signs in through the panel; --signed-in is for demo and requests\n", 2;
    if (Given(rest, "--run-for")) return std::cerr << "tamsel-sim: --run-for is for requests\n", 2;
    if (!options.projectChanges.empty())
        return std::cerr << "tamsel-sim: --project-change-at is for requests; the run renders in one project\n", 2;
    if (options.module.empty()) options.module = DefaultModulePath();
    // The 3D window in front unless the command line says otherwise, as a person about to render
    // has it: the current view is then the one shown, with its picture in the listing.
    if (!Given(rest, "--front")) options.front = "3d";
    if (!Given(rest, "--project-name")) options.projectName = "House";
    figures.hostLanguage = options.hostLanguage;
    figures.started = UtcNow();
    const fs::path out = outText.empty() ? fs::path(options.module).parent_path().parent_path() / "run-report" : fs::path(outText);
    // An earlier report is replaced; any other folder with files in it is left alone.
    std::error_code ec;
    if (fs::exists(out, ec) && !fs::is_empty(out, ec) && !fs::exists(out / "index.html", ec))
        return std::cerr << "tamsel-sim: " << out.string() << " holds files that are not a run report; choose another --out\n", 2;
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
    serviceOptions.routes.credits = options.credits;
    SimService service(pki, serviceOptions);
    RequestRules rules;
    rules.language = ExpectedUiLanguage(options.hostLanguage);
    service.SetRules(rules);
    service.Start();
    service.Routes().SetApproveAtFirstPoll(true);
    const std::string caFile = (scratch / "ca.pem").string();

    int status = 0;
    std::vector<StepOutcome> outcomes;
    std::unique_ptr<ChromiumPage> chrome;
    if (!scriptedOnly) chrome = ChromiumPage::Start({}, &figures.browserNote);
    else figures.browserNote = "the scripted page was asked for";
    figures.live = chrome != nullptr;
    if (!chrome)
        std::cout << figures.browserNote << "; running the flow as bridge requests through the scripted page\n";

    // A saved project in the report folder unless the command line names one, so that the saved
    // files land beside it, where the report links to them. The project file itself is not
    // written: the simulated host keeps its model in memory.
    if (options.projectPath.empty()) {
        const fs::path project = out / "project";
        fs::create_directories(project, ec);
        options.projectPath = (project / ProjectFileName(options.projectName)).string();
        if (!Given(rest, "--untitled")) options.untitled = false;
    }
    FlowRun* finished = nullptr;
    std::unique_ptr<FlowRun> run;
    {
        SimHost host(module->Entry());
        ApplySimOptions(options, host);
        host.UseService(service.Port(), caFile);
        host.pictureClock = &ThreadProcessorTime;

        PanelDriver driver(host, chrome.get());
        run = std::make_unique<FlowRun>(driver, host, service, user / "data" / "Ovra for Archicad", out);
        const size_t count = FlowStepNames().size();
        const int width = static_cast<int>(std::to_string(count).size());
        outcomes = RunFlowSteps(*run, [&](size_t i, StepOutcome& outcome) {
            if (chrome) {
                // The picture the step took when its own state showed, else the panel now.
                std::vector<uint8_t> png = std::move(run->shot);
                if (png.empty() && !chrome->Screenshot(&png)) png.clear();
                char name[32];
                std::snprintf(name, sizeof name, "step-%02zu.png", i + 1);
                if (!png.empty()) {
                    WritePng(out / name, png);
                    outcome.screenshot = name;
                }
            }
            char line[64];
            std::snprintf(line, sizeof line, "[%*zu/%zu] %6.2f s  ", width, i + 1, count, outcome.seconds);
            std::cout << line << outcome.name << ": " << (outcome.ok ? "" : "FAILED: ") << outcome.detail << std::endl;
        });
        if (outcomes.size() != count || !outcomes.back().ok) status = 1;
        run->creditsAfter = service.Routes().Account().credits;
        if (chrome)
            for (const std::string& e : chrome->PageErrors()) std::cout << "page error: " << e << "\n";
        if (!WriteSimOutputs(options, host, &error)) {
            std::cerr << "tamsel-sim: " << error << "\n";
            status = 1;
        }
        host.Release();
        if (host.keepInMemory) module->KeepLoaded();
        finished = run.get();
    }
    chrome.reset();
    fs::copy_file(user / "data" / "Ovra for Archicad" / "host.log", out / "host.log", fs::copy_options::overwrite_existing, ec);
    figures.serviceRequests = service.Requests().size();
    figures.bytesUp = service.BytesReceived();
    figures.bytesDown = service.BytesSent();
    WriteReport(out, outcomes, *finished, figures);
    if (!options.serviceRecord.empty() &&
        !service.WriteRecordJsonLines(fs::path(std::u8string(options.serviceRecord.begin(), options.serviceRecord.end())))) {
        std::cerr << "tamsel-sim: cannot write " << options.serviceRecord << "\n";
        status = 1;
    }
    service.Stop();
    // A request that breaks the service's rules fails the run, as it would fail with the real one.
    for (const std::string& violation : service.Violations()) {
        std::cout << "the simulated service recorded a violation: " << violation << "\n";
        status = 1;
    }
    fs::remove_all(scratch, ec);
    fs::remove_all(user, ec);

    double seconds = 0;
    size_t done = 0;
    for (const StepOutcome& s : outcomes) seconds += s.seconds, done += s.ok ? 1 : 0;
    char summary[64];
    std::snprintf(summary, sizeof summary, "%zu of %zu steps in %.1f s; ", done, FlowStepNames().size(), seconds);
    const fs::path report = fs::absolute(out / "index.html");
    std::cout << summary << "report: " << report.string() << "\n";
    // The shortest way to name the report from where the command was given.
    fs::path shown = fs::relative(report, fs::current_path(), ec);
    if (ec || shown.empty() || shown.string().rfind("..", 0) == 0) shown = report;
    std::cout << "open it with: xdg-open " << shown.string() << "\n";
    return status;
}
