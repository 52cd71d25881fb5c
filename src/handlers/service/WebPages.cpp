// Opening web pages is not available yet: "openUrl" is answered "unsupported".
#include "handlers/service/WebPages.h"

#include "panel/Replies.h"

void HandleOpenUrl(Palette& palette, const std::string& id, const rapidjson::Value&) {
    ReplyError(palette, id, MakeFailure("unsupported", "", 0));
}
