// The standalone simulated service that the Windows test runner started under Wine: found
// through TOVR_SERVICE_DIR, reset through its control interface, with its CA's DER bytes.
#pragma once
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>

#include "sim/service/ServiceControl.h"
#include "support/RootStoreWin32.h"

struct StandaloneService {
    ServiceEndpoints endpoints;
    std::unique_ptr<ServiceControl> control;
    std::string caDer;
};

// Throws std::runtime_error when no service is running. Reads the CA file itself: the unload
// test links no test support library, which would bring the add-on's own code with it.
inline StandaloneService ConnectToStandaloneService() {
    const char* dir = std::getenv("TOVR_SERVICE_DIR");
    if (dir == nullptr) throw std::runtime_error("TOVR_SERVICE_DIR names no running service");
    const auto endpoints = ReadServiceEndpoints(dir);
    if (!endpoints) throw std::runtime_error("the service has not written its ports");
    StandaloneService service;
    service.endpoints = *endpoints;
    service.control = std::make_unique<ServiceControl>(service.endpoints.controlPort);
    service.control->Reset();
    std::ifstream pem(service.endpoints.caPemFile, std::ios::binary);
    service.caDer = DerFromPem(std::string((std::istreambuf_iterator<char>(pem)), std::istreambuf_iterator<char>()));
    return service;
}
