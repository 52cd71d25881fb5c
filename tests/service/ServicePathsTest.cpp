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
        // the special endpoints in their own spelling, and paths that only resemble them
        {"/api/v1/projects/p/images/i/generations", "/api/v1/projects/p/images/i/generations"},
        {"/api/v1/device/tokens/current", "/api/v1/device/tokens/current"},
        {"/api/v1/generations.json/generations", "/api/v1/generations.json/generations"},
        {"/api/v1/generations.", "/api/v1/generations."},
        {"/api/v1/Generationsx", "/api/v1/Generationsx"},
        {"/api/v1/device/Tokens", "/api/v1/device/Tokens"},
        {"/api/v1/generations?x=A.json", "/api/v1/generations?x=A.json"},
        {"/files/job_1/Generations.json", "/files/job_1/Generations.json"},
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
             // other spellings of the special endpoints: letter case and "."-suffixes
             "/api/v1/Generations", "/api/v1/x/GENERATIONS", "/api/v1/generations.json", "/api/v1/x/Generations.a.b",
             "/api/v1/Animation-Video", "/api/v1/animation-video.mp4", "/api/v1/Plugin/config",
             "/api/v1/plugin/config.json", "/api/v1/device/Start", "/api/v1/device/start.x", "/api/v1/device/Token",
             "/api/v1/device/token.json", "/api/V1/device/tokens/current", "/api/v1/device/tokens/Current",
             "/api/v1/device/tokens/current.json?x=1",
             // characters outside the allowed set
             "/files/a#b", "/api/v1/a b", "/api/v1/\xC3\xA9", "/api/v1/a;b", "/api/v1/a\"b", std::string("/api/v1/a\0b", 11)}) {
        std::string copy = path;
        EXPECT_FALSE(NormalizeServicePath(copy)) << path;
    }
}

}  // namespace
