// No copy of the device token outlives its use unwiped: every block the C++ allocator takes back,
// and on Linux every string curl duplicated (the header list's lines), is searched for the
// token's bytes, in UTF-8 and in UTF-16, as it is freed. Buffers inside libcurl, OpenSSL and
// WinHTTP are not searched: the add-on installs no allocator of its own for them. The calls run
// on the test's thread, so only frees of that thread count; the simulated service serves on
// threads of its own (on Linux in this process).
// This program replaces the global operator new and delete, so it is a program of its own.
#include <gtest/gtest.h>

#include <malloc.h>
#if !defined(_WIN32)
#include <curl/curl.h>
#endif

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <thread>

#include "handlers/service/HttpTransport.h"
#include "platform/Http.h"
#include "platform/Secure.h"
#include "support/TestService.h"

namespace {
// What is searched for, and what was found; set only while nothing is watched.
char g_utf8[256];
size_t g_utf8Size = 0;
char g_utf16[512];
size_t g_utf16Size = 0;
std::atomic<bool> g_watching{false};
std::thread::id g_watchedThread;
std::atomic<size_t> g_found{0};

bool Holds(const void* block, size_t size, const char* needle, size_t needleSize) {
    if (needleSize == 0 || size < needleSize) return false;
    const char* bytes = static_cast<const char*>(block);
    for (const char* at = bytes; at + needleSize <= bytes + size; ++at) {
        at = static_cast<const char*>(std::memchr(at, needle[0], static_cast<size_t>(bytes + size - at)));
        if (at == nullptr || at + needleSize > bytes + size) return false;
        if (std::memcmp(at, needle, needleSize) == 0) return true;
    }
    return false;
}

size_t BlockSize(void* block) {
#if defined(_WIN32)
    return _msize(block);
#else
    return malloc_usable_size(block);
#endif
}

void Inspect(const void* block, size_t size) {
    if (block == nullptr || !g_watching.load(std::memory_order_relaxed) ||
        std::this_thread::get_id() != g_watchedThread)
        return;
    if (Holds(block, size, g_utf8, g_utf8Size) || Holds(block, size, g_utf16, g_utf16Size)) ++g_found;
}

#if !defined(_WIN32)
// The strings curl duplicated and has not freed yet: a fixed table, as the hooks must not
// allocate through themselves.
std::mutex g_duplicatesMutex;
void* g_duplicates[4096];

void NoteDuplicate(void* p) {
    const std::lock_guard<std::mutex> lock(g_duplicatesMutex);
    for (void*& slot : g_duplicates)
        if (slot == nullptr) {
            slot = p;
            return;
        }
}
bool TakeDuplicate(void* p) {
    const std::lock_guard<std::mutex> lock(g_duplicatesMutex);
    for (void*& slot : g_duplicates)
        if (slot == p) {
            slot = nullptr;
            return true;
        }
    return false;
}

void CurlFree(void* p) {
    if (p != nullptr && TakeDuplicate(p)) Inspect(p, std::strlen(static_cast<const char*>(p)) + 1);
    std::free(p);
}
char* CurlStrdup(const char* text) {
    char* copy = strdup(text);
    if (copy != nullptr) NoteDuplicate(copy);
    return copy;
}

// Installed before the transport's first call, which then finds curl set up already.
const bool g_curlHooks = [] {
    return curl_global_init_mem(CURL_GLOBAL_DEFAULT, std::malloc, CurlFree, std::realloc, CurlStrdup, std::calloc) ==
           CURLE_OK;
}();
#else
const bool g_curlHooks = true;  // WinHTTP's copies are its own
#endif

class Watch {
public:
    explicit Watch(const std::string& token) {
        g_utf8Size = std::min(token.size(), sizeof g_utf8);
        std::memcpy(g_utf8, token.data(), g_utf8Size);
        g_utf16Size = std::min(2 * token.size(), sizeof g_utf16);
        for (size_t i = 0; i < g_utf16Size / 2; ++i) {
            g_utf16[2 * i] = token[i];
            g_utf16[2 * i + 1] = 0;
        }
        g_found = 0;
        g_watchedThread = std::this_thread::get_id();
        g_watching = true;
    }
    ~Watch() {
        g_watching = false;
        SecureZero(g_utf8, sizeof g_utf8);
        SecureZero(g_utf16, sizeof g_utf16);
    }
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;
    size_t Found() const { return g_found; }
};
}  // namespace

void* operator new(size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void operator delete(void* p) noexcept {
    if (p != nullptr) Inspect(p, BlockSize(p));
    std::free(p);
}
void operator delete(void* p, size_t) noexcept { operator delete(p); }

namespace {
class TokenCopies : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(g_curlHooks);
        service = TestService::Start();
        token = service->IssueToken();
        ASSERT_GE(token.size(), 16u) << "a token short enough to sit inside a string object would hide its copies";
    }
    void TearDown() override { SetServiceEndpoint({}); }

    std::unique_ptr<TestService> service;
    std::string token;
};

// The token with text after it, in one allocation, wiped when the test is done with it.
class Extended {
public:
    Extended(const std::string& token, std::string_view tail) {
        text_.reserve(token.size() + tail.size());
        text_.append(token).append(tail);
    }
    ~Extended() { SecureWipe(text_); }
    Extended(const Extended&) = delete;
    Extended& operator=(const Extended&) = delete;
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

TEST_F(TokenCopies, TheSearchFindsACopyFreedUnwiped) {
    const Watch watch(token);
    { const std::string copy(token); }
    EXPECT_EQ(watch.Found(), 1u);
    { const std::u16string wide(token.begin(), token.end()); }
    EXPECT_EQ(watch.Found(), 2u);
#if !defined(_WIN32)
    const Extended line(token, "\r\n");
    curl_slist* list = curl_slist_append(nullptr, line.text().c_str());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(watch.Found(), 2u);
    curl_slist_free_all(list);
    EXPECT_EQ(watch.Found(), 3u) << "curl's copy of a header line";
#endif
}

TEST_F(TokenCopies, CallsWithTheTokenFreeNoCopyOfItUnwiped) {
    const Watch watch(token);
    const HttpResponse me = SendRequest(u"GET", u"/api/v1/me", token, u"en", "", u"", 30000);
    EXPECT_EQ(me.status, 200);
    const HttpResponse json = SendRequest(u"POST", u"/api/v1/projects", token, u"en", "{\"name\":\"x\"}",
                                          u"Content-Type: application/json\r\n", 30000);
    EXPECT_GT(json.status, 0);
    const HttpResponse upload =
        SendRequest(u"POST", u"/api/v1/uploads", token, u"en", std::string(3000, 'b'),
                    u"Content-Type: image/png\r\nx-filename: a.png\r\n", 30000);
    EXPECT_GT(upload.status, 0);
    // A refused token takes the error path of every layer.
    const Extended revoked(token, "-revoked");
    const HttpResponse refused = SendRequest(u"GET", u"/api/v1/me", revoked.text(), u"en", "", u"", 30000);
    EXPECT_EQ(refused.status, 401);
    EXPECT_EQ(watch.Found(), 0u);
}

TEST_F(TokenCopies, ARefusedRequestFreesNoCopyUnwiped) {
    const Watch watch(token);
    EXPECT_THROW(SendRequest(u"GET", u"/a\r\nb", token, u"en", "", u"", 30000), std::invalid_argument);
    const Extended invalid(token, "\xC3(");
    EXPECT_THROW(RequestHeaderBlock(invalid.text(), u"en", u""), std::runtime_error);
    EXPECT_EQ(watch.Found(), 0u);
}
}  // namespace
