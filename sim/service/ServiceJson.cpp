// JSON forms of scripted answers and of the service's record.
#include "sim/service/ServiceJson.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <stdexcept>

namespace {
constexpr uint64_t kLargestGeneratedBody = uint64_t{1} << 30;
constexpr int64_t kLongestDelayMs = 600000;

using Writer = rapidjson::Writer<rapidjson::StringBuffer>;

void WriteBytes(Writer& writer, std::string_view bytes) {
    const std::string text = BytesToCodePoints(bytes);
    writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
}

void WriteKey(Writer& writer, const char* key) { writer.Key(key); }

const char* ActionName(ScriptedAnswer::Action action) {
    switch (action) {
        case ScriptedAnswer::Action::Drop: return "drop";
        case ScriptedAnswer::Action::Hold: return "hold";
        case ScriptedAnswer::Action::Answer: break;
    }
    return "answer";
}

[[noreturn]] void Refuse(const std::string& what) { throw std::invalid_argument(what); }

rapidjson::Document Parse(std::string_view json) {
    rapidjson::Document document;
    document.Parse<rapidjson::kParseValidateEncodingFlag>(json.data(), json.size());
    if (document.HasParseError())
        Refuse(std::string("not JSON: ") + rapidjson::GetParseError_En(document.GetParseError()) + " at offset " +
               std::to_string(document.GetErrorOffset()));
    return document;
}

std::string ReadBytes(const rapidjson::Value& value, const char* name) {
    if (!value.IsString()) Refuse(std::string("\"") + name + "\" must be a string");
    return CodePointsToBytes(std::string_view(value.GetString(), value.GetStringLength()));
}

std::vector<std::string> ReadLines(const rapidjson::Value& value, const char* name) {
    if (!value.IsArray()) Refuse(std::string("\"") + name + "\" must be an array of strings");
    std::vector<std::string> lines;
    for (const auto& line : value.GetArray()) lines.push_back(ReadBytes(line, name));
    return lines;
}

uint64_t ReadCount(const rapidjson::Value& value, const char* name, uint64_t largest) {
    if (!value.IsUint64() || value.GetUint64() > largest)
        Refuse(std::string("\"") + name + "\" must be a whole number from 0 to " + std::to_string(largest));
    return value.GetUint64();
}

ScriptedAnswer ReadAnswer(const rapidjson::Value& object) {
    if (!object.IsObject()) Refuse("an answer must be a JSON object");
    ScriptedAnswer answer;
    for (const auto& member : object.GetObject()) {
        const std::string name(member.name.GetString(), member.name.GetStringLength());
        const rapidjson::Value& value = member.value;
        if (name == "action") {
            const std::string action = ReadBytes(value, "action");
            if (action == "answer") answer.action = ScriptedAnswer::Action::Answer;
            else if (action == "drop") answer.action = ScriptedAnswer::Action::Drop;
            else if (action == "hold") answer.action = ScriptedAnswer::Action::Hold;
            else Refuse("\"action\" must be \"answer\", \"drop\" or \"hold\"");
        } else if (name == "status") {
            if (!value.IsInt() || value.GetInt() < 100 || value.GetInt() > 999)
                Refuse("\"status\" must be a whole number from 100 to 999");
            answer.status = value.GetInt();
        } else if (name == "reason") {
            answer.reason = ReadBytes(value, "reason");
        } else if (name == "headers") {
            answer.headerLines = ReadLines(value, "headers");
        } else if (name == "body") {
            answer.body = ReadBytes(value, "body");
        } else if (name == "bodySize") {
            answer.generatedBodySize = ReadCount(value, "bodySize", kLargestGeneratedBody);
        } else if (name == "delayMs") {
            answer.delay = std::chrono::milliseconds(ReadCount(value, "delayMs", kLongestDelayMs));
        } else {
            Refuse("unknown member \"" + name + "\"");
        }
    }
    for (const std::string& line : answer.headerLines)
        if (line.find_first_of("\r\n") != std::string::npos) Refuse("a header line must not hold CR or LF");
    if (answer.reason.find_first_of("\r\n") != std::string::npos) Refuse("\"reason\" must not hold CR or LF");
    return answer;
}

const rapidjson::Value& Member(const rapidjson::Value& object, const char* name) {
    const auto found = object.FindMember(name);
    if (found == object.MemberEnd()) Refuse(std::string("missing member \"") + name + "\"");
    return found->value;
}
}  // namespace

