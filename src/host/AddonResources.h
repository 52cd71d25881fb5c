// The add-on's resources as the host reads them: string lists, dialogs, module id, icons, version.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct ResourceStringList {
    int32_t id = 0;
    std::vector<std::string> strings;  // index 1 is strings[0]
};

struct ResourceDialogItem {
    int32_t id = 0;
    std::string type;  // "browser"
    int32_t x = 0, y = 0, width = 0, height = 0;
    std::string helpAnchor;
};

struct ResourceDialog {
    int32_t id = 0;
    std::string kind;  // "palette"
    std::string title;
    int32_t width = 0, height = 0;
    std::string helpAnchor;
    std::vector<ResourceDialogItem> items;
};

struct ResourceIcon {
    int32_t id = 0;
    std::string name;  // such as "I32601&192&D"
    int32_t dpi = 0;
    bool dark = false;
    const uint8_t* png = nullptr;
    size_t pngSize = 0;
};

struct AddonResources {
    int32_t languageId = 0;
    std::string version;  // "1.1.0.0"
    std::vector<ResourceStringList> stringLists;
    std::vector<ResourceDialog> dialogs;
    int32_t moduleIdResource = 0;
    uint32_t developerId = 0;
    uint32_t localId = 0;
    std::vector<ResourceIcon> icons;

    // The string at a 1-based index of a list; empty when there is none.
    std::string String(int32_t listId, int32_t index) const;
    const ResourceDialog* Dialog(int32_t id) const;
};

// The resources compiled into this module.
const AddonResources& ModuleResources();
