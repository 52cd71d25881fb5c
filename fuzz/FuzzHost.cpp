// The simulated host shared by the fuzz targets that drive the bridge.
#include "fuzz/FuzzHost.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "host/AddonAbi.h"
#include "panel/Mailbox.h"
#include "fuzz/MemoryFiles.h"
#include "platform/Images.h"
#include "platform/UserFolders.h"
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

MemoryFiles& Table() {
    static MemoryFiles* files = new MemoryFiles;
    return *files;
}

std::string SavesFolder() { return JoinPath(DataFolder(), "fuzz-saves"); }
std::string PickedFile() { return JoinPath(DataFolder(), "fuzz-pick.png"); }

bool WritePictureFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    return WriteFileAtomic(path, std::string(bytes.begin(), bytes.end()));
}

// What the host and the file table held after seeding, put back after every input.
struct Start {
    std::shared_ptr<const MemoryFiles::Snapshot> files;
    SimModel model;
    WindowInfo front;
    Projection3D projection;
    int32_t layerCombination = 1;
    Sim3DFrame frame3D;
};

Start& Seeded() {
    static Start start;
    return start;
}

void Seed(SimHost& host) {
    const std::string picked = PickedFile();
    if (DataFolder().empty() || !WriteFileAtomic(picked, SamplePng()) ||
        Files().MakeFolder(SavesFolder()) == FolderResult::Failed || !StoreBytes(kPictureRef, SamplePng()) ||
        !StoreBytes(kJpegRef, SampleJpeg()) || !StoreBytes(kVideoRef, std::string("\0\0\0\x18" "ftypisom\0\0\0\0isommp41", 24)) ||
        !StoreLink(kLinkRef, picked) || !CurrentPaletteOrAbort().SignInState().SignIn(SecretString(kSessionToken))) {
        std::fprintf(stderr, "fuzz host: cannot seed the data folder\n");
        std::abort();
    }
    Start& start = Seeded();
    start.files = Table().Take();
    start.model = host.model;
    start.front = host.front;
    start.projection = host.projection;
    start.layerCombination = host.layerCombination;
    start.frame3D = host.frame3D;
}

bool Quiet(SimHost& host, Palette& palette) {
    return IsIdle(*ProcessMailbox()) && palette.NothingWaits() && host.pendingEventLoopCalls == 0;
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
        InstallFileSystem(&Table());
        // The temporary folder the capture expects to find (the data folder makes its own).
        MakeFolderAndParents(UserTempFolder());
        // Times of day in names and labels stay the same from one run to the next.
        TimeOfDay noon;
        noon.hour = 12;
        noon.day = 9;
        noon.month = 12;
        SetLocalTimeForTesting(noon);
        auto* h = new SimHost(AddonEntry{GetExportedFuncAddrs, SetImportedFuncAddrs});
        Check(h->Start(), "the simulated host starts the add-on");
        h->writePictureFile = WritePictureFile;
        h->keepOnlyPageMessages = true;
        h->OpenPaletteFromMenu();
        h->FinishPageLoad();
        // A small 3D window keeps each capture's picture work short.
        h->Set3DWindowSize(320, 200);
        h->dialogs.standingFileAnswer = PickedFile();
        h->dialogs.standingFolderAnswer = SavesFolder();
        Seed(*h);
        return h;
    }();
    return *host;
}

Palette& CurrentPaletteOrAbort() {
    Palette* palette = CurrentPalette();
    Check(palette != nullptr, "the palette is open");
    return *palette;
}

void ResetForNextInput(SimHost& host) {
    const Start& start = Seeded();
    // The host's failures first, so that none refuses the new palette, and the files, so that
    // the new palette reads its sign-in from the seeded token file; then the palette.
    host.ClearFailures();
    host.injectedFailures.clear();
    host.refuseEventLoopCalls = kHostOk;
    Table().Restore(start.files);
    Check(ReplacePaletteForTesting(), "nothing runs or waits once an input is done");
    Check(host.FinishPageLoad(), "the new palette's page loads");
    host.Page()->ClearRecords();
    host.model = start.model;
    host.front = start.front;
    host.projection = start.projection;
    host.layerCombination = start.layerCombination;
    host.frame3D = start.frame3D;
    host.undoHistory.clear();
    host.launcher.openedUrls.clear();
    host.launcher.launches.clear();
    host.dialogs.shownFolderDialogs.clear();
    host.dialogs.shownFileDialogs.clear();
    Check(CurrentPaletteOrAbort().SignInState().SignedIn(), "the new palette is signed in");
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

const rapidjson::Value* Member(const rapidjson::Value& object, const char* name) {
    if (!object.IsObject()) return nullptr;
    const auto it = object.FindMember(name);
    return it == object.MemberEnd() ? nullptr : &it->value;
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
