// References to earlier replies in the simulator's request lines.
#include "sim/RequestReferences.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <charconv>

namespace {
constexpr std::string_view kOpen = "{{", kClose = "}}";

// Calls `each` with the text between each "{{" and its "}}" and the span they cover.
template <typename Each>
bool Scan(std::string_view line, std::string* error, Each each) {
    size_t at = 0;
    while ((at = line.find(kOpen, at)) != std::string_view::npos) {
        const size_t close = line.find(kClose, at + kOpen.size());
        if (close == std::string_view::npos) return *error = "a {{ without its }}", false;
        const std::string_view inner = line.substr(at + kOpen.size(), close - at - kOpen.size());
        const size_t dot = inner.find('.');
        if (dot == 0 || dot == std::string_view::npos || dot + 1 == inner.size())
            return *error = "{{" + std::string(inner) + "}} is not {{ID.PATH}}", false;
        if (!each(ReplyReference{std::string(inner.substr(0, dot)), std::string(inner.substr(dot + 1))}, at,
                  close + kClose.size()))
            return false;
        at = close + kClose.size();
    }
    return true;
}

const rapidjson::Value* Walk(const rapidjson::Value& root, std::string_view path) {
    const rapidjson::Value* v = &root;
    while (v != nullptr) {
        const size_t dot = path.find('.');
        const std::string_view step = path.substr(0, dot);
        if (step.empty()) return nullptr;
        if (v->IsObject()) {
            const auto m = v->FindMember(rapidjson::Value(rapidjson::StringRef(step.data(), step.size())));
            v = m == v->MemberEnd() ? nullptr : &m->value;
        } else if (v->IsArray()) {
            size_t index = 0;
            const auto [end, ec] = std::from_chars(step.data(), step.data() + step.size(), index);
            v = ec != std::errc() || end != step.data() + step.size() || index >= v->Size()
                    ? nullptr
                    : &(*v)[static_cast<rapidjson::SizeType>(index)];
        } else {
            return nullptr;
        }
        if (dot == std::string_view::npos) return v;
        path = path.substr(dot + 1);
    }
    return nullptr;
}
}  // namespace

bool FindReferences(std::string_view line, std::vector<ReplyReference>* references, std::string* error) {
    return Scan(line, error, [&](ReplyReference r, size_t, size_t) {
        references->push_back(std::move(r));
        return true;
    });
}

bool SubstituteReferences(std::string_view line, const ReplyLookup& replies, std::string* out, std::string* error) {
    std::string result;
    size_t copied = 0;
    const bool ok = Scan(line, error, [&](const ReplyReference& r, size_t begin, size_t end) {
        const rapidjson::Value* reply = replies(r.id);
        if (reply == nullptr) return *error = "no reply to request " + r.id, false;
        if (!reply->IsObject() || !reply->HasMember("ok") || !(*reply)["ok"].IsTrue())
            return *error = "request " + r.id + " was answered with an error, so {{" + r.id + "." + r.path +
                            "}} has no value",
                   false;
        const rapidjson::Value* value = Walk(*reply, r.path);
        if (value == nullptr) return *error = "the reply to request " + r.id + " has no " + r.path, false;
        rapidjson::StringBuffer text;
        rapidjson::Writer<rapidjson::StringBuffer> writer(text);
        writer.SetMaxDecimalPlaces(10);
        value->Accept(writer);
        result.append(line.substr(copied, begin - copied));
        result.append(text.GetString(), text.GetSize());
        copied = end;
        return true;
    });
    if (!ok) return false;
    result.append(line.substr(copied));
    *out = std::move(result);
    return true;
}
