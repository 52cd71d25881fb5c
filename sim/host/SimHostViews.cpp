// The simulated host's view operations: front window, 3D projection, layer combinations,
// elements and their boxes, stories, the navigator, the 3D window's image and picture save. The
// image and the save give the 3D window's drawn frame (Sim3DFrame.h).
#include <chrono>
#include <filesystem>
#include <fstream>

#include "platform/Utf.h"
#include "sim/host/SimHost.h"
#include "sim/host/SimRasteriser.h"

namespace {
// Adds the time of its life, on the host's picture clock, to the host's picture time.
class PictureTimer {
public:
    explicit PictureTimer(SimHost& host) : host_(host), start_(Now()) {}
    ~PictureTimer() { host_.pictureTime += Now() - start_; }
    PictureTimer(const PictureTimer&) = delete;
    PictureTimer& operator=(const PictureTimer&) = delete;

private:
    std::chrono::nanoseconds Now() const {
        return host_.pictureClock ? host_.pictureClock() : std::chrono::steady_clock::now().time_since_epoch();
    }
    SimHost& host_;
    std::chrono::nanoseconds start_;
};

// The 3D window's picture as the host's image object hands it out.
class SimNativeImage final : public NativeImage {
public:
    SimNativeImage(SimPicture picture, HostError encodeFailure, SimHost& host)
        : picture_(std::move(picture)), encodeFailure_(encodeFailure), host_(host) {}
    uint32_t Width() const override { return static_cast<uint32_t>(picture_.width); }
    uint32_t Height() const override { return static_cast<uint32_t>(picture_.height); }
    HostError Encode(int encoding, std::vector<uint8_t>* out) const override {
        if (encodeFailure_ != kHostOk) return encodeFailure_;
        if (encoding != 1 || out == nullptr) return kSimErrBadParameters;
        const PictureTimer timer(host_);
        return EncodePng(picture_, out) ? kHostOk : kSimErrGeneral;
    }

private:
    SimPicture picture_;
    HostError encodeFailure_;
    SimHost& host_;
};

// Element type codes the host knows.
bool KnownType(int32_t typeCode) { return typeCode >= 1 && typeCode <= 60; }
}  // namespace

HostError SimHost::GetFrontWindow(WindowInfo* window) {
    if (HostError e = Injected("GetFrontWindow")) return e;
    if (window == nullptr) return kSimErrBadParameters;
    // The window record's other fields (zoom and scroll) travel in its opaque part.
    if (front.rest.bytes.empty()) front.rest = EncodeRest(SimWindowRest{});
    issuedWindows.Note(front.rest);
    *window = front;
    return kHostOk;
}

HostError SimHost::ChangeFrontWindow(const WindowInfo& window) {
    if (HostError e = Injected("ChangeFrontWindow")) return e;
    // A null database GUID names the window of that kind (the 3D window, or the plan of the
    // current story); otherwise kind and database must match one of the project's windows.
    // A record's opaque part must be one this host handed out, given back unchanged.
    if (!issuedWindows.Accept(window.rest)) return kSimErrBadParameters;
    bool knownKind = false;
    for (SimWindowRecord& w : model.windows) {
        if (w.info.kind != window.kind) continue;
        knownKind = true;
        if (window.databaseGuid.IsNull() || window.databaseGuid == w.info.databaseGuid) {
            // The window keeps the zoom and scroll it is handed back with.
            if (!window.rest.bytes.empty()) w.info.rest = window.rest;
            if (w.info.kind == SimWindowKind::k3D && front.kind != w.info.kind) Start3DFrame();
            front = w.info;
            return kHostOk;
        }
    }
    return knownKind ? kHostErrNotFound : kSimErrBadParameters;
}

HostError SimHost::GetProjection3D(Projection3D* out) {
    if (HostError e = Injected("GetProjection3D")) return e;
    if (out == nullptr) return kSimErrBadParameters;
    // The record's fields the add-on does not read (a parallel view's kind and scale, the sun)
    // travel in its opaque part.
    if (projection.rest.bytes.empty()) projection.rest = EncodeRest(SimProjectionRest{});
    issuedProjections.Note(projection.rest);
    *out = projection;
    return kHostOk;
}

HostError SimHost::SetProjection3D(const Projection3D& value, int32_t option) {
    if (HostError e = Injected("SetProjection3D")) return e;
    // The one option the host takes here is 0; a perspective camera must look somewhere.
    const PerspectiveCamera& c = value.camera;
    const bool degenerate = c.cameraX == c.targetX && c.cameraY == c.targetY && c.cameraZ == c.targetZ;
    if (option != 0 || (value.perspective && degenerate)) return kSimErrBadParameters;
    // The opaque part must be one this host handed out, given back unchanged; none means the
    // host's defaults for those fields.
    if (!issuedProjections.Accept(value.rest)) return kSimErrBadParameters;
    projection = value;
    if (projection.rest.bytes.empty()) projection.rest = EncodeRest(SimProjectionRest{});
    Start3DFrame();
    return kHostOk;
}

HostError SimHost::Redraw3D() {
    if (HostError e = Injected("Redraw3D")) return e;
    ++redraws;
    Start3DFrame();
    return kHostOk;
}

HostError SimHost::GetLayerCombination(int32_t* index) {
    if (HostError e = Injected("GetLayerCombination")) return e;
    if (index == nullptr) return kSimErrBadParameters;
    *index = layerCombination;
    return kHostOk;
}

