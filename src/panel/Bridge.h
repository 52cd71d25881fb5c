// The bridge between the page and the add-on: native objects, request dispatch, replies.
// Everything here runs on the host thread, except the native functions' hand-over to the Mailbox.
#pragma once
#include <rapidjson/fwd.h>

#include <string>
#include <string_view>

#include "service/Errors.h"

class Palette;

// Registers the native objects "TamselAC" (function "post") and "ACAPI" (function "TamselSend").
void RegisterHost(Palette& palette);
// Unregisters both objects by name.
void UnregisterHost(Palette& palette);

// Parses one request text and routes it: answered at once, started on a worker, or queued as a
// model operation. Texts that are not a JSON object with an id of 1 to 128 bytes are dropped.
void Dispatch(Palette& palette, const std::string& text);

void ReplyOk(Palette& palette, const std::string& id, std::string_view resultJson);
void ReplyError(Palette& palette, const std::string& id, const Failure& failure);

// Executes "window.TamselBridge&&window.TamselBridge.receive(" + json + ")" in the page.
void SendToPage(Palette& palette, std::string_view json);

// The text as a JSON string: quotes, backslash escapes for the quote, the backslash and control
// characters, other bytes unchanged.
std::string JsonQuote(std::string_view text);

// The member as text; empty when the value is not an object or the member is missing or not a
// string.
std::string StringMember(const rapidjson::Value& object, const char* name);

// The request's "payload" member when it is an object, else a null value.
const rapidjson::Value& PayloadOf(const rapidjson::Value& request);

// The error object of a reply: code, message, then reason and retry_after when present.
std::string ErrorObjectJson(const Failure& failure);
