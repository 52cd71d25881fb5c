// The common start of the views suites.
#include "views/ViewsHarness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "panel/Replies.h"
#include "sim/host/SimRasteriser.h"

namespace fs = std::filesystem;

namespace {
std::string MakeTemporaryFolder(const ScratchFolders& folders) {
    const fs::path folder = folders.root() / "tmp";
    fs::create_directories(folder);
    return folder.string();
}

// Base64 digits to their values; 255 for anything else.
unsigned Digit(char c) {
    if (c >= 'A' && c <= 'Z') return unsigned(c - 'A');
    if (c >= 'a' && c <= 'z') return unsigned(c - 'a' + 26);
    if (c >= '0' && c <= '9') return unsigned(c - '0' + 52);
    if (c == '+') return 62;
    if (c == '/') return 63;
    return 255;
}
}  // namespace

ViewsHarness::ViewsHarness()
    : temporaryFolder(MakeTemporaryFolder(folders())),
      tmpdir_("TMPDIR", temporaryFolder),
      tmp_("TMP", temporaryFolder),
      temp_("TEMP", temporaryFolder) {}

const rapidjson::Value& ViewsHarness::ListViews(const std::string& id) {
    static const rapidjson::Value kNull;
    Post(Request(id, "listViews"));
    Idle();
    const ScriptedPage::Message* reply = OnlyReplyTo(id);
    if (reply == nullptr || !reply->Ok()) {
        ADD_FAILURE() << "listViews was not answered with a success";
        return kNull;
    }
    return (*reply->document)["result"];
}

const ScriptedPage::Message* ViewsHarness::StartCapture(const std::string& id, const std::string& viewId) {
    Post(Request(id, "capture", "{\"viewId\":" + JsonQuote(viewId) + "}"));
    Idle();
    host().RunEventLoopCalls();
    const auto replies = page().RepliesTo(id);
    return replies.empty() ? nullptr : replies.front();
}

void ViewsHarness::Wait(std::chrono::milliseconds duration) {
    host().Advance(duration);
    Idle();
}

const ScriptedPage::Message* ViewsHarness::Capture(const std::string& id, const std::string& viewId) {
    if (StartCapture(id, viewId) == nullptr) Wait(std::chrono::milliseconds(2500));
    return OnlyReplyTo(id);
}

std::vector<std::string> ViewsHarness::LogLines(const std::string& from) const {
    std::istringstream log(ReadFileText(folders().dataFolder() / "host.log"));
    std::vector<std::string> lines;
    std::string line;
    bool started = from.empty();
    while (std::getline(log, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // "HH:MM:SS.mmm text"
        const size_t space = line.find(' ');
        const std::string text = space == std::string::npos ? line : line.substr(space + 1);
        if (!started && text.find(from) != std::string::npos) started = true;
        if (started) lines.push_back(text);
    }
    return lines;
}

bool ViewsHarness::Logged(const std::string& line) const {
    for (const std::string& l : LogLines())
        if (l == line) return true;
    return false;
}

bool ViewsHarness::LogContains(const std::string& text) const {
    for (const std::string& l : LogLines())
        if (l.find(text) != std::string::npos) return true;
    return false;
}

const rapidjson::Value* ViewsHarness::ViewNamed(const rapidjson::Value& listing, const std::string& name) {
    if (!listing.IsObject() || !listing.HasMember("views")) return nullptr;
    for (const rapidjson::Value& view : listing["views"].GetArray())
        if (Text(view, "name") == name) return &view;
    return nullptr;
}

std::string ViewsHarness::IdOf(const rapidjson::Value& listing, const std::string& name) {
    const rapidjson::Value* view = ViewNamed(listing, name);
    return view ? Text(*view, "id") : std::string();
}

size_t ViewsHarness::TemporaryFiles() const {
    size_t n = 0;
    for (const auto& entry : fs::directory_iterator(temporaryFolder)) {
        (void)entry;
        ++n;
    }
    return n;
}

std::string DataUrlBytes(const std::string& url, std::string* contentType) {
    const size_t comma = url.find(";base64,");
    if (url.rfind("data:", 0) != 0 || comma == std::string::npos) return {};
    if (contentType) *contentType = url.substr(5, comma - 5);
    std::string bytes;
    unsigned buffer = 0;
    int bits = 0;
    for (size_t i = comma + 8; i < url.size() && url[i] != '='; ++i) {
        const unsigned d = Digit(url[i]);
        if (d == 255) return {};
        buffer = (buffer << 6) | d;
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<char>((buffer >> bits) & 0xFF));
        }
    }
    return bytes;
}

Bitmap DecodePicture(const std::string& bytes) {
    Bitmap picture;
    EXPECT_TRUE(DecodeBitmap(bytes, &picture)) << "a picture of " << bytes.size() << " bytes";
    return picture;
}

double ShareDiffering(const Bitmap& a, const Bitmap& b) {
    if (a.width != b.width || a.height != b.height || a.pixels.empty()) return 0;
    size_t differing = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        int d = 0;
        for (int s = 0; s < 24; s += 8) d += std::abs(int((a.pixels[i] >> s) & 0xFF) - int((b.pixels[i] >> s) & 0xFF));
        differing += d > 60;
    }
    return double(differing) / double(a.pixels.size());
}

Bitmap Scene(const SimModel& model, const Projection3D& projection, int width, int height) {
    SimPicture picture;
    EXPECT_TRUE(Render3D(model, projection, width, height, &picture));
    Bitmap b;
    EXPECT_TRUE(b.Allocate(width, height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) b.pixels[size_t(y) * size_t(width) + size_t(x)] = 0xFF000000u | picture.Pixel(x, y);
    return b;
}

Bitmap EmptyScene(const Projection3D& projection, int width, int height) {
    SimModel empty;
    EXPECT_TRUE(MakeSampleProject("empty", &empty));
    return Scene(empty, projection, width, height);
}

double ShareNearerTheFirst(const Bitmap& picture, const Bitmap& first, const Bitmap& second) {
    auto distance = [](uint32_t a, uint32_t b) {
        int d = 0;
        for (int s = 0; s < 24; s += 8) d += std::abs(int((a >> s) & 0xFF) - int((b >> s) & 0xFF));
        return d;
    };
    size_t telling = 0, nearer = 0;
    for (size_t i = 0; i < picture.pixels.size(); ++i) {
        if (distance(first.pixels[i], second.pixels[i]) <= 120) continue;
        ++telling;
        nearer += distance(picture.pixels[i], first.pixels[i]) < distance(picture.pixels[i], second.pixels[i]);
    }
    EXPECT_GT(telling, picture.pixels.size() / 20) << "the two views differ in too few pixels to tell them apart";
    return telling == 0 ? 0 : double(nearer) / double(telling);
}

std::string Text(const rapidjson::Value& object, const char* member) {
    if (!object.IsObject()) return {};
    const auto it = object.FindMember(member);
    return it != object.MemberEnd() && it->value.IsString()
               ? std::string(it->value.GetString(), it->value.GetStringLength())
               : std::string();
}
