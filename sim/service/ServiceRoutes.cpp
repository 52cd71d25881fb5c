// The simulated service's account, device sign-in, uploads, paid jobs and result files.
#include "sim/service/ServiceRoutes.h"

#include <openssl/rand.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <stdexcept>

#include "sim/service/ResultPicture.h"

namespace {
using Clock = std::chrono::steady_clock;
using Writer = rapidjson::Writer<rapidjson::StringBuffer>;

constexpr std::string_view kConfigPath = "/api/v1/plugin/config";
constexpr std::string_view kStartPath = "/api/v1/device/start";
constexpr std::string_view kTokenPath = "/api/v1/device/token";
constexpr std::string_view kCurrentTokenPath = "/api/v1/device/tokens/current";
constexpr std::string_view kMePath = "/api/v1/me";
constexpr std::string_view kUploadsPath = "/api/v1/uploads";
constexpr std::string_view kGenerationsPath = "/api/v1/generations";
constexpr std::string_view kAnimationPath = "/api/v1/animation-video";
constexpr std::string_view kJobsPrefix = "/api/v1/jobs/";
constexpr std::string_view kFilesPrefix = "/files/";
// Larger uploads are kept as their digest, and their result is the generated picture.
constexpr size_t kLargestKeptUpload = size_t{64} << 20;

std::string RandomHex(size_t bytes) {
    std::vector<unsigned char> random(bytes);
    if (RAND_bytes(random.data(), static_cast<int>(random.size())) != 1)
        throw std::runtime_error("simulated service: no random bytes");
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const unsigned char byte : random) {
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 0x0F]);
    }
    return text;
}

// Eight consonants in two groups, as people type them from a screen: "BCDF-GHJK".
std::string UserCode() {
    static constexpr char kLetters[] = "BCDFGHJKLMNPQRSTVWXZ";
    unsigned char random[8];
    if (RAND_bytes(random, sizeof random) != 1) throw std::runtime_error("simulated service: no random bytes");
    std::string code;
    for (size_t i = 0; i < sizeof random; ++i) {
        if (i == 4) code.push_back('-');
        code.push_back(kLetters[random[i] % 20]);
    }
    return code;
}

std::string ErrorMessage(const std::string& code) {
    static const std::map<std::string, std::string> kMessages = {
        {"revoked", "Sign in again."},
        {"authorization_pending", "Waiting for the sign-in in the browser."},
        {"expired", "The code expired. Sign in again."},
        {"denied", "The sign-in was cancelled in the browser."},
        {"no_credits", "Insufficient credits. Nothing was charged."},
        {"generation_failed", "Render failed. Credits refunded."},
        {"not_found", "Not found."},
        {"not_ready", "The result is not ready yet."},
        {"invalid_request", "The request is not valid."},
        {"idempotency_conflict", "This idempotency key was used for another request."},
        {"method_not_allowed", "This method is not allowed here."},
    };
    const auto found = kMessages.find(code);
    return found == kMessages.end() ? "The request could not be served." : found->second;
}

void Text(Writer& writer, const char* key, std::string_view value) {
    writer.Key(key);
    writer.String(value.data(), static_cast<rapidjson::SizeType>(value.size()));
}

void Number(Writer& writer, const char* key, int64_t value) {
    writer.Key(key);
    writer.Int64(value);
}

ScriptedAnswer JsonAnswer(int status, const rapidjson::StringBuffer& buffer, std::vector<std::string> extra = {}) {
    std::vector<std::string> lines = {"Content-Type: application/json"};
    lines.insert(lines.end(), extra.begin(), extra.end());
    return ScriptedAnswer::Status(status, std::string(buffer.GetString(), buffer.GetSize()), std::move(lines));
}

// A JSON object body, or nothing when the body is empty, not JSON or not an object.
std::optional<rapidjson::Document> ObjectBody(const std::string& body) {
    rapidjson::Document document;
    document.Parse(body.data(), body.size());
    if (document.HasParseError() || !document.IsObject()) return std::nullopt;
    return document;
}

std::string StringMember(const rapidjson::Value& object, const char* name) {
    const auto found = object.FindMember(name);
    if (found == object.MemberEnd() || !found->value.IsString()) return {};
    return std::string(found->value.GetString(), found->value.GetStringLength());
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Percent-decoding; a "%" without two hexadecimal digits stays as it is.
std::string PercentDecoded(std::string_view text) {
    std::string decoded;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
            decoded.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
            i += 2;
        } else {
            decoded.push_back(text[i]);
        }
    }
    return decoded;
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }
}  // namespace

