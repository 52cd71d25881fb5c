// One round of the fault soak: its set-up, the run with faults injected between host turns, and
// the checks afterwards.
#include "soak/SoakRound.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include "media/TestImages.h"
#include "panel/Mailbox.h"
#include "panel/Palette.h"
#include "panel/Replies.h"
#include "platform/Http.h"
#include "platform/Utf.h"
#include "shell/Shell.h"
#include "sim/service/SimService.h"
#include "soak/SoakRequests.h"
#include "store/FileStore.h"
#include "store/Images.h"
#include "store/MediaTypes.h"
#include "store/TokenStore.h"
#include "support/FaultyFiles.h"
#include "support/Harness.h"

namespace fs = std::filesystem;

namespace {
constexpr uint32_t kTimeoutDivisor = 60;  // 1 s for a request, 3 s for a download, 5 s for an upload
constexpr int kPosterThreads = 3;
constexpr int kFaultTurnsAfterPosting = 60;
constexpr auto kDrainLimit = std::chrono::seconds(180);
constexpr const char* kSignedOutEvent = R"({"event":"signedOut","data":{"reason":"revoked"}})";
constexpr const char* kTokenPath = "/api/v1/device/token";
constexpr int kFileCalls = static_cast<int>(FileCall::RenameNoReplace) + 1;
// The host operations that read or set the user's view, which a capture puts back.
const std::set<std::string> kViewOperations = {"GetFrontWindow",    "GetProjection3D", "GetLayerCombination",
                                               "ChangeFrontWindow", "SetProjection3D", "SetLayerCombination"};

bool Chance(std::mt19937_64& random, double p) { return std::bernoulli_distribution(p)(random); }

template <typename T>
const T& Pick(std::mt19937_64& random, const std::vector<T>& items) {
    return items[std::uniform_int_distribution<size_t>(0, items.size() - 1)(random)];
}

bool IsTemporaryName(const std::string& name) {
    return name.size() > 7 && (name.rfind("toh", 0) == 0 || name.rfind("tot", 0) == 0) &&
           name.compare(name.size() - 4, 4, ".tmp") == 0;
}

std::vector<fs::path> FilesUnder(const fs::path& root) {
    std::vector<fs::path> found;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error))
        if (it->is_regular_file()) found.push_back(it->path());
    return found;
}

// A whole file of the kinds that reach the store and the save folders: a picture that decodes, a
// video, or bytes the round knows.
bool IsWhole(const std::string& bytes, const std::set<std::string>& known) {
    if (known.count(bytes) != 0) return true;
    const std::string_view type = SniffContentType(bytes);
    if (type.rfind("video/", 0) == 0) return true;
    int width = 0, height = 0;
    return type.rfind("image/", 0) == 0 && ImagePixelSize(bytes, &width, &height);
}

// The "label" member of a reply's result; "" when it has none.
std::string ResultLabel(const ScriptedPage::Message& reply) {
    if (!reply.document || !reply.document->IsObject()) return {};
    const rapidjson::Value& root = *reply.document;
    const auto result = root.FindMember("result");
    if (result == root.MemberEnd() || !result->value.IsObject()) return {};
    const rapidjson::Value& members = result->value;
    const auto label = members.FindMember("label");
    if (label == members.MemberEnd() || !label->value.IsString()) return {};
    return std::string(label->value.GetString(), label->value.GetStringLength());
}

// The decimal digits of a reply's result member, as written; "" when it has none.
std::string NumberAt(const std::string& reply, const std::string& member) {
    const std::string key = "\"" + member + "\":";
    const size_t at = reply.find(key);
    if (at == std::string::npos) return {};
    const size_t start = at + key.size();
    const size_t end = reply.find_first_not_of("0123456789", start);
    return reply.substr(start, (end == std::string::npos ? reply.size() : end) - start);
}

class Round {
public:
    Round(SoakEnvironment& environment, uint64_t seed, std::vector<std::string>* violations)
        : env_(environment), seed_(seed), random_(seed), violations_(violations) {}

    SoakCounts Run();

private:
    void SetUp();
    void Post(const SoakRequest& request);
    void InjectFaults();
    void ScriptServiceFault();
    void ClearFaults();
    bool Settled() const;
    void Drain();
    void Check();
    void CheckReplies();
    void CheckTemporaryFiles();
    void CheckTokens();
    void CheckModel();
    void CheckStore();
    void CheckSavedFiles();
    void Violation(const std::string& text);
    void Turn();
    void ReleaseWhileWorkersRun();
    std::vector<const ScriptedPage::Message*> RepliesTo(const std::string& id) const;

