// A client of the standalone service's control interface (plain HTTP on 127.0.0.1), for tests of
// both builds: script the next answers, read back the record, reset, quit. Each call is one short
// connection; calls block the calling thread and throw std::runtime_error when the control
// interface cannot be reached or refuses the call (with its message).
#pragma once
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "sim/service/ServiceScript.h"

// Where a running standalone service listens, as it writes it in its state folder: the file
// "ports" with the lines "service N" and "control N", and the file "ca.pem".
struct ServiceEndpoints {
    uint16_t servicePort = 0;
    uint16_t controlPort = 0;
    std::filesystem::path caPemFile;
};

// The endpoints written in `stateDir`; nothing when "ports" is missing or incomplete.
std::optional<ServiceEndpoints> ReadServiceEndpoints(const std::filesystem::path& stateDir);
// The text of the "ports" file.
std::string ServicePortsText(uint16_t servicePort, uint16_t controlPort);

class ServiceControl {
public:
    explicit ServiceControl(uint16_t controlPort, std::chrono::milliseconds timeout = std::chrono::seconds(20));

    // Appends answers to the service's queue.
    void Script(const ScriptedAnswer& answer);
    void Script(const std::vector<ScriptedAnswer>& answers);
    ServiceRecord Record();
    // Empties the queue and the record, and counts connections from zero again.
    void Reset();
    // Asks the program to stop; it answers first.
    void Quit();

private:
    std::string Call(const char* method, const char* path, const std::string& body);

    uint16_t port_;
    std::chrono::milliseconds timeout_;
};
