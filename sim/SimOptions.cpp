// The simulator's command line.
#include "sim/SimOptions.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "sim/host/SimHost.h"

namespace {
// Width and height of the 3D window's drawing area, each at most this many pixels.
constexpr int kMaxWindowSide = 8192;

bool ParseCount(std::string_view text, int64_t* value) {
    if (text.empty() || text.front() == '+' || text.front() == '-') return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return ec == std::errc() && end == text.data() + text.size();
}

bool ParseInt(std::string_view text, int* value) {
    if (text.empty() || text.front() == '+' || text.front() == '-') return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
    return ec == std::errc() && end == text.data() + text.size();
}

bool ParseWindowSize(std::string_view text, int* width, int* height) {
    const size_t x = text.find('x');
    return x != std::string_view::npos && ParseInt(text.substr(0, x), width) &&
           ParseInt(text.substr(x + 1), height) && *width >= 1 && *height >= 1 && *width <= kMaxWindowSide &&
           *height <= kMaxWindowSide;
}

// Simulated seconds as "S" or "S.F" (decimal digits, at most three after the point, at most
// kMaxChangeSeconds), in milliseconds.
constexpr int64_t kMaxChangeSeconds = 1000000000;

bool ParseSeconds(std::string_view text, int64_t* ms) {
    const size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    auto digits = [](std::string_view part) {
        return std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (whole.empty() || whole.size() > 10 || !digits(whole) || !digits(fraction) || fraction.size() > 3 ||
        (point != std::string_view::npos && fraction.empty()))
        return false;
    int64_t seconds = 0;
    for (char c : whole) seconds = seconds * 10 + (c - '0');
    if (seconds > kMaxChangeSeconds) return false;
    int64_t thousandths = 0;
    for (size_t i = 0; i < 3; ++i) thousandths = thousandths * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
    *ms = seconds * 1000 + thousandths;
    return true;
}

bool ParseProjectChange(std::string_view text, SimProjectChange* change, std::string* error) {
    const size_t equals = text.find('=');
    const std::string_view seconds = text.substr(0, equals);
    if (!ParseSeconds(seconds, &change->atMs))
        return *error = "--project-change-at takes S[=PATH], S simulated seconds from the start, 0 or more, with "
                        "at most three decimals (such as 2 or 0.25)",
               false;
    change->path.clear();
    if (equals != std::string_view::npos) {
        change->path = std::string(text.substr(equals + 1));
        if (change->path.empty())
            return *error = "--project-change-at " + std::string(text) + ": PATH after = is empty (leave out =PATH for "
                            "an untitled project)",
                   false;
    }
    return true;
}

bool ParseFailure(std::string_view text, SimFailure* failure, std::string* error) {
    const size_t equals = text.find('=');
    if (equals == std::string_view::npos) return *error = "--fail takes OP=CODE[:once]", false;
    failure->operation = std::string(text.substr(0, equals));
    std::string_view code = text.substr(equals + 1);
    const auto& names = SimHost::OperationNames();
    if (std::find(names.begin(), names.end(), failure->operation) == names.end())
        return *error = "--fail: unknown host operation " + failure->operation, false;
    failure->once = false;
    if (const size_t colon = code.find(':'); colon != std::string_view::npos) {
        if (code.substr(colon + 1) != "once") return *error = "--fail: only :once may follow the code", false;
        failure->once = true;
        code = code.substr(0, colon);
    }
    if (!ParseHostErrorCode(code, &failure->code) || failure->code == 0)
        return *error = "--fail: " + std::string(code) + " is not a non-zero 32-bit error code", false;
    return true;
}
}  // namespace

bool ParseHostErrorCode(std::string_view text, HostError* code) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        uint32_t value = 0;
        const std::string_view digits = text.substr(2);
        if (digits.empty() || digits.front() == '+' || digits.front() == '-') return false;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
        if (ec != std::errc() || end != digits.data() + digits.size()) return false;
        *code = static_cast<HostError>(value);
        return true;
    }
    if (text.empty() || text.front() == '+') return false;
    int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < INT32_MIN || value > UINT32_MAX) return false;
    *code = static_cast<HostError>(static_cast<uint32_t>(value));
    return true;
}