    SoakEnvironment& env_;
    uint64_t seed_;
    std::mt19937_64 random_;
    std::vector<std::string>* violations_;
    SoakCounts counts_;
    std::unique_ptr<Harness> harness_;
    SoakSources sources_;
    fs::path projectFolder_, saveFolder_;
    std::vector<SoakRequest> requests_;
    std::mutex acceptedMutex_;
    std::set<std::string> accepted_;
    std::set<std::string> tokens_;
    std::vector<ScriptedPage::Message> messages_;
    // A round that releases the add-on while its workers still run, instead of draining.
    bool releaseRound_ = false;
    std::set<std::string> knownBytes_;  // stored sources and scripted bodies
    std::map<std::string, std::string> storedRefs_;
    int fileFailuresAtStart_[kFileCalls] = {};
    // A round whose view operations never fail and whose project never changes, so that the
    // captures' restoring of the view can be checked.
    bool viewCalm_ = false;
    // A round whose file calls never fail, so that a signed-in palette's token must be in its file.
    bool filesCalm_ = false;
    Projection3D startProjection_;
    int32_t startLayerCombination_ = 0;
};

void Round::Violation(const std::string& text) {
    ++counts_.violations;
    std::ostringstream line;
    line << "seed " << seed_ << ": " << text;
    violations_->push_back(line.str());
}

void Round::SetUp() {
    env_.service.Reset();
    env_.files.Reset();
    for (int c = 0; c < kFileCalls; ++c) fileFailuresAtStart_[c] = env_.files.Failed(static_cast<FileCall>(c));
    ServiceRoutes& routes = env_.service.Routes();
    routes.SetCredits(1000000);
    routes.SetPollsUntilDone(1);
    for (const UploadState& u : routes.Uploads()) sources_.uploadIds.push_back(u.id);
    for (const JobState& j : routes.Jobs()) {
        sources_.jobIds.push_back(j.id);
        if (!j.resultPath.empty()) sources_.resultPaths.push_back(j.resultPath);
    }

    harness_ = std::make_unique<Harness>(false);
    SimHost& host = harness_->host();
    host.UseService(env_.service.Port(), env_.caFile, kTimeoutDivisor);
    const fs::path root = harness_->folders().root();
    projectFolder_ = root / "projects";
    saveFolder_ = root / "saves";
    fs::create_directories(projectFolder_);
    fs::create_directories(saveFolder_);
    viewCalm_ = Chance(random_, 0.3);
    releaseRound_ = Chance(random_, 0.1);
    filesCalm_ = Chance(random_, 0.3);
    if (Chance(random_, 0.5)) host.project = {false, false, (projectFolder_ / "house.pln").string(), "house"};
    host.refuseEventLoopCalls = Chance(random_, 0.2) ? kHostErrRefused : kHostOk;
    host.dialogs.standingFolderAnswer = Chance(random_, 0.5) ? std::optional<std::string>(saveFolder_.string()) : std::nullopt;

    if (Chance(random_, 0.7)) {
        const std::string token = routes.IssueToken();
        tokens_.insert(token);
        TokenStore().Save(token);
    }
    const std::string png = PngFile(MakeBitmap(24, 16, [this](int x, int y) {
                                        return 0xFF000000u | static_cast<uint32_t>((x * 10 + seed_) & 0xFF) << 8 |
                                               static_cast<uint32_t>(y * 12);
                                    }),
                                    false);
    const std::string gif = GifFile(MakeBitmap(8, 8, [](int x, int y) { return (x + y) % 2 ? 0xFFFF0000u : 0xFF0000FFu; }));
    const std::string text = "not a picture, only text";
    const std::vector<std::pair<std::string*, std::string>> stored = {
        {&sources_.pngRef, png}, {&sources_.gifRef, gif}, {&sources_.textRef, text}};
    for (const auto& [ref, bytes] : stored) {
        *ref = NewFileRef("src");
        StoreBytes(*ref, bytes);
        storedRefs_[*ref] = bytes;
        knownBytes_.insert(bytes);
    }
    sources_.missingRef = NewFileRef("src");
    sources_.pickedPicture = (root / "picks" / "photo.png").string();
    sources_.pickedVideo = (root / "picks" / "walk.mp4").string();
    sources_.missingPicture = (root / "picks" / "gone.png").string();
    WriteFileText(sources_.pickedPicture, png);
    WriteFileText(sources_.pickedVideo, std::string("\0\0\0\x18" "ftypmp42", 12) + std::string(100, 'v'));
    knownBytes_.insert(ReadFileText(sources_.pickedVideo));
    host.dialogs.standingFileAnswer = sources_.pickedPicture;

    host.OpenPaletteFromMenu();
    harness_->host().FinishPageLoad();
    // The views the captures may open, from a listing before any fault.
    harness_->Post(Request("listing", "listViews"));
    for (int i = 0; i < 200 && harness_->page().RepliesTo("listing").empty(); ++i) harness_->host().Turn();
    for (const ScriptedPage::Message* m : harness_->page().RepliesTo("listing")) {
        for (size_t at = m->json.find("\"id\":\"nav-"); at != std::string::npos; at = m->json.find("\"id\":\"nav-", at + 1)) {
            const size_t start = at + 6;
            sources_.viewIds.push_back(m->json.substr(start, m->json.find('"', start) - start));
        }
    }
    harness_->page().ClearRecords();
    // Every message is kept here as it arrives, so that the checks can read them after release.
    harness_->page().onMessage = [this](const ScriptedPage::Message& m) { messages_.push_back(m); };
    startProjection_ = host.projection;
    startLayerCombination_ = host.layerCombination;
    // Faults waiting for the first requests to reach the service; more follow during the run.
    for (int n = std::uniform_int_distribution<int>(4, 12)(random_); n > 0; --n) ScriptServiceFault();
    // Built by appending: GCC 12 warns falsely (-Wrestrict) on a literal + a temporary string.
    std::string prefix = std::to_string(seed_ % 100000);
    prefix.append("-");
    requests_ = MakeSoakRequests(random_, sources_, prefix, env_.requestsPerRound);
}

