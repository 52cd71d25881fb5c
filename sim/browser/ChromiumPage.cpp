// The Chromium page over the DevTools protocol.
#include "sim/browser/ChromiumPage.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/Utf.h"
#include "sim/browser/PageJson.h"

namespace {
// The page-side function through which every native object's functions reach the host.
constexpr const char* kBinding = "__tamselNative";

std::string Quote(const std::string& text) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
    return std::string(buffer.GetString(), buffer.GetSize());
}

std::string Write(const rapidjson::Value& value) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    value.Accept(writer);
    return std::string(buffer.GetString(), buffer.GetSize());
}

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64Encode(const std::string& bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const uint32_t v = (uint32_t(uint8_t(bytes[i])) << 16) | (uint32_t(uint8_t(bytes[i + 1])) << 8) |
                           uint8_t(bytes[i + 2]);
        for (int s = 18; s >= 0; s -= 6) out.push_back(kBase64[(v >> s) & 63]);
    }
    if (i < bytes.size()) {
        uint32_t v = uint32_t(uint8_t(bytes[i])) << 16;
        if (i + 1 < bytes.size()) v |= uint32_t(uint8_t(bytes[i + 1])) << 8;
        out.push_back(kBase64[(v >> 18) & 63]);
        out.push_back(kBase64[(v >> 12) & 63]);
        out.push_back(i + 1 < bytes.size() ? kBase64[(v >> 6) & 63] : '=');
        out.push_back('=');
    }
    return out;
}

bool Base64Decode(const std::string& text, std::vector<uint8_t>* bytes) {
    bytes->clear();
    uint32_t v = 0;
    int bits = 0;
    for (char c : text) {
        if (c == '=') break;
        const char* p = std::strchr(kBase64, c);
        if (c == '\0' || p == nullptr) return false;
        v = (v << 6) | uint32_t(p - kBase64);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes->push_back(uint8_t(v >> bits));
        }
    }
    return true;
}

// The page-side object whose functions pass their first argument, and its kind, to the binding.
std::string ObjectScript(const NativeObject& object) {
    std::string script = "(function(){var b=function(f,a){var k=a===null?'null':typeof a;" +
                         std::string(kBinding) + "(JSON.stringify({o:" + Quote(object.name) +
                         ",f:f,k:k,t:typeof a==='string'?a:''}));return true};window[" + Quote(object.name) + "]={";
    for (size_t i = 0; i < object.functions.size(); ++i) {
        const std::string name = Quote(object.functions[i].first);
        script += (i ? "," : "") + name + ":function(a){return b(" + name + ",a)}";
    }
    return script + "}})();";
}

NativeArg::Kind KindOf(const std::string& kind) {
    if (kind == "string") return NativeArg::Kind::String;
    if (kind == "null") return NativeArg::Kind::Null;
    if (kind == "boolean") return NativeArg::Kind::Boolean;
    if (kind == "number") return NativeArg::Kind::Number;
    if (kind == "undefined") return NativeArg::Kind::Undefined;
    return NativeArg::Kind::Object;
}
}  // namespace