ScriptedAnswer ServiceError(int status, const std::string& code, const std::string& reason, int retryAfter) {
    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    writer.StartObject();
    writer.Key("error");
    writer.StartObject();
    Text(writer, "code", code);
    Text(writer, "message", ErrorMessage(code));
    Text(writer, "reason", reason);
    if (retryAfter > 0) Number(writer, "retry_after", retryAfter);
    writer.EndObject();
    writer.EndObject();
    return JsonAnswer(status, buffer);
}

struct ServiceRoutes::State {
    struct Device {
        DeviceState state;
        Clock::time_point expires;
    };
    struct Upload {
        UploadState state;
        // Null for an upload too large to keep, which is known by its digest alone.
        std::shared_ptr<const std::string> bytes;
        uint64_t digest = 0;
    };
    struct Job {
        JobState state;
        std::shared_ptr<const std::string> upload;
        uint64_t uploadDigest = 0;
        bool fails = false;
        // Made at the first download.
        std::shared_ptr<const std::string> result;
    };
    // The first answer to a paid request under an idempotency key.
    struct Remembered {
        std::string path;
        std::string body;
        ScriptedAnswer answer;
        Clock::time_point expires;
    };

    explicit State(Settings s) : settings(std::move(s)), credits(settings.credits) {}

    std::optional<ScriptedAnswer> Route(const RecordedRequest& request);
    // Nothing when the request carries a valid token; otherwise the 401 answer.
    std::optional<ScriptedAnswer> Refusal(const RecordedRequest& request, std::string* token) const;
    ScriptedAnswer Config() const;
    // The answer to every route but the configuration while this add-on is not served.
    std::optional<ScriptedAnswer> PluginRefusal() const;
    ScriptedAnswer DeviceStart(const RecordedRequest& request);
    ScriptedAnswer DeviceToken(const RecordedRequest& request);
    ScriptedAnswer Me() const;
    ScriptedAnswer TakeUpload(const RecordedRequest& request);
    ScriptedAnswer UploadInfo(const std::string& id) const;
    ScriptedAnswer Paid(const RecordedRequest& request, const std::string& path, bool animation);
    ScriptedAnswer Poll(const std::string& id);
    std::string NewToken();
    void Advance(Job& job);
    std::string Address(std::string_view path) const { return "https://" + settings.host + std::string(path); }

    const Settings settings;
    mutable std::mutex mutex;
    int64_t credits;
    int64_t charged = 0;
    bool approveAtFirstPoll = false;
    uint64_t pollsUntilDone = settings.pollsUntilDone;
    uint64_t failNext = 0;
    PluginStatus plugin = PluginStatus::Current;
    // Token → still valid.
    std::map<std::string, bool> tokens;
    std::vector<Device> devices;
    std::vector<Upload> uploads;
    std::vector<Job> jobs;
    std::map<std::string, Remembered> remembered;
};

std::string ServiceRoutes::State::NewToken() {
    std::string token = "ovr_" + RandomHex(20);
    tokens[token] = true;
    return token;
}

std::optional<ScriptedAnswer> ServiceRoutes::State::Refusal(const RecordedRequest& request, std::string* token) const {
    const std::optional<std::string> authorization = request.Header("Authorization");
    if (!authorization || !StartsWith(*authorization, "Bearer ") || authorization->size() == 7)
        return ServiceError(401, "revoked", "missing_token");
    *token = authorization->substr(7);
    const auto found = tokens.find(*token);
    if (found == tokens.end()) return ServiceError(401, "revoked", "unknown_token");
    if (!found->second) return ServiceError(401, "revoked", "token_revoked");
    return std::nullopt;
}

std::optional<ScriptedAnswer> ServiceRoutes::State::PluginRefusal() const {
    if (plugin == PluginStatus::Outdated) return ServiceError(426, "plugin_outdated", "plugin_outdated");
    if (plugin == PluginStatus::Disabled) return ServiceError(503, "unavailable", "plugin_disabled", 600);
    return std::nullopt;
}

