// Debian's nginx on loopback for the transport's tests against a server no one here wrote: its
// own configuration, pid, logs and temporary paths in a folder of its own, TLS with a throwaway
// certificate for the service host, started in the foreground as a child of the test and killed
// when the object goes (or with the test, should the test die first). POSIX only.
#pragma once
#include <sys/types.h>

#include <filesystem>
#include <string>

class NginxServer {
public:
    // Serves `root`'s files, and these locations of its own:
    //   /moved      301 to https://app.ovra.example/elsewhere
    //   /busy       503 with "Retry-After: 120"
    //   *.shtml     files with server-side includes, which nginx answers chunked
    // Each request is logged in AccessLog() as "URI STATUS TRANSFER-ENCODING CONNECTION".
    // Throws std::runtime_error with nginx's own error lines when it cannot start.
    explicit NginxServer(const std::filesystem::path& root);
    ~NginxServer();
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    uint16_t Port() const { return port_; }
    // The PEM file of the CA that signed the server's certificate.
    std::filesystem::path CaFile() const { return folder_ / "ca.pem"; }
    std::string AccessLog() const;

private:
    void Stop();

    std::filesystem::path folder_;
    uint16_t port_ = 0;
    pid_t pid_ = -1;
};
