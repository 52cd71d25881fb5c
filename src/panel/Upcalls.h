// The one seam through which the bridge's core calls the layers above it: the request routing
// hands it the page's requests, the turn of a queued request, and the palette's own events. The
// routing installs the table once, when the host loads the add-on; until then every entry does
// nothing. Host thread only.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

class Palette;
struct ModelOp;

// Replies to ids with this prefix are reserved for the add-on's own client of the bridge: they
// go to the `reservedReply` hook, never to the page.
inline constexpr std::string_view kReservedIdPrefix = "selftest-";

struct UpcallTable {
    // A request text posted by the page during page load `load` (0: a load since replaced).
    void (*dispatch)(Palette& palette, const std::string& text, uint64_t load);
    // A queued model operation whose turn has come.
    void (*runModelOp)(Palette& palette, const ModelOp& op);
    // The palette was created (false), or loaded its page again after a project change (true).
    void (*opened)(Palette& palette, bool afterProjectChange);
    // The pump has taken one step.
    void (*pumpTurned)(Palette& palette);
    // The result or error object of a reply to an id with the reserved prefix.
    void (*reservedReply)(Palette& palette, const std::string& id, bool ok, const std::string& json);
};

const UpcallTable& Upcalls();
void InstallUpcalls(const UpcallTable& table);