ScriptedAnswer ServiceRoutes::State::Config() const {
    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    writer.StartObject();
    Number(writer, "contract", 1);
    Text(writer, "site", Address("/"));
    Text(writer, "latest_plugin", "1.1.0");
    writer.Key("costs");
    writer.StartObject();
    Number(writer, "generation", settings.generationCost);
    Number(writer, "animation_video", settings.animationCost);
    writer.EndObject();
    Number(writer, "poll_interval", settings.pollInterval.count());
    Text(writer, "plugin", plugin == PluginStatus::Current    ? "current"
                           : plugin == PluginStatus::Outdated ? "outdated"
                                                              : "disabled");
    writer.EndObject();
    return JsonAnswer(200, buffer);
}

ScriptedAnswer ServiceRoutes::State::DeviceStart(const RecordedRequest& request) {
    Device device;
    if (!request.body.empty()) {
        const std::optional<rapidjson::Document> body = ObjectBody(request.body);
        if (!body) return ServiceError(400, "invalid_request", "body_not_object");
        device.state.name = StringMember(*body, "name");
        device.state.client = StringMember(*body, "client");
        device.state.startBody = request.body;
    }
    device.state.deviceCode = RandomHex(16);
    device.state.userCode = UserCode();
    device.state.status = "pending";
    device.expires = Clock::now() + settings.deviceCodeLife;
    devices.push_back(device);

    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    writer.StartObject();
    Text(writer, "device_code", device.state.deviceCode);
    Text(writer, "user_code", device.state.userCode);
    Text(writer, "verification_uri", Address("/device"));
    Text(writer, "verification_uri_complete", Address("/device?user_code=" + device.state.userCode));
    Number(writer, "interval", settings.pollInterval.count());
    Number(writer, "expires_in", settings.deviceCodeLife.count());
    writer.EndObject();
    return JsonAnswer(200, buffer);
}

ScriptedAnswer ServiceRoutes::State::DeviceToken(const RecordedRequest& request) {
    const std::optional<rapidjson::Document> body = ObjectBody(request.body);
    const std::string code = body ? StringMember(*body, "device_code") : std::string();
    if (code.empty()) return ServiceError(400, "invalid_request", "device_code_missing");
    const auto found = std::find_if(devices.begin(), devices.end(),
                                    [&](const Device& d) { return d.state.deviceCode == code; });
    if (found == devices.end()) return ServiceError(400, "expired", "unknown_device_code");
    DeviceState& device = found->state;
    ++device.polls;
    if (device.status == "pending" && Clock::now() >= found->expires) device.status = "expired";
    if (device.status == "pending" && approveAtFirstPoll) device.status = "approved";

    if (device.status == "pending")
        return ServiceError(400, "authorization_pending", "pending", static_cast<int>(settings.pollInterval.count()));
    if (device.status == "denied") return ServiceError(400, "denied", "access_denied");
    if (device.status == "expired") return ServiceError(400, "expired", "expired_token");
    if (device.status == "used") return ServiceError(400, "expired", "code_used");

    device.status = "used";
    std::string token = NewToken();
    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    writer.StartObject();
    Text(writer, "token", token);
    Text(writer, "token_type", "Bearer");
    writer.EndObject();
    std::fill(token.begin(), token.end(), '\0');
    return JsonAnswer(200, buffer);
}

ScriptedAnswer ServiceRoutes::State::Me() const {
    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    writer.StartObject();
    Text(writer, "id", "acct_1");
    Text(writer, "email", "architect@ovra.example");
    Text(writer, "name", "Simulated Architect");
    Number(writer, "credits", credits);
    writer.EndObject();
    return JsonAnswer(200, buffer);
}

namespace {
void WriteUpload(Writer& writer, const UploadState& upload) {
    writer.StartObject();
    Text(writer, "id", upload.id);
    Text(writer, "content_type", upload.contentType);
    Text(writer, "filename", upload.filename);
    Number(writer, "size", static_cast<int64_t>(upload.size));
    writer.EndObject();
}
}  // namespace

ScriptedAnswer ServiceRoutes::State::TakeUpload(const RecordedRequest& request) {
    if (request.body.empty()) return ServiceError(400, "invalid_request", "empty_upload");
    Upload upload;
    upload.state.id = "upl_" + std::to_string(uploads.size() + 1);
    upload.state.contentType = request.Header("Content-Type").value_or("application/octet-stream");
    upload.state.sentFilename = request.Header("x-filename").value_or("");
    upload.state.filename = upload.state.sentFilename.empty() ? "upload.bin" : PercentDecoded(upload.state.sentFilename);
    upload.state.size = request.body.size();
    // Pictures this large exceed what the result maker decodes; the record holds them whole.
    if (request.body.size() <= kLargestKeptUpload) upload.bytes = std::make_shared<const std::string>(request.body);
    else upload.digest = UploadDigest(request.body);
    uploads.push_back(upload);

    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    WriteUpload(writer, upload.state);
    return JsonAnswer(201, buffer);
}

