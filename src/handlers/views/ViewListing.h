// The pieces of "listViews": the entries of the current view and the navigator's saved views,
// the walk of a navigator map, the interior or exterior guesses and the placeholder thumbnail.
// Host thread only.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "host/HostApi.h"

namespace OvraViews {
// One listed view.
struct ViewEntry {
    std::string id;     // "current", or "nav-" and the navigator item's GUID
    std::string name;   // UTF-8
    std::string space;  // "interior" or "exterior"
    bool available = false;
    std::string reason;  // empty for available views
};

// The box of the building's main elements (walls, slabs, roofs, columns, curtain walls, shells).
struct BuildingBox {
    bool valid = false;
    double xMin = 0, yMin = 0, zMin = 0, xMax = 0, yMax = 0, zMax = 0;
};

// Walks in at most this deep below a map's root, and starts no walk once a map's list holds
// this many entries.
inline constexpr int kMaxWalkDepth = 8;
inline constexpr size_t kMaxEntriesPerMap = 120;

// The current view, then the available saved views of the project map and every saved view of
// the view map, with repeated names numbered; refills ViewCameras. The language is "pt-BR", "es"
// or anything else for English.
std::vector<ViewEntry> CollectViews(const std::u16string& language);

// Appends the views among the parent's descendants, pre-order.
void WalkNavigatorItems(const NavigatorItem& parent, int depth, std::vector<ViewEntry>* entries,
                        const BuildingBox& box, const std::u16string& language);

BuildingBox ComputeBuildingBox();

// "exterior" for an axonometric view (item type 6); otherwise "interior" when the lower-cased
// name contains one of the interior keywords, else "exterior".
std::string ClassifyByName(const std::u16string& name, int32_t itemType);

// "interior" when the camera lies strictly inside the valid box, "exterior" when it does not;
// the fallback when the box is not valid.
std::string ClassifyByBox(const PerspectiveCamera& camera, const BuildingBox& box, const std::string& fallback);

// The current 3D view's guess from the model's extent, faces counted as inside.
std::string ClassifyByModelExtent();

// An SVG data URL: a sofa outline for "interior", a house outline otherwise.
std::string PlaceholderThumbnail(const std::string& space);

// The text in lower case: Latin (with its supplements and Extended-A), Greek and Cyrillic
// capitals become small letters; everything else is kept.
std::u16string LowerCase(std::u16string text);
}  // namespace OvraViews
