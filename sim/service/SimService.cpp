// The simulated rendering service's HTTPS server, on OpenSSL over the loopback listener.
#include "sim/service/SimService.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <mutex>
#include <stdexcept>

#include "sim/service/HttpWire.h"
#include "sim/service/LoopbackServer.h"
#include "sim/service/OpenSslOwners.h"
#include "sim/service/ServiceJson.h"

namespace {

// How long a finished connection waits for the client to close before it is closed anyway, so
// that unread request bytes cannot turn the close into a reset that loses the answer.
constexpr auto kLingerLimit = std::chrono::seconds(2);
// How long a connection kept alive waits for a next request ("Keep-Alive: timeout=5").
constexpr auto kKeepAliveLimit = std::chrono::seconds(5);

[[noreturn]] void Fail(const std::string& what) {
    ERR_clear_error();
    throw std::runtime_error("simulated service: " + what);
}

BioPtr MemoryBio(const std::string& pem) {
    BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    if (!bio) Fail("out of memory");
    return bio;
}

ContextPtr MakeContext(const TestPki& pki) {
    ContextPtr context(SSL_CTX_new(TLS_server_method()));
    if (!context) Fail("no TLS context");
    SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION);
    const BioPtr certificateBio = MemoryBio(pki.serverCertificatePem);
    const CertPtr certificate(PEM_read_bio_X509(certificateBio.get(), nullptr, nullptr, nullptr));
    const BioPtr keyBio = MemoryBio(pki.serverKeyPem);
    const KeyPtr key(PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr));
    if (!certificate || !key) Fail("unreadable server certificate or key");
    if (SSL_CTX_use_certificate(context.get(), certificate.get()) != 1 ||
        SSL_CTX_use_PrivateKey(context.get(), key.get()) != 1 || SSL_CTX_check_private_key(context.get()) != 1)
        Fail("the server key does not match its certificate");
    return context;
}

// A TLS session over the accepted non-blocking socket; every wait ends at the I/O time-out or
// when the server stops.
class TlsStream final : public ByteStream {
public:
    TlsStream(SSL* ssl, const LoopbackConnection& connection, std::chrono::milliseconds ioTimeout,
              std::atomic<uint64_t>& received, std::atomic<uint64_t>& sent)
        : ssl_(ssl), connection_(connection), ioTimeout_(ioTimeout), received_(received), sent_(sent) {}

    bool Handshake() {
        return Drive([&] { return SSL_accept(ssl_); });
    }

    size_t Read(char* buffer, size_t size) override {
        size_t got = 0;
        if (!Drive([&] { return SSL_read_ex(ssl_, buffer, size, &got); })) return 0;
        received_ += got;
        return got;
    }

    bool Write(std::string_view bytes) override {
        for (size_t sent = 0; sent < bytes.size();) {
            size_t written = 0;
            if (!Drive([&] { return SSL_write_ex(ssl_, bytes.data() + sent, bytes.size() - sent, &written); }))
                return false;
            sent += written;
            sent_ += written;
        }
        return true;
    }

    bool Pause(std::chrono::milliseconds duration) override { return connection_.Sleep(duration); }

    // Waits at most `limit` for the first bytes of a next request; false when none come.
    bool AwaitMore(std::chrono::milliseconds limit) {
        return SSL_pending(ssl_) > 0 ||
               connection_.WaitFor(POLLIN, ServerClock::now() + limit) == LoopbackConnection::Wait::Ready;
    }

    // Sends the closing alert without waiting for the client's.
    void Close() {
        ERR_clear_error();
        SSL_shutdown(ssl_);
        ERR_clear_error();
    }

private:
    template <typename Operation>
    bool Drive(Operation operation) {
        const ServerClock::time_point deadline = ServerClock::now() + ioTimeout_;
        for (;;) {
            ERR_clear_error();
            const int result = operation();
            if (result == 1) return true;
            const int error = SSL_get_error(ssl_, result);
            short events = 0;
            if (error == SSL_ERROR_WANT_READ) events = POLLIN;
            else if (error == SSL_ERROR_WANT_WRITE) events = POLLOUT;
            if (events == 0 || connection_.WaitFor(events, deadline) != LoopbackConnection::Wait::Ready) {
                ERR_clear_error();
                return false;
            }
        }
    }

    SSL* ssl_;
    const LoopbackConnection& connection_;
    std::chrono::milliseconds ioTimeout_;
    std::atomic<uint64_t>& received_;
    std::atomic<uint64_t>& sent_;
};

// The answer to a request the service does not read further.
ScriptedAnswer Refusal(int status, const char* code) {
    return ScriptedAnswer::Status(status, std::string(R"({"error":{"code":")") + code + R"("}})",
                                  {"Content-Type: application/json"});
}
}  // namespace

struct SimService::State {
    State(const TestPki& servicePki, Options serviceOptions)
        : pki(servicePki),
          options(serviceOptions),
          routes(serviceOptions.routes),
          server([this](LoopbackConnection& c) { Serve(c); }, [this] { return CountConnection(); }) {}

    void Serve(LoopbackConnection& connection);
    uint64_t CountConnection();
    std::optional<ScriptedAnswer> NextAnswer(const std::string& path);
    void Keep(RecordedRequest request);

    const TestPki pki;
    const Options options;
    ContextPtr context;

    mutable std::mutex mutex;
    mutable std::condition_variable recorded;
    std::deque<ScriptedAnswer> queue;
    ServiceRecord record;
    RequestRules rules;
    ServiceRoutes routes;
    // Bytes of HTTP (inside TLS) read from and written to clients.
    std::atomic<uint64_t> bytesReceived{0}, bytesSent{0};