bool ParseSimOptions(const std::vector<std::string>& argv, SimOptions* o, std::string* error) {
    std::vector<std::string> positional;
    const size_t argc = argv.size();
    bool untitledGiven = false;
    const char* needsService = nullptr;
    for (size_t i = 1; i < argc; ++i) {
        const std::string& arg = argv[i];
        if (arg.size() < 2 || arg[0] != '-') {  // "-" alone is standard input
            positional.push_back(arg);
            continue;
        }
        auto value = [&](std::string* out) {
            if (i + 1 >= argc) return *error = arg + " needs a value", false;
            *out = argv[++i];
            return true;
        };
        std::string text;
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
            o->untitled = untitledGiven = true;
        } else if (arg == "--model") {
            if (!value(&o->model)) return false;
            const auto& names = SampleProjectNames();
            if (std::find(names.begin(), names.end(), o->model) == names.end())
                return *error = "--model takes house, empty, stairs-only, uniform or many-views", false;
        } else if (arg == "--front") {
            if (!value(&o->front)) return false;
            if (o->front != "plan" && o->front != "3d") return *error = "--front takes plan or 3d", false;
        } else if (arg == "--window-size") {
            if (!value(&text)) return false;
            if (!ParseWindowSize(text, &o->windowWidth, &o->windowHeight))
                return *error = "--window-size takes WxH, each from 1 to 8192, such as 1200x800", false;
        } else if (arg == "--draw-delay") {
            if (!value(&text)) return false;
            if (!ParseSeconds(text, &o->drawDelayMs))
                return *error = "--draw-delay takes simulated seconds, 0 or more, with at most three decimals (such "
                                "as 1 or 0.25)",
                       false;
        } else if (arg == "--fail") {
            if (!value(&text)) return false;
            SimFailure failure;
            if (!ParseFailure(text, &failure, error)) return false;
            o->failures.push_back(failure);
        } else if (arg == "--refuse-event-loop") {
            o->refuseEventLoop = true;
        } else if (arg == "--callbacks-first") {
            o->callbacksFirst = true;
        } else if (arg == "--project-change-at") {
            if (!value(&text)) return false;
            SimProjectChange change;
            if (!ParseProjectChange(text, &change, error)) return false;
            // Earliest first; changes at the same second keep their order on the line.
            const auto later = std::upper_bound(o->projectChanges.begin(), o->projectChanges.end(), change,
                                                [](const SimProjectChange& a, const SimProjectChange& b) {
                                                    return a.atMs < b.atMs;
                                                });
            o->projectChanges.insert(later, change);
        } else if (arg == "--pick") {
            if (!value(&o->pick)) return false;
        } else if (arg == "--pick-folder") {
            if (!value(&o->pickFolder)) return false;
        } else if (arg == "--launch-log") {
            if (!value(&o->launchLog)) return false;
        } else if (arg == "--project-out") {
            if (!value(&o->projectOut)) return false;
        } else if (arg == "--worksheet-png") {
            if (!value(&o->worksheetPng)) return false;
        } else if (arg == "--run-for") {
            if (!value(&text)) return false;
            if (!ParseCount(text, &o->runFor)) return *error = "--run-for takes a count of seconds, 0 or more", false;
        } else if (arg == "--service") {
            o->service = true;
        } else if (arg == "--signed-in") {
            o->service = o->signedIn = true;
        } else if (arg == "--approve") {
            o->service = o->approve = true;
        } else if (arg == "--credits") {
            if (!value(&text)) return false;
            if (!ParseCount(text, &o->credits)) return *error = "--credits takes a count of 0 or more", false;
            needsService = "--credits";
        } else if (arg == "--service-record") {
            if (!value(&o->serviceRecord)) return false;
            if (o->serviceRecord.empty()) return *error = "--service-record needs a FILE", false;
            needsService = "--service-record";
        } else {
            return *error = "unknown option " + arg, false;
        }
    }
    size_t next = 0;
    if (next < positional.size()) {
        o->mode = positional[next++];
        if (o->mode == "requests") {
            if (next >= positional.size()) return *error = "requests needs a FILE (or - for standard input)", false;
            o->file = positional[next++];
        } else if (o->mode != "demo") {
            return *error = "unknown command " + o->mode, false;
        }
    }
    if (next < positional.size()) return *error = "unexpected argument " + positional[next], false;
    if (needsService != nullptr && !o->service)
        return *error = std::string(needsService) + " needs the simulated service (--service, --signed-in or --approve)", false;
    // A project with a path is a saved one unless --untitled says otherwise.
    if (!untitledGiven) o->untitled = o->projectPath.empty();
    return true;
}

void OpenProjectAt(const SimProjectChange& change, SimHost& host) {
    host.project.queryFails = false;
    host.project.untitled = change.path.empty();
    host.project.path = change.path;
    if (change.path.empty()) {
        host.project.name = "Untitled";
    } else {
        // The last part of the path, either separator, without its extension.
        const size_t slash = change.path.find_last_of("/\\");
        std::string name = change.path.substr(slash == std::string::npos ? 0 : slash + 1);
        if (const size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.resize(dot);
        host.project.name = name;
    }
    host.SendProjectEvent(kProjectOpenedEvent);
}

std::string ExpectedUiLanguage(const std::string& hostLanguage) {
    if (hostLanguage == "BRA" || hostLanguage == "POR" || hostLanguage == "PTB" || hostLanguage == "PTG") return "pt-BR";
    if (hostLanguage == "SPA" || hostLanguage == "ESP") return "es";
    std::string locale;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            locale = value;
            break;
        }
    }
    if (locale.rfind("pt", 0) == 0) return "pt-BR";
    if (locale.rfind("es", 0) == 0) return "es";
    return "en";
}

