// POSIX: the HTTPS exchange on libcurl, one easy handle per call, sending no header of its own
// beyond what the Windows transport sends, with the system's CA store.
#include <curl/curl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cctype>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>

#include "platform/Http.h"
#include "platform/Secure.h"

namespace {
struct CurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
// The header lines may hold the token: curl's copies of them are wiped before curl frees them.
struct ListDeleter {
    void operator()(curl_slist* list) const {
        for (curl_slist* item = list; item != nullptr; item = item->next)
            if (item->data != nullptr) SecureZero(item->data, std::strlen(item->data));
        curl_slist_free_all(list);
    }
};
using Curl = std::unique_ptr<CURL, CurlDeleter>;
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;

struct Receiver {
    std::string body;
    bool tooLarge = false;
    int32_t retryAfter = 0;
};

// Asks the kernel to back a large body with 2 MiB pages where it can. Fresh memory is taken
// one page fault at a time, and on a virtual machine each fault of a 4 KiB page can cost tens
// of microseconds: for a 32 MiB body, more than the whole exchange. Only advice: the memory is
// the same, and nothing changes where the kernel does not take it.
void AdviseLargePages(const std::string& body) {
    constexpr size_t kLargePage = size_t{2} << 20;
    if (body.capacity() < 2 * kLargePage) return;
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pageSize <= 0) return;
    const uintptr_t page = static_cast<uintptr_t>(pageSize);
    // Only whole pages of the body's own allocation.
    const uintptr_t start = reinterpret_cast<uintptr_t>(body.data());
    const uintptr_t begin = (start + page - 1) & ~(page - 1);
    const uintptr_t end = (start + body.capacity()) & ~(page - 1);
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* r = static_cast<Receiver*>(user);
    const size_t n = size * count;
    // Checked before the chunk is taken: exactly the limit is accepted.
    if (n > kMaxResponseBody - r->body.size()) {
        r->tooLarge = true;
        return 0;
    }
    r->body.append(data, n);
    return n;
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto* r = static_cast<Receiver*>(user);
    std::string_view line(data, size * count);
    if (StartsWith(line, "HTTP/")) r->retryAfter = 0;  // a new response starts
    constexpr std::string_view kName = "Retry-After:";
    if (StartsWithNoCase(line, kName)) {
        line.remove_prefix(kName.size());
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
        r->retryAfter = ParseRetryAfter(line);
    }
    // The announced length is room taken once, instead of the body growing by doubling; a length
    // beyond the limit takes none (the body is refused as it arrives).
    constexpr std::string_view kLength = "Content-Length:";
    if (StartsWithNoCase(line, kLength)) {
        line.remove_prefix(kLength.size());
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        uint64_t length = 0;
        const auto [end, ec] = std::from_chars(line.data(), line.data() + line.size(), length);
        if (ec == std::errc() && end != line.data() && length <= kMaxResponseBody && r->body.empty()) {
            try {
                r->body.reserve(length);
                AdviseLargePages(r->body);
            } catch (const std::bad_alloc&) {
                // Growing as the bytes come is still possible, and fails there if it must.
            }
        }
    }
    return size * count;
}

// Adds each CR LF-terminated line of the block as one header.
bool AddLines(HeaderList& list, std::string_view block, bool* hasContentType) {
    while (!block.empty()) {
        const size_t end = block.find("\r\n");
        std::string line(block.substr(0, end));
        const WipeOnExit wipe(line);
        block.remove_prefix(end == std::string_view::npos ? block.size() : end + 2);
        if (line.empty()) continue;
        if (StartsWithNoCase(line, "Content-Type:")) *hasContentType = true;
        curl_slist* grown = curl_slist_append(list.get(), line.c_str());
        if (grown == nullptr) return false;
        list.release();
        list.reset(grown);
    }
    return true;
}
}  // namespace

