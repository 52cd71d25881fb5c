// The render flow a person goes through in the palette: open it, sign in, read the credits, list
// the views, capture a saved camera and the current view, upload, generate, poll, download,
// place the result on a worksheet, save it into the project's folder and pick a file. With a live
// Chromium page each step is clicks and typing in the reference panel; without one the same
// steps are bridge requests posted through the scripted page. The steps keep what they produced
// (pictures, saved files, figures) for the run's report and for tests.
#pragma once
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class PanelDriver;
class SimHost;
class SimService;

// A file the flow produced, copied into the output folder.
struct FlowFile {
    std::string caption;
    std::string file;  // name inside the output folder
    uint64_t bytes = 0;
};

struct FlowRun {
    FlowRun(PanelDriver& d, SimHost& h, SimService& s, std::filesystem::path data, std::filesystem::path output)
        : driver(d), host(h), service(s), dataFolder(std::move(data)), out(std::move(output)) {}

    PanelDriver& driver;
    SimHost& host;
    SimService& service;
    // The add-on's data folder ("Ovra for Archicad"), where its stored files are read from.
    std::filesystem::path dataFolder;
    // Where the produced files are written.
    std::filesystem::path out;

    // What the steps produced and saw.
    std::string userCode;
    std::vector<FlowFile> captures, results, worksheets, saved;
    std::string captureFileRef, uploadId, jobId, resultPath, resultFileRef, placedLabel, savedFolder, pickedName;
    int64_t creditsBefore = -1, creditsAfter = -1;
    // The capture of the current view: processor time of the host thread in host turns while it
    // ran, and the part of it that was the host's own drawing and encoding.
    std::chrono::nanoseconds captureHostThread{0}, captureHostDrawing{0};
    // The bridge replies the flow depended on, by what they answered (for tests).
    std::vector<std::string> replies;
    // The live panel as a step saw it when its own state showed (PNG), taken by Snapshot; empty
    // when the step took none, and the picture is then taken after the step.
    std::vector<uint8_t> shot;

    bool Live() const;
    void Snapshot();
};

struct StepOutcome {
    std::string name;
    bool ok = false;
    double seconds = 0;
    std::string detail;
    std::string screenshot;  // file name in the output folder, empty without one
    // The longest single host turn while the step ran (processor time).
    std::chrono::nanoseconds longestHostTurn{0};
};

// The names of the flow's steps, in order.
std::vector<std::string> FlowStepNames();
// Runs the steps in order until one fails; `after` sees each outcome as it is made (the run adds
// its screenshot and progress line there).
std::vector<StepOutcome> RunFlowSteps(FlowRun& run, const std::function<void(size_t, StepOutcome&)>& after);
