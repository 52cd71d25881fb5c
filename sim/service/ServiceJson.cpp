// JSON forms of scripted answers and of the service's record.
#include "sim/service/ServiceJson.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <stdexcept>
#include <utility>

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
        } else if (name == "chunked" || name == "keepAlive" || name == "uneven") {
            if (!value.IsBool()) Refuse("\"" + name + "\" must be true or false");
            (name == "chunked" ? answer.chunked : name == "keepAlive" ? answer.keepAlive : answer.uneven) = value.GetBool();
        } else if (name == "path") {
            answer.forPath = ReadBytes(value, "path");
            if (answer.forPath.empty() || answer.forPath.front() != '/' ||
                answer.forPath.find_first_of("? \r\n") != std::string::npos)
                Refuse("\"path\" must begin with \"/\" and hold no query, space, CR or LF");
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
        const auto value = static_cast<unsigned char>(c);
        if (value < 0x80) {
            text.push_back(c);
        } else {
            text.push_back(static_cast<char>(0xC0 | (value >> 6)));
            text.push_back(static_cast<char>(0x80 | (value & 0x3F)));
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
        if (!answer.forPath.empty()) {
            WriteKey(writer, "path");
            WriteBytes(writer, answer.forPath);
        }
        for (const auto& [name, on] : {std::pair{"chunked", answer.chunked}, std::pair{"keepAlive", answer.keepAlive},
                                       std::pair{"uneven", answer.uneven}}) {
            if (!on) continue;
            WriteKey(writer, name);
            writer.Bool(true);
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
    WriteKey(writer, "violations");
    writer.StartArray();
    for (const std::string& line : record.violations) WriteBytes(writer, line);
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
    record.violations = ReadLines(Member(document, "violations"), "violations");
    return record;
}

namespace {
bool ValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t extra = 0;
        uint32_t lowest = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        if ((lead & 0xE0) == 0xC0) extra = 1, lowest = 0x80;
        else if ((lead & 0xF0) == 0xE0) extra = 2, lowest = 0x800;
        else if ((lead & 0xF8) == 0xF0) extra = 3, lowest = 0x10000;
        else return false;
        if (i + extra >= text.size()) return false;
        uint32_t code = lead & (0x3F >> extra);
        for (size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

std::string Base64(std::string_view bytes) {
    static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t n = std::min<size_t>(3, bytes.size() - i);
        uint32_t group = 0;
        for (size_t k = 0; k < 3; ++k)
            group = (group << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (size_t k = 0; k < 4; ++k) text.push_back(k <= n ? kDigits[(group >> (18 - 6 * k)) & 0x3F] : '=');
    }
    return text;
}

void WriteText(Writer& writer, const char* key, std::string_view text) {
    writer.Key(key);
    writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
}

std::string Finish(const rapidjson::StringBuffer& buffer) { return std::string(buffer.GetString(), buffer.GetSize()); }

std::string ReadText(const rapidjson::Value& object, const char* name) {
    const rapidjson::Value& value = Member(object, name);
    if (!value.IsString()) Refuse(std::string("\"") + name + "\" must be a string");
    return std::string(value.GetString(), value.GetStringLength());
}

int64_t ReadSigned(const rapidjson::Value& object, const char* name) {
    const rapidjson::Value& value = Member(object, name);
    if (!value.IsInt64()) Refuse(std::string("\"") + name + "\" must be a whole number");
    return value.GetInt64();
}

uint64_t ReadUnsigned(const rapidjson::Value& object, const char* name) {
    return ReadCount(Member(object, name), name, UINT64_MAX);
}

// Reads an array of objects with `read`.
template <typename Read>
auto ReadArray(std::string_view json, Read read) {
    const rapidjson::Document document = Parse(json);
    if (!document.IsArray()) Refuse("expected a JSON array");
    std::vector<decltype(read(document))> items;
    for (const auto& item : document.GetArray()) {
        if (!item.IsObject()) Refuse("expected an array of JSON objects");
        items.push_back(read(item));
    }
    return items;
}
}  // namespace

std::string RecordToJsonLines(const ServiceRecord& record) {
    constexpr size_t kLongestBodyText = 4096;
    std::string lines;
    for (const RecordedRequest& request : record.requests) {
        rapidjson::StringBuffer buffer;
        Writer writer(buffer);
        writer.StartObject();
        writer.Key("connection");
        writer.Uint64(request.connection);
        WriteKey(writer, "method");
        WriteBytes(writer, request.Method());
        WriteKey(writer, "path");
        WriteBytes(writer, request.Target());
        WriteKey(writer, "headers");
        writer.StartArray();
        for (const std::string& line : request.headerLines) WriteBytes(writer, line);
        writer.EndArray();
        writer.Key("bodySize");
        writer.Uint64(request.body.size());
        if (request.body.size() < kLongestBodyText) {
            if (ValidUtf8(request.body)) WriteText(writer, "body", request.body);
            else WriteText(writer, "bodyBase64", Base64(request.body));
        }
        writer.EndObject();
        lines += Finish(buffer);
        lines += '\n';
    }
    return lines;
}

std::string AccountToJson(const AccountState& account) {
    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    writer.StartObject();
    writer.Key("credits");
    writer.Int64(account.credits);
    writer.Key("charged");
    writer.Int64(account.charged);
    writer.Key("activeTokens");
    writer.Uint64(account.activeTokens);
    writer.Key("uploads");
    writer.Uint64(account.uploads);
    writer.Key("jobs");
    writer.Uint64(account.jobs);
    writer.EndObject();
    return Finish(buffer);
}

AccountState AccountFromJson(std::string_view json) {
    const rapidjson::Document document = Parse(json);
    if (!document.IsObject()) Refuse("an account must be a JSON object");
    AccountState account;
    account.credits = ReadSigned(document, "credits");
    account.charged = ReadSigned(document, "charged");
    account.activeTokens = ReadUnsigned(document, "activeTokens");
    account.uploads = ReadUnsigned(document, "uploads");
    account.jobs = ReadUnsigned(document, "jobs");
    return account;
}

std::string DevicesToJson(const std::vector<DeviceState>& devices) {
    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    writer.StartArray();
    for (const DeviceState& device : devices) {
        writer.StartObject();
        WriteText(writer, "deviceCode", device.deviceCode);
        WriteText(writer, "userCode", device.userCode);
        WriteText(writer, "status", device.status);
        WriteText(writer, "name", device.name);
        WriteText(writer, "client", device.client);
        WriteText(writer, "startBody", device.startBody);
        writer.Key("polls");
        writer.Uint64(device.polls);
        writer.EndObject();
    }
    writer.EndArray();
    return Finish(buffer);
}

std::vector<DeviceState> DevicesFromJson(std::string_view json) {
    return ReadArray(json, [](const rapidjson::Value& item) {
        DeviceState device;
        device.deviceCode = ReadText(item, "deviceCode");
        device.userCode = ReadText(item, "userCode");
        device.status = ReadText(item, "status");
        device.name = ReadText(item, "name");
        device.client = ReadText(item, "client");
        device.startBody = ReadText(item, "startBody");
        device.polls = ReadUnsigned(item, "polls");
        return device;
    });
}

std::string UploadsToJson(const std::vector<UploadState>& uploads) {
    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    writer.StartArray();
    for (const UploadState& upload : uploads) {
        writer.StartObject();
        WriteText(writer, "id", upload.id);
        WriteText(writer, "contentType", upload.contentType);
        WriteText(writer, "sentFilename", upload.sentFilename);
        WriteText(writer, "filename", upload.filename);
        writer.Key("size");
        writer.Uint64(upload.size);
        writer.EndObject();
    }
    writer.EndArray();
    return Finish(buffer);
}

std::vector<UploadState> UploadsFromJson(std::string_view json) {
    return ReadArray(json, [](const rapidjson::Value& item) {
        UploadState upload;
        upload.id = ReadText(item, "id");
        upload.contentType = ReadText(item, "contentType");
        upload.sentFilename = ReadText(item, "sentFilename");
        upload.filename = ReadText(item, "filename");
        upload.size = ReadUnsigned(item, "size");
        return upload;
    });
}

std::string JobsToJson(const std::vector<JobState>& jobs) {
    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    writer.StartArray();
    for (const JobState& job : jobs) {
        writer.StartObject();
        WriteText(writer, "id", job.id);
        WriteText(writer, "kind", job.kind);
        WriteText(writer, "status", job.status);
        WriteText(writer, "uploadId", job.uploadId);
        WriteText(writer, "idempotencyKey", job.idempotencyKey);
        writer.Key("cost");
        writer.Int64(job.cost);
        writer.Key("polls");
        writer.Uint64(job.polls);
        WriteText(writer, "resultPath", job.resultPath);
        writer.EndObject();
    }
    writer.EndArray();
    return Finish(buffer);
}

std::vector<JobState> JobsFromJson(std::string_view json) {
    return ReadArray(json, [](const rapidjson::Value& item) {
        JobState job;
        job.id = ReadText(item, "id");
        job.kind = ReadText(item, "kind");
        job.status = ReadText(item, "status");
        job.uploadId = ReadText(item, "uploadId");
        job.idempotencyKey = ReadText(item, "idempotencyKey");
        job.cost = ReadSigned(item, "cost");
        job.polls = ReadUnsigned(item, "polls");
        job.resultPath = ReadText(item, "resultPath");
        return job;
    });
}
