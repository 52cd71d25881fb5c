// tamsel-sim: runs the add-on module in the simulated host.
//   tamsel-sim [demo] [options]      load, open the palette, answer a few requests, release, and
//                                    narrate what happened
//   tamsel-sim requests FILE|- [options]
//                                    post each line of FILE as a page request and print every
//                                    reply and event, one JSON text per line, in arrival order
// Options: --module PATH, --host-language CODE, --project-name TEXT, --project-path PATH, --untitled
#include <rapidjson/document.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "host/AddonResources.h"
#include "sim/host/ModuleLoader.h"
#include "sim/host/SimHost.h"
#include "sim/SimProcess.h"

namespace {
constexpr auto kRealTimeLimit = std::chrono::seconds(30);

struct Options {
    std::string mode = "demo";
    std::string file;
    std::string module;
    std::string hostLanguage = "ENG";
    std::string projectName = "Untitled";
    std::string projectPath;
    bool untitled = false;
    bool untitledGiven = false;
};

int Usage(const char* message) {
    std::cerr << "tamsel-sim: " << message << "\n"
              << "usage: tamsel-sim [demo] [options]\n"
              << "       tamsel-sim requests FILE|- [options]\n"
              << "options: --module PATH  --host-language CODE  --project-name TEXT  --project-path PATH  "
                 "--untitled\n";
    return 2;
}

bool ParseOptions(const std::vector<std::string>& argv, Options* o, std::string* error) {
    const size_t argc = argv.size();
    size_t i = 1;
    if (i < argc && argv[i].rfind('-', 0) != 0) {
        o->mode = argv[i++];
        if (o->mode == "requests") {
            if (i >= argc) return *error = "requests needs a FILE (or - for standard input)", false;
            o->file = argv[i++];
        } else if (o->mode != "demo") {
            return *error = "unknown command " + o->mode, false;
        }
    }
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= argc) return *error = arg + " needs a value", false;
            *out = argv[++i];
            return true;
        };
        if (arg == "--module") {
            if (!value(&o->module)) return false;
        } else if (arg == "--host-language") {
            if (!value(&o->hostLanguage)) return false;
            if (o->hostLanguage.size() != 3) return *error = "--host-language takes a three-letter code", false;
        } else if (arg == "--project-name") {
            if (!value(&o->projectName)) return false;
        } else if (arg == "--project-path") {
            if (!value(&o->projectPath)) return false;
        } else if (arg == "--untitled") {
            o->untitled = o->untitledGiven = true;
        } else {
            return *error = "unknown option " + arg, false;
        }
    }
    if (o->module.empty()) o->module = DefaultModulePath();
    // A project with a path is a saved one unless --untitled says otherwise.
    if (!o->untitledGiven) o->untitled = o->projectPath.empty();
    return true;
}

// A line the add-on will answer: a JSON object whose id is a string of 1 to 128 bytes that does
// not begin with "selftest-".
bool IsAnswerable(const std::string& line) {
    rapidjson::Document d;
    d.Parse(line.data(), line.size());
    if (d.HasParseError() || !d.IsObject()) return false;
    const rapidjson::Value& request = d;
    auto id = request.FindMember("id");
    if (id == request.MemberEnd() || !id->value.IsString()) return false;
    const std::string text(id->value.GetString(), id->value.GetStringLength());
    return !text.empty() && text.size() <= 128 && text.rfind("selftest-", 0) != 0;
}

bool ReadLines(const std::string& file, std::vector<std::string>* lines, std::string* error) {
    std::ifstream in;
    std::istream* stream = &std::cin;
    if (file != "-") {
        // A UTF-8 path, whatever the system's narrow code page.
        in.open(std::filesystem::path(std::u8string(file.begin(), file.end())), std::ios::binary);
        if (!in) return *error = "cannot read " + file, false;
        stream = &in;
    }
    std::string line;
    while (std::getline(*stream, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines->push_back(line);
    }
    return true;
}

void Configure(SimHost& host, const Options& o) {
    host.languageCode = o.hostLanguage;
    host.project.name = o.projectName;
    host.project.path = o.projectPath;
    host.project.untitled = o.untitled;
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

int RunRequests(SimHost& host, const Options& o) {
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
    size_t expected = 0;
    for (const std::string& line : lines) {
        if (IsAnswerable(line)) ++expected;
        page->Post(line);
    }
    const bool answered = RunUntil(host, [&] { return CountReplies(*page) >= expected; });
    std::cout.flush();
    host.Release();
    if (!answered) {
        std::cerr << "tamsel-sim: " << CountReplies(*page) << " of " << expected
                  << " requests answered after 30 seconds\n";
        return 1;
    }
    return 0;
}

int RunDemo(SimHost& host, const Options& o) {
    std::cout << "Tamsel Ovra in the simulated Archicad\n";
    std::cout << "module: " << o.module << "\n";
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
    page.onMessage = [](const ScriptedPage::Message& m) { std::cout << "  reply: " << m.json << "\n"; };
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
    Options options;
    std::string error;
    UseBinaryStandardOutput();
    if (!ParseOptions(ProgramArguments(argc, argv), &options, &error)) return Usage(error.c_str());
    std::unique_ptr<LoadedModule> module = LoadAddonModule(options.module, &error);
    if (!module) {
        std::cerr << "tamsel-sim: cannot load " << options.module << ": " << error << "\n";
        return 1;
    }
    int status = 0;
    {
        SimHost host(module->Entry());
        Configure(host, options);
        status = options.mode == "requests" ? RunRequests(host, options) : RunDemo(host, options);
        // Workers may still be running after release; the add-on asked to stay loaded.
        if (host.keepInMemory) module->KeepLoaded();
    }
    return status;
}