ScriptedAnswer ServiceRoutes::State::UploadInfo(const std::string& id) const {
    const auto found = std::find_if(uploads.begin(), uploads.end(), [&](const Upload& u) { return u.state.id == id; });
    if (found == uploads.end()) return ServiceError(404, "not_found", "unknown_upload");
    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    WriteUpload(writer, found->state);
    return JsonAnswer(200, buffer);
}

namespace {
void WriteJob(Writer& writer, const JobState& job, const std::string& resultAddress, int64_t credits) {
    writer.StartObject();
    Text(writer, "id", job.id);
    Text(writer, "kind", job.kind);
    Text(writer, "status", job.status);
    Text(writer, "upload_id", job.uploadId);
    Number(writer, "cost", job.cost);
    Number(writer, "credits", credits);
    Text(writer, "poll", std::string(kJobsPrefix) + job.id);
    if (job.status == "done") {
        writer.Key("result");
        writer.StartObject();
        Text(writer, "path", job.resultPath);
        Text(writer, "url", resultAddress);
        Text(writer, "content_type", job.kind == "generation" ? "image/png" : "video/mp4");
        writer.EndObject();
    } else if (job.status == "failed") {
        writer.Key("error");
        writer.StartObject();
        Text(writer, "code", "generation_failed");
        Text(writer, "message", ErrorMessage("generation_failed"));
        writer.EndObject();
    }
    writer.EndObject();
}
}  // namespace

ScriptedAnswer ServiceRoutes::State::Paid(const RecordedRequest& request, const std::string& path, bool animation) {
    const std::string key = request.Header("Idempotency-Key").value_or("");
    if (!key.empty()) {
        const auto found = remembered.find(key);
        if (found != remembered.end() && Clock::now() >= found->second.expires) remembered.erase(found);
        else if (found != remembered.end()) {
            if (found->second.path != path || found->second.body != request.body)
                return ServiceError(409, "idempotency_conflict", "different_request");
            ScriptedAnswer replay = found->second.answer;
            replay.headerLines.push_back("Idempotent-Replayed: true");
            return replay;
        }
    }
    const std::optional<rapidjson::Document> body = ObjectBody(request.body);
    if (!body) return ServiceError(400, "invalid_request", "body_not_object");
    const std::string uploadId = StringMember(*body, "upload_id");
    if (uploadId.empty()) return ServiceError(400, "invalid_request", "upload_id_missing");
    const auto upload =
        std::find_if(uploads.begin(), uploads.end(), [&](const Upload& u) { return u.state.id == uploadId; });
    if (upload == uploads.end()) return ServiceError(404, "not_found", "unknown_upload");
    const int64_t cost = animation ? settings.animationCost : settings.generationCost;
    if (credits < cost) return ServiceError(402, "no_credits", "insufficient_credits");

    credits -= cost;
    charged += cost;
    Job job;
    job.state.id = "job_" + std::to_string(jobs.size() + 1);
    job.state.kind = animation ? "animation-video" : "generation";
    job.state.status = "queued";
    job.state.uploadId = uploadId;
    job.state.idempotencyKey = key;
    job.state.cost = cost;
    job.upload = upload->bytes;
    job.uploadDigest = upload->digest;
    if (failNext > 0) {
        --failNext;
        job.fails = true;
    }
    jobs.push_back(job);

    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    WriteJob(writer, job.state, {}, credits);
    ScriptedAnswer answer = JsonAnswer(202, buffer);
    if (!key.empty()) remembered[key] = {path, request.body, answer, Clock::now() + settings.idempotencyKeyLife};
    return answer;
}

void ServiceRoutes::State::Advance(Job& job) {
    JobState& state = job.state;
    if (state.status == "done" || state.status == "failed") return;
    ++state.polls;
    if (state.polls < pollsUntilDone) {
        state.status = state.polls == 1 ? "queued" : "running";
        return;
    }
    if (job.fails) {
        state.status = "failed";
        credits += state.cost;
        charged -= state.cost;
        return;
    }
    state.status = "done";
    state.resultPath = std::string(kFilesPrefix) + state.id + (state.kind == "generation" ? "/result.png" : "/result.mp4");
}

