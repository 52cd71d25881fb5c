// One round of the fault soak: its set-up and the run with faults injected between host turns.
#include "soak/SoakRound.h"

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include "media/TestImages.h"
#include "panel/Language.h"
#include "panel/Mailbox.h"
#include "panel/Palette.h"
#include "platform/Http.h"
#include "platform/Utf.h"
#include "shell/Shell.h"
#include "sim/service/SimService.h"
#include "soak/SoakRequests.h"
#include "soak/SoakRoundState.h"
#include "store/FileStore.h"
#include "store/TokenStore.h"

namespace fs = std::filesystem;

namespace {
constexpr uint32_t kTimeoutDivisor = 60;  // 1 s for a request, 3 s for a download, 5 s for an upload
constexpr int kPosterThreads = 3;
constexpr int kFaultTurnsAfterPosting = 60;
constexpr auto kDrainLimit = std::chrono::seconds(180);
constexpr const char* kTokenPath = "/api/v1/device/token";
}  // namespace

void SoakRound::SetUp() {
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
    // Half the soak's paid calls carry no key on purpose; every other rule holds, in the language
    // the add-on chose at load.
    RequestRules rules;
    rules.language = Utf16ToUtf8(uiLanguage);
    rules.idempotencyKeys = false;
    env_.service.SetRules(rules);
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

void SoakRound::Post(const SoakRequest& request) {
    const std::optional<bool> taken = harness_->page().Post(request.text);
    std::lock_guard<std::mutex> lock(acceptedMutex_);
    if (request.type.empty()) {
        ++counts_.malformed;
    } else if (taken) {
        accepted_.insert(request.id);
        const uint64_t sent = projectChangesSent_.load();
        changesAtPost_[request.id] = sent;
        if (projectChangesApplied_.load() < sent) postedWhileAChangeWaited_.insert(request.id);
        ++counts_.requestTypes[request.type];
    }
}

void SoakRound::ScriptServiceFault() {
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

void SoakRound::InjectFaults() {
    SimHost& host = harness_->host();
    if (Chance(random_, 0.1)) {
        static const std::vector<HostError> kCodes = {kHostErrRefused, kHostErrOutOfMemory, kHostErrNotFound,
                                                      kHostErrNoHost, kHostErrUnreadableImage};
        const std::string& operation = Pick(random_, SimHost::OperationNames());
        if (!viewCalm_ || ViewOperations().count(operation) == 0)
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
        const int32_t event = Pick(random_, std::vector<int32_t>{1, 2, 4, 3});
        // Counted before it is sent, so that a request accepted meanwhile counts as before it.
        if (event != 3) ++projectChangesSent_;
        host.SendProjectEvent(event);
        ++counts_.projectChanges;
    }
}

void SoakRound::ClearFaults() {
    SimHost& host = harness_->host();
    host.ClearFailures();
    host.refuseEventLoopCalls = kHostOk;
    env_.files.Reset();
}

void SoakRound::Turn() {
    harness_->host().Turn();
    // Project changes are sent between turns, so a reload in this turn applied all sent so far.
    if (const size_t loads = harness_->page().Loads().size(); loads != loadsSeen_) {
        loadsSeen_ = loads;
        projectChangesApplied_ = projectChangesSent_.load();
    }
    if (harness_->host().refuseEventLoopCalls) ++counts_.refusedEventLoopTurns;
    if (Palette* p = CurrentPalette(); p != nullptr && p->SignInState().SignedIn())
        tokens_.insert(p->SignInState().Token().text());
}

bool SoakRound::Settled() const {
    Palette* p = CurrentPalette();
    if (p == nullptr) return true;
    const auto mailbox = ProcessMailbox();
    bool queued = false;
    {
        std::lock_guard<std::mutex> lock(mailbox->mutex);
        queued = !mailbox->queue.empty();
    }
    if (queued || mailbox->workers.load() > 0 || !p->NothingWaits()) return false;
    std::vector<std::string> unanswered;
    for (const std::string& id : accepted_)
        if (RepliesTo(id).empty()) unanswered.push_back(id);
    if (unanswered.empty()) return true;
    // Requests of a page since replaced have their answers dropped, not delivered.
    for (const std::string& id : unanswered)
        if (!MayBeDropped(id)) return false;
    return true;
}

void SoakRound::Drain() {
    const auto deadline = std::chrono::steady_clock::now() + kDrainLimit;
    while (!Settled() && std::chrono::steady_clock::now() < deadline) {
        Turn();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // A few more turns, so that a second reply would have arrived.
    for (int i = 0; i < 5; ++i) Turn();
}

std::vector<const ScriptedPage::Message*> SoakRound::RepliesTo(const std::string& id) const {
    std::vector<const ScriptedPage::Message*> found;
    for (const ScriptedPage::Message& m : messages_)
        if (m.Id() == id) found.push_back(&m);
    return found;
}

// Releases the add-on with the requests in whatever state they are, then waits until the
// released session's workers are done: they finish their files and their completions go nowhere.
void SoakRound::ReleaseWhileWorkersRun() {
    const std::shared_ptr<Mailbox> released = ProcessMailbox();
    counts_.releasedWithWorkers += released->workers.load() > 0 ? 1 : 0;
    harness_->host().Release();
    const auto deadline = std::chrono::steady_clock::now() + kDrainLimit;
    while (released->workers.load() > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (released->workers.load() > 0) Violation("workers still run long after release");
}

SoakCounts SoakRound::Run() {
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


SoakCounts RunSoakRound(SoakEnvironment& environment, uint64_t seed, std::vector<std::string>* violations) {
    SoakRound round(environment, seed, violations);
    return round.Run();
}