void Round::Post(const SoakRequest& request) {
    const std::optional<bool> taken = harness_->page().Post(request.text);
    std::lock_guard<std::mutex> lock(acceptedMutex_);
    if (request.type.empty()) {
        ++counts_.malformed;
    } else if (taken) {
        accepted_.insert(request.id);
        ++counts_.requestTypes[request.type];
    }
}

void Round::ScriptServiceFault() {
    const auto delay = std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 150)(random_));
    static const std::vector<std::string> kKinds = {"time-out", "500", "503", "dropped", "401",
                                                    "oversized", "empty", "not json"};
    const std::string kind = Pick(random_, kKinds);
    ScriptedAnswer answer;
    if (kind == "time-out") answer = ScriptedAnswer::NeverAnswer();
    if (kind == "500") answer = ScriptedAnswer::Status(500, R"({"error":{"code":"internal"}})");
    if (kind == "503") answer = ScriptedAnswer::Status(503, "", {"Retry-After: 3"});
    if (kind == "dropped") answer = ScriptedAnswer::DropConnection();
    if (kind == "401") answer = ScriptedAnswer::Status(401, R"({"error":"revoked"})");
    if (kind == "oversized") answer = ScriptedAnswer::Generated(kMaxResponseBody + 1);
    if (kind == "empty") answer = ScriptedAnswer::Status(200, "");
    if (kind == "not json") answer = ScriptedAnswer::Status(200, "{not json");
    knownBytes_.insert(answer.body);
    env_.service.Script(answer.After(delay));
    ++counts_.serviceFaults[kind];
}

