// "listViews": the current 3D view and the navigator's saved views, with names, interior or
// exterior guesses and thumbnails; the saved views whose camera can be read are registered for
// capture.
#include "handlers/views/ViewListing.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>

#include "handlers/views/Cameras.h"
#include "handlers/views/Picture.h"
#include "handlers/views/Views.h"
#include "panel/Language.h"
#include "panel/Palette.h"
#include "panel/Project.h"
#include "panel/Replies.h"
#include "platform/Utf.h"
#include "store/DataUrl.h"
#include "store/Log.h"

namespace OvraViews {
namespace {
constexpr int32_t kPerspectiveItem = 5, kAxonometricItem = 6, kCameraItem = 10, kCameraSetItem = 11;
constexpr int32_t kProjectMap = 1, kViewMap = 2;
constexpr std::array<int32_t, 6> kBuildingTypes = {1, 8, 9, 2, 37, 43};

// Interior keywords, tried in this order.
constexpr std::array<const char*, 29> kInteriorKeywords = {
    "interior", "intern", "sala", "cozinha", "quarto", "su\xC3\xADte", "suite", "banheiro", "lavabo", "living",
    "kitchen", "bedroom", "bath", "dining", "jantar", "escrit\xC3\xB3rio", "office", "hall", "corredor", "closet",
    "estar", "room", "dormit", "cocina", "dormitorio", "ba\xC3\xB1o", "comedor", "lobby", "loft"};

// Texts in Portuguese, English and Spanish, chosen by the language tag.
std::string Pick(const std::u16string& language, const char* pt, const char* en, const char* es) {
    if (language == u"pt-BR") return pt;
    if (language == u"es") return es;
    return en;
}

std::string CurrentViewName(const std::u16string& language) {
    return Pick(language, "Vista 3D atual", "Current 3D view", "Vista 3D actual");
}

std::string SavedViewReason(const std::u16string& language) {
    return Pick(language,
                "Vista salva do Archicad: abra-a no Archicad e use \xE2\x80\x9CVista atual\xE2\x80\x9D.",
                "Saved Archicad view: open it in Archicad and use \xE2\x80\x9C" "Current view\xE2\x80\x9D.",
                "Vista guardada de Archicad: \xC3\xA1" "brela en Archicad y usa \xE2\x80\x9CVista actual\xE2\x80\x9D.");
}

// The navigator item's id: "nav-" and its GUID as the host's text form gives it, without braces.
std::string NavigatorId(const HostGuid& guid) {
    std::string text = guid.ToText();
    if (text.size() >= 2 && text.front() == '{' && text.back() == '}') text = text.substr(1, text.size() - 2);
    return "nav-" + text;
}

bool StrictlyInside(const BuildingBox& box, double x, double y, double z) {
    return box.xMin < x && x < box.xMax && box.yMin < y && y < box.yMax && box.zMin < z && z < box.zMax;
}

bool IsInverted(const Box3D& b) { return b.xMin > b.xMax || b.yMin > b.yMax || b.zMin > b.zMax; }

bool CameraRegistered(const HostGuid& camera) {
    for (const auto& [id, registered] : ViewCameras())
        if (registered == camera) return true;
    return false;
}

// Appends " 1", " 2", … to every name that occurs more than once, the current view's name
// counted but never changed.
void NumberRepeatedNames(std::vector<ViewEntry>* entries) {
    std::map<std::string, int> occurrences, running;
    for (const ViewEntry& e : *entries) ++occurrences[e.name];
    for (ViewEntry& e : *entries) {
        if (e.id == "current" || occurrences[e.name] < 2) continue;
        const std::string name = e.name;
        e.name += ' ';
        e.name += std::to_string(++running[name]);
    }
}

void AppendViewObject(const ViewEntry& entry, const std::string& thumbnail, bool modelHasContent, std::string* out) {
    *out += "{\"id\":" + JsonQuote(entry.id) + ",\"name\":" + JsonQuote(entry.name) +
            ",\"space\":" + JsonQuote(entry.space) + ",\"thumbnail\":";
    // Data URLs hold no character that needs escaping.
    *out += '"';
    *out += thumbnail;
    *out += '"';
    if (entry.id == "current") *out += ",\"current\":true";
    if (entry.available && !modelHasContent) *out += ",\"empty\":true";
    if (!entry.available) *out += ",\"empty\":true,\"unavailable\":true,\"reason\":" + JsonQuote(entry.reason);
    *out += '}';
}
}  // namespace

std::u16string LowerCase(std::u16string text) {
    for (char16_t& c : text) {
        const unsigned u = c;
        unsigned lower = u;
        if ((u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xDE && u != 0xD7) || (u >= 0x391 && u <= 0x3AB && u != 0x3A2) ||
            (u >= 0x410 && u <= 0x42F) || (u >= 0xFF21 && u <= 0xFF3A))
            lower = u + 32;
        else if (u == 0x130)
            lower = 'i';
        else if (u == 0x178)
            lower = 0xFF;
        else if (u >= 0x400 && u <= 0x40F)
            lower = u + 80;
        else if (u >= 0x531 && u <= 0x556)
            lower = u + 48;
        else if (u == 0x386)
            lower = 0x3AC;
        else if (u >= 0x388 && u <= 0x38A)
            lower = u + 37;
        else if (u == 0x38C)
            lower = 0x3CC;
        else if (u == 0x38E || u == 0x38F)
            lower = u + 63;
        else if (((u >= 0x100 && u <= 0x137) || (u >= 0x14A && u <= 0x177) || (u >= 0x460 && u <= 0x481) ||
                  (u >= 0x48A && u <= 0x4BF) || (u >= 0x4D0 && u <= 0x52F) || (u >= 0x1E00 && u <= 0x1E95) ||
                  (u >= 0x1EA0 && u <= 0x1EFF)) &&
                 u % 2 == 0)
            lower = u + 1;
        else if (((u >= 0x139 && u <= 0x148) || (u >= 0x179 && u <= 0x17E) || (u >= 0x4C1 && u <= 0x4CE)) && u % 2 == 1)
            lower = u + 1;
        c = static_cast<char16_t>(lower);
    }
    return text;
}

std::string ClassifyByName(const std::u16string& name, int32_t itemType) {
    if (itemType == kAxonometricItem) return "exterior";
    const std::u16string lower = LowerCase(name);
    for (const char* keyword : kInteriorKeywords)
        if (lower.find(Utf8ToUtf16(keyword)) != std::u16string::npos) return "interior";
    return "exterior";
}

std::string ClassifyByBox(const PerspectiveCamera& camera, const BuildingBox& box, const std::string& fallback) {
    if (!box.valid) return fallback;
    return StrictlyInside(box, camera.cameraX, camera.cameraY, camera.cameraZ) ? "interior" : "exterior";
}

std::string ClassifyByModelExtent() {
    Projection3D projection;
    if (Host().GetProjection3D(&projection) != kHostOk) return "interior";
    if (!projection.perspective) return "exterior";
    Box3D extent;
    if (Host().GetModelExtent3D(&extent) != kHostOk || IsInverted(extent)) return "interior";
    const PerspectiveCamera& c = projection.camera;
    const bool inside = extent.xMin <= c.cameraX && c.cameraX <= extent.xMax && extent.yMin <= c.cameraY &&
                        c.cameraY <= extent.yMax && extent.zMin <= c.cameraZ && c.cameraZ <= extent.zMax;
    return inside ? "interior" : "exterior";
}

BuildingBox ComputeBuildingBox() {
    BuildingBox box;
    for (const int32_t type : kBuildingTypes) {
        std::vector<HostGuid> elements;
        if (Host().ListElements(type, kListFilterFlags, &elements) != kHostOk) continue;
        for (const HostGuid& element : elements) {
            ElementHeader header;
            Box3D b;
            if (Host().GetElementHeader(element, &header) != kHostOk || Host().GetElementBox3D(element, &b) != kHostOk ||
                IsInverted(b))
                continue;
            if (!box.valid) {
                box = BuildingBox{true, b.xMin, b.yMin, b.zMin, b.xMax, b.yMax, b.zMax};
                continue;
            }
            box.xMin = std::min(box.xMin, b.xMin);
            box.yMin = std::min(box.yMin, b.yMin);
            box.zMin = std::min(box.zMin, b.zMin);
            box.xMax = std::max(box.xMax, b.xMax);
            box.yMax = std::max(box.yMax, b.yMax);
            box.zMax = std::max(box.zMax, b.zMax);
        }
    }
    return box;
}

std::string PlaceholderThumbnail(const std::string& space) {
    std::string svg =
        "<svg xmlns='http://www.w3.org/2000/svg' width='320' height='200' viewBox='0 0 320 200'>"
        "<rect width='320' height='200' fill='#eef0f3'/>";
    svg += space == "interior"
               ? "<path d='M110 140h100v-36h-100z M120 104v-14h80v14' fill='none' stroke='#9aa3ad' "
                 "stroke-width='6' stroke-linejoin='round'/>"
               : "<path d='M100 140v-50l60-36 60 36v50z M145 140v-28h30v28' fill='none' stroke='#9aa3ad' "
                 "stroke-width='6' stroke-linejoin='round'/>";
    svg += "</svg>";
    return MakeDataUrl("image/svg+xml", svg);
}

void WalkNavigatorItems(const NavigatorItem& parent, int depth, std::vector<ViewEntry>* entries,
                        const BuildingBox& box, const std::u16string& language) {
    if (depth > kMaxWalkDepth || entries->size() >= kMaxEntriesPerMap) return;
    std::vector<NavigatorItem> children;
    if (Host().GetNavigatorChildren(parent, &children) != kHostOk) return;
    for (NavigatorItem& child : children) {
        const int32_t type = child.itemType;
        if (type == kPerspectiveItem || type == kAxonometricItem || type == kCameraItem) {
            const std::u16string& ownName = child.name.empty() ? child.idText : child.name;
            ViewEntry entry;
            entry.id = NavigatorId(child.guid);
            entry.name = Utf16ToUtf8(ownName);
            if (type == kCameraItem && parent.itemType == kCameraSetItem) {
                if (!child.reference.empty() && entry.name.find(child.reference) == std::string::npos)
                    entry.name += " " + child.reference;
                if (!parent.name.empty()) entry.name += " \xC2\xB7 " + Utf16ToUtf8(parent.name);
            }
            const std::string nameSpace = ClassifyByName(ownName, type);
            PerspectiveCamera camera;
            if (ReadViewCamera(child.cameraGuid, &camera)) {
                // A camera shown by an earlier item is listed once, from there.
                if (!CameraRegistered(child.cameraGuid)) {
                    entry.space = box.valid ? (StrictlyInside(box, camera.cameraX, camera.cameraY, camera.cameraZ)
                                                   ? "interior"
                                                   : "exterior")
                                            : nameSpace;
                    entry.available = true;
                    ViewCameras()[entry.id] = child.cameraGuid;
                    entries->push_back(std::move(entry));
                }
            } else {
                entry.space = nameSpace;
                entry.reason = SavedViewReason(language);
                entries->push_back(std::move(entry));
            }
        }
        child.mapId = parent.mapId;
        WalkNavigatorItems(child, depth + 1, entries, box, language);
    }
}

std::vector<ViewEntry> CollectViews(const std::u16string& language) {
    ViewCameras().clear();
    const BuildingBox box = ComputeBuildingBox();

    ViewEntry current{"current", CurrentViewName(language), "interior", true, ""};
    Projection3D projection;
    const bool projectionRead = Host().GetProjection3D(&projection) == kHostOk;
    if (projectionRead)
        current.space = !projection.perspective ? "exterior"
                        : box.valid             ? ClassifyByBox(projection.camera, box, "")
                                                : ClassifyByModelExtent();
    std::vector<ViewEntry> entries{current};

    const bool cameraKnown = projectionRead && projection.perspective;
    char text[220];
    std::snprintf(text, sizeof text,
                  "building box z %.2f..%.2f x %.2f..%.2f y %.2f..%.2f; current camera z %.2f target z %.2f",
                  box.valid ? box.zMin : 0.0, box.valid ? box.zMax : 0.0, box.valid ? box.xMin : 0.0,
                  box.valid ? box.xMax : 0.0, box.valid ? box.yMin : 0.0, box.valid ? box.yMax : 0.0,
                  cameraKnown ? projection.camera.cameraZ : 0.0, cameraKnown ? projection.camera.targetZ : 0.0);
    LastCameraText() = text;

    for (const int32_t map : {kProjectMap, kViewMap}) {
        NavigatorItem root;
        if (Host().GetNavigatorRoot(map, &root.guid) != kHostOk) continue;
        root.mapId = map;
        std::vector<ViewEntry> found;
        WalkNavigatorItems(root, 0, &found, box, language);
        for (ViewEntry& e : found)
            if (map == kViewMap || e.available) entries.push_back(std::move(e));
    }
    NumberRepeatedNames(&entries);
    return entries;
}

void ListViews(Palette& palette, const std::string& id) {
    const std::vector<ViewEntry> entries = CollectViews(uiLanguage);
    palette.Previews().erase("current");
    if (Is3DWindowCurrent()) {
        std::string jpeg, errorCode;
        if (CaptureView(false, &jpeg, &errorCode)) palette.Previews()["current"] = MakeDataUrl("image/jpeg", jpeg);
    }
    bool hasContent = false;
    // A failed test counts as content.
    if (ModelHasContent(false, &hasContent) != kHostOk) hasContent = true;

    std::string result = "{\"projectName\":" + JsonQuote(ProjectName()) + ",\"views\":[";
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i > 0) result += ',';
        const auto preview = palette.Previews().find(entries[i].id);
        AppendViewObject(entries[i],
                         preview != palette.Previews().end() ? preview->second : PlaceholderThumbnail(entries[i].space),
                         hasContent, &result);
    }
    result += "]}";
    WriteLog("listViews " + std::to_string(entries.size()) + " (" + LastCameraText() + ")");
    ReplyOk(palette, id, result);
}
}  // namespace OvraViews
