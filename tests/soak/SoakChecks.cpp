// The checks after a soak round: one reply per request, no leftover temporary file, no token in
// plain text, and a model and store that agree with the replies.
#include <rapidjson/document.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "panel/Palette.h"
#include "platform/Utf.h"
#include "shell/Shell.h"
#include "sim/service/SimService.h"
#include "soak/SoakRoundState.h"
#include "store/Images.h"
#include "store/MediaTypes.h"
#include "store/TokenStore.h"

namespace fs = std::filesystem;

namespace {
constexpr const char* kSignedOutEvent = R"({"event":"signedOut","data":{"reason":"revoked"}})";

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
}  // namespace

void SoakRound::Violation(const std::string& text) {
    ++counts_.violations;
    std::ostringstream line;
    line << "seed " << seed_ << ": " << text;
    violations_->push_back(line.str());
}

void SoakRound::Check() {
    SimHost& host = harness_->host();
    counts_.dialogs = host.dialogs.shownFolderDialogs.size() + host.dialogs.shownFileDialogs.size();
    for (const auto& [operation, n] : host.injectedFailures) counts_.hostFaults[operation] += static_cast<uint64_t>(n);
    for (int c = 0; c < kFileCalls; ++c)
        if (const int n = env_.files.Failed(static_cast<FileCall>(c)) - fileFailuresAtStart_[c]; n > 0)
            counts_.fileFaults[FileCallName(static_cast<FileCall>(c))] += static_cast<uint64_t>(n);
    counts_.serviceAnswersUntaken += env_.service.QueuedAnswers();
    for (const std::string& breach : env_.service.Violations())
        Violation("the simulated service recorded a violation: " + breach);
    CheckReplies();
    CheckTemporaryFiles();
    CheckTokens();
    CheckModel();
    CheckStore();
    CheckSavedFiles();
}

std::string SoakRound::Described(const std::string& id) const {
    std::string text;
    for (const SoakRequest& r : requests_)
        if (r.id == id) text = r.text.substr(0, 200);
    // The log lines of the round around the request's own, for the reader of a failure.
    const std::string log = ReadFileText(harness_->folders().dataFolder() / "host.log");
    const size_t at = log.find(id);
    if (at != std::string::npos) text += " | log: " + log.substr(at > 300 ? at - 300 : 0, 900);
    return text;
}

bool SoakRound::MayBeDropped(const std::string& id) const {
    if (postedWhileAChangeWaited_.count(id) != 0) return true;
    const auto posted = changesAtPost_.find(id);
    return posted != changesAtPost_.end() && projectChangesSent_.load() > posted->second;
}

std::set<std::string> SoakRound::DroppedAfterReload() const {
    static const std::string kDropped = "reply dropped after reload ";
    const std::string log = ReadFileText(harness_->folders().dataFolder() / "host.log");
    std::set<std::string> ids;
    for (size_t at = 0; (at = log.find(kDropped, at)) != std::string::npos;) {
        at += kDropped.size();
        const size_t end = log.find("\r\n", at);
        ids.insert(log.substr(at, end == std::string::npos ? std::string::npos : end - at));
    }
    return ids;
}

void SoakRound::CheckReplies() {
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
    const std::set<std::string> dropped = DroppedAfterReload();
    for (const std::string& id : accepted_) {
        const int n = replies[id];
        if (dropped.count(id) != 0 && n != 0) Violation("request " + id + " was answered and also dropped after a reload");
        if (n == 0 && MayBeDropped(id)) {
            // The page that sent it was replaced by a project change: its answer is dropped (the
            // log says so, unless a fault of the log's file calls lost the line).
            ++counts_.droppedAfterReload;
        } else if (releaseRound_ && n == 0)
            ++counts_.unansweredAtRelease;  // dropped with the Mailbox or the queues at release
        else if (n != 1)
            Violation("request " + id + " got " + std::to_string(n) + " replies: " + Described(id));
    }
}

void SoakRound::CheckTemporaryFiles() {
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

void SoakRound::CheckTokens() {
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
    const Session& session = palette->SignInState();
    if (!session.SignedIn() && !stored.empty() && !env_.files.DeleteFailed(tokenFile.string()))
        Violation("signed out, but the token file still holds a token");
    if (filesCalm_ && session.SignedIn() && stored != session.Token().text())
        Violation("signed in, but the token file does not hold the palette's token");
}

void SoakRound::CheckModel() {
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
    for (const std::string& operation : ViewOperations())
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

void SoakRound::CheckStore() {
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

void SoakRound::CheckSavedFiles() {
    // A save whose page a project change replaced keeps the files it wrote but answers no one:
    // up to one file an item.
    uint64_t saved = 0, unreported = 0;
    for (const SoakRequest& r : requests_) {
        if (r.type != "saveFiles") continue;
        const auto replies = RepliesTo(r.id);
        for (const ScriptedPage::Message* m : replies) {
            const std::string count = m->Ok() ? NumberAt(m->json, "saved") : "";
            if (!count.empty()) saved += std::stoull(count);
        }
        if (replies.empty() && MayBeDropped(r.id)) {
            rapidjson::Document request;
            request.Parse(r.text.data(), r.text.size());
            if (!request.HasParseError() && request.IsObject() && request.HasMember("payload") &&
                request["payload"].IsObject() && request["payload"].HasMember("files") &&
                request["payload"]["files"].IsArray())
                unreported += request["payload"]["files"].Size();
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
    if (!releaseRound_ && (found < saved || found > saved + unreported))
        Violation(std::to_string(found) + " files in the save folders for " + std::to_string(saved) +
                  " reported saved and at most " + std::to_string(unreported) + " of saves a project change answered");
}
