// The scripted page: an in-process stand-in for the embedded browser. It records loads and
// executed scripts, turns each executed receive(...) call into a parsed reply or event, and calls
// the native functions as the page would, from the host thread or from any other thread.
#pragma once
#include <rapidjson/document.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "host/Browser.h"

class ScriptedPage final : public Browser {
public:
    struct Load {
        bool isUrl = false;
        std::string text;  // the URL, or the HTML text, in UTF-8
    };

    // One reply or event as it reached window.TamselBridge.receive.
    struct Message {
        std::string json;
        std::shared_ptr<rapidjson::Document> document;
        std::string Id() const;
        bool Ok() const;
        std::string ErrorCode() const;
    };

    // Browser
    void LoadUrl(const std::u16string& url) override;
    void LoadHtml(const std::u16string& html) override;
    void ExecuteScript(const std::u16string& script) override;
    void RegisterNativeObject(const NativeObject& object) override;
    void UnregisterNativeObject(const std::string& name) override;
    void OnLoadingStateChanged(std::function<void(bool)> handler) override;

    // Hands everything the add-on does to a live browser too (loads, scripts, native objects), so a
    // real engine runs the page while this one keeps its records; the live browser's loading
    // changes become this page's own, and FinishLoading no longer ends a load. The native objects
    // registered and the last load made before the call are replayed to it. Null stops mirroring.
    // The live browser must outlive the mirroring.
    void Mirror(Browser* live);
    // Off: executed scripts go to the live browser alone, unread and unrecorded here (benchmarks
    // of what the add-on itself costs on the host thread). On by default.
    void RecordScripts(bool on) { recordScripts_ = on; }
    // On: the page keeps only the scripts that call its receive function (the messages), not the
    // HTML of each load nor any other script, which a fuzz target that loads a page for every
    // input would otherwise convert and keep each time. Off by default.
    void KeepOnlyMessages(bool on) { onlyMessages_ = on; }

    // Reports that the current load has finished; false when nothing was loading or a live
    // browser reports loading instead.
    bool FinishLoading();
    bool IsLoading() const { return loading_; }

    // Calls object.function(argument) as the page's script would, on the calling thread.
    // Returns the native function's result, or nothing when no such function is registered.
    std::optional<bool> Call(const std::string& object, const std::string& function, const NativeArg& argument);
    // TamselAC.post(text).
    std::optional<bool> Post(const std::string& text);

    bool HasNativeObject(const std::string& name) const;

    // Host thread: what the page has seen so far.
    const std::vector<Load>& Loads() const { return loads_; }
    const std::vector<std::string>& Scripts() const { return scripts_; }
    const std::vector<Message>& Messages() const { return messages_; }
    // Loads and messages in the order they happened: "load" or "message " + id.
    const std::vector<std::string>& Timeline() const { return timeline_; }
    // The messages whose id is the given one.
    std::vector<const Message*> RepliesTo(const std::string& id) const;
    // Forgets the loads, scripts and messages seen so far, so a long run (a fuzzer, a benchmark)
    // keeps its memory flat.
    void ClearRecords();
    // Called on the host thread for each message as it arrives.
    std::function<void(const Message&)> onMessage;

private:
    mutable std::mutex objectsMutex_;
    std::map<std::string, NativeObject> objects_;
    std::function<void(bool)> loadingHandler_;
    bool loading_ = false;
    Browser* live_ = nullptr;
    bool recordScripts_ = true;
    bool onlyMessages_ = false;
    std::vector<Load> loads_;
    std::vector<std::string> scripts_;
    std::vector<Message> messages_;
    std::vector<std::string> timeline_;
};