std::unique_ptr<ChromiumPage> ChromiumPage::Start(const Options& options, std::string* error) {
    std::string reason;
    auto pipe = StartChromiumPipe(options.launch, &reason);
    if (!pipe) {
        *error = "Chromium cannot start: " + reason;
        return nullptr;
    }
    std::unique_ptr<ChromiumPage> page(new ChromiumPage());
    page->pipe_ = std::move(pipe);
    page->reader_ = std::thread([p = page.get()] { p->ReadLoop(); });
    const auto fail = [&](const std::string& what) {
        std::string last = page->pipe_->LastErrorLine();
        *error = "Chromium cannot start: " + what + (last.empty() ? "" : " (" + last + ")");
        return nullptr;
    };
    auto target = page->Call("Target.createTarget", R"({"url":"about:blank"})", options.startTimeout, true);
    if (!target || !target->ok) return fail(target ? target->result : "no answer on its DevTools pipe");
    rapidjson::Document d;
    d.Parse(target->result.c_str());
    page->targetId_ = PageMember(d, "targetId");
    auto attach = page->Call("Target.attachToTarget",
                             R"({"targetId":)" + Quote(page->targetId_) + R"(,"flatten":true})", options.startTimeout,
                             true);
    if (!attach || !attach->ok) return fail("cannot attach to its page");
    d.Parse(attach->result.c_str());
    page->sessionId_ = PageMember(d, "sessionId");
    for (const auto& [method, params] : std::vector<std::pair<std::string, std::string>>{
             {"Page.enable", "{}"},
             {"Runtime.enable", "{}"},
             {"Runtime.addBinding", std::string(R"({"name":")") + kBinding + R"("})"},
         }) {
        auto r = page->Call(method, params, options.startTimeout);
        if (!r || !r->ok) return fail(method + " failed");
    }
    if (!page->SetViewport(options.width, options.height)) return fail("cannot set the viewport");
    return page;
}

ChromiumPage::~ChromiumPage() {
    if (pipe_) {
        Send("Browser.close", "{}", true);
        pipe_->Terminate();
    }
    if (reader_.joinable()) reader_.join();
}

int64_t ChromiumPage::Send(const std::string& method, const std::string& params, bool browserLevel) {
    int64_t id = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return 0;
        id = nextId_++;
        pending_[id];
    }
    std::string message = R"({"id":)" + std::to_string(id) + R"(,"method":)" + Quote(method) + R"(,"params":)" + params;
    if (!browserLevel && !sessionId_.empty()) message += R"(,"sessionId":)" + Quote(sessionId_);
    message += "}";
    if (!pipe_->Send(message)) {
        std::lock_guard<std::mutex> lock(mutex_);
        pending_.erase(id);
        return 0;
    }
    return id;
}

std::optional<ChromiumPage::Reply> ChromiumPage::Wait(int64_t id, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    const bool done = answered_.wait_for(lock, timeout, [&] {
        auto it = pending_.find(id);
        return it == pending_.end() || it->second.done || closed_;
    });
    auto it = pending_.find(id);
    if (!done || it == pending_.end() || !it->second.done) {
        if (it != pending_.end()) pending_.erase(it);
        return std::nullopt;
    }
    Reply reply = std::move(it->second.reply);
    pending_.erase(it);
    return reply;
}

std::optional<ChromiumPage::Reply> ChromiumPage::Call(const std::string& method, const std::string& params,
                                                      std::chrono::milliseconds timeout, bool browserLevel) {
    const int64_t id = Send(method, params, browserLevel);
    if (id == 0) return std::nullopt;
    return Wait(id, timeout);
}

void ChromiumPage::ReadLoop() {
    std::string text;
    while (pipe_->Receive(&text)) {
        rapidjson::Document d;
        d.Parse(text.data(), text.size());
        if (d.HasParseError() || !d.IsObject()) continue;
        auto id = std::as_const(d).FindMember("id");
        std::lock_guard<std::mutex> lock(mutex_);
        if (id != std::as_const(d).MemberEnd() && id->value.IsInt64()) {
            auto it = pending_.find(id->value.GetInt64());
            if (it == pending_.end()) continue;  // a command nobody waits for
            Reply& reply = it->second.reply;
            auto error = std::as_const(d).FindMember("error");
            reply.ok = error == std::as_const(d).MemberEnd();
            if (reply.ok) {
                auto result = std::as_const(d).FindMember("result");
                reply.result = result != std::as_const(d).MemberEnd() ? Write(result->value) : "{}";
            } else {
                reply.result = PageMember(error->value, "message");
            }
            it->second.done = true;
            answered_.notify_all();
            continue;
        }
        const std::string method = PageMember(d, "method");
        auto params = std::as_const(d).FindMember("params");
        if (params == std::as_const(d).MemberEnd()) continue;
        if (method == "Runtime.exceptionThrown") {
            const rapidjson::Value& details = params->value["exceptionDetails"];
            std::string line = PageMember(details, "text");
            auto exception = details.FindMember("exception");
            if (exception != details.MemberEnd()) line += " " + PageMember(exception->value, "description");
            pageErrors_.push_back(line);
        } else if (method == "Runtime.consoleAPICalled" && PageMember(params->value, "type") == "error") {
            std::string line = "console.error:";
            for (const auto& arg : params->value["args"].GetArray())
                line += " " + (arg.HasMember("value") ? Write(arg["value"]) : PageMember(arg, "description"));
            pageErrors_.push_back(line);
        } else if (method == "Runtime.bindingCalled" || method == "Page.frameStartedLoading" ||
                   method == "Page.frameStoppedLoading") {
            events_.push_back({method, Write(params->value)});
        }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    answered_.notify_all();
}

size_t ChromiumPage::Pump() {
    std::deque<Event> events;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        events.swap(events_);
    }
    for (const Event& e : events) Deliver(e);
    return events.size();
}

