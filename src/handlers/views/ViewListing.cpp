// Listing views is not available yet: "listViews" is answered "unsupported" when its turn comes.
#include "handlers/views/Views.h"

#include "panel/Replies.h"

namespace OvraViews {
void ListViews(Palette& palette, const std::string& id) { ReplyError(palette, id, MakeFailure("unsupported", "", 0)); }
}  // namespace OvraViews
