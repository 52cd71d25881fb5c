// Reading the pages' JSON messages, shared by the page drivers.
#pragma once
#include <rapidjson/document.h>

#include <string>

// The string member `name` of an object; empty when v is no object or the member is no string.
inline std::string PageMember(const rapidjson::Value& v, const char* name) {
    if (!v.IsObject()) return {};
    auto it = v.FindMember(name);
    return it != v.MemberEnd() && it->value.IsString() ? std::string(it->value.GetString(), it->value.GetStringLength())
                                                       : std::string();
}