void Round::InjectFaults() {
    SimHost& host = harness_->host();
    if (Chance(random_, 0.1)) {
        static const std::vector<HostError> kCodes = {kHostErrRefused, kHostErrOutOfMemory, kHostErrNotFound,
                                                      kHostErrNoHost, kHostErrUnreadableImage};
        const std::string& operation = Pick(random_, SimHost::OperationNames());
        if (!viewCalm_ || kViewOperations.count(operation) == 0)
            host.FailOperation(operation, Pick(random_, kCodes), Chance(random_, 0.7));
    }
    if (Chance(random_, 0.02)) host.ClearFailures();
    if (Chance(random_, 0.02)) host.refuseEventLoopCalls = host.refuseEventLoopCalls ? kHostOk : kHostErrRefused;
    if (!filesCalm_ && Chance(random_, 0.1)) {
        const auto call = static_cast<FileCall>(
            std::uniform_int_distribution<int>(0, static_cast<int>(FileCall::RenameNoReplace))(random_));
        env_.files.FailAt(call, std::uniform_int_distribution<int>(1, 10)(random_), Chance(random_, 0.1));
    }
    if (Chance(random_, 0.02)) env_.files.Reset();
    if (Chance(random_, 0.04)) ScriptServiceFault();
    if (Chance(random_, 0.03)) {
        // A device sign-in that the service grants: the answer carries a token it accepts.
        const std::string token = env_.service.Routes().IssueToken();
        tokens_.insert(token);
        env_.service.Script(ScriptedAnswer::Status(200, "{\"token\":\"" + token + "\"}").For(kTokenPath));
    }
    if (Chance(random_, 0.05)) {
        const bool cancel = Chance(random_, 0.5);
        counts_.dialogCancels += cancel ? 1 : 0;
        if (Chance(random_, 0.5)) {
            host.dialogs.folderAnswers.push_back(cancel ? std::nullopt : std::optional<std::string>(saveFolder_.string()));
        } else {
            const std::string file =
                Pick(random_, std::vector<std::string>{sources_.pickedPicture, sources_.pickedVideo, sources_.missingPicture});
            host.dialogs.fileAnswers.push_back(cancel ? std::nullopt : std::optional<std::string>(file));
        }
    }
    if (!viewCalm_ && Chance(random_, 0.01)) {
        if (Chance(random_, 0.5))
            host.project = Chance(random_, 0.5) ? SimProject{false, false, (projectFolder_ / "house.pln").string(), "house"}
                                                : SimProject{};
        host.SendProjectEvent(Pick(random_, std::vector<int32_t>{1, 2, 4, 3}));
        ++counts_.projectChanges;
    }
}

void Round::ClearFaults() {
    SimHost& host = harness_->host();
    host.ClearFailures();
    host.refuseEventLoopCalls = kHostOk;
    env_.files.Reset();
}

void Round::Turn() {
    harness_->host().Turn();
    if (harness_->host().refuseEventLoopCalls) ++counts_.refusedEventLoopTurns;
    if (Palette* p = CurrentPalette(); p != nullptr && !p->token.empty()) tokens_.insert(p->token);
}

bool Round::Settled() const {
    Palette* p = CurrentPalette();
    if (p == nullptr) return true;
    const auto mailbox = ProcessMailbox();
    bool queued = false;
    {
        std::lock_guard<std::mutex> lock(mailbox->mutex);
        queued = !mailbox->queue.empty();
    }
    if (queued || mailbox->workers.load() > 0 || !p->modelOps.empty() || !p->continuations.empty() ||
        !p->eventLoopCalls.empty() || p->captureInFlight || p->capturePending)
        return false;
    for (const std::string& id : accepted_)
        if (RepliesTo(id).empty()) return false;
    return true;
}

void Round::Drain() {
    const auto deadline = std::chrono::steady_clock::now() + kDrainLimit;
    while (!Settled() && std::chrono::steady_clock::now() < deadline) {
        Turn();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // A few more turns, so that a second reply would have arrived.
    for (int i = 0; i < 5; ++i) Turn();
}

std::vector<const ScriptedPage::Message*> Round::RepliesTo(const std::string& id) const {
    std::vector<const ScriptedPage::Message*> found;
    for (const ScriptedPage::Message& m : messages_)
        if (m.Id() == id) found.push_back(&m);
    return found;
}

// Releases the add-on with the requests in whatever state they are, then waits until the
// released session's workers are done: they finish their files and their completions go nowhere.
void Round::ReleaseWhileWorkersRun() {
    const std::shared_ptr<Mailbox> released = ProcessMailbox();
    counts_.releasedWithWorkers += released->workers.load() > 0 ? 1 : 0;
    harness_->host().Release();
    const auto deadline = std::chrono::steady_clock::now() + kDrainLimit;
    while (released->workers.load() > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (released->workers.load() > 0) Violation("workers still run long after release");
}

SoakCounts Round::Run() {
    SetUp();
    // Each poster thread takes every kPosterThreads-th text; the host thread posts the rest
    // between its turns, so requests arrive both through the Mailbox and at once.
    std::vector<std::vector<SoakRequest>> shares(kPosterThreads + 1);
    for (size_t i = 0; i < requests_.size(); ++i) shares[i % shares.size()].push_back(requests_[i]);
    std::atomic<int> posting{kPosterThreads};
    std::vector<std::thread> posters;
    for (int t = 0; t < kPosterThreads; ++t) {
        posters.emplace_back([this, &posting, share = shares[static_cast<size_t>(t)], seed = random_()] {
            std::mt19937_64 pause(seed);
            for (const SoakRequest& r : share) {
                Post(r);
                std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 30)(pause)));
            }
            --posting;
        });
    }
    const std::vector<SoakRequest>& own = shares.back();
    size_t next = 0;
    for (int after = 0; after < kFaultTurnsAfterPosting;) {
        InjectFaults();
        if (next < own.size() && Chance(random_, 0.3)) Post(own[next++]);
        Turn();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (posting.load() == 0 && next == own.size()) ++after;
    }
    for (std::thread& t : posters) t.join();
    ClearFaults();
    if (releaseRound_)
        ReleaseWhileWorkersRun();
    else
        Drain();
    Check();
    counts_.requests = accepted_.size();
    counts_.rounds = 1;
    harness_.reset();
    return counts_;
}

