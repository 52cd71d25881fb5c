// The render flow's steps, each in two forms: clicks and typing in the reference panel in
// Chromium, and the same requests posted through the scripted page. Both forms find what they
// produced in the replies the page received, so the files kept are the add-on's own answers.
#include "sim/RenderFlow.h"

#include <rapidjson/document.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/Utf.h"
#include "sim/PanelDriver.h"
#include "sim/host/SimHost.h"
#include "sim/service/SimService.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Message = ScriptedPage::Message;

bool FlowRun::Live() const { return driver.Live() != nullptr; }

void FlowRun::Snapshot() {
    shot.clear();
    if (Live() && !driver.Live()->Screenshot(&shot)) shot.clear();
}

namespace {
// The prompt typed for the generation.
constexpr const char* kPrompt = "late afternoon light, warm stone and long shadows";

const rapidjson::Value* At(const rapidjson::Value& v, const std::string& path) {
    const rapidjson::Value* at = &v;
    std::string name;
    std::istringstream parts(path);
    while (std::getline(parts, name, '.')) {
        if (!at->IsObject()) return nullptr;
        const rapidjson::Value& object = *at;
        auto it = object.FindMember(name.c_str());
        if (it == object.MemberEnd()) return nullptr;
        at = &it->value;
    }
    return at;
}

std::string Member(const rapidjson::Value& v, const std::string& path) {
    const rapidjson::Value* at = At(v, path);
    if (at == nullptr) return {};
    if (at->IsString()) return std::string(at->GetString(), at->GetStringLength());
    if (at->IsInt64()) return std::to_string(at->GetInt64());
    if (at->IsBool()) return at->GetBool() ? "true" : "false";
    return {};
}

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// A reply's error as one line.
std::string ErrorLine(const Message* reply) {
    if (reply == nullptr) return "no reply in time";
    return "error " + reply->ErrorCode() + ": " + Member(*reply->document, "error.message");
}

// True when the reply's result has `member`, or one of the members `member` lists with "|".
bool HasMember(const Message& m, const std::string& member) {
    std::string name;
    std::istringstream names(member);
    while (std::getline(names, name, '|'))
        if (At(*m.document, "result." + name) != nullptr) return true;
    return false;
}

// The first reply after message `since` that succeeded with `member` in its result, or failed;
// null while there is none.
const Message* ReplySince(FlowRun& run, size_t since, const std::string& member) {
    const auto& messages = run.driver.Page().Messages();
    for (size_t i = since; i < messages.size(); ++i) {
        const Message& m = messages[i];
        if (m.Id().empty()) continue;  // an event
        if (!m.Ok() || HasMember(m, member)) return &m;
    }
    return nullptr;
}

// Turns until such a reply arrives; the reply when it succeeded, else null with the reason.
const Message* AwaitReply(FlowRun& run, size_t since, const std::string& member, std::chrono::milliseconds timeout,
                          std::string* detail) {
    const Message* reply = nullptr;
    run.driver.RunUntil([&] { return (reply = ReplySince(run, since, member)) != nullptr; }, timeout);
    if (reply == nullptr || !reply->Ok()) {
        *detail = reply == nullptr ? "no reply with \"" + member + "\" in time" : ErrorLine(reply);
        return nullptr;
    }
    run.replies.push_back(reply->json.size() > 400 ? reply->json.substr(0, 400) + "..." : reply->json);
    return reply;
}

// Posts a request as the page would and waits for its reply; null with the reason unless ok.
const Message* Ask(FlowRun& run, const std::string& id, const std::string& type, const std::string& payload,
                   std::string* detail, std::chrono::milliseconds timeout = 60s) {
    const Message* reply =
        run.driver.Ask(id, "{\"id\":" + Quoted(id) + ",\"type\":" + Quoted(type) + ",\"payload\":" + payload + "}", timeout);
    if (reply == nullptr || !reply->Ok()) {
        *detail = ErrorLine(reply);
        return nullptr;
    }
    run.replies.push_back(reply->json.size() > 400 ? reply->json.substr(0, 400) + "..." : reply->json);
    return reply;
}

std::string Evaluate(FlowRun& run, const std::string& expression) {
    std::string value = run.driver.Live()->Evaluate(expression).value_or("");
    if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
    return value;
}

// The panel's error line, when it shows one.
bool PanelShowsError(FlowRun& run, std::string* detail) {
    if (Evaluate(run, "!document.getElementById('error').hidden") == "true") {
        *detail = "the panel shows: " + run.driver.Text("#error-message");
        return true;
    }
    return false;
}

// An expression true while the panel shows an error.
constexpr const char* kErrorShown = "!document.getElementById('error').hidden";

// Waits until `until` holds in the live panel, or the panel shows an error, which ends the wait
// at once; false with the panel's error or the reason the wait ended. `every` as WaitForScript's.
bool WaitForPanel(FlowRun& run, const std::string& until, std::chrono::milliseconds timeout, std::string* detail,
                  std::chrono::milliseconds every = 25ms) {
    if (!run.driver.WaitForScript("(" + until + ")||" + kErrorShown, timeout, detail, every))
        return PanelShowsError(run, detail), false;
    return !PanelShowsError(run, detail);
}

// As WaitForPanel, looking after every host turn, so that a state the panel shows only between
// two replies is seen.
bool WaitEachTurn(FlowRun& run, const std::string& until, std::chrono::milliseconds timeout, std::string* detail) {
    return WaitForPanel(run, until, timeout, detail, 0ms);
}

// Clicks, then waits until the panel has no request in flight and `until` holds.
bool ClickAndWait(FlowRun& run, const std::string& selector, const std::string& until,
                  std::chrono::milliseconds timeout, std::string* detail) {
    if (!run.driver.Live()->Click(selector, detail)) return false;
    return WaitForPanel(run, "document.body.dataset.busy==='0'&&(" + until + ")", timeout, detail);
}

// Clicks and waits for the reply carrying `member`; the live panel must show no error after it.
const Message* ClickForReply(FlowRun& run, const std::string& selector, const std::string& member,
                             std::string* detail) {
    const size_t since = run.driver.Page().Messages().size();
    if (!run.driver.Live()->Click(selector, detail)) return nullptr;
    const Message* reply = AwaitReply(run, since, member, 60s, detail);
    if (reply == nullptr) return PanelShowsError(run, detail), nullptr;
    return reply;
}

// "1 file into "FOLDER"", "2 files into ...".
std::string SavedLine(const std::string& count, const std::string& folder) {
    return count + (count == "1" ? " file" : " files") + " into \"" + folder + "\"";
}

// Copies a stored file of the add-on into the output folder.
bool KeepStored(FlowRun& run, const std::string& fileRef, const std::string& name, const std::string& caption,
                std::vector<FlowFile>* into, std::string* detail) {
    std::error_code ec;
    const fs::path stored = run.dataFolder / "files" / (fileRef + ".dat");
    fs::copy_file(stored, run.out / name, fs::copy_options::overwrite_existing, ec);
    if (ec) return *detail = "cannot copy " + stored.string() + ": " + ec.message(), false;
    into->push_back({caption, name, fs::file_size(run.out / name, ec)});
    return true;
}

// The files the save wrote, copied into the output folder; the first becomes the open-file
// dialog's answer for the pick that follows, unless the run was given one.
bool KeepSaved(FlowRun& run, std::string* detail) {
    const fs::path project = fs::path(run.host.project.path).parent_path();
    fs::path folder = project / fs::path(run.savedFolder);
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) folder = project;
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (entry.is_regular_file(ec)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        const std::string name = "saved-" + std::to_string(run.saved.size() + 1) + file.extension().string();
        fs::copy_file(file, run.out / name, fs::copy_options::overwrite_existing, ec);
        if (ec) return *detail = "cannot copy " + file.string() + ": " + ec.message(), false;
        run.saved.push_back({file.filename().string(), name, fs::file_size(file, ec)});
    }
    if (files.empty()) return *detail = "nothing was saved in " + folder.string(), false;
    if (!run.host.dialogs.standingFileAnswer && run.host.dialogs.fileAnswers.empty())
        run.host.dialogs.standingFileAnswer = files.front().string();
    return true;
}

