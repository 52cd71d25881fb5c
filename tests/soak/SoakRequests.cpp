// The request texts of a soak round.
#include "soak/SoakRequests.h"

#include "panel/Replies.h"
#include "support/Harness.h"

namespace {
std::string Quoted(const std::string& text) { return JsonQuote(text); }

std::string Api(const std::string& method, const std::string& path, const std::string& rest = "") {
    std::string text = "{\"method\":" + Quoted(method) + ",\"path\":" + Quoted(path);
    text += rest;
    return text + "}";
}

std::string ApiPayload(std::mt19937_64& random, const SoakSources& s) {
    switch (std::uniform_int_distribution<int>(0, 11)(random)) {
        case 0: return Api("GET", "/api/v1/me");
        case 1: return Api("GET", "/api/v1/plugin/config");
        case 2: return Api("POST", "/api/v1/device/start", R"(,"body":{})");
        case 3: return Api("POST", "/api/v1/device/token", R"(,"body":{"device_code":"soak"})");
        case 4: {
            const std::string ref = Pick(random, std::vector<std::string>{s.pngRef, s.pngRef, s.textRef, s.missingRef});
            return Api("PUT", "/api/v1/uploads",
                       ",\"body\":{\"fileRef\":" + Quoted(ref) +
                           R"(},"options":{"binary":true,"contentType":"image/png","filename":"shot 1.png"})");
        }
        case 5: {
            const std::string upload = s.uploadIds.empty() ? "upl_missing" : Pick(random, s.uploadIds);
            const std::string key = Chance(random, 0.5) ? R"(,"options":{"idempotencyKey":"soak-key"})" : "";
            return Api("POST", Chance(random, 0.8) ? "/api/v1/generations" : "/api/v1/animation-video",
                       ",\"body\":{\"upload_id\":" + Quoted(upload) + R"(,"prompt":"dusk"})" + key);
        }
        case 6: return Api("GET", "/api/v1/jobs/" + (s.jobIds.empty() ? std::string("job_1") : Pick(random, s.jobIds)));
        case 7:
        case 8: {
            const std::string path = s.resultPaths.empty() ? "/files/job_1/result.png" : Pick(random, s.resultPaths);
            return Api("GET", path, R"(,"options":{"binary":true})");
        }
        case 9: return Chance(random, 0.25) ? Api("DELETE", "/api/v1/device/tokens/current") : Api("GET", "/api/v1/me");
        case 10: return Api("GET", "/api/v1/%2e%2e/me");
        default: return Api("get", "/api/v1/me", R"(,"options":{"noCache":true})");
    }
}

std::string SaveItem(std::mt19937_64& random, const SoakSources& s) {
    static const std::vector<std::string> kNames = {"render.png", "", "a/b:c*?.jpg", "report.pdf", " .. ", "clip"};
    const std::string name = ",\"name\":" + Quoted(Pick(random, kNames)) + "}";
    switch (std::uniform_int_distribution<int>(0, 6)(random)) {
        case 0:
        case 1: return "{\"fileRef\":" + Quoted(s.pngRef) + name;
        case 2: return "{\"fileRef\":" + Quoted(s.gifRef) + name;
        case 3: return "{\"fileRef\":" + Quoted(s.textRef) + name;
        case 4: return "{\"fileRef\":" + Quoted(s.missingRef) + name;
        case 5:
            return "{\"path\":" + Quoted(s.resultPaths.empty() ? "/files/job_1/result.png" : Pick(random, s.resultPaths)) +
                   name;
        default: return "7";
    }
}

std::string SavePayload(std::mt19937_64& random, const SoakSources& s) {
    if (Chance(random, 0.05)) return "{}";
    std::string files = "[";
    const int items = std::uniform_int_distribution<int>(0, 3)(random);
    for (int i = 0; i < items; ++i) {
        if (i > 0) files += ",";
        files += SaveItem(random, s);
    }
    files += "]";
    static const std::vector<std::string> kFolders = {"", "Renders", "::", "Ovra renders"};
    return "{\"files\":" + files + ",\"folder\":" + Quoted(Pick(random, kFolders)) + "}";
}

std::string PlacePayload(std::mt19937_64& random, const SoakSources& s, const std::string& label) {
    const std::string named = ",\"label\":" + Quoted(label) + "}";
    switch (std::uniform_int_distribution<int>(0, 7)(random)) {
        case 0:
        case 1:
        case 2: return "{\"fileRef\":" + Quoted(s.pngRef) + named;
        case 3: return "{\"fileRef\":" + Quoted(s.gifRef) + named;
        case 4: return "{\"fileRef\":" + Quoted(s.textRef) + named;
        case 5: return "{\"fileRef\":" + Quoted(Chance(random, 0.5) ? s.missingRef : "cap-../../token") + named;
        case 6:
            return "{\"path\":" + Quoted(s.resultPaths.empty() ? "/files/job_1/result.png" : Pick(random, s.resultPaths)) +
                   named;
        default: return "{}";
    }
}

// A text the bridge drops: not JSON, not an object, or an id it refuses.
std::string DroppedText(std::mt19937_64& random) {
    switch (std::uniform_int_distribution<int>(0, 4)(random)) {
        case 0: return "{not json";
        case 1: return "[1,2]";
        case 2: return Request(std::string(129, 'x'), "getState");
        case 3: return R"({"id":"","type":"getState"})";
        default: return R"({"id":7,"type":"getState"})";
    }
}
}  // namespace

