// The standalone simulated rendering service: the HTTPS server with a fresh throwaway CA, and
// its control interface, for tests that cannot embed the server (the Windows build under Wine).
//
//   tamsel-service [--state-dir DIR] [--service-port N] [--control-port N] [--host NAME]...
//                  [--lifetime SECONDS] [--credits N] [--approve]
//
// It prints "service N" and "control N" on standard output, then the CA certificate's PEM text
// when no state folder is given. With --state-dir it writes DIR/ca.pem and then DIR/ports (the
// same two lines, renamed into place whole, so a reader never sees half of it), and removes
// DIR/ports when it ends. It ends on POST /quit, SIGINT or SIGTERM, or when its lifetime (default
// 3600 s) ends. --host names the certificate's DNS names (default app.ovra.example and localhost);
// the first is also the site named in the service's answers. --credits sets the account's credits
// (default 10); --approve approves each device code at its first poll.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "sim/service/ControlServer.h"
#include "sim/service/ServiceControl.h"
#include "sim/service/SimService.h"
#include "sim/service/TestPki.h"

namespace fs = std::filesystem;

namespace {
struct Arguments {
    fs::path stateDir;
    uint16_t servicePort = 0;
    uint16_t controlPort = 0;
    std::vector<std::string> hosts;
    long lifetime = 3600;
    long credits = 10;
    bool approve = false;
};

[[noreturn]] void Usage(const std::string& problem) {
    std::cerr << "tamsel-service: " << problem << "\n"
              << "usage: tamsel-service [--state-dir DIR] [--service-port N] [--control-port N] [--host NAME]...\n"
              << "                      [--lifetime SECONDS] [--credits N] [--approve]\n";
    std::exit(2);
}

long Number(const std::string& text, long largest, const std::string& option) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < 0 || value > largest) Usage("bad value for " + option);
    return value;
}

Arguments Parse(int argc, char** argv) {
    Arguments arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--approve") {
            arguments.approve = true;
            continue;
        }
        if (i + 1 >= argc) Usage("missing value for " + option);
        const std::string value = argv[++i];
        if (option == "--state-dir") arguments.stateDir = value;
        else if (option == "--service-port") arguments.servicePort = static_cast<uint16_t>(Number(value, 65535, option));
        else if (option == "--control-port") arguments.controlPort = static_cast<uint16_t>(Number(value, 65535, option));
        else if (option == "--host") arguments.hosts.push_back(value);
        else if (option == "--lifetime") arguments.lifetime = Number(value, 86400, option);
        else if (option == "--credits") arguments.credits = Number(value, 1000000000, option);
        else Usage("unknown option " + option);
    }
    if (arguments.hosts.empty()) arguments.hosts = {"app.ovra.example", "localhost"};
    if (arguments.lifetime == 0) Usage("the lifetime must be at least one second");
    return arguments;
}

void WriteWhole(const fs::path& file, const std::string& text) {
    const fs::path temporary = file.string() + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) throw std::runtime_error("cannot write " + temporary.string());
    }
    fs::rename(temporary, file);
}
}  // namespace

int main(int argc, char** argv) {
    const Arguments arguments = Parse(argc, argv);

    // Stop requests arrive through sigtimedwait below; the threads started later inherit the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    try {
        const TestPki pki = MakeTestPki(arguments.hosts);
        SimService::Options options;
        options.port = arguments.servicePort;
        options.lifetime = std::chrono::seconds(arguments.lifetime);
        options.routes.host = arguments.hosts.front();
        options.routes.credits = arguments.credits;
        SimService service(pki, options);
        service.Routes().SetApproveAtFirstPoll(arguments.approve);
        service.Start();
        ControlServer control(service);
        control.Start(arguments.controlPort, std::chrono::seconds(arguments.lifetime));

        const std::string ports = ServicePortsText(service.Port(), control.Port());
        if (!arguments.stateDir.empty()) {
            fs::create_directories(arguments.stateDir);
            WriteWhole(arguments.stateDir / "ca.pem", pki.caCertificatePem);
            WriteWhole(arguments.stateDir / "ports", ports);
            std::cout << ports << std::flush;
        } else {
            std::cout << ports << pki.caCertificatePem << std::flush;
        }

        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(arguments.lifetime);
        int signal = 0;
        while (std::chrono::steady_clock::now() < end) {
            if (control.WaitForQuit(std::chrono::milliseconds(200))) break;
            const timespec now{0, 0};
            signal = sigtimedwait(&stopSignals, nullptr, &now);
            if (signal > 0) break;
        }
        control.Stop();
        service.Stop();
        if (!arguments.stateDir.empty()) {
            std::error_code ignored;
            fs::remove(arguments.stateDir / "ports", ignored);
        }
        std::cerr << "tamsel-service: "
                  << (signal > 0 ? "stopped by a signal" : control.WaitForQuit(std::chrono::milliseconds(0))
                                                               ? "stopped by the control interface"
                                                               : "lifetime ended")
                  << "\n";
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "tamsel-service: " << e.what() << "\n";
        return 1;
    }
}
