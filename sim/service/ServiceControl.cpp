// The client of the standalone service's control interface.
#include "sim/service/ServiceControl.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "sim/service/ControlSocket.h"
#include "sim/service/ServiceJson.h"

namespace {
constexpr size_t kLargestAnswer = size_t{512} << 20;
}

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
