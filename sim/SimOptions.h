// The simulator's command line: the command, FILE and the options, which may stand before or
// after FILE, and how they set up the simulated host.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/HostErrors.h"

class SimHost;

struct SimFailure {
    std::string operation;  // a HostApi operation's name
    HostError code = 0;
    bool once = false;
};

// The user opening another project at a simulated time (--project-change-at).
struct SimProjectChange {
    int64_t atMs = 0;  // simulated milliseconds from the start
    std::string path;  // the project file opened; empty: a new untitled project
};

struct SimOptions {
    std::string mode = "demo";  // "demo" or "requests"
    std::string file;           // requests: the request file, "-" for standard input
    std::string module;         // empty: the module next to the simulator
    std::string hostLanguage = "ENG";
    std::string projectName = "Untitled";
    std::string projectPath;
    bool untitled = false;
    std::string model = "house";
    std::string front = "plan";  // "plan" or "3d"
    int windowWidth = 1200, windowHeight = 800;
    // Simulated milliseconds from a change of the 3D window's view to its frame being drawn.
    int64_t drawDelayMs = 1000;
    std::vector<SimFailure> failures;
    bool refuseEventLoop = false;
    bool callbacksFirst = false;  // each host turn runs event-loop call-backs before idle
    // Simulated seconds the host loop keeps going after the last reply (requests mode).
    int64_t runFor = 0;
    // The projects the user opens during the run, earliest first (requests mode).
    std::vector<SimProjectChange> projectChanges;
    // The dialogs' answers: a path, or "cancel" (the default).
    std::string pick = "cancel", pickFolder = "cancel";
    std::string launchLog;   // empty: not written
    std::string projectOut;  // empty: not written
    std::string worksheetPng;  // empty: not written
    // The simulated service, started in process for the run.
    bool service = false;
    bool signedIn = false;  // a token the service accepts is stored before start
    bool approve = false;   // every device code is approved at its first poll
    int64_t credits = 10;
    std::string serviceRecord;  // where the service's record is written at exit; empty: nowhere
};

// Parses the arguments (the program's name first). False with a one-line message for an unknown
// command or option, a missing or bad value, or a stray argument.
bool ParseSimOptions(const std::vector<std::string>& argv, SimOptions* options, std::string* error);

// A host error code in decimal (negative allowed) or 0x hexadecimal that fits 32 bits; false
// for anything else.
bool ParseHostErrorCode(std::string_view text, HostError* code);

// The host event that tells the add-on a project was opened.
inline constexpr int32_t kProjectOpenedEvent = 4;

// Opens the change's project in the host as the user does: the project's path, its name (the
// file name without its extension; "Untitled" for a new project) and untitled flag, then the
// host's project-opened event to the add-on.
void OpenProjectAt(const SimProjectChange& change, SimHost& host);

// Sets up a host that has not started yet: language, project, model, the 3D window's drawing
// delay, front window and size, failures and the event-loop refusal.
void ApplySimOptions(const SimOptions& options, SimHost& host);

// The UI language the add-on is to choose, and so send as Accept-Language: "pt-BR" or "es" for
// the host's Portuguese and Spanish codes, otherwise by the user's locale (the first of LC_ALL,
// LC_MESSAGES and LANG that is set), "en" when that is neither.
std::string ExpectedUiLanguage(const std::string& hostLanguage);

// Writes what --launch-log, --project-out and --worksheet-png ask for, after the run; false with a message when
// a file cannot be written.
bool WriteSimOutputs(const SimOptions& options, const SimHost& host, std::string* error);

// The usage text, one option a line.
const char* SimUsage();