HostError SimHost::SetLayerCombination(int32_t index) {
    if (HostError e = Injected("SetLayerCombination")) return e;
    if (model.FindLayerCombination(index) == nullptr) return kSimErrBadParameters;
    layerCombination = index;
    Start3DFrame();
    return kHostOk;
}

HostError SimHost::ListElements(int32_t typeCode, uint32_t filterFlags, std::vector<HostGuid>* elements) {
    if (HostError e = Injected("ListElements")) return e;
    if (elements == nullptr || filterFlags != kListFilterFlags || !KnownType(typeCode)) return kSimErrBadParameters;
    elements->clear();
    for (const SimElement& e : model.elements)
        if (e.typeCode == typeCode) elements->push_back(e.guid);
    return kHostOk;
}

HostError SimHost::GetElementHeader(const HostGuid& element, ElementHeader* header) {
    if (HostError e = Injected("GetElementHeader")) return e;
    if (header == nullptr || element.IsNull()) return kSimErrBadParameters;
    const SimElement* found = model.FindElement(element);
    if (found == nullptr) return kHostErrNotFound;
    *header = ElementHeader{found->guid, found->typeCode, found->storyIndex};
    return kHostOk;
}

HostError SimHost::GetCameraElement(const HostGuid& element, PerspectiveCamera* camera, int32_t* storyIndex) {
    if (HostError e = Injected("GetCameraElement")) return e;
    if (camera == nullptr || storyIndex == nullptr || element.IsNull()) return kSimErrBadParameters;
    const SimElement* found = model.FindElement(element);
    if (found == nullptr || (found->typeCode != SimType::kCamera && !cameraRecordOfAnyElement)) return kHostErrNotFound;
    *camera = found->camera;
    *storyIndex = found->storyIndex;
    return kHostOk;
}

HostError SimHost::GetElementBox3D(const HostGuid& element, Box3D* box) {
    if (HostError e = Injected("GetElementBox3D")) return e;
    if (box == nullptr || element.IsNull()) return kSimErrBadParameters;
    const SimElement* found = model.FindElement(element);
    // Cameras have no body.
    if (found == nullptr || !SimModel::ElementBox(*found, box)) return kHostErrNotFound;
    return kHostOk;
}

HostError SimHost::GetModelExtent3D(Box3D* box) {
    if (HostError e = Injected("GetModelExtent3D")) return e;
    if (box == nullptr) return kSimErrBadParameters;
    // An empty model's extent has every minimum above its maximum.
    if (!model.Extent(box)) *box = Box3D{1, 1, 1, -1, -1, -1};
    return kHostOk;
}

HostError SimHost::GetStories(std::vector<StoryInfo>* stories) {
    if (HostError e = Injected("GetStories")) return e;
    if (stories == nullptr) return kSimErrBadParameters;
    stories->clear();
    for (const SimStory& s : model.stories) stories->push_back({s.index, s.level});
    return kHostOk;
}

HostError SimHost::GetNavigatorRoot(int32_t mapId, HostGuid* root) {
    if (HostError e = Injected("GetNavigatorRoot")) return e;
    const SimNavigatorNode* map = model.NavigatorMap(mapId);
    if (map == nullptr || root == nullptr) return kSimErrBadParameters;
    *root = map->item.guid;
    return kHostOk;
}

HostError SimHost::GetNavigatorChildren(const NavigatorItem& parent, std::vector<NavigatorItem>* children) {
    if (HostError e = Injected("GetNavigatorChildren")) return e;
    if (children == nullptr) return kSimErrBadParameters;
    int32_t mapId = 0;
    const SimNavigatorNode* node = model.FindNavigatorItem(parent.guid, &mapId);
    if (node == nullptr) return kHostErrNotFound;
    // The item is looked up in the map the caller names.
    if (parent.mapId != mapId) return kSimErrBadParameters;
    children->clear();
    for (const SimNavigatorNode& child : node->children) {
        children->push_back(child.item);
        children->back().mapId = mapId;
    }
    return kHostOk;
}

HostError SimHost::GetCurrent3DImage(int32_t* option, std::unique_ptr<NativeImage>* image) {
    if (HostError e = Injected("GetCurrent3DImage")) return e;
    if (option == nullptr || *option != 0 || image == nullptr) return kSimErrBadParameters;
    // As the picture save: only the 3D window in front has an image.
    if (front.kind != SimWindowKind::k3D) return kHostErrWrongWindow;
    SimPicture picture;
    {
        const PictureTimer timer(*this);
        if (!Draw3D(&picture)) return kSimErrGeneral;
    }
    *image = std::make_unique<SimNativeImage>(std::move(picture), Injected("NativeImage.Encode"), *this);
    return kHostOk;
}

HostError SimHost::SaveFrontWindowPicture(int32_t fileType, const std::u16string& path,
                                          const PictureSettings& settings) {
    if (HostError e = Injected("SaveFrontWindowPicture")) return e;
    if (fileType != kPictureFileType || settings.colourDepth != kPictureColourDepth || path.empty())
        return kSimErrBadParameters;
    // Only the 3D window is saved as a picture here.
    if (front.kind != SimWindowKind::k3D) return kHostErrWrongWindow;
    const PictureTimer timer(*this);
    SimPicture picture;
    std::vector<uint8_t> png;
    if (!Draw3D(&picture) || !EncodePng(picture, &png)) return kSimErrGeneral;
    if (writePictureFile != nullptr) return writePictureFile(Utf16ToUtf8(path), png) ? kHostOk : kSimErrGeneral;
    std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    out.close();
    return out ? kHostOk : kSimErrGeneral;
}
