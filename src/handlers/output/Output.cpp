// Placing, saving and picking are not available yet: each is answered "unsupported" when its
// turn comes in the model-operation queue.
#include "handlers/output/Output.h"

#include "panel/Replies.h"

namespace OvraViews {
void Place(Palette& palette, const std::string& id, const rapidjson::Value&) {
    ReplyError(palette, id, MakeFailure("unsupported", "", 0));
}
}  // namespace OvraViews

void SaveFiles(Palette& palette, const std::string& id, const rapidjson::Value&) {
    ReplyError(palette, id, MakeFailure("unsupported", "", 0));
}

void HandlePickFile(Palette& palette, const std::string& id, const rapidjson::Value&) {
    ReplyError(palette, id, MakeFailure("unsupported", "", 0));
}