HttpExchangeResult HttpExchange(const HttpExchangeRequest& request) {
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    Curl curl(curl_easy_init());
    if (!curl) throw std::runtime_error("WinHTTP failed");
    CURL* c = curl.get();

    HeaderList headers;
    bool hasContentType = false;
    // curl's own Accept, Expect and form Content-Type are suppressed; a caller's Content-Type stays.
    if (!AddLines(headers, request.headerBlock, &hasContentType) || !AddLines(headers, "Accept:\r\nExpect:\r\n", &hasContentType))
        throw std::runtime_error("WinHTTP failed");
    if (!hasContentType && !AddLines(headers, "Content-Type:\r\n", &hasContentType))
        throw std::runtime_error("WinHTTP failed");

    const ServiceEndpoint endpoint = CurrentServiceEndpoint();
    const std::string url = std::string("https://") + kServiceHost + ":443" + request.path;
    const std::string connectTo = std::string(kServiceHost) + ":443:127.0.0.1:" + std::to_string(endpoint.port);
    HeaderList connectList;
    if (endpoint.port != 0) {
        connectList.reset(curl_slist_append(nullptr, connectTo.c_str()));
        if (!connectList) throw std::runtime_error("WinHTTP failed");
    }
    const long timeoutMs = static_cast<long>(request.timeoutMs);
    const long stallSeconds = std::max(1L, (timeoutMs + 999) / 1000);

    Receiver receiver;
    bool ok = curl_easy_setopt(c, CURLOPT_URL, url.c_str()) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_HTTP_VERSION, long{CURL_HTTP_VERSION_1_1}) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_USERAGENT, kAgentName) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get()) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_FORBID_REUSE, 1L) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_FRESH_CONNECT, 1L) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "https") == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody) == CURLE_OK &&
              // Large reads for large bodies, as the curl program itself uses.
              curl_easy_setopt(c, CURLOPT_BUFFERSIZE, 512L * 1024L) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_WRITEDATA, &receiver) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, OnHeader) == CURLE_OK &&
              curl_easy_setopt(c, CURLOPT_HEADERDATA, &receiver) == CURLE_OK;
    if (!ok) throw std::runtime_error("WinHTTP failed");
    ok = curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs) == CURLE_OK &&
         curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L) == CURLE_OK &&
         curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, stallSeconds) == CURLE_OK;
    if (!ok) throw std::runtime_error("WinHTTP timeout setup failed");
    if (endpoint.port != 0) {
        ok = curl_easy_setopt(c, CURLOPT_CONNECT_TO, connectList.get()) == CURLE_OK &&
             (endpoint.caFile.empty() || curl_easy_setopt(c, CURLOPT_CAINFO, endpoint.caFile.c_str()) == CURLE_OK);
        if (!ok) throw std::runtime_error("WinHTTP security setup failed");
    }
    if (request.verb == "GET" && request.body.empty()) {
        ok = curl_easy_setopt(c, CURLOPT_HTTPGET, 1L) == CURLE_OK;
    } else {
        ok = curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, request.verb.c_str()) == CURLE_OK;
        if (request.verb != "GET" && request.verb != "DELETE") {
            // The body, possibly empty, goes with its length.
            ok = ok && curl_easy_setopt(c, CURLOPT_POSTFIELDS, request.body.data()) == CURLE_OK &&
                 curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size())) ==
                     CURLE_OK;
        } else if (!request.body.empty()) {
            ok = ok && curl_easy_setopt(c, CURLOPT_POSTFIELDS, request.body.data()) == CURLE_OK &&
                 curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size())) ==
                     CURLE_OK;
        }
    }
    if (!ok) throw std::runtime_error("WinHTTP failed");

    const CURLcode result = curl_easy_perform(c);
    if (receiver.tooLarge) throw std::runtime_error("response too large");
    if (result != CURLE_OK) throw std::runtime_error("network error");
    long status = 0;
    if (curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status <= 0)
        throw std::runtime_error("invalid HTTP response");
    return HttpExchangeResult{static_cast<int32_t>(status), receiver.retryAfter, std::move(receiver.body)};
}
