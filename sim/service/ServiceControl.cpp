// The client of the standalone service's control interface.
#include "sim/service/ServiceControl.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <fstream>
#include <initializer_list>
#include <sstream>
#include <stdexcept>

#include "sim/service/ControlSocket.h"
#include "sim/service/ServiceJson.h"

namespace {
constexpr size_t kLargestAnswer = size_t{512} << 20;

// {"name":value} with the value quoted as a JSON string.
std::string TextObject(std::initializer_list<std::pair<const char*, std::string>> members) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.StartObject();
    for (const auto& [name, value] : members) {
        writer.Key(name);
        writer.String(value.c_str(), static_cast<rapidjson::SizeType>(value.size()));
    }
    writer.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize());
}

rapidjson::Document AnswerObject(const std::string& json, const char* path) {
    rapidjson::Document document;
    document.Parse(json.data(), json.size());
    if (document.HasParseError() || !document.IsObject())
        throw std::runtime_error(std::string("control: unreadable answer to ") + path);
    return document;
}

// Reads an account record with `read`, turning its refusal into the client's error.
template <typename Read>
auto Readable(const std::string& json, const char* path, Read read) {
    try {
        return read(json);
    } catch (const std::invalid_argument& e) {
        throw std::runtime_error(std::string("control: unreadable answer to ") + path + ": " + e.what());
    }
}
}  // namespace

std::optional<ServiceEndpoints> ReadServiceEndpoints(const std::filesystem::path& stateDir) {
    std::ifstream in(stateDir / "ports");
    if (!in) return std::nullopt;
    ServiceEndpoints endpoints;
    std::string name;
    unsigned long port = 0;
    while (in >> name >> port) {
        if (port == 0 || port > 65535) return std::nullopt;
        if (name == "service") endpoints.servicePort = static_cast<uint16_t>(port);
        if (name == "control") endpoints.controlPort = static_cast<uint16_t>(port);
    }
    if (endpoints.servicePort == 0 || endpoints.controlPort == 0) return std::nullopt;
    endpoints.caPemFile = stateDir / "ca.pem";
    return endpoints;
}

std::string ServicePortsText(uint16_t servicePort, uint16_t controlPort) {
    return "service " + std::to_string(servicePort) + "\ncontrol " + std::to_string(controlPort) + "\n";
}

ServiceControl::ServiceControl(uint16_t controlPort, std::chrono::milliseconds timeout)
    : port_(controlPort), timeout_(timeout) {}

void ServiceControl::Script(const ScriptedAnswer& answer) { Script(std::vector<ScriptedAnswer>{answer}); }

void ServiceControl::Script(const std::vector<ScriptedAnswer>& answers) {
    Call("POST", "/script", AnswersToJson(answers));
}

ServiceRecord ServiceControl::Record() {
    const std::string json = Call("GET", "/record", {});
    try {
        return RecordFromJson(json);
    } catch (const std::invalid_argument& e) {
        throw std::runtime_error(std::string("control: unreadable record: ") + e.what());
    }
}

void ServiceControl::Reset() { Call("POST", "/reset", {}); }

void ServiceControl::Quit() { Call("POST", "/quit", {}); }

std::string ServiceControl::RecordJsonLines() { return Call("GET", "/record.jsonl", {}); }

std::string ServiceControl::IssueToken() {
    const rapidjson::Document answer = AnswerObject(Call("POST", "/token", {}), "/token");
    const auto token = answer.FindMember("token");
    if (token == answer.MemberEnd() || !token->value.IsString())
        throw std::runtime_error("control: unreadable answer to /token");
    return std::string(token->value.GetString(), token->value.GetStringLength());
}

bool ServiceControl::RevokeToken(const std::string& token) {
    return CallForFlag("/revoke", TextObject({{"token", token}}), "revoked");
}

bool ServiceControl::DecideDevice(const std::string& code, DeviceDecision decision) {
    const char* name = decision == DeviceDecision::Approve ? "approve" : decision == DeviceDecision::Deny ? "deny" : "expire";
    return CallForFlag("/device", TextObject({{"code", code}, {"decision", name}}), "decided");
}

void ServiceControl::SetApproveAtFirstPoll(bool on) {
    Call("POST", "/settings", std::string(R"({"approveAtFirstPoll":)") + (on ? "true" : "false") + "}");
}

void ServiceControl::SetCredits(int64_t credits) {
    Call("POST", "/settings", R"({"credits":)" + std::to_string(credits) + "}");
}

void ServiceControl::SetPollsUntilDone(uint64_t polls) {
    Call("POST", "/settings", R"({"pollsUntilDone":)" + std::to_string(polls) + "}");
}

void ServiceControl::FailNextJobs(uint64_t count) {
    Call("POST", "/settings", R"({"failNextJobs":)" + std::to_string(count) + "}");
}

void ServiceControl::SetExpectedLanguage(const std::string& language) {
    Call("POST", "/settings", TextObject({{"language", language}}));
}

void ServiceControl::SetIdempotencyKeysRequired(bool required) {
    Call("POST", "/settings", std::string(R"({"idempotencyKeys":)") + (required ? "true" : "false") + "}");
}

void ServiceControl::SetPluginStatus(PluginStatus status) {
    const char* name = status == PluginStatus::Current    ? "current"
                       : status == PluginStatus::Outdated ? "outdated"
                                                          : "disabled";
    Call("POST", "/settings", std::string(R"({"plugin":")") + name + "\"}");
}

AccountState ServiceControl::Account() { return Readable(Call("GET", "/account", {}), "/account", AccountFromJson); }

std::vector<DeviceState> ServiceControl::Devices() {
    return Readable(Call("GET", "/devices", {}), "/devices", DevicesFromJson);
}

std::vector<UploadState> ServiceControl::Uploads() {
    return Readable(Call("GET", "/uploads", {}), "/uploads", UploadsFromJson);
}

std::vector<JobState> ServiceControl::Jobs() { return Readable(Call("GET", "/jobs", {}), "/jobs", JobsFromJson); }

bool ServiceControl::CallForFlag(const char* path, const std::string& body, const char* name) {
    const rapidjson::Document answer = AnswerObject(Call("POST", path, body), path);
    const auto flag = answer.FindMember(name);
    if (flag == answer.MemberEnd() || !flag->value.IsBool())
        throw std::runtime_error(std::string("control: unreadable answer to ") + path);
    return flag->value.GetBool();
}

std::string ServiceControl::Call(const char* method, const char* path, const std::string& body) {
    std::ostringstream request;
    request << method << ' ' << path << " HTTP/1.1\r\nHost: 127.0.0.1:" << port_
            << "\r\nContent-Type: application/json\r\nContent-Length: " << body.size()
            << "\r\nConnection: close\r\n\r\n"
            << body;
    const std::string answer = ExchangeWithLoopback(port_, request.str(), timeout_, kLargestAnswer);
    const size_t headEnd = answer.find("\r\n\r\n");
    if (answer.compare(0, 9, "HTTP/1.1 ") != 0 || headEnd == std::string::npos || headEnd < 12 ||
        answer.find_first_not_of("0123456789", 9) != 12)
        throw std::runtime_error("control: not an HTTP answer");
    const int status = std::stoi(answer.substr(9, 3));
    std::string content = answer.substr(headEnd + 4);
    if (status < 200 || status > 299)
        throw std::runtime_error("control: " + std::string(path) + " refused (" + std::to_string(status) +
                                 "): " + content);
    return content;
}
