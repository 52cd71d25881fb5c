// The one seam through which the bridge's core calls the layers above it: the request routing
// hands it the page's requests, the turn of a queued request, the capture's deadline step, and
// the self-test's hooks. The routing installs the table once, when the host loads the add-on;
// until then every entry does nothing. Host thread only.
#pragma once
#include <string>
#include <string_view>

class Palette;
struct ModelOp;

// Replies to ids with this prefix go to the self-test, never to the page.
inline constexpr std::string_view kSelfTestIdPrefix = "selftest-";

struct UpcallTable {
    // A request text posted by the page.
    void (*dispatch)(Palette& palette, const std::string& text);
    // A queued model operation whose turn has come.
    void (*runModelOp)(Palette& palette, const ModelOp& op);
    // The pending capture's deadline has passed.
    void (*captureNow)(Palette& palette);
    // Arms the self-test when the environment asks for it: at palette construction, and again
    // after a project change.
    void (*armSelfTest)(Palette& palette, bool afterProjectChange);
    // Advances the self-test by one step; called after each model-operation step.
    void (*selfTestStep)(Palette& palette);
    // The result or error object of a reply to a self-test id.
    void (*selfTestResult)(Palette& palette, const std::string& id, bool ok, const std::string& json);
};

const UpcallTable& Upcalls();
void InstallUpcalls(const UpcallTable& table);
