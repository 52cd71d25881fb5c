// References to earlier replies in the simulator's request lines: {{ID.PATH}} stands for the
// JSON text of the value at the dotted PATH (object members, array indexes) of the reply to the
// request whose id is ID; a string keeps its quotes. ID runs to the first ".".
#pragma once
#include <rapidjson/document.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct ReplyReference {
    std::string id;
    std::string path;
};

// The references in a line, in order. False with a message for a "{{" without its "}}" or a
// reference without both an ID and a PATH.
bool FindReferences(std::string_view line, std::vector<ReplyReference>* references, std::string* error);

// The reply to an id, or null when none has arrived.
using ReplyLookup = std::function<const rapidjson::Value*(const std::string& id)>;

// The line with every reference replaced. False with a message when a reply is missing, was an
// error reply ("ok" not true), or has no value at the path.
bool SubstituteReferences(std::string_view line, const ReplyLookup& replies, std::string* out, std::string* error);
