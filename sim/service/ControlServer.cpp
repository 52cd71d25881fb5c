// The standalone service's control interface over plain HTTP on loopback.
#include "sim/service/ControlServer.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <stdexcept>

#include "sim/service/HttpWire.h"
#include "sim/service/ServiceJson.h"
#include "sim/service/SimService.h"

namespace {
constexpr auto kIoTimeout = std::chrono::seconds(10);

class PlainStream final : public ByteStream {
public:
    explicit PlainStream(const LoopbackConnection& connection) : connection_(connection) {}

    size_t Read(char* buffer, size_t size) override {
        const ServerClock::time_point deadline = ServerClock::now() + kIoTimeout;
        for (;;) {
            const ssize_t n = ::recv(connection_.fd(), buffer, size, 0);
            if (n >= 0) return static_cast<size_t>(n);
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return 0;
            if (connection_.WaitFor(POLLIN, deadline) != LoopbackConnection::Wait::Ready) return 0;
        }
    }

    bool Write(std::string_view bytes) override {
        const ServerClock::time_point deadline = ServerClock::now() + kIoTimeout;
        for (size_t sent = 0; sent < bytes.size();) {
            const ssize_t n = ::send(connection_.fd(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n > 0) {
                sent += static_cast<size_t>(n);
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
                if (connection_.WaitFor(POLLOUT, deadline) != LoopbackConnection::Wait::Ready) return false;
            } else {
                return false;
            }
        }
        return true;
    }

private:
    const LoopbackConnection& connection_;
};

ScriptedAnswer Json(int status, std::string body) {
    return ScriptedAnswer::Status(status, std::move(body), {"Content-Type: application/json"});
}

ScriptedAnswer ErrorAnswer(int status, const std::string& message) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.StartObject();
    writer.Key("error");
    writer.String(message.c_str(), static_cast<rapidjson::SizeType>(message.size()));
    writer.EndObject();
    return Json(status, buffer.GetString());
}
}  // namespace

ControlServer::ControlServer(SimService& service)
    : service_(service), server_([this](LoopbackConnection& c) { Serve(c); }) {}

ControlServer::~ControlServer() { Stop(); }

void ControlServer::Start(uint16_t port, std::chrono::seconds lifetime) { server_.Start(port, lifetime); }

void ControlServer::Stop() { server_.Stop(); }

bool ControlServer::WaitForQuit(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return quitCalled_.wait_for(lock, timeout, [&] { return quit_; });
}

void ControlServer::Serve(LoopbackConnection& connection) {
    PlainStream stream(connection);
    RecordedRequest request;
    const RequestOutcome outcome = ReadRequest(stream, request, RequestLimits{});
    if (outcome == RequestOutcome::NoRequest || outcome == RequestOutcome::Truncated) return;

    const std::string method = request.Method();
    const std::string target = request.Target();
    bool quit = false;
    ScriptedAnswer answer;
    if (outcome != RequestOutcome::Complete) {
        answer = ErrorAnswer(400, "a control request needs a Content-Length body within 256 MiB");
    } else if (method == "POST" && target == "/script") {
        try {
            std::vector<ScriptedAnswer> answers = AnswersFromJson(request.body);
            const size_t count = answers.size();
            service_.Script(std::move(answers));
            answer = Json(200, R"({"queued":)" + std::to_string(count) + "}");
        } catch (const std::invalid_argument& e) {
            answer = ErrorAnswer(400, e.what());
        }
    } else if (method == "GET" && target == "/record") {
        answer = Json(200, RecordToJson(service_.Record()));
    } else if (method == "POST" && target == "/reset") {
        service_.Reset();
        answer = Json(200, "{}");
    } else if (method == "POST" && target == "/quit") {
        quit = true;
        answer = Json(200, "{}");
    } else {
        answer = ErrorAnswer(404, "no control request " + method + " " + target);
    }
    WriteAnswer(stream, answer);
    ::shutdown(connection.fd(), SHUT_WR);
    if (quit) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        quitCalled_.notify_all();
    }
}
