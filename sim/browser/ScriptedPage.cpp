// The scripted page.
#include "sim/browser/ScriptedPage.h"

#include <algorithm>
#include <string_view>

#include "platform/Utf.h"
#include "sim/browser/PageJson.h"

namespace {
constexpr std::string_view kReceivePrefix = "window.TamselBridge&&window.TamselBridge.receive(";
}  // namespace

std::string ScriptedPage::Message::Id() const { return PageMember(*document, "id"); }

bool ScriptedPage::Message::Ok() const {
    const rapidjson::Value& reply = *document;
    auto it = reply.FindMember("ok");
    return it != reply.MemberEnd() && it->value.IsBool() && it->value.GetBool();
}

std::string ScriptedPage::Message::ErrorCode() const {
    const rapidjson::Value& reply = *document;
    auto it = reply.FindMember("error");
    return it == reply.MemberEnd() ? std::string() : PageMember(it->value, "code");
}

void ScriptedPage::LoadUrl(const std::u16string& url) {
    if (live_) live_->LoadUrl(url);
    loads_.push_back({true, Utf16ToUtf8(url)});
    timeline_.push_back("load");
    loading_ = true;
    if (loadingHandler_) loadingHandler_(true);
}

void ScriptedPage::LoadHtml(const std::u16string& html) {
    if (live_) live_->LoadHtml(html);
    loads_.push_back({false, onlyMessages_ ? std::string() : Utf16ToUtf8(html)});
    timeline_.push_back("load");
    loading_ = true;
    if (loadingHandler_) loadingHandler_(true);
}

void ScriptedPage::ExecuteScript(const std::u16string& script) {
    if (live_) live_->ExecuteScript(script);
    if (!recordScripts_) return;
    if (onlyMessages_ && (script.size() <= kReceivePrefix.size() ||
                          !std::equal(kReceivePrefix.begin(), kReceivePrefix.end(), script.begin())))
        return;
    std::string text = Utf16ToUtf8(script);
    if (text.size() > kReceivePrefix.size() && text.compare(0, kReceivePrefix.size(), kReceivePrefix) == 0 &&
        text.back() == ')') {
        Message message;
        message.json = text.substr(kReceivePrefix.size(), text.size() - kReceivePrefix.size() - 1);
        message.document = std::make_shared<rapidjson::Document>();
        message.document->Parse(message.json.data(), message.json.size());
        if (!message.document->HasParseError() && message.document->IsObject()) {
            messages_.push_back(message);
            timeline_.push_back("message " + messages_.back().Id());
            if (onMessage) onMessage(messages_.back());
        }
    }
    scripts_.push_back(std::move(text));
}

void ScriptedPage::RegisterNativeObject(const NativeObject& object) {
    if (live_) live_->RegisterNativeObject(object);
    std::lock_guard<std::mutex> lock(objectsMutex_);
    objects_[object.name] = object;
}

void ScriptedPage::UnregisterNativeObject(const std::string& name) {
    if (live_) live_->UnregisterNativeObject(name);
    std::lock_guard<std::mutex> lock(objectsMutex_);
    objects_.erase(name);
}

void ScriptedPage::OnLoadingStateChanged(std::function<void(bool)> handler) { loadingHandler_ = std::move(handler); }

void ScriptedPage::Mirror(Browser* live) {
    if (live_) live_->OnLoadingStateChanged(nullptr);
    live_ = live;
    if (!live_) return;
    live_->OnLoadingStateChanged([this](bool isLoading) {
        loading_ = isLoading;
        if (loadingHandler_) loadingHandler_(isLoading);
    });
    std::vector<NativeObject> objects;
    {
        std::lock_guard<std::mutex> lock(objectsMutex_);
        for (const auto& [name, object] : objects_) objects.push_back(object);
    }
    for (const NativeObject& object : objects) live_->RegisterNativeObject(object);
    if (!loads_.empty()) {
        const std::u16string text = Utf8ToUtf16(loads_.back().text);
        loads_.back().isUrl ? live_->LoadUrl(text) : live_->LoadHtml(text);
    }
}

bool ScriptedPage::FinishLoading() {
    if (!loading_ || live_) return false;
    loading_ = false;
    if (loadingHandler_) loadingHandler_(false);
    return true;
}

std::optional<bool> ScriptedPage::Call(const std::string& object, const std::string& function,
                                       const NativeArg& argument) {
    NativeFunction target;
    {
        std::lock_guard<std::mutex> lock(objectsMutex_);
        const auto it = objects_.find(object);
        if (it == objects_.end()) return std::nullopt;
        for (const auto& [name, fn] : it->second.functions)
            if (name == function) target = fn;
    }
    if (!target) return std::nullopt;
    return target(argument);
}

std::optional<bool> ScriptedPage::Post(const std::string& text) {
    return Call("TamselAC", "post", NativeArg{NativeArg::Kind::String, text});
}

bool ScriptedPage::HasNativeObject(const std::string& name) const {
    std::lock_guard<std::mutex> lock(objectsMutex_);
    return objects_.count(name) != 0;
}

void ScriptedPage::ClearRecords() {
    loads_.clear();
    scripts_.clear();
    messages_.clear();
    timeline_.clear();
}

std::vector<const ScriptedPage::Message*> ScriptedPage::RepliesTo(const std::string& id) const {
    std::vector<const Message*> found;
    for (const Message& m : messages_)
        if (m.Id() == id) found.push_back(&m);
    return found;
}