void ApplySimOptions(const SimOptions& o, SimHost& host) {
    host.languageCode = o.hostLanguage;
    host.project.name = o.projectName;
    host.project.path = o.projectPath;
    host.project.untitled = o.untitled;
    host.LoadModel(o.model);
    host.frame3D.drawDelay = std::chrono::milliseconds(o.drawDelayMs);
    host.UserBringToFront(o.front == "3d" ? SimWindowKind::k3D : SimWindowKind::kFloorPlan);
    host.Set3DWindowSize(o.windowWidth, o.windowHeight);
    for (const SimFailure& f : o.failures) host.FailOperation(f.operation, f.code, f.once);
    if (o.refuseEventLoop) host.refuseEventLoopCalls = kHostErrRefused;
    if (o.callbacksFirst) host.callbacksFirst = true;
    auto answer = [](const std::string& text) { return text == "cancel" ? std::nullopt : std::optional(text); };
    host.dialogs.standingFileAnswer = answer(o.pick);
    host.dialogs.standingFolderAnswer = answer(o.pickFolder);
}

bool WriteSimOutputs(const SimOptions& o, const SimHost& host, std::string* error) {
    auto write = [error](const std::string& file, const std::string& text) {
        std::ofstream out(std::filesystem::path(std::u8string(file.begin(), file.end())), std::ios::binary);
        out << text;
        out.close();
        if (!out) return *error = "cannot write " + file, false;
        return true;
    };
    if (!o.launchLog.empty()) {
        std::string log;
        for (const RecordingLauncher::Launch& l : host.launcher.launches)
            log += l.verb + "\t" + l.file + "\t" + l.parameters + "\n";
        if (!write(o.launchLog, log)) return false;
    }
    if (!o.projectOut.empty() && !write(o.projectOut, host.ProjectJson() + "\n")) return false;
    if (o.worksheetPng.empty()) return true;
    // With no worksheet in the project, the blank sheet.
    std::vector<uint8_t> png;
    if (!host.DrawWorksheetPng(host.ShownWorksheet(), &png))
        return *error = "cannot draw the worksheet for " + o.worksheetPng, false;
    return write(o.worksheetPng, std::string(png.begin(), png.end()));
}

const char* SimUsage() {
    return "usage: tamsel-sim [demo] [options]              narrate one session in the simulated Archicad\n"
           "       tamsel-sim requests FILE|- [options]     post each line of FILE as the page would; print each\n"
           "                                                reply and event (options before or after FILE)\n"
           "       tamsel-sim run [options]                 the whole render flow with the reference panel, and a\n"
           "                                                report folder\n"
           "       tamsel-sim --help | -h                   this text;  tamsel-sim --version  the add-on's version\n"
           "options:\n"
           "  --module PATH                 the add-on module (default: the one next to the simulator)\n"
           "  --host-language CODE          the host's three-letter language code (default ENG; POR, SPA, ...)\n"
           "  --project-name TEXT           the project's name (default Untitled; run: House)\n"
           "  --project-path PATH           the project file, which makes it a saved project\n"
           "  --untitled                    the project is untitled, even with a path\n"
           "  --model house|empty|stairs-only|uniform|many-views   the sample project (default house)\n"
           "  --front plan|3d               the front window at start (default plan; run: 3d)\n"
           "  --window-size WxH             the 3D window's drawing area (default 1200x800)\n"
           "  --draw-delay SECONDS          simulated time from a change of the 3D view to its frame being drawn\n"
           "                                (default 1; at most three decimals)\n"
           "  --fail OP=CODE[:once]         host operation OP fails with CODE (decimal or 0x hex); repeatable\n"
           "  --refuse-event-loop           the host refuses event-loop call-backs\n"
           "  --callbacks-first             each host turn runs event-loop call-backs before idle notifications\n"
           "  --project-change-at S[=PATH]  (requests) at simulated second S the host opens another project (PATH,\n"
           "                                else a new untitled one); repeatable\n"
           "  --pick PATH|cancel            the open-file dialog's answer (default cancel; run: the saved file)\n"
           "  --pick-folder PATH|cancel     the folder dialog's answer (default cancel)\n"
           "  --launch-log FILE             one line per shell launch: verb, file, parameters, tab-separated\n"
           "  --project-out FILE            at exit, the project's worksheets and their pictures as JSON\n"
           "  --worksheet-png FILE          at exit, the worksheet in front (else the last one) drawn as PNG\n"
           "  --run-for SECONDS             (requests) after the last reply, keep the host loop going this many\n"
           "                                simulated seconds\n"
           "  --service                     start the simulated service in process and point the module at it\n"
           "                                (run: always)\n"
           "  --signed-in                   (demo, requests) a token valid at the service is stored before start\n"
           "                                (implies --service)\n"
           "  --approve                     the service approves each device code at its first poll (implies\n"
           "                                --service; run: always)\n"
           "  --credits N                   the simulated account's credits (default 10)\n"
           "  --service-record FILE         at exit, every request the service received, one JSON object a line\n"
           "  --out DIR                     (run) where the report is written (default build/run-report)\n"
           "  --scripted-page               (run) the same steps as bridge requests through the scripted page,\n"
           "                                without Chromium\n";
}