void ChromiumPage::Deliver(const Event& event) {
    rapidjson::Document params;
    params.Parse(event.params.c_str());
    if (event.method == "Runtime.bindingCalled") {
        if (PageMember(params, "name") != kBinding) return;
        const std::string payload = PageMember(params, "payload");
        rapidjson::Document call;
        call.Parse(payload.c_str());
        auto object = objects_.find(PageMember(call, "o"));
        if (object == objects_.end()) return;  // unregistered meanwhile
        const std::string function = PageMember(call, "f");
        for (const auto& [name, fn] : object->second.functions)
            if (name == function && fn) fn(NativeArg{KindOf(PageMember(call, "k")), PageMember(call, "t")});
        return;
    }
    // Only the page's main frame (whose id is the target's) counts as the page loading.
    if (PageMember(params, "frameId") != targetId_) return;
    const bool isLoading = event.method == "Page.frameStartedLoading";
    if (isLoading) awaitingStart_ = false;
    else if (awaitingStart_) return;
    loading_ = isLoading;
    if (loadingHandler_) loadingHandler_(isLoading);
}

void ChromiumPage::LoadUrl(const std::u16string& url) {
    loading_ = awaitingStart_ = true;
    Send("Page.navigate", R"({"url":)" + Quote(Utf16ToUtf8(url)) + "}");
}

void ChromiumPage::LoadHtml(const std::u16string& html) {
    loading_ = awaitingStart_ = true;
    const std::string url = "data:text/html;charset=utf-8;base64," + Base64Encode(Utf16ToUtf8(html));
    Send("Page.navigate", R"({"url":)" + Quote(url) + "}");
}

void ChromiumPage::ExecuteScript(const std::u16string& script) {
    Send("Runtime.evaluate", R"({"expression":)" + Quote(Utf16ToUtf8(script)) + "}");
}

void ChromiumPage::RegisterNativeObject(const NativeObject& object) {
    UnregisterNativeObject(object.name);
    objects_[object.name] = object;
    const std::string script = ObjectScript(object);
    // For every document loaded from now on, and for the one already there.
    auto added = Call("Page.addScriptToEvaluateOnNewDocument", R"({"source":)" + Quote(script) + "}",
                      std::chrono::seconds(10));
    if (added && added->ok) {
        rapidjson::Document d;
        d.Parse(added->result.c_str());
        objectScripts_[object.name] = PageMember(d, "identifier");
    }
    Send("Runtime.evaluate", R"({"expression":)" + Quote(script) + "}");
}

void ChromiumPage::UnregisterNativeObject(const std::string& name) {
    if (objects_.erase(name) == 0) return;
    auto script = objectScripts_.find(name);
    if (script != objectScripts_.end()) {
        Send("Page.removeScriptToEvaluateOnNewDocument", R"({"identifier":)" + Quote(script->second) + "}");
        objectScripts_.erase(script);
    }
    Send("Runtime.evaluate", R"({"expression":)" + Quote("delete window[" + Quote(name) + "]") + "}");
}

void ChromiumPage::OnLoadingStateChanged(std::function<void(bool)> handler) { loadingHandler_ = std::move(handler); }

