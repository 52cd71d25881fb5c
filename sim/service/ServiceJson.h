// The JSON forms of scripted answers and of the service's record, as the control interface of
// the standalone service carries them. Byte strings (request and header lines, bodies) travel as
// JSON strings whose code points are their bytes (U+0000 to U+00FF), so any bytes survive and
// ASCII reads as itself.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "sim/service/ServiceAccount.h"
#include "sim/service/ServiceScript.h"

// {"action":"answer"|"drop"|"hold","status":N,"reason":S,"headers":[S...],"body":S,
//  "bodySize":N,"delayMs":N,"path":S,"chunked":B,"keepAlive":B,"uneven":B}; every member but
//  "action" and "status" may be left out;
// "path" is the path the answer is kept for (ScriptedAnswer::forPath).
std::string AnswersToJson(const std::vector<ScriptedAnswer>& answers);
// Reads one answer object or an array of them. Unknown members, wrong types, code points above
// U+00FF and values out of range throw std::invalid_argument with a message that names the fault.
std::vector<ScriptedAnswer> AnswersFromJson(std::string_view json);

// {"connections":N,"requests":[{"connection":N,"requestLine":S,"headers":[S...],"body":S}...],
//  "violations":[S...]}
std::string RecordToJson(const ServiceRecord& record);
// Throws std::invalid_argument when the text is not such a record.
ServiceRecord RecordFromJson(std::string_view json);

// The record as JSON lines, one object a request in the order received, each ending in LF:
// {"connection":N,"method":S,"path":S,"headers":[S...],"bodySize":N,"body":S}
// "path" is the request target with its query; the header lines are byte strings (as above);
// "body" is the body's text when it is shorter than 4096 bytes and valid UTF-8, and
// "bodyBase64" takes its place when it is shorter than 4096 bytes and not UTF-8; a longer body
// has neither.
std::string RecordToJsonLines(const ServiceRecord& record);

// The account records, as the control interface carries them: {"credits":N,"charged":N,
// "activeTokens":N,"uploads":N,"jobs":N}, and arrays of objects with the members of DeviceState,
// UploadState and JobState under the same names. The readers throw std::invalid_argument.
std::string AccountToJson(const AccountState& account);
AccountState AccountFromJson(std::string_view json);
std::string DevicesToJson(const std::vector<DeviceState>& devices);
std::vector<DeviceState> DevicesFromJson(std::string_view json);
std::string UploadsToJson(const std::vector<UploadState>& uploads);
std::vector<UploadState> UploadsFromJson(std::string_view json);
std::string JobsToJson(const std::vector<JobState>& jobs);
std::vector<JobState> JobsFromJson(std::string_view json);

// Bytes as a string of code points U+0000 to U+00FF, in UTF-8, and back. The reverse throws
// std::invalid_argument for a code point above U+00FF or invalid UTF-8.
std::string BytesToCodePoints(std::string_view bytes);
std::string CodePointsToBytes(std::string_view utf8);
