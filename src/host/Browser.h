// The embedded browser item of the palette: page loading, scripts and native objects.
#pragma once
#include <functional>
#include <string>
#include <utility>
#include <vector>

// A value the page passes to a native function. Only strings carry text; the add-on
// ignores every other kind.
struct NativeArg {
    enum class Kind { Undefined, Null, Boolean, Number, String, Object };
    Kind kind = Kind::Undefined;
    std::string text;  // UTF-8, for Kind::String
};

// A native function: called with the page's first argument; its result is the boolean handed
// back to the page. The browser may call it on any thread.
using NativeFunction = std::function<bool(const NativeArg&)>;

struct NativeObject {
    std::string name;
    std::vector<std::pair<std::string, NativeFunction>> functions;
};

// Owned by the host's palette window; every call runs on the host thread.
class Browser {
public:
    virtual ~Browser() = default;
    virtual void LoadUrl(const std::u16string& url) = 0;
    virtual void LoadHtml(const std::u16string& html) = 0;
    virtual void ExecuteScript(const std::u16string& script) = 0;
    virtual void RegisterNativeObject(const NativeObject& object) = 0;
    virtual void UnregisterNativeObject(const std::string& name) = 0;
    // Called with the loading flag each time the page's loading state changes;
    // an empty function unsubscribes.
    virtual void OnLoadingStateChanged(std::function<void(bool isLoading)> handler) = 0;
};
