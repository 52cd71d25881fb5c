// Look-ups in the simulated project's model.
#include "sim/host/SimModel.h"

#include <algorithm>

HostGuid SimGuid(std::string_view key) {
    // Two FNV-1a hashes with different offsets give the sixteen bytes.
    auto fnv = [key](uint64_t h) {
        for (const char c : key) h = (h ^ static_cast<uint8_t>(c)) * 0x100000001B3ull;
        return h;
    };
    const uint64_t a = fnv(0xCBF29CE484222325ull), b = fnv(0x84222325CBF29CE4ull);
    HostGuid g;
    g.data1 = static_cast<uint32_t>(a >> 32);
    g.data2 = static_cast<uint16_t>(a >> 16);
    g.data3 = static_cast<uint16_t>((a & 0x0FFF) | 0x4000);  // a version-4 look
    for (int i = 0; i < 8; ++i) g.data4[static_cast<size_t>(i)] = static_cast<uint8_t>(b >> (56 - 8 * i));
    return g;
}

const SimElement* SimModel::FindElement(const HostGuid& guid) const {
    for (const SimElement& e : elements)
        if (e.guid == guid) return &e;
    return nullptr;
}

const SimStory* SimModel::FindStory(int32_t index) const {
    for (const SimStory& s : stories)
        if (s.index == index) return &s;
    return nullptr;
}

const SimWindowRecord* SimModel::FindWindow(int32_t kind) const {
    for (const SimWindowRecord& w : windows)
        if (w.info.kind == kind) return &w;
    return nullptr;
}

const SimLayerCombination* SimModel::FindLayerCombination(int32_t index) const {
    if (index < 1 || index > static_cast<int32_t>(layerCombinations.size())) return nullptr;
    return &layerCombinations[static_cast<size_t>(index - 1)];
}

bool SimLayerCombination::Hides(int32_t typeCode) const {
    return std::find(hiddenTypes.begin(), hiddenTypes.end(), typeCode) != hiddenTypes.end();
}

namespace {
const SimNavigatorNode* FindIn(const SimNavigatorNode& node, const HostGuid& guid) {
    if (node.item.guid == guid) return &node;
    for (const SimNavigatorNode& child : node.children)
        if (const SimNavigatorNode* found = FindIn(child, guid)) return found;
    return nullptr;
}
}  // namespace

const SimNavigatorNode* SimModel::NavigatorMap(int32_t mapId) const {
    return mapId == 1 ? &projectMap : mapId == 2 ? &viewMap : nullptr;
}

const SimNavigatorNode* SimModel::FindNavigatorItem(const HostGuid& guid, int32_t* mapId) const {
    for (int32_t map = 1; map <= 2; ++map)
        if (const SimNavigatorNode* found = FindIn(*NavigatorMap(map), guid)) {
            *mapId = map;
            return found;
        }
    return nullptr;
}

bool SimModel::ElementBox(const SimElement& element, Box3D* box) {
    if (element.parts.empty()) return false;
    Box3D b = element.parts.front();
    for (const Box3D& p : element.parts) {
        b.xMin = std::min(b.xMin, p.xMin), b.yMin = std::min(b.yMin, p.yMin), b.zMin = std::min(b.zMin, p.zMin);
        b.xMax = std::max(b.xMax, p.xMax), b.yMax = std::max(b.yMax, p.yMax), b.zMax = std::max(b.zMax, p.zMax);
    }
    *box = b;
    return true;
}

bool SimModel::Extent(Box3D* box) const {
    bool any = false;
    Box3D all;
    for (const SimElement& e : elements) {
        Box3D b;
        if (e.typeCode == SimType::kZone || !ElementBox(e, &b)) continue;
        if (!any) {
            all = b;
            any = true;
            continue;
        }
        all.xMin = std::min(all.xMin, b.xMin), all.yMin = std::min(all.yMin, b.yMin);
        all.zMin = std::min(all.zMin, b.zMin), all.xMax = std::max(all.xMax, b.xMax);
        all.yMax = std::max(all.yMax, b.yMax), all.zMax = std::max(all.zMax, b.zMax);
    }
    if (any) *box = all;
    return any;
}

bool SimModel::DeleteElement(const HostGuid& guid) {
    const auto it = std::find_if(elements.begin(), elements.end(), [&](const SimElement& e) { return e.guid == guid; });
    if (it == elements.end()) return false;
    elements.erase(it);
    return true;
}

SimWorksheet* SimModel::FindWorksheet(const HostGuid& guid) {
    for (SimWorksheet& w : worksheets)
        if (w.guid == guid) return &w;
    return nullptr;
}
