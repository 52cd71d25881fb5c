// Service requests are not available yet: "api" is answered "unsupported".
#include "handlers/service/ApiRequest.h"

#include "panel/Replies.h"

void HandleApi(Palette& palette, const std::string& id, const rapidjson::Value&) {
    ReplyError(palette, id, MakeFailure("unsupported", "", 0));
}