ScriptedAnswer ServiceRoutes::State::Poll(const std::string& id) {
    const auto found = std::find_if(jobs.begin(), jobs.end(), [&](const Job& j) { return j.state.id == id; });
    if (found == jobs.end()) return ServiceError(404, "not_found", "unknown_job");
    Advance(*found);
    rapidjson::StringBuffer buffer;
    Writer writer(buffer);
    WriteJob(writer, found->state, Address(found->state.resultPath), credits);
    return JsonAnswer(200, buffer);
}

namespace {
// The method a route's path takes; empty for a path that no route has.
std::string AllowedMethod(const std::string& path) {
    if (path == kConfigPath || path == kMePath || StartsWith(path, kJobsPrefix) ||
        StartsWith(path, std::string(kUploadsPath) + "/") ||
        (StartsWith(path, kFilesPrefix) && path.size() > kFilesPrefix.size()))
        return "GET";
    if (path == kStartPath || path == kTokenPath || path == kUploadsPath || path == kGenerationsPath ||
        path == kAnimationPath)
        return "POST";
    if (path == kCurrentTokenPath) return "DELETE";
    return {};
}
}  // namespace

std::optional<ScriptedAnswer> ServiceRoutes::State::Route(const RecordedRequest& request) {
    const std::string target = request.Target();
    const std::string path = target.substr(0, target.find('?'));
    std::lock_guard<std::mutex> lock(mutex);
    if (path == kConfigPath) return Config();
    if (std::optional<ScriptedAnswer> refusal = PluginRefusal()) return refusal;
    if (path == kStartPath) return DeviceStart(request);
    if (path == kTokenPath) return DeviceToken(request);
    std::string token;
    if (std::optional<ScriptedAnswer> refusal = Refusal(request, &token)) return refusal;
    if (path == kCurrentTokenPath) {
        tokens[token] = false;
        return ScriptedAnswer::Status(200, R"({"revoked":true})", {"Content-Type: application/json"});
    }
    if (path == kMePath) return Me();
    if (path == kUploadsPath) return TakeUpload(request);
    if (StartsWith(path, kUploadsPath)) return UploadInfo(path.substr(kUploadsPath.size() + 1));
    if (path == kGenerationsPath || path == kAnimationPath) return Paid(request, path, path == kAnimationPath);
    if (StartsWith(path, kJobsPrefix)) return Poll(path.substr(kJobsPrefix.size()));
    // Files are answered by the caller, outside the lock.
    return std::nullopt;
}

ServiceRoutes::ServiceRoutes(Settings settings) : state_(std::make_unique<State>(std::move(settings))) {}

ServiceRoutes::~ServiceRoutes() = default;

namespace {
// How each route's answers go on the wire, as a real service's servers vary it: the account and
// the polls answer chunked and close, the configuration and the sign-in keep the connection
// alive, result files come in uneven pieces on a connection kept alive, and the rest close.
void Deliver(const std::string& path, ScriptedAnswer& answer) {
    if (path == kMePath || StartsWith(path, kJobsPrefix)) {
        answer.chunked = true;
    } else if (path == kConfigPath || path == kStartPath || path == kTokenPath) {
        answer.keepAlive = true;
    } else if (StartsWith(path, kFilesPrefix)) {
        answer.uneven = true;
        answer.keepAlive = true;
    }
}
}  // namespace

std::optional<ScriptedAnswer> ServiceRoutes::Answer(const RecordedRequest& request) {
    std::optional<ScriptedAnswer> answer = RouteAnswer(request);
    if (answer) {
        const std::string target = request.Target();
        Deliver(target.substr(0, target.find('?')), *answer);
    }
    return answer;
}

