// The reply side of the bridge: ok and error replies, events sent to the page, and the small
// JSON helpers that requests and replies share. Host thread only, except where a function says
// otherwise.
#pragma once
#include <rapidjson/fwd.h>

#include <string>
#include <string_view>

#include "panel/Failure.h"
#include "panel/PageScript.h"

class Palette;
struct Mailbox;
struct RequestTag;

// Replies to a request; a reply to an id with the reserved prefix goes to its hook, never to the
// page.
void ReplyOk(Palette& palette, const std::string& id, std::string_view resultJson);
void ReplyError(Palette& palette, const std::string& id, const Failure& failure);

// Executes "window.TamselBridge&&window.TamselBridge.receive(" + json + ")" in the page.
void SendToPage(Palette& palette, std::string_view json);

// An ok reply made on a worker in its final form, so that delivering it costs the host thread
// nothing that grows with its size: the page's script, or for an id with the reserved prefix the
// result's JSON, which goes to its hook.
struct PreparedReply {
    std::string id;
    bool reserved = false;
    std::u16string script;
    std::string resultJson;
};
// Any thread. `result` writes the reply's result.
PreparedReply PrepareOkReply(const std::string& id, const JsonWriter& result);
// Answers the request with the prepared reply, as ReplyOk does; a large script's buffer is
// released off the host thread.
void DeliverReply(Palette& palette, PreparedReply reply);
// Any thread: prepares the ok reply to the tagged request here and posts its delivery.
void PostOkReply(Mailbox& mailbox, const RequestTag& tag, const JsonWriter& result);

// The text as a JSON string: quotes, backslash escapes for the quote, the backslash and control
// characters, a "\u" escape for the second half of a surrogate pair standing on its own (the
// three bytes ED B0 80 to ED BF BF, as the parser decodes the escape of one), other bytes
// unchanged.
std::string JsonQuote(std::string_view text);

// The value as compact JSON text, numbers with at most 10 decimal places. False, with the text
// left incomplete, when the value holds a number JSON cannot spell: an infinity, which the parser
// makes of a number just past the largest double (such as 1.8e308) without reporting an error.
bool CompactJson(const rapidjson::Value& value, std::string* text);

// The member as text; empty when the value is not an object or the member is missing or not a
// string.
std::string StringMember(const rapidjson::Value& object, const char* name);

// The request's "payload" member when it is an object, else a null value.
const rapidjson::Value& PayloadOf(const rapidjson::Value& request);

// The error object of a reply: code, message, then reason and retry_after when present.
std::string ErrorObjectJson(const Failure& failure);