std::optional<std::string> ChromiumPage::Evaluate(const std::string& expression, std::string* error,
                                                  std::chrono::milliseconds timeout) {
    auto reply = Call("Runtime.evaluate",
                      R"({"expression":)" + Quote(expression) + R"(,"returnByValue":true,"awaitPromise":true})",
                      timeout);
    std::string ignored;
    std::string& why = error ? *error : ignored;
    if (!reply) return why = Alive() ? "the page did not answer in time" : "the browser has gone", std::nullopt;
    if (!reply->ok) return why = reply->result, std::nullopt;
    rapidjson::Document d;
    d.Parse(reply->result.c_str());
    auto details = std::as_const(d).FindMember("exceptionDetails");
    if (details != std::as_const(d).MemberEnd()) {
        auto exception = details->value.FindMember("exception");
        why = exception != details->value.MemberEnd() ? PageMember(exception->value, "description")
                                                       : PageMember(details->value, "text");
        return std::nullopt;
    }
    const rapidjson::Value& result = d["result"];
    auto value = result.FindMember("value");
    return value != result.MemberEnd() ? Write(value->value) : std::string("null");
}

bool ChromiumPage::Click(const std::string& selector, std::string* error) {
    std::string why;
    auto where = Evaluate("(function(){var e=document.querySelector(" + Quote(selector) +
                              ");if(!e)return null;e.scrollIntoView({block:'center'});var r=e.getBoundingClientRect();"
                              "return [r.left+r.width/2,r.top+r.height/2]})()",
                          &why);
    rapidjson::Document d;
    if (where) d.Parse(where->c_str());
    if (!where || !d.IsArray() || d.Size() != 2) {
        if (error) *error = where ? "no element " + selector : why;
        return false;
    }
    const std::string at = R"("x":)" + std::to_string(d[0].GetDouble()) + R"(,"y":)" + std::to_string(d[1].GetDouble());
    for (const char* type : {"mouseMoved", "mousePressed", "mouseReleased"}) {
        auto r = Call("Input.dispatchMouseEvent",
                      std::string(R"({"type":")") + type + R"(",)" + at + R"(,"button":"left","clickCount":1})",
                      std::chrono::seconds(10));
        if (!r || !r->ok) {
            if (error) *error = r ? r->result : "no answer to a mouse event";
            return false;
        }
    }
    return true;
}

bool ChromiumPage::Type(const std::string& text) {
    auto r = Call("Input.insertText", R"({"text":)" + Quote(text) + "}", std::chrono::seconds(10));
    return r && r->ok;
}

bool ChromiumPage::Screenshot(std::vector<uint8_t>* png, std::string* error) {
    // The whole page, not only the viewport: the palette's content scrolls below its height.
    const auto size = Evaluate("[document.documentElement.scrollWidth,document.documentElement.scrollHeight].join(' ')");
    int width = 0, height = 0;
    if (!size || std::sscanf(size->c_str(), "\"%d %d\"", &width, &height) != 2 || width <= 0 || height <= 0) {
        if (error) *error = "the page's size cannot be read";
        return false;
    }
    auto reply = Call("Page.captureScreenshot",
                      R"({"format":"png","captureBeyondViewport":true,"clip":{"x":0,"y":0,"width":)" +
                          std::to_string(width) + R"(,"height":)" + std::to_string(std::min(height, 8000)) +
                          R"(,"scale":1}})",
                      std::chrono::seconds(20));
    if (!reply || !reply->ok) {
        if (error) *error = reply ? reply->result : "no screenshot in time";
        return false;
    }
    rapidjson::Document d;
    d.Parse(reply->result.c_str());
    return Base64Decode(PageMember(d, "data"), png) && !png->empty();
}

bool ChromiumPage::SetViewport(int width, int height) {
    auto r = Call("Emulation.setDeviceMetricsOverride",
                  R"({"width":)" + std::to_string(width) + R"(,"height":)" + std::to_string(height) +
                      R"(,"deviceScaleFactor":1,"mobile":false})",
                  std::chrono::seconds(10));
    return r && r->ok;
}

std::vector<std::string> ChromiumPage::PageErrors() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pageErrors_;
}

bool ChromiumPage::Alive() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return !closed_;
}