// The worksheet the placement made, drawn with its pictures, into the output folder.
bool KeepWorksheet(FlowRun& run, std::string* detail) {
    if (run.host.model.worksheets.empty()) return *detail = "the project has no worksheet", false;
    std::vector<uint8_t> png;
    if (!run.host.DrawWorksheetPng(run.host.model.worksheets.back().guid, &png))
        return *detail = "the host could not draw the worksheet", false;
    const std::string name = "worksheet-" + std::to_string(run.worksheets.size() + 1) + ".png";
    std::ofstream(run.out / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    run.worksheets.push_back({"the worksheet \"" + Utf16ToUtf8(run.host.model.worksheets.back().name) + "\"", name, png.size()});
    return true;
}

// Captures the view `viewId` (its card clicked in the live panel), keeps the picture.
bool CaptureView(FlowRun& run, const std::string& viewId, const std::string& caption, std::string* detail) {
    const Message* reply = nullptr;
    if (run.Live()) {
        const std::string card = ".view-card[data-view-id=\"" + viewId + "\"]";
        if (!run.driver.Live()->Click(card, detail)) return false;
        reply = ClickForReply(run, "#capture-btn", "fileRef|empty", detail);
    } else {
        reply = Ask(run, "run-capture-" + viewId, "capture", "{\"viewId\":" + Quoted(viewId) + "}", detail);
    }
    if (reply == nullptr) return false;
    const rapidjson::Value& result = (*reply->document)["result"];
    if (Member(result, "empty") == "true") {
        if (!run.Live()) return *detail = caption + " is empty: the add-on answered {\"empty\":true}", false;
        // The panel says so in its status line; the step ends with what it shows.
        if (!WaitForPanel(run, "document.body.dataset.busy==='0'", 10s, detail)) return false;
        return *detail = caption + " is empty; the panel shows: " + run.driver.Text("#status"), false;
    }
    if (run.Live() && !WaitForPanel(run, "document.getElementById('source-info').textContent", 10s, detail)) return false;
    const std::string name = "capture-" + std::to_string(run.captures.size() + 1) + ".jpg";
    run.captureFileRef = Member(result, "fileRef");
    if (!KeepStored(run, run.captureFileRef, name, caption, &run.captures, detail)) return false;
    *detail = caption + ": " + Member(result, "width") + " x " + Member(result, "height") + ", " +
              Member(result, "sizeBytes") + " bytes";
    return true;
}

// The first saved camera of the last listing that can be captured, with its name.
// `saved` tells whether the listing holds any saved view at all.
bool FindCamera(FlowRun& run, std::string* id, std::string* name, bool* saved) {
    *saved = false;
    const auto& messages = run.driver.Page().Messages();
    for (auto m = messages.rbegin(); m != messages.rend(); ++m) {
        const rapidjson::Value* views = At(*m->document, "result.views");
        if (views == nullptr || !views->IsArray()) continue;
        for (const rapidjson::Value& view : views->GetArray()) {
            const std::string viewId = Member(view, "id");
            if (viewId.rfind("nav-", 0) != 0) continue;
            *saved = true;
            if (Member(view, "unavailable") == "true" || Member(view, "empty") == "true") continue;
            *id = viewId;
            *name = Member(view, "name");
            return true;
        }
        return false;
    }
    return false;
}

bool KeepUpload(FlowRun& run, const Message& upload, std::string* detail) {
    run.uploadId = Member(*upload.document, "result.id");
    *detail = "upload " + run.uploadId + ", " + Member(*upload.document, "result.size") + " bytes";
    return !run.uploadId.empty();
}

// The two captures: CaptureView clicks in the live panel or posts the request itself.
bool CaptureCurrent(FlowRun& run, std::string* detail) {
    // As a user does before capturing what the 3D window shows: the host turns until the window
    // has drawn the view that the capture before put back.
    if (!run.driver.RunUntil([&] { return !run.host.frame3D.Waiting(); }, 30s))
        return *detail = "the 3D window did not draw the current view", false;
    const auto before = run.driver.HostTurnTime();
    const auto drawing = run.host.pictureTime;
    const bool ok = CaptureView(run, "current", "the current view", detail);
    run.captureHostThread = run.driver.HostTurnTime() - before;
    run.captureHostDrawing = run.host.pictureTime - drawing;
    return ok;
}

// A project without saved views has no camera to capture, and the step has nothing to do; saved
// views that cannot be captured fail it.
bool CaptureCamera(FlowRun& run, std::string* detail) {
    std::string id, name;
    bool saved = false;
    if (!FindCamera(run, &id, &name, &saved)) {
        if (!saved) return *detail = "the project has no saved view: nothing to capture", true;
        return *detail = "the listing has no saved camera that can be captured", false;
    }
    return CaptureView(run, id, "the saved camera \"" + name + "\"", detail);
}

struct FlowStep {
    std::string name;
    std::function<bool(FlowRun&, std::string*)> live;      // with the panel in Chromium
    std::function<bool(FlowRun&, std::string*)> scripted;  // as bridge requests
};

// Scripted form: the generation's job polled until it is done.
const Message* PollScripted(FlowRun& run, std::string* detail) {
    for (int poll = 1; poll <= 30; ++poll) {
        const Message* job = Ask(run, "run-poll-" + std::to_string(poll), "api",
                                 R"({"method":"GET","path":"/api/v1/jobs/)" + run.jobId + R"(","body":null,"options":{"noCache":true}})",
                                 detail);
        if (job == nullptr) return nullptr;
        const std::string status = Member(*job->document, "result.status");
        if (status == "done") return job;
        if (status == "failed") return *detail = "the job failed", nullptr;
        std::this_thread::sleep_for(100ms);
    }
    *detail = "the job was not done after 30 polls";
    return nullptr;
}

std::vector<FlowStep> Steps() {
    return {
        {"open the palette",
         [](FlowRun& r, std::string* d) {
             if (!r.driver.Open(d)) return false;
             if (!r.driver.WaitForScript("document.body.dataset.session", 30s, d)) return false;
             *d = "project \"" + r.driver.Text("#project") + "\", " + Evaluate(r, "document.body.dataset.session");
             return !PanelShowsError(r, d);
         },
         [](FlowRun& r, std::string* d) {
             if (!r.driver.Open(d)) return false;
             r.driver.RunUntil([&] { return !r.driver.Page().IsLoading(); }, 10s);
             const Message* state = Ask(r, "run-state", "getState", "{}", d);
             if (state == nullptr) return false;
             *d = "project \"" + Member(*state->document, "result.session.projectName") + "\"";
             return true;
         }},
        {"sign in",
         [](FlowRun& r, std::string* d) {
             if (!r.driver.Live()->Click("#signin-start", d)) return false;
             // The code shown and the panel waiting for its confirmation: the step's picture.
             if (!WaitEachTurn(r, "document.getElementById('user-code').textContent", 30s, d)) return false;
             r.userCode = r.driver.Text("#user-code");
             r.Snapshot();
             if (!WaitEachTurn(r, "document.body.dataset.session==='signed-in'", 60s, d)) return false;
             *d = "user code " + r.userCode + " approved by the service";
             return true;
         },
         [](FlowRun& r, std::string* d) {
             const Message* start = Ask(r, "run-start", "api", R"({"method":"POST","path":"/api/v1/device/start","body":{}})", d);
             if (start == nullptr) return false;
             r.userCode = Member(*start->document, "result.user_code");
             const std::string body = R"({"device_code":)" + Quoted(Member(*start->document, "result.device_code")) + "}";
             if (Ask(r, "run-token", "api", R"({"method":"POST","path":"/api/v1/device/token","body":)" + body + "}", d) == nullptr)
                 return false;
             *d = "user code " + r.userCode + " approved by the service";
             return true;
         }},
        {"credits",
         [](FlowRun& r, std::string* d) {
             // The credits the panel reads once signed in, shown before its listing arrives.
             if (!WaitEachTurn(r, "document.getElementById('credits').dataset.credits", 30s, d)) return false;
             r.Snapshot();
             if (!WaitForPanel(r, "document.body.dataset.busy==='0'&&document.getElementById('views-grid').dataset.state",
                               60s, d))
                 return false;
             if (!ClickAndWait(r, "#refresh-credits", "document.getElementById('credits').dataset.credits", 30s, d))
                 return false;
             r.creditsBefore = std::atoll(Evaluate(r, "document.getElementById('credits').dataset.credits").c_str());
             *d = r.driver.Text("#account-name") + ": " + r.driver.Text("#credits");
             return true;
         },
         [](FlowRun& r, std::string* d) {
             const Message* me = Ask(r, "run-me", "api", R"({"method":"GET","path":"/api/v1/me","body":null})", d);
             if (me == nullptr) return false;
             r.creditsBefore = std::atoll(Member(*me->document, "result.credits").c_str());
             *d = Member(*me->document, "result.name") + ": " + std::to_string(r.creditsBefore) + " credits";
             return true;
         }},
        {"list the views",
         [](FlowRun& r, std::string* d) {
             const size_t since = r.driver.Page().Messages().size();
             if (!r.driver.Live()->Click("#views-refresh", d)) return false;
             const Message* views = AwaitReply(r, since, "views", 60s, d);
             if (views == nullptr) return PanelShowsError(r, d), false;
             if (!WaitForPanel(r, "document.getElementById('views-grid').dataset.state==='listed'", 10s, d)) return false;
             *d = Evaluate(r, "String(document.querySelectorAll('.view-card').length)") + " views shown";
             return true;
         },
         [](FlowRun& r, std::string* d) {
             const Message* views = Ask(r, "run-views", "listViews", "{}", d);
             if (views == nullptr) return false;
             *d = std::to_string((*views->document)["result"]["views"].Size()) + " views";
             return true;
         }},
        // The saved camera first: the current view, captured last, is the picture the render is of.
        {"capture a saved camera", CaptureCamera, CaptureCamera},
        {"capture the current view", CaptureCurrent, CaptureCurrent},
        {"upload the capture",
         [](FlowRun& r, std::string* d) {
             if (!r.driver.Live()->Click("#prompt", d)) return false;
             r.driver.Live()->Type(kPrompt);
             const size_t since = r.driver.Page().Messages().size();
             if (!r.driver.Live()->Click("#generate-btn", d)) return false;
             const Message* upload = AwaitReply(r, since, "size", 60s, d);
             if (upload == nullptr) return PanelShowsError(r, d), false;
             // The upload shown as done, before the generation's reply arrives.
             if (!WaitEachTurn(r, "document.getElementById('source-info').dataset.uploadId", 10s, d)) return false;
             r.Snapshot();
             return KeepUpload(r, *upload, d);
         },
         [](FlowRun& r, std::string* d) {
             const Message* upload = Ask(r, "run-upload", "api",
                                         R"({"method":"POST","path":"/api/v1/uploads","body":{"fileRef":)" + Quoted(r.captureFileRef) +
                                             R"(},"options":{"binary":true,"contentType":"image/jpeg","filename":"capture.jpg"}})",
                                         d);
             return upload != nullptr && KeepUpload(r, *upload, d);
         }},
        {"start the generation",
         [](FlowRun& r, std::string* d) {
             if (!WaitForPanel(r, "document.getElementById('job-status').dataset.jobId", 60s, d)) return false;
             r.jobId = Evaluate(r, "document.getElementById('job-status').dataset.jobId");
             *d = "job " + r.jobId + " " + r.driver.Text("#job-status") + ", prompt \"" + kPrompt + "\"";
             return true;
         },
         [](FlowRun& r, std::string* d) {
             const Message* job =
                 Ask(r, "run-generate", "api",
                     R"({"method":"POST","path":"/api/v1/generations","body":{"upload_id":)" + Quoted(r.uploadId) +
                         R"(,"prompt":)" + Quoted(kPrompt) + R"(},"options":{"idempotencyKey":"run-generation-1"}})",
                     d);
             if (job == nullptr) return false;
             r.jobId = Member(*job->document, "result.id");
             *d = "job " + r.jobId + " " + Member(*job->document, "result.status") + ", prompt \"" + kPrompt + "\"";
             return !r.jobId.empty();
         }},
        {"poll the job until it is done",
         [](FlowRun& r, std::string* d) {
             if (!WaitForPanel(r, "document.getElementById('job-status').dataset.status==='done'", 90s, d)) return false;
             *d = r.driver.Text("#job-status");
             return true;
         },
         [](FlowRun& r, std::string* d) {
             const Message* done = PollScripted(r, d);
             if (done == nullptr) return false;
             r.resultPath = Member(*done->document, "result.result.path");
             *d = "done, result " + r.resultPath;
             return true;
         }},
        {"download the result",
         [](FlowRun& r, std::string* d) {
             if (!WaitForPanel(r, "document.getElementById('result-preview').dataset.fileRef", 60s, d)) return false;
             r.resultFileRef = Evaluate(r, "document.getElementById('result-preview').dataset.fileRef");
             if (!KeepStored(r, r.resultFileRef, "result-1.png", "the generated picture", &r.results, d)) return false;
             *d = std::to_string(r.results.back().bytes) + " bytes, shown in the panel";
             return true;
         },
         [](FlowRun& r, std::string* d) {
             const Message* file = Ask(r, "run-download", "api",
                                       R"({"method":"GET","path":)" + Quoted(r.resultPath) + R"(,"body":null,"options":{"binary":true}})", d);
             if (file == nullptr) return false;
             r.resultFileRef = Member(*file->document, "result.fileRef");
             if (!KeepStored(r, r.resultFileRef, "result-1.png", "the generated picture", &r.results, d)) return false;
             *d = std::to_string(r.results.back().bytes) + " bytes";
             return true;
         }},
        {"place it on a worksheet",
         [](FlowRun& r, std::string* d) {
             const Message* placed = ClickForReply(r, "#place-btn", "label", d);
             if (placed == nullptr) return false;
             r.placedLabel = Member(*placed->document, "result.label");
             *d = "\"" + r.placedLabel + "\"";
             return KeepWorksheet(r, d);
         },
         [](FlowRun& r, std::string* d) {
             const Message* placed = Ask(r, "run-place", "place",
                                         R"({"fileRef":)" + Quoted(r.resultFileRef) + R"(,"label":"Tamsel Ovra render"})", d);
             if (placed == nullptr) return false;
             r.placedLabel = Member(*placed->document, "result.label");
             *d = "\"" + r.placedLabel + "\"";
             return KeepWorksheet(r, d);
         }},
        {"save it into the project folder",
         [](FlowRun& r, std::string* d) {
             const Message* saved = ClickForReply(r, "#save-btn", "saved", d);
             if (saved == nullptr) return false;
             r.savedFolder = Member(*saved->document, "result.folderName");
             *d = SavedLine(Member(*saved->document, "result.saved"), r.savedFolder);
             return Member(*saved->document, "result.saved") != "0" && KeepSaved(r, d);
         },
         [](FlowRun& r, std::string* d) {
             const Message* saved = Ask(r, "run-save", "saveFiles",
                                        R"({"folder":"Tamsel Ovra","files":[{"fileRef":)" + Quoted(r.resultFileRef) +
                                            R"(,"name":"render.png","kind":"image"}]})",
                                        d);
             if (saved == nullptr) return false;
             r.savedFolder = Member(*saved->document, "result.folderName");
             *d = SavedLine(Member(*saved->document, "result.saved"), r.savedFolder);
             return Member(*saved->document, "result.saved") != "0" && KeepSaved(r, d);
         }},
        {"pick a file",
         [](FlowRun& r, std::string* d) {
             const Message* picked = ClickForReply(r, "#pick-btn", "name", d);
             if (picked == nullptr) return false;
             r.pickedName = Member(*picked->document, "result.name");
             if (!WaitForPanel(r, "document.getElementById('source-info').textContent.indexOf(" + Quoted(r.pickedName) + ")===0",
                               10s, d))
                 return false;
             *d = r.driver.Text("#source-info");
             return true;
         },
         [](FlowRun& r, std::string* d) {
             const Message* picked = Ask(r, "run-pick", "pickFile", R"({"accept":["image/png","image/jpeg"]})", d);
             if (picked == nullptr) return false;
             if (picked->json.find("\"result\":null") != std::string::npos) return *d = "the dialog was cancelled", false;
             r.pickedName = Member(*picked->document, "result.name");
             *d = r.pickedName + " (" + Member(*picked->document, "result.contentType") + ", " +
                  Member(*picked->document, "result.sizeBytes") + " bytes)";
             return true;
         }},
    };
}
}  // namespace

std::vector<std::string> FlowStepNames() {
    std::vector<std::string> names;
    for (const FlowStep& step : Steps()) names.push_back(step.name);
    return names;
}

std::vector<StepOutcome> RunFlowSteps(FlowRun& run, const std::function<void(size_t, StepOutcome&)>& after) {
    std::vector<StepOutcome> outcomes;
    const std::vector<FlowStep> steps = Steps();
    for (size_t i = 0; i < steps.size(); ++i) {
        StepOutcome outcome;
        outcome.name = steps[i].name;
        run.shot.clear();
        run.driver.ResetLongestTurn();
        const auto start = std::chrono::steady_clock::now();
        outcome.ok = (run.Live() ? steps[i].live : steps[i].scripted)(run, &outcome.detail);
        outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        outcome.longestHostTurn = run.driver.LongestTurn();
        if (after) after(i, outcome);
        outcomes.push_back(outcome);
        if (!outcome.ok) break;
    }
    return outcomes;
}
