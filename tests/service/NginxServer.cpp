// Starting, waiting for and stopping Debian's nginx as a child of the test.
#include "service/NginxServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "sim/service/TestPki.h"

namespace fs = std::filesystem;

namespace {
constexpr auto kStartLimit = std::chrono::seconds(20);

void Write(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

std::string Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A port that was free a moment ago: the kernel's pick for a socket bound to port 0.
uint16_t FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                       ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0;
    if (fd >= 0) ::close(fd);
    if (!bound) throw std::runtime_error("no free port on loopback");
    return ntohs(address.sin_port);
}

bool Accepts(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) ::close(fd);
    return connected;
}

std::string Configuration(const fs::path& folder, const fs::path& root, uint16_t port) {
    const std::string dir = folder.string();
    std::ostringstream c;
    c << "daemon off;\n"
         "master_process off;\n"
         "pid "
      << dir << "/nginx.pid;\n"
      << "error_log " << dir << "/error.log info;\n"
      << "events { worker_connections 64; }\n"
         "http {\n"
         "  log_format tovr '$request_uri $status $sent_http_transfer_encoding $connection';\n"
         "  access_log "
      << dir << "/access.log tovr;\n"
      << "  client_body_temp_path " << dir << "/client_body;\n"
      << "  proxy_temp_path " << dir << "/proxy;\n"
      << "  fastcgi_temp_path " << dir << "/fastcgi;\n"
      << "  uwsgi_temp_path " << dir << "/uwsgi;\n"
      << "  scgi_temp_path " << dir << "/scgi;\n"
      << "  types { application/octet-stream bin; text/html shtml; }\n"
         "  default_type application/octet-stream;\n"
         "  keepalive_timeout 5;\n"
         "  server {\n"
         "    listen 127.0.0.1:"
      << port << " ssl;\n"
      << "    server_name app.ovra.example;\n"
      << "    ssl_certificate " << dir << "/server.pem;\n"
      << "    ssl_certificate_key " << dir << "/server.key;\n"
      << "    root " << root.string() << ";\n"
      << "    location = /moved { return 301 https://app.ovra.example/elsewhere; }\n"
         "    location = /busy { add_header Retry-After 120 always; return 503; }\n"
         "    location ~ \\.shtml$ { ssi on; }\n"
         "  }\n"
         "}\n";
    return c.str();
}
}  // namespace

NginxServer::NginxServer(const fs::path& root) {
    std::string templ = (fs::temp_directory_path() / "tovr-nginx-XXXXXX").string();
    if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("no folder for nginx");
    folder_ = templ;
    try {
        // The key is made now and lives only in this folder, removed with it.
        const TestPki pki = MakeTestPki();
        Write(folder_ / "ca.pem", pki.caCertificatePem);
        Write(folder_ / "server.pem", pki.serverCertificatePem);
        Write(folder_ / "server.key", pki.serverKeyPem);
        port_ = FreePort();
        Write(folder_ / "nginx.conf", Configuration(folder_, root, port_));

        const std::string program = TOVR_NGINX_PROGRAM;
        if (program.empty() || !fs::exists(program))
            throw std::runtime_error("nginx is not installed (Debian's nginx-light; scripts/setup installs it)");
        const std::string prefix = folder_.string() + "/";
        const std::string config = (folder_ / "nginx.conf").string();
        const std::string errors = (folder_ / "error.log").string();
        const pid_t parent = ::getpid();
        pid_ = ::fork();
        if (pid_ < 0) throw std::runtime_error("cannot start nginx");
        if (pid_ == 0) {
            // nginx goes with the test, however the test ends.
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent) ::_exit(127);
            ::execl(program.c_str(), program.c_str(), "-p", prefix.c_str(), "-c", config.c_str(), "-e",
                    errors.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
        while (!Accepts(port_)) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                throw std::runtime_error("nginx ended at start: " + Read(folder_ / "error.log"));
            }
            if (std::chrono::steady_clock::now() > deadline)
                throw std::runtime_error("nginx did not listen within 20 s: " + Read(folder_ / "error.log"));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    } catch (...) {
        Stop();
        throw;
    }
}

NginxServer::~NginxServer() { Stop(); }

void NginxServer::Stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

std::string NginxServer::AccessLog() const { return Read(folder_ / "access.log"); }
