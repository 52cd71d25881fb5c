// The Linux transport against a server no one here wrote: Debian's nginx over TLS on loopback,
// so that a misreading shared by the transport and the simulated service cannot hide. nginx
// answers from its own files and locations; its access log says how it framed each answer.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include <unistd.h>

#include "handlers/service/HttpTransport.h"
#include "service/NginxServer.h"
#include "sim/service/ServiceScript.h"

namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The files every case reads, written once for the suite, and nginx serving them.
class AgainstNginx : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        root_ = new fs::path(fs::temp_directory_path() / ("tovr-nginx-www-" + std::to_string(::getpid())));
        fs::create_directories(*root_);
        WriteFile(*root_ / "limit.bin", GeneratedBody(kMaxResponseBody));
        WriteFile(*root_ / "over.bin", GeneratedBody(kMaxResponseBody + 1));
        // A page whose include makes nginx send it chunked: its length is known only once sent.
        WriteFile(*root_ / "part.html", GeneratedBody(200000));
        WriteFile(*root_ / "page.shtml", "before <!--# include virtual=\"/part.html\" --> after");
    }
    static void TearDownTestSuite() {
        std::error_code ignored;
        fs::remove_all(*root_, ignored);
        delete root_;
        root_ = nullptr;
    }

    // A server that cannot start fails the case: nothing here is skipped.
    void SetUp() override {
        ASSERT_NO_THROW(nginx = std::make_unique<NginxServer>(*root_));
        SetServiceEndpoint({nginx->Port(), nginx->CaFile().string()});
    }
    void TearDown() override { SetServiceEndpoint({}); }

    static HttpResponse Get(const std::u16string& path) { return SendRequest(u"GET", path, "", u"en", "", u"", 20000); }

    // The access log once it holds `lines` lines (or after 10 s): nginx writes a request's line
    // once it has finished with it, which may be just after the client has its answer.
    std::string AccessLogOf(long lines) const {
        std::string log = nginx->AccessLog();
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::count(log.begin(), log.end(), '\n') < lines && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            log = nginx->AccessLog();
        }
        return log;
    }

    static fs::path* root_;
    std::unique_ptr<NginxServer> nginx;
};

fs::path* AgainstNginx::root_ = nullptr;

TEST_F(AgainstNginx, AStaticFileAtTheSizeLimitArrivesWholeAndByteExact) {
    const HttpResponse r = Get(u"/limit.bin");
    EXPECT_EQ(r.status, 200);
    ASSERT_EQ(r.body.size(), kMaxResponseBody);
    EXPECT_TRUE(r.body == GeneratedBody(kMaxResponseBody)) << "the body differs from the file";
}

TEST_F(AgainstNginx, AChunkedAnswerArrivesWhole) {
    const HttpResponse r = Get(u"/page.shtml");
    EXPECT_EQ(r.status, 200);
    EXPECT_TRUE(r.body == "before " + GeneratedBody(200000) + " after") << r.body.size() << " bytes";
    const std::string log = AccessLogOf(1);
    EXPECT_NE(log.find("/page.shtml 200 chunked "), std::string::npos) << log;
}

TEST_F(AgainstNginx, ARedirectIsReturnedNotFollowed) {
    const HttpResponse r = Get(u"/moved");
    EXPECT_EQ(r.status, 301);
    EXPECT_EQ(nginx->AccessLog().find("/elsewhere"), std::string::npos) << nginx->AccessLog();
}

TEST_F(AgainstNginx, RetryAfterIsRead) {
    const HttpResponse r = Get(u"/busy");
    EXPECT_EQ(r.status, 503);
    EXPECT_EQ(r.retryAfter, 120);
}

TEST_F(AgainstNginx, ABodyOverTheLimitIsRefused) {
    try {
        Get(u"/over.bin");
        ADD_FAILURE() << "a body of 32 MiB and a byte was taken";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "response too large");
    }
}

// nginx keeps connections open for a next request; the transport still opens one an exchange.
TEST_F(AgainstNginx, EachExchangeHasAConnectionOfItsOwn) {
    Get(u"/busy");
    Get(u"/busy");
    const std::string log = AccessLogOf(2);
    const size_t second = log.find('\n') + 1;
    ASSERT_NE(log.find('\n', second), std::string::npos) << log;
    const auto connectionOf = [](const std::string& line) { return line.substr(line.rfind(' ') + 1); };
    EXPECT_NE(connectionOf(log.substr(0, second - 1)), connectionOf(log.substr(second, log.find('\n', second) - second)))
        << log;
}

}  // namespace