void Round::Check() {
    SimHost& host = harness_->host();
    counts_.dialogs = host.dialogs.shownFolderDialogs.size() + host.dialogs.shownFileDialogs.size();
    for (const auto& [operation, n] : host.injectedFailures) counts_.hostFaults[operation] += static_cast<uint64_t>(n);
    for (int c = 0; c < kFileCalls; ++c)
        if (const int n = env_.files.Failed(static_cast<FileCall>(c)) - fileFailuresAtStart_[c]; n > 0)
            counts_.fileFaults[FileCallName(static_cast<FileCall>(c))] += static_cast<uint64_t>(n);
    counts_.serviceAnswersUntaken += env_.service.QueuedAnswers();
    CheckReplies();
    CheckTemporaryFiles();
    CheckTokens();
    CheckModel();
    CheckStore();
    CheckSavedFiles();
}

void Round::CheckReplies() {
    std::map<std::string, int> replies;
    for (const ScriptedPage::Message& m : messages_) {
        const std::string id = m.Id();
        if (id.empty()) {
            ++counts_.events;
            if (m.json != kSignedOutEvent) Violation("unexpected event " + m.json);
            continue;
        }
        ++counts_.replies;
        ++replies[id];
        if (accepted_.count(id) == 0) Violation("a reply to an id never accepted: " + m.json.substr(0, 300));
    }
    for (const std::string& id : accepted_) {
        const int n = replies[id];
        if (releaseRound_ && n == 0)
            ++counts_.unansweredAtRelease;  // dropped with the Mailbox or the queues at release
        else if (n != 1)
            Violation("request " + id + " got " + std::to_string(n) + " replies");
    }
}

void Round::CheckTemporaryFiles() {
    for (const fs::path& file : FilesUnder(harness_->folders().root())) {
        if (!IsTemporaryName(file.filename().string())) continue;
        if (!env_.files.DeleteFailed(file.string())) Violation("a temporary file survived: " + file.string());
    }
    // The captures' pictures in the user's temporary folder; cleared for the next round.
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(env_.tempFolder, error)) {
        if (!entry.is_regular_file() || entry.path().filename().string().rfind("tov", 0) != 0) continue;
        if (!env_.files.DeleteFailed(entry.path().string()))
            Violation("a temporary picture survived: " + entry.path().string());
        fs::remove(entry.path(), error);
    }
}

void Round::CheckTokens() {
    const fs::path tokenFile = fs::u8path(TokenFilePath());
    for (const fs::path& file : FilesUnder(harness_->folders().root())) {
        const std::string bytes = ReadFileText(file);
        for (const std::string& token : tokens_)
            if (bytes.find(token) != std::string::npos) Violation("a token in plain text in " + file.string());
    }
    for (const ScriptedPage::Message& m : messages_)
        for (const std::string& token : tokens_)
            if (m.json.find(token) != std::string::npos) Violation("a token reached the page: " + m.Id());
    if (ReadFileText(harness_->folders().dataFolder() / "host.log").find("Bearer") != std::string::npos)
        Violation("host.log holds an Authorization value");
    const std::string stored = TokenStore().Load();
    if (!stored.empty() && tokens_.count(stored) == 0) Violation("the token file holds a token never issued");
    // The file holds a token only while the palette is signed in (or when its delete was failed),
    // and, when no file call failed, the palette's own.
    const Palette* palette = CurrentPalette();
    if (palette == nullptr) return;  // released
    if (palette->token.empty() && !stored.empty() && !env_.files.DeleteFailed(tokenFile.string()))
        Violation("signed out, but the token file still holds a token");
    if (filesCalm_ && !palette->token.empty() && stored != palette->token)
        Violation("signed in, but the token file does not hold the palette's token");
}