std::optional<ScriptedAnswer> ServiceRoutes::RouteAnswer(const RecordedRequest& request) {
    const std::string target = request.Target();
    const std::string path = target.substr(0, target.find('?'));
    const std::string allowed = AllowedMethod(path);
    if (allowed.empty()) return std::nullopt;
    // The add-on reaches the service through loopback but names the service's site.
    const std::optional<std::string> host = request.Header("Host");
    if (!host) return ServiceError(400, "invalid_request", "host_missing");
    if (*host != state_->settings.host && *host != state_->settings.host + ":443")
        return ServiceError(421, "misdirected_request", *host);
    if (request.Method() != allowed) {
        ScriptedAnswer refusal = ServiceError(405, "method_not_allowed", request.Method());
        refusal.headerLines.push_back("Allow: " + allowed);
        return refusal;
    }
    if (!StartsWith(path, kFilesPrefix)) return state_->Route(request);

    // A result file: found under the lock, made (once) outside it.
    std::shared_ptr<const std::string> upload;
    uint64_t digest = 0;
    std::shared_ptr<const std::string> result;
    bool video = false;
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        if (std::optional<ScriptedAnswer> refusal = state_->PluginRefusal()) return refusal;
        std::string token;
        if (std::optional<ScriptedAnswer> refusal = state_->Refusal(request, &token)) return refusal;
        const auto found = std::find_if(state_->jobs.begin(), state_->jobs.end(), [&](const State::Job& j) {
            return StartsWith(path, std::string(kFilesPrefix) + j.state.id + "/");
        });
        if (found == state_->jobs.end()) return ServiceError(404, "not_found", "unknown_file");
        if (found->state.status != "done") return ServiceError(409, "not_ready", found->state.status);
        if (found->state.resultPath != path) return ServiceError(404, "not_found", "unknown_file");
        upload = found->upload;
        digest = found->uploadDigest;
        result = found->result;
        video = found->state.kind != "generation";
    }
    if (!result) {
        const std::string picture = upload ? MakeResultPicture(*upload) : MakeGeneratedPicture(digest);
        result = std::make_shared<const std::string>(video ? VideoHolding(picture) : picture);
        std::lock_guard<std::mutex> lock(state_->mutex);
        for (State::Job& job : state_->jobs)
            if (job.state.resultPath == path && !job.result) job.result = result;
    }
    ScriptedAnswer answer = ScriptedAnswer::Status(200, *result, {video ? "Content-Type: video/mp4" : "Content-Type: image/png"});
    return answer;
}

std::string ServiceRoutes::IssueToken() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->NewToken();
}

bool ServiceRoutes::RevokeToken(const std::string& token) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    const auto found = state_->tokens.find(token);
    if (found == state_->tokens.end() || !found->second) return false;
    found->second = false;
    return true;
}

bool ServiceRoutes::Decide(const std::string& code, DeviceDecision decision) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    for (State::Device& device : state_->devices) {
        if (device.state.deviceCode != code && device.state.userCode != code) continue;
        if (device.state.status == "pending" && Clock::now() >= device.expires) device.state.status = "expired";
        if (device.state.status != "pending") return false;
        device.state.status = decision == DeviceDecision::Approve ? "approved"
                              : decision == DeviceDecision::Deny  ? "denied"
                                                                  : "expired";
        return true;
    }
    return false;
}

void ServiceRoutes::SetApproveAtFirstPoll(bool on) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->approveAtFirstPoll = on;
}

void ServiceRoutes::SetCredits(int64_t credits) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->credits = credits;
}

void ServiceRoutes::SetPollsUntilDone(uint64_t polls) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->pollsUntilDone = std::max<uint64_t>(polls, 1);
}

void ServiceRoutes::SetPluginStatus(PluginStatus status) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->plugin = status;
}

void ServiceRoutes::FailNextJobs(uint64_t count) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->failNext = count;
}

AccountState ServiceRoutes::Account() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    AccountState account;
    account.credits = state_->credits;
    account.charged = state_->charged;
    account.activeTokens = static_cast<uint64_t>(
        std::count_if(state_->tokens.begin(), state_->tokens.end(), [](const auto& t) { return t.second; }));
    account.uploads = state_->uploads.size();
    account.jobs = state_->jobs.size();
    return account;
}

std::vector<DeviceState> ServiceRoutes::Devices() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    std::vector<DeviceState> devices;
    for (const State::Device& device : state_->devices) devices.push_back(device.state);
    return devices;
}

std::vector<UploadState> ServiceRoutes::Uploads() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    std::vector<UploadState> uploads;
    for (const State::Upload& upload : state_->uploads) uploads.push_back(upload.state);
    return uploads;
}

std::vector<JobState> ServiceRoutes::Jobs() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    std::vector<JobState> jobs;
    for (const State::Job& job : state_->jobs) jobs.push_back(job.state);
    return jobs;
}
