// The page's native objects "TamselAC" and "ACAPI".
#include "panel/NativeObjects.h"

#include "panel/HostThread.h"
#include "panel/Palette.h"
#include "panel/Serving.h"
#include "panel/Upcalls.h"
#include "platform/System.h"

namespace {
// A text posted now belongs to the page load current now, read from the pair the palette
// publishes; the browser may call from any thread, and the palette may be gone by then.
NativeFunction MakeNativePost(Palette& palette) {
    Palette* target = &palette;
    std::shared_ptr<std::atomic<uint64_t>> published = palette.PublishedLoad();
    return [target, published](const NativeArg& arg) {
        if (arg.kind != NativeArg::Kind::String) return true;
        const uint64_t load = Palette::LoadOfMessage(*published);
        if (CurrentThreadId() == HostThreadId()) {
            AtHostCallBack("native function", [&] { Upcalls().dispatch(*target, arg.text, load); });
        } else {
            PostToHost(*ProcessMailbox(), [text = arg.text, load](Palette& p) { Upcalls().dispatch(p, text, load); });
        }
        return true;
    };
}
}  // namespace

void RegisterHost(Palette& palette) {
    palette.PageBrowser().RegisterNativeObject({"TamselAC", {{"post", MakeNativePost(palette)}}});
    palette.PageBrowser().RegisterNativeObject({"ACAPI", {{"TamselSend", MakeNativePost(palette)}}});
}

void UnregisterHost(Palette& palette) {
    palette.PageBrowser().UnregisterNativeObject("TamselAC");
    palette.PageBrowser().UnregisterNativeObject("ACAPI");
}
