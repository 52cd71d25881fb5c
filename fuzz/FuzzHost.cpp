// The simulated host shared by the fuzz targets that drive the bridge.
#include "fuzz/FuzzHost.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <thread>

#include "host/AddonAbi.h"
#include "panel/Mailbox.h"
#include "platform/ForwardingFiles.h"
#include "platform/Images.h"
#include "shell/Shell.h"
#include "store/FileStore.h"

namespace FuzzBridge {
namespace {
constexpr std::string_view kReceivePrefix = "window.TamselBridge&&window.TamselBridge.receive(";
constexpr int kMaxTurns = 300;  // 30 s of simulated time
constexpr auto kMaxRealTime = std::chrono::seconds(20);

std::string EncodedSample(bool png) {
    Bitmap bitmap;
    if (!bitmap.Allocate(8, 6)) std::abort();
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x)
            bitmap.pixels[static_cast<size_t>(y * 8 + x)] = 0xFF000000u | static_cast<uint32_t>(x * 0x200000 + y * 0x2A00);
    bitmap.opaque = true;
    std::string bytes;
    if (!(png ? EncodeBitmapPng(bitmap, &bytes) : EncodeBitmapJpeg(bitmap, 90, &bytes))) std::abort();
    return bytes;
}

// The system's file table without its flushes to disk: the store's writes stay whole or absent
// as before, but a run no longer waits for the disk at every write (the crash tests are the ones
// that check what a write leaves on disk).
class UnflushedFiles final : public ForwardingFiles {
public:
    bool Flush(FileHandle) override { return true; }
    void SyncFolder(const std::string&) override {}
};

std::string SavesFolder() { return JoinPath(DataFolder(), "fuzz-saves"); }
std::string PickedFile() { return JoinPath(DataFolder(), "fuzz-pick.png"); }

// The names in the store's folder after seeding: the entries every input may use.
std::set<std::string>& SeededEntries() {
    static std::set<std::string> names;
    return names;
}

std::filesystem::path NativePath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

void Seed() {
    const std::string picked = PickedFile();
    if (DataFolder().empty() || !WriteFileAtomic(picked, SamplePng()) ||
        Files().MakeFolder(SavesFolder()) == FolderResult::Failed || !StoreBytes(kPictureRef, SamplePng()) ||
        !StoreBytes(kJpegRef, SampleJpeg()) || !StoreBytes(kVideoRef, std::string("\0\0\0\x18" "ftypisom\0\0\0\0isommp41", 24)) ||
        !StoreLink(kLinkRef, picked)) {
        std::fprintf(stderr, "fuzz host: cannot seed the data folder\n");
        std::abort();
    }
    std::vector<FolderEntry> entries;
    Files().List(DataSubfolder("files"), &entries);
    for (const FolderEntry& e : entries) SeededEntries().insert(e.name);
}

bool Quiet(SimHost& host, Palette& palette) {
    const std::shared_ptr<Mailbox> mailbox = ProcessMailbox();
    bool posted;
    {
        std::lock_guard<std::mutex> lock(mailbox->mutex);
        posted = !mailbox->queue.empty();
    }
    return !posted && mailbox->workers.load() == 0 && palette.NothingWaits() && host.pendingEventLoopCalls == 0;
}
}  // namespace

void Check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

const std::string& SamplePng() {
    static const std::string bytes = EncodedSample(true);
    return bytes;
}

const std::string& SampleJpeg() {
    static const std::string bytes = EncodedSample(false);
    return bytes;
}

