// Service paths: the one spelling a path may have before a request carries it.
#include <gtest/gtest.h>

#include "handlers/service/ServicePaths.h"

namespace {

TEST(ServicePaths, AcceptedPathsKeepTheirQueryAndLoseTheOrigin) {
    const std::pair<std::string, std::string> cases[] = {
        {"/api/v1/me", "/api/v1/me"},
        {"https://app.ovra.example/api/v1/me?a=1&b=%2F", "/api/v1/me?a=1&b=%2F"},
        {"/files/job_1/result.png", "/files/job_1/result.png"},
        {"/api/v1/a%20b%25c", "/api/v1/a%20b%25c"},
        {"/api/v1/jobs?next=/x/./y", "/api/v1/jobs?next=/x/./y"},  // the query is not a path
        {"/api/" + std::string(2043, 'a'), "/api/" + std::string(2043, 'a')},
    };
    for (const auto& [given, normalised] : cases) {
        std::string path = given;
        EXPECT_TRUE(NormalizeServicePath(path)) << given;
        EXPECT_EQ(path, normalised);
        EXPECT_EQ(BasePath(path), normalised.substr(0, normalised.find('?')));
    }
}

TEST(ServicePaths, EveryOtherSpellingOfAnEndpointIsRefused) {
    for (const std::string& path : std::vector<std::string>{
             "", "api/v1/me", "//api/v1/me", "/\\api", "/other/x", "/api", "https://app.ovra.example",
             "https://other.example/api/v1/me", "https://app.ovra.example.evil/api/v1/me",
             "/api/" + std::string(2044, 'a'),
             // dot segments and doubled slashes
             "/api/../x", "/api/v1/..", "/api/v1/./me", "/api/v1//me", "/api/v1/me/.", "/api/v1/me/",
             "/api/v1/generations/?x=1",
             // escapes of characters the path could spell plainly, or of separators
             "/api/v1/device/toke%6e", "/api/v1/generation%73", "/api/v1/%2e%2e/x", "/api/v1%2Fme", "/api/v1%5cme",
             "/api/v1/%2E/me", "/api/v1/%7euser", "/api/v1/me%", "/api/v1/me%2", "/api/v1/me%zz",
             // characters outside the allowed set
             "/files/a#b", "/api/v1/a b", "/api/v1/\xC3\xA9", "/api/v1/a;b", "/api/v1/a\"b", std::string("/api/v1/a\0b", 11)}) {
        std::string copy = path;
        EXPECT_FALSE(NormalizeServicePath(copy)) << path;
    }
}

}  // namespace
