// Fuzz target: request texts through the bridge of a palette in the simulated host. The input is
// up to eight request texts, one a line (UTF-8, invalid bytes read as U+FFFD), posted in order as
// the page posts them; each is run until the host has nothing left to do. A text gets no reply
// unless it is a JSON object with an answerable id, and then exactly one, with that id; every
// message is one whole JSON object; the only event is "signedOut", and only beside a "revoked"
// error.
//
// Each input starts signed in. Service requests never reach a network: the transport is answered
// in place by the service stand-in below, which a path's query steers: "status=NNN" answers that
// status, "retry=TEXT" sends TEXT as the Retry-After header, "drop" fails the connection. Stored
// files under the references of fuzz/FuzzHost.h exist, the open-file dialog picks a PNG and the
// folder dialog a scratch folder, so placing, saving, picking and uploading can succeed.
#include <rapidjson/document.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "fuzz/FuzzHost.h"
#include "handlers/service/ServicePaths.h"
#include "panel/Replies.h"
#include "platform/Http.h"
#include "platform/Utf.h"

namespace {
using namespace FuzzBridge;

constexpr size_t kMaxLines = 8;
constexpr size_t kMaxIdBytes = 128;

// The value of a query parameter ("" when it has none), or nothing when the query lacks it.
bool QueryValue(std::string_view path, std::string_view name, std::string_view* value) {
    const size_t query = path.find('?');
    if (query == std::string_view::npos) return false;
    std::string_view rest = path.substr(query + 1);
    while (!rest.empty()) {
        const size_t amp = rest.find('&');
        const std::string_view pair = rest.substr(0, amp);
        const size_t eq = pair.find('=');
        if (pair.substr(0, eq) == name) {
            *value = eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
            return true;
        }
        if (amp == std::string_view::npos) break;
        rest = rest.substr(amp + 1);
    }
    return false;
}

HttpExchangeResult AnswerInPlace(const HttpExchangeRequest& request) {
    const std::string_view path = request.path;
    std::string_view value;
    if (QueryValue(path, "drop", &value)) throw std::runtime_error("network error");
    HttpExchangeResult result;
    result.status = 200;
    if (QueryValue(path, "status", &value) && !value.empty() && value.size() <= 3 &&
        value.find_first_not_of("0123456789") == std::string_view::npos)
        result.status = std::stoi(std::string(value));
    if (QueryValue(path, "retry", &value)) result.retryAfter = ParseRetryAfter(value);
    if (result.status < 200 || result.status > 299) {
        result.body = R"({"error":{"code":"limit_reached","reason":"stand_in"}})";
        return result;
    }
    const std::string_view base = BasePath(path);
    if (base == "/api/v1/device/token") {
        result.body = R"({"token":"fuzz-new-token","token_type":"Bearer"})";
    } else if (base.rfind("/files/", 0) == 0) {
        const bool jpeg = base.size() >= 4 && base.substr(base.size() - 4) == ".jpg";
        result.body = jpeg ? SampleJpeg() : SamplePng();
    } else if (!request.body.empty() && request.body.front() == '{') {
        result.body = std::string(request.body);
    } else {
        result.body = "{\"path\":" + JsonQuote(path) + "}";
    }
    return result;
}

// The id the text's reply must carry, when it is answerable.
bool AnswerableId(std::string_view text, std::string* id) {
    rapidjson::Document d;
    d.Parse(text.data(), text.size());
    if (d.HasParseError() || !d.IsObject()) return false;
    const rapidjson::Value& request = d;
    const auto it = request.FindMember("id");
    if (it == request.MemberEnd() || !it->value.IsString()) return false;
    id->assign(it->value.GetString(), it->value.GetStringLength());
    return !id->empty() && id->size() <= kMaxIdBytes && id->rfind("selftest-", 0) != 0;
}

void PostAndCheck(SimHost& host, const std::string& text) {
    ScriptedPage& page = *host.Page();
    const size_t firstMessage = page.Messages().size(), firstScript = page.Scripts().size();
    page.Post(text);
    Settle(host);
    const Arrivals arrivals = CheckedArrivals(page, firstMessage, firstScript);
    std::string id;
    const bool answerable = AnswerableId(text, &id);
    Check(arrivals.replies.size() == (answerable ? 1u : 0u), "exactly one reply to an answerable text, else none");
    if (!answerable) {
        Check(arrivals.events.empty(), "no event for a text that is not answered");
        return;
    }
    const ScriptedPage::Message& reply = *arrivals.replies.front();
    Check(reply.Id() == id, "the reply carries the request's id");
    Check(reply.Ok() || !reply.ErrorCode().empty(), "a reply is ok or names an error code");
    for (const ScriptedPage::Message* event : arrivals.events) {
        const rapidjson::Value& name = (*event->document)["event"];
        Check(name.IsString() && std::string_view(name.GetString(), name.GetStringLength()) == "signedOut" &&
                  reply.ErrorCode() == "revoked",
              "the only event is signedOut, beside a revoked error");
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SimHost& host = StartedHost();
    SetExchangeStandIn(AnswerInPlace);
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    for (size_t line = 0; line < kMaxLines && start <= input.size(); ++line) {
        size_t end = input.find('\n', start);
        if (end == std::string_view::npos) end = input.size();
        // A page's text reaches the add-on as UTF-8 made from the script's UTF-16 string, so it
        // is always valid; the bytes of the input are read the same way.
        PostAndCheck(host, Utf16ToUtf8(Utf8ToUtf16(input.substr(start, end - start))));
        start = end + 1;
    }
    ResetForNextInput(host);
    return 0;
}