SimHost& StartedHost() {
    static SimHost* host = [] {
        // A run may name data and configuration roots that do not exist yet.
        for (const char* variable : {"XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
            std::error_code error;
            if (const char* root = std::getenv(variable); root != nullptr && *root != '\0')
                std::filesystem::create_directories(root, error);
        }
        InstallFileSystem(new UnflushedFiles);
        auto* h = new SimHost(AddonEntry{GetExportedFuncAddrs, SetImportedFuncAddrs});
        Check(h->Start(), "the simulated host starts the add-on");
        h->OpenPaletteFromMenu();
        h->FinishPageLoad();
        // A small 3D window keeps each capture's picture work short.
        h->Set3DWindowSize(320, 200);
        Seed();
        h->dialogs.standingFileAnswer = PickedFile();
        h->dialogs.standingFolderAnswer = SavesFolder();
        return h;
    }();
    return *host;
}

Palette& CurrentPaletteOrAbort() {
    Palette* palette = CurrentPalette();
    Check(palette != nullptr, "the palette is open");
    return *palette;
}

void ResetSession(SimHost& host) {
    Palette& palette = CurrentPaletteOrAbort();
    palette.SignInState().SignIn(SecretString(kSessionToken));
    host.Page()->ClearRecords();
    host.launcher.openedUrls.clear();
    host.launcher.launches.clear();
    host.dialogs.shownFolderDialogs.clear();
    host.dialogs.shownFileDialogs.clear();
    host.model.worksheets.clear();
    host.undoHistory.clear();
}

void Settle(SimHost& host, int extraTurns) {
    Palette& palette = CurrentPaletteOrAbort();
    const auto deadline = std::chrono::steady_clock::now() + kMaxRealTime;
    int turns = 0, quietTurns = 0;
    while (quietTurns <= extraTurns) {
        // A worker runs in real time: wait for it rather than let simulated time race ahead.
        if (ProcessMailbox()->workers.load() > 0) {
            Check(std::chrono::steady_clock::now() < deadline, "every worker ends within 20 s");
            std::this_thread::sleep_for(std::chrono::microseconds(20));
            continue;
        }
        host.Turn();
        Check(++turns < kMaxTurns, "the host has nothing left to do after 30 simulated seconds");
        quietTurns = Quiet(host, palette) ? quietTurns + 1 : 0;
    }
}

void RemoveMadeFiles() {
    const std::string store = DataSubfolder("files");
    std::vector<FolderEntry> entries;
    if (!store.empty() && Files().List(store, &entries))
        for (const FolderEntry& e : entries)
            if (!e.isFolder && SeededEntries().count(e.name) == 0) Files().Delete(JoinPath(store, e.name));
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(NativePath(SavesFolder()), error))
        std::filesystem::remove_all(entry.path(), error);
}

bool IsWholeJsonObject(std::string_view text) {
    if (text.find('\0') != std::string_view::npos) return false;
    rapidjson::Document doc;
    doc.Parse<rapidjson::kParseValidateEncodingFlag>(text.data(), text.size());
    return !doc.HasParseError() && doc.IsObject();
}

Arrivals CheckedArrivals(const ScriptedPage& page, size_t firstMessage, size_t firstScript) {
    const std::vector<std::string>& scripts = page.Scripts();
    for (size_t i = firstScript; i < scripts.size(); ++i) {
        const std::string& script = scripts[i];
        if (script.compare(0, kReceivePrefix.size(), kReceivePrefix) != 0) continue;
        Check(script.size() > kReceivePrefix.size() && script.back() == ')', "a receive call is closed");
        const std::string_view json =
            std::string_view(script).substr(kReceivePrefix.size(), script.size() - kReceivePrefix.size() - 1);
        if (!IsWholeJsonObject(json)) std::fprintf(stderr, "unreadable message: %.300s\n", script.c_str());
        Check(IsWholeJsonObject(json), "every message to the page is one whole JSON object");
    }
    Arrivals arrivals;
    const std::vector<ScriptedPage::Message>& messages = page.Messages();
    for (size_t i = firstMessage; i < messages.size(); ++i) {
        const rapidjson::Value& message = *messages[i].document;
        const bool isEvent = message.HasMember("event");
        Check(isEvent != message.HasMember("id"), "a message is either a reply or an event");
        (isEvent ? arrivals.events : arrivals.replies).push_back(&messages[i]);
    }
    return arrivals;
}

}  // namespace FuzzBridge