    // Last, so that its thread stops before the rest goes.
    LoopbackServer server;
};

uint64_t SimService::State::CountConnection() {
    std::lock_guard<std::mutex> lock(mutex);
    return ++record.connections;
}

void SimService::State::Serve(LoopbackConnection& connection) {
    const SessionPtr ssl(SSL_new(context.get()));
    if (!ssl || SSL_set_fd(ssl.get(), connection.fd()) != 1) return;
    TlsStream stream(ssl.get(), connection, options.ioTimeout, bytesReceived, bytesSent);
    if (!stream.Handshake()) return;

    // One request after another while the answers keep the connection alive.
    for (bool first = true;; first = false) {
        if (!first && !stream.AwaitMore(kKeepAliveLimit)) break;
        RecordedRequest request;
        request.connection = connection.number();
        RequestLimits limits;
        limits.largestBody = options.largestBody;
        const RequestOutcome outcome = ReadRequest(stream, request, limits);
        if (outcome == RequestOutcome::NoRequest || outcome == RequestOutcome::HeadTooLarge) return;

        ScriptedAnswer answer;
        switch (outcome) {
            case RequestOutcome::Complete: {
                const std::string target = request.Target();
                std::optional<ScriptedAnswer> scripted = NextAnswer(target.substr(0, target.find('?')));
                if (!scripted) scripted = routes.Answer(request);
                answer = scripted ? std::move(*scripted) : DefaultAnswer();
                break;
            }
            case RequestOutcome::Chunked: answer = Refusal(411, "length_required"); break;
            case RequestOutcome::BadLength: answer = Refusal(400, "bad_content_length"); break;
            case RequestOutcome::BodyTooLarge: answer = Refusal(413, "body_too_large"); break;
            default: Keep(std::move(request)); return;
        }
        // Recorded once answered, so that a large body is moved into the record rather than
        // copied, and before a byte of the answer goes out.
        Keep(std::move(request));
        if (answer.action == ScriptedAnswer::Action::Hold) {
            connection.DrainUntilClosed(ServerClock::now() + options.lifetime);
            return;
        }
        if (!connection.Sleep(answer.delay)) return;
        // A dropped connection closes without a byte, not even the closing alert.
        if (answer.action == ScriptedAnswer::Action::Drop) return;
        if (!WriteAnswer(stream, answer)) return;
        // A request whose body was not read leaves the connection unusable.
        if (!answer.keepAlive || outcome != RequestOutcome::Complete) break;
    }
    stream.Close();
    ::shutdown(connection.fd(), SHUT_WR);
    connection.DrainUntilClosed(ServerClock::now() + kLingerLimit);
}

std::optional<ScriptedAnswer> SimService::State::NextAnswer(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = std::find_if(queue.begin(), queue.end(), [&](const ScriptedAnswer& answer) {
        return answer.forPath.empty() || answer.forPath == path;
    });
    if (found == queue.end()) return std::nullopt;
    ScriptedAnswer answer = std::move(*found);
    queue.erase(found);
    return answer;
}

void SimService::State::Keep(RecordedRequest request) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (std::string& line : RuleBreaches(request, rules)) record.violations.push_back(std::move(line));
        record.requests.push_back(std::move(request));
    }
    recorded.notify_all();
}

SimService::SimService(const TestPki& pki) : SimService(pki, Options{}) {}

SimService::SimService(const TestPki& pki, Options options) : state_(std::make_unique<State>(pki, options)) {}

SimService::~SimService() { Stop(); }

void SimService::Start() {
    if (!state_->context) state_->context = MakeContext(state_->pki);
    state_->server.Start(state_->options.port, state_->options.lifetime);
}

void SimService::Stop() { state_->server.Stop(); }

uint16_t SimService::Port() const { return state_->server.Port(); }

void SimService::Script(ScriptedAnswer answer) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->queue.push_back(std::move(answer));
}

void SimService::Script(std::vector<ScriptedAnswer> answers) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    for (ScriptedAnswer& answer : answers) state_->queue.push_back(std::move(answer));
}

size_t SimService::QueuedAnswers() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->queue.size();
}

ServiceRecord SimService::Record() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->record;
}

std::vector<RecordedRequest> SimService::Requests() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->record.requests;
}

uint64_t SimService::BytesReceived() const { return state_->bytesReceived; }
uint64_t SimService::BytesSent() const { return state_->bytesSent; }

uint64_t SimService::Connections() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->record.connections;
}

bool SimService::WaitForRequests(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(state_->mutex);
    return state_->recorded.wait_for(lock, timeout, [&] { return state_->record.requests.size() >= count; });
}

void SimService::Reset() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->queue.clear();
    state_->record = ServiceRecord{};
    state_->rules = RequestRules{};
}

void SimService::SetRules(RequestRules rules) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->rules = std::move(rules);
}

RequestRules SimService::Rules() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->rules;
}

std::vector<std::string> SimService::Violations() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->record.violations;
}

bool SimService::WriteRecordJsonLines(const std::filesystem::path& file) const {
    const std::string lines = RecordToJsonLines(Record());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(lines.data(), static_cast<std::streamsize>(lines.size()));
    out.close();
    return static_cast<bool>(out);
}

ServiceRoutes& SimService::Routes() { return state_->routes; }

const ServiceRoutes& SimService::Routes() const { return state_->routes; }