std::string BytesToCodePoints(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            text.push_back(c);
        } else {
            text.push_back(static_cast<char>(0xC0 | (byte >> 6)));
            text.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
        }
    }
    return text;
}

std::string CodePointsToBytes(std::string_view utf8) {
    std::string bytes;
    bytes.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            bytes.push_back(utf8[i]);
            continue;
        }
        if ((lead == 0xC2 || lead == 0xC3) && i + 1 < utf8.size() &&
            (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80) {
            bytes.push_back(static_cast<char>(((lead & 0x03) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F)));
            ++i;
            continue;
        }
        Refuse("a byte string holds a code point above U+00FF or invalid UTF-8");
    }
    return bytes;
}

std::string AnswersToJson(const std::vector<ScriptedAnswer>& answers) {
    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    writer.StartArray();
    for (const ScriptedAnswer& answer : answers) {
        writer.StartObject();
        WriteKey(writer, "action");
        writer.String(ActionName(answer.action));
        WriteKey(writer, "status");
        writer.Int(answer.status);
        if (!answer.reason.empty()) {
            WriteKey(writer, "reason");
            WriteBytes(writer, answer.reason);
        }
        if (!answer.headerLines.empty()) {
            WriteKey(writer, "headers");
            writer.StartArray();
            for (const std::string& line : answer.headerLines) WriteBytes(writer, line);
            writer.EndArray();
        }
        if (answer.generatedBodySize) {
            WriteKey(writer, "bodySize");
            writer.Uint64(*answer.generatedBodySize);
        } else if (!answer.body.empty()) {
            WriteKey(writer, "body");
            WriteBytes(writer, answer.body);
        }
        if (answer.delay.count() != 0) {
            WriteKey(writer, "delayMs");
            writer.Int64(answer.delay.count());
        }
        writer.EndObject();
    }
    writer.EndArray();
    return std::string(buffer.GetString(), buffer.GetSize());
}

std::vector<ScriptedAnswer> AnswersFromJson(std::string_view json) {
    const rapidjson::Document document = Parse(json);
    std::vector<ScriptedAnswer> answers;
    if (document.IsArray()) {
        for (const auto& answer : document.GetArray()) answers.push_back(ReadAnswer(answer));
    } else {
        answers.push_back(ReadAnswer(document));
    }
    return answers;
}

std::string RecordToJson(const ServiceRecord& record) {
    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    writer.StartObject();
    WriteKey(writer, "connections");
    writer.Uint64(record.connections);
    WriteKey(writer, "requests");
    writer.StartArray();
    for (const RecordedRequest& request : record.requests) {
        writer.StartObject();
        WriteKey(writer, "connection");
        writer.Uint64(request.connection);
        WriteKey(writer, "requestLine");
        WriteBytes(writer, request.requestLine);
        WriteKey(writer, "headers");
        writer.StartArray();
        for (const std::string& line : request.headerLines) WriteBytes(writer, line);
        writer.EndArray();
        WriteKey(writer, "body");
        WriteBytes(writer, request.body);
        writer.EndObject();
    }
    writer.EndArray();
    writer.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

ServiceRecord RecordFromJson(std::string_view json) {
    const rapidjson::Document document = Parse(json);
    if (!document.IsObject()) Refuse("a record must be a JSON object");
    ServiceRecord record;
    record.connections = ReadCount(Member(document, "connections"), "connections", UINT64_MAX);
    const rapidjson::Value& requests = Member(document, "requests");
    if (!requests.IsArray()) Refuse("\"requests\" must be an array");
    for (const auto& item : requests.GetArray()) {
        if (!item.IsObject()) Refuse("a recorded request must be a JSON object");
        RecordedRequest request;
        request.connection = ReadCount(Member(item, "connection"), "connection", UINT64_MAX);
        request.requestLine = ReadBytes(Member(item, "requestLine"), "requestLine");
        request.headerLines = ReadLines(Member(item, "headers"), "headers");
        request.body = ReadBytes(Member(item, "body"), "body");
        record.requests.push_back(std::move(request));
    }
    return record;
}
