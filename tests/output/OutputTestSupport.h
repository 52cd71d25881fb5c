// What the output suites share: a harness whose requests are driven until their one reply, the
// host log's text, stored images and the error members of a reply.
#pragma once
#include <rapidjson/document.h>

#include <string>

#include "support/Harness.h"

// Turns of the host loop (idle, event-loop calls, 100 ms) until the id has a reply or the turns
// run out; the reply, or null.
const ScriptedPage::Message* RunUntilReply(Harness& h, const std::string& id, int turns = 200);

// The whole host log.
std::string LogText(const Harness& h);

// Stores the bytes under a new "res" reference and returns it.
std::string StoreResult(const std::string& bytes);

// The reply's error reason, or its result member as text.
std::string ErrorReason(const ScriptedPage::Message& reply);
std::string ResultString(const ScriptedPage::Message& reply, const char* member);
