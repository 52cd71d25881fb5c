// The page's native objects "TamselAC" and "ACAPI".
#include "panel/NativeObjects.h"

#include "panel/Palette.h"
#include "panel/Upcalls.h"
#include "platform/System.h"

namespace {
NativeFunction MakeNativePost(Palette& palette) {
    Palette* target = &palette;
    const uint32_t hostThread = palette.hostThreadId;
    return [target, hostThread](const NativeArg& arg) {
        if (arg.kind != NativeArg::Kind::String) return true;
        if (CurrentThreadId() == hostThread) {
            Upcalls().dispatch(*target, arg.text);
        } else {
            PostToHost(*ProcessMailbox(), [text = arg.text](Palette& p) { Upcalls().dispatch(p, text); });
        }
        return true;
    };
}
}  // namespace

void RegisterHost(Palette& palette) {
    palette.browser.RegisterNativeObject({"TamselAC", {{"post", MakeNativePost(palette)}}});
    palette.browser.RegisterNativeObject({"ACAPI", {{"TamselSend", MakeNativePost(palette)}}});
}

void UnregisterHost(Palette& palette) {
    palette.browser.UnregisterNativeObject("TamselAC");
    palette.browser.UnregisterNativeObject("ACAPI");
}