void Round::CheckModel() {
    SimHost& host = harness_->host();
    std::vector<std::string> placed, pictures, undone;
    for (const SoakRequest& r : requests_) {
        if (r.type != "place") continue;
        for (const ScriptedPage::Message* m : RepliesTo(r.id))
            if (m->Ok()) {
                placed.push_back(r.label);
                if (ResultLabel(*m) != r.label) Violation("place reply with another label: " + m->json);
            }
    }
    for (const SimWorksheet& sheet : host.model.worksheets)
        for (const SimPictureElement& p : sheet.pictures) pictures.push_back(Utf16ToUtf8(p.settings.name));
    for (const std::u16string& name : host.undoHistory) undone.push_back(Utf16ToUtf8(name));
    for (auto* list : {&placed, &pictures, &undone}) std::sort(list->begin(), list->end());
    if (pictures != placed)
        Violation(std::to_string(pictures.size()) + " pictures in the model for " + std::to_string(placed.size()) +
                  " placements answered ok");
    if (undone != pictures)
        Violation(std::to_string(undone.size()) + " undo steps for " + std::to_string(pictures.size()) + " pictures");
    // Captures put the user's view back: unless the round changed the project or failed an
    // operation that reads or sets the view, the camera and layer combination are the first ones.
    bool viewFaults = counts_.projectChanges > 0;
    for (const std::string& operation : kViewOperations)
        viewFaults = viewFaults || host.injectedFailures.count(operation) != 0;
    const PerspectiveCamera& a = host.projection.camera;
    const PerspectiveCamera& b = startProjection_.camera;
    const bool sameCamera = host.projection.perspective == startProjection_.perspective && a.cameraX == b.cameraX &&
                            a.cameraY == b.cameraY && a.cameraZ == b.cameraZ && a.targetX == b.targetX &&
                            a.targetY == b.targetY && a.targetZ == b.targetZ && a.viewAngle == b.viewAngle;
    if (!viewFaults && !sources_.viewIds.empty()) ++counts_.viewRestoreChecks;
    if (!viewFaults && (!sameCamera || host.layerCombination != startLayerCombination_))
        Violation("the user's camera or layer combination was not put back after the captures");
    const size_t failedReleases = static_cast<size_t>(host.injectedFailures["ReleaseMemo"]);
    if (host.LiveBlocks() != failedReleases)
        Violation(std::to_string(host.LiveBlocks()) + " host memory blocks still held, " +
                  std::to_string(failedReleases) + " releases failed by injection");
}

void Round::CheckStore() {
    std::set<std::string> okStates;
    for (const SoakRequest& r : requests_) {
        if (r.type != "setState" || r.state.empty()) continue;
        for (const ScriptedPage::Message* m : RepliesTo(r.id))
            if (m->Ok()) okStates.insert(r.state);
    }
    // Every state read back is one written whole, or none at all.
    for (const SoakRequest& r : requests_) {
        if (r.type != "getState") continue;
        for (const ScriptedPage::Message* m : RepliesTo(r.id)) {
            const std::string head = "\"result\":{\"state\":";
            const size_t start = m->json.find(head), end = m->json.find(",\"session\":");
            if (!m->Ok() || start == std::string::npos || end == std::string::npos) {
                Violation("getState answered without a state: " + m->json.substr(0, 200));
                continue;
            }
            const std::string state = m->json.substr(start + head.size(), end - start - head.size());
            if (state != "{}" && okStates.count(state) == 0) Violation("getState read a state never written whole");
        }
    }
    const fs::path data = harness_->folders().dataFolder();
    for (const fs::path& file : FilesUnder(data / "state")) {
        const std::string name = file.filename().string();
        if (IsTemporaryName(name)) continue;
        if (okStates.count(ReadFileText(file)) == 0) Violation("a state file that no request wrote whole: " + name);
    }
    const std::set<std::string> picked = {sources_.pickedPicture, sources_.pickedVideo, sources_.missingPicture};
    for (const fs::path& file : FilesUnder(data / "files")) {
        const std::string name = file.filename().string();
        if (IsTemporaryName(name)) continue;
        const std::string bytes = ReadFileText(file);
        const std::string ext = file.extension().string();
        const std::string ref = file.stem().string();
        if (ext == ".link") {
            if (picked.count(bytes) == 0) Violation("a link entry to no picked file: " + name);
        } else if (ext != ".dat") {
            Violation("a file in the store that is no entry: " + name);
        } else if (const auto own = storedRefs_.find(ref); own != storedRefs_.end()) {
            if (own->second != bytes) Violation("a stored source changed: " + name);
        } else if (!IsWhole(bytes, knownBytes_)) {
            Violation("a store entry that is not whole: " + name + " (" + std::to_string(bytes.size()) + " bytes)");
        }
    }
}

