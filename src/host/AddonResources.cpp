// Lookups into the add-on's resource tables.
#include "host/AddonResources.h"

std::string AddonResources::String(int32_t listId, int32_t index) const {
    for (const auto& list : stringLists)
        if (list.id == listId && index >= 1 && static_cast<size_t>(index) <= list.strings.size())
            return list.strings[static_cast<size_t>(index) - 1];
    return {};
}

const ResourceDialog* AddonResources::Dialog(int32_t id) const {
    for (const auto& d : dialogs)
        if (d.id == id) return &d;
    return nullptr;
}