std::vector<SoakRequest> MakeSoakRequests(std::mt19937_64& random, const SoakSources& s, const std::string& prefix,
                                          int count) {
    // Weights of the types, the "api" request most of all: it has the most paths through it.
    static const std::vector<std::pair<const char*, int>> kTypes = {
        {"getState", 6}, {"setState", 8},  {"openUrl", 4},  {"api", 30},   {"listViews", 6}, {"capture", 8},
        {"place", 12},   {"pickFile", 6},  {"saveFiles", 10}, {"record", 2}, {"getstate", 2}};
    std::vector<int> weights;
    for (const auto& t : kTypes) weights.push_back(t.second);
    std::discrete_distribution<size_t> type(weights.begin(), weights.end());

    std::vector<SoakRequest> requests;
    for (int n = 0; n < count; ++n) {
        if (Chance(random, 1.0 / 30)) requests.push_back({"", "", DroppedText(random), "", ""});
        SoakRequest r;
        r.id = prefix + std::to_string(n);
        r.type = kTypes[type(random)].first;
        std::string payload;
        if (r.type == "setState") {
            if (Chance(random, 0.1)) {
                payload = R"({"state":[1]})";
            } else {
                r.state = "{\"request\":" + Quoted(r.id) + ",\"pad\":\"" +
                          std::string(std::uniform_int_distribution<size_t>(0, 3000)(random), 's') + "\"}";
                payload = "{\"state\":" + r.state + "}";
            }
        } else if (r.type == "openUrl") {
            payload = Pick(random, std::vector<std::string>{R"({"target":"account"})",
                                                            R"({"url":"https://app.ovra.example/pricing"})",
                                                            R"({"url":"http://elsewhere.example/"})"});
        } else if (r.type == "api") {
            payload = ApiPayload(random, s);
        } else if (r.type == "capture") {
            if (!s.viewIds.empty() && Chance(random, 0.5))
                payload = "{\"viewId\":" + Quoted(Pick(random, s.viewIds)) + "}";
            else
                payload = Pick(random, std::vector<std::string>{R"({"viewId":"current"})", R"({"viewId":"nav-unknown"})", ""});
        } else if (r.type == "place") {
            r.label = "soak " + r.id;
            payload = PlacePayload(random, s, r.label);
        } else if (r.type == "pickFile") {
            payload = Pick(random, std::vector<std::string>{R"({"accept":["image/*"]})",
                                                            R"({"accept":["video/mp4","image/png"]})", ""});
        } else if (r.type == "saveFiles") {
            payload = SavePayload(random, s);
        }
        r.text = Request(r.id, r.type, payload);
        requests.push_back(std::move(r));
    }
    return requests;
}
