// The standalone service's control interface over plain HTTP on loopback.
#include "sim/service/ControlServer.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <optional>
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

    bool Pause(std::chrono::milliseconds duration) override { return connection_.Sleep(duration); }

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

std::string TextMember(const rapidjson::Value& object, const char* name) {
    const auto found = object.FindMember(name);
    if (found == object.MemberEnd() || !found->value.IsString())
        throw std::invalid_argument(std::string("\"") + name + "\" must be a string");
    return std::string(found->value.GetString(), found->value.GetStringLength());
}

rapidjson::Document RequiredObjectBody(const std::string& body) {
    rapidjson::Document document;
    document.Parse(body.data(), body.size());
    if (document.HasParseError() || !document.IsObject()) throw std::invalid_argument("the body must be a JSON object");
    return document;
}

std::optional<PluginStatus> PluginStatusNamed(std::string_view name) {
    if (name == "current") return PluginStatus::Current;
    if (name == "outdated") return PluginStatus::Outdated;
    if (name == "disabled") return PluginStatus::Disabled;
    return std::nullopt;
}

std::string Flag(const char* name, bool value) {
    return std::string("{\"") + name + "\":" + (value ? "true" : "false") + "}";
}

// The account calls; nothing for a target that is not one of them.
std::optional<ScriptedAnswer> AccountCall(SimService& service, const std::string& method, const std::string& target,
                                          const std::string& body) {
    ServiceRoutes& routes = service.Routes();
    if (method == "GET" && target == "/account") return Json(200, AccountToJson(routes.Account()));
    if (method == "GET" && target == "/devices") return Json(200, DevicesToJson(routes.Devices()));
    if (method == "GET" && target == "/uploads") return Json(200, UploadsToJson(routes.Uploads()));
    if (method == "GET" && target == "/jobs") return Json(200, JobsToJson(routes.Jobs()));
    if (method != "POST") return std::nullopt;
    if (target == "/token") {
        rapidjson::StringBuffer buffer;
        rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
        const std::string token = routes.IssueToken();
        writer.StartObject();
        writer.Key("token");
        writer.String(token.c_str(), static_cast<rapidjson::SizeType>(token.size()));
        writer.EndObject();
        return Json(200, buffer.GetString());
    }
    if (target == "/revoke") return Json(200, Flag("revoked", routes.RevokeToken(TextMember(RequiredObjectBody(body), "token"))));
    if (target == "/device") {
        const rapidjson::Document document = RequiredObjectBody(body);
        const std::string decision = TextMember(document, "decision");
        DeviceDecision chosen = DeviceDecision::Approve;
        if (decision == "deny") chosen = DeviceDecision::Deny;
        else if (decision == "expire") chosen = DeviceDecision::Expire;
        else if (decision != "approve") throw std::invalid_argument("\"decision\" must be approve, deny or expire");
        return Json(200, Flag("decided", routes.Decide(TextMember(document, "code"), chosen)));
    }
    if (target == "/settings") {
        const rapidjson::Document document = RequiredObjectBody(body);
        // Every member is checked before any is applied.
        for (const auto& member : document.GetObject()) {
            const std::string name(member.name.GetString(), member.name.GetStringLength());
            if (name == "credits" ? !member.value.IsInt64()
                : name == "approveAtFirstPoll" ? !member.value.IsBool()
                : name == "pollsUntilDone" || name == "failNextJobs" ? !member.value.IsUint64()
                : name == "plugin" ? !member.value.IsString() || !PluginStatusNamed(member.value.GetString())
                : name == "language" ? !member.value.IsString()
                : name == "idempotencyKeys" ? !member.value.IsBool()
                                   : true)
                throw std::invalid_argument("bad or unknown setting \"" + name + "\"");
        }
        for (const auto& member : document.GetObject()) {
            const std::string name(member.name.GetString(), member.name.GetStringLength());
            if (name == "credits") routes.SetCredits(member.value.GetInt64());
            else if (name == "approveAtFirstPoll") routes.SetApproveAtFirstPoll(member.value.GetBool());
            else if (name == "pollsUntilDone") routes.SetPollsUntilDone(member.value.GetUint64());
            else if (name == "plugin") routes.SetPluginStatus(*PluginStatusNamed(member.value.GetString()));
            else if (name == "failNextJobs") routes.FailNextJobs(member.value.GetUint64());
        }
        // The rules change together, so that no request is held to half of them.
        RequestRules rules = service.Rules();
        for (const auto& member : document.GetObject()) {
            const std::string name(member.name.GetString(), member.name.GetStringLength());
            if (name == "language") rules.language.assign(member.value.GetString(), member.value.GetStringLength());
            else if (name == "idempotencyKeys") rules.idempotencyKeys = member.value.GetBool();
        }
        service.SetRules(std::move(rules));
        return Json(200, "{}");
    }
    return std::nullopt;
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
    } else if (method == "GET" && target == "/record.jsonl") {
        answer = ScriptedAnswer::Status(200, RecordToJsonLines(service_.Record()), {"Content-Type: application/jsonl"});
    } else if (method == "POST" && target == "/reset") {
        service_.Reset();
        answer = Json(200, "{}");
    } else if (method == "POST" && target == "/quit") {
        quit = true;
        answer = Json(200, "{}");
    } else {
        try {
            std::optional<ScriptedAnswer> account = AccountCall(service_, method, target, request.body);
            answer = account ? std::move(*account) : ErrorAnswer(404, "no control request " + method + " " + target);
        } catch (const std::invalid_argument& e) {
            answer = ErrorAnswer(400, e.what());
        }
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