void Round::CheckSavedFiles() {
    uint64_t saved = 0;
    for (const SoakRequest& r : requests_) {
        if (r.type != "saveFiles") continue;
        for (const ScriptedPage::Message* m : RepliesTo(r.id)) {
            const std::string count = m->Ok() ? NumberAt(m->json, "saved") : "";
            if (!count.empty()) saved += std::stoull(count);
        }
    }
    uint64_t found = 0;
    for (const fs::path& folder : {saveFolder_, projectFolder_}) {
        for (const fs::path& file : FilesUnder(folder)) {
            if (IsTemporaryName(file.filename().string())) continue;
            ++found;
            const std::string bytes = ReadFileText(file);
            const std::string_view extension = ExtensionForContentType(SniffContentType(bytes));
            if (file.extension().string() != extension || !IsWhole(bytes, knownBytes_))
                Violation("a saved file that is not whole or misnamed: " + file.string());
        }
    }
    // After a release, a save worker may write files whose reply goes nowhere.
    if (!releaseRound_ && found != saved)
        Violation(std::to_string(found) + " files in the save folders for " + std::to_string(saved) + " reported saved");
}
}  // namespace

void SoakCounts::Add(const SoakCounts& o) {
    rounds += o.rounds;
    requests += o.requests;
    malformed += o.malformed;
    replies += o.replies;
    events += o.events;
    violations += o.violations;
    for (const auto& [k, v] : o.requestTypes) requestTypes[k] += v;
    for (const auto& [k, v] : o.hostFaults) hostFaults[k] += v;
    for (const auto& [k, v] : o.fileFaults) fileFaults[k] += v;
    for (const auto& [k, v] : o.serviceFaults) serviceFaults[k] += v;
    serviceAnswersUntaken += o.serviceAnswersUntaken;
    refusedEventLoopTurns += o.refusedEventLoopTurns;
    releasedWithWorkers += o.releasedWithWorkers;
    unansweredAtRelease += o.unansweredAtRelease;
    dialogs += o.dialogs;
    dialogCancels += o.dialogCancels;
    projectChanges += o.projectChanges;
    viewRestoreChecks += o.viewRestoreChecks;
}

std::string SoakCounts::Report() const {
    std::ostringstream out;
    auto list = [&out](const char* title, const std::map<std::string, uint64_t>& counts) {
        uint64_t total = 0;
        for (const auto& kv : counts) total += kv.second;
        out << title << ": " << total;
        const char* separator = " (";
        for (const auto& [k, v] : counts) {
            out << separator << k << " " << v;
            separator = ", ";
        }
        out << (counts.empty() ? "" : ")") << "\n";
    };
    out << "rounds " << rounds << ", requests " << requests << ", replies " << replies << ", events " << events
        << ", dropped texts " << malformed << ", violations " << violations << "\n";
    list("requests by type", requestTypes);
    list("host-operation failures", hostFaults);
    list("file-call failures", fileFaults);
    list("service faults scripted", serviceFaults);
    out << "scripted answers left untaken at the ends of rounds " << serviceAnswersUntaken << "\n";
    out << "turns with event-loop calls refused " << refusedEventLoopTurns << ", dialogs shown " << dialogs
        << ", dialog cancels queued " << dialogCancels << ", project events " << projectChanges << "\n"
        << "rounds whose captures' view restoring was checked " << viewRestoreChecks << "\n"
        << "rounds released while workers ran " << releasedWithWorkers << ", requests left unanswered by those releases "
        << unansweredAtRelease << "\n";
    return out.str();
}

SoakCounts RunSoakRound(SoakEnvironment& environment, uint64_t seed, std::vector<std::string>* violations) {
    Round round(environment, seed, violations);
    return round.Run();
}
