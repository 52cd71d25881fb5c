// Base64 against known vectors and an independent decoder; data URLs.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "media/TestImages.h"
#include "store/DataUrl.h"

namespace {
TEST(Base64Encode, KnownVectors) {
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},          {"a", "YQ=="},         {"ab", "YWI="},         {"abc", "YWJj"},
        {"f", "Zg=="},     {"fo", "Zm8="},        {"foo", "Zm9v"},        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"foobarba", "Zm9vYmFyYmE="},
        {"\xFF\xFF\xFE", "///+"}, {"\xFB\xEF\xBE", "++++"},
    };
    for (const auto& [plain, encoded] : cases) EXPECT_EQ(Base64Encode(plain), encoded) << plain;
}

TEST(Base64Encode, RandomBuffersDecodeBack) {
    std::mt19937 rng(6);
    std::vector<size_t> sizes;
    for (size_t n = 0; n <= 70; ++n) sizes.push_back(n);
    for (const size_t n : {255u, 256u, 1000u, 4095u, 4096u, 65537u, 1048576u}) sizes.push_back(n);
    for (const size_t n : sizes) {
        std::string bytes(n, '\0');
        for (char& c : bytes) c = static_cast<char>(rng());
        const std::string text = Base64Encode(bytes);
        ASSERT_EQ(text.size(), Base64Length(n)) << n;
        ASSERT_EQ(text.size(), (n + 2) / 3 * 4) << n;
        std::string back;
        ASSERT_TRUE(DecodeBase64(text, &back)) << n;
        ASSERT_EQ(back, bytes) << n;
    }
}

TEST(MakeDataUrl, PrefixesTheTypeAndTheMarker) {
    EXPECT_EQ(MakeDataUrl("", ""), "data:application/octet-stream;base64,");
    EXPECT_EQ(MakeDataUrl("", "abc"), "data:application/octet-stream;base64,YWJj");
    EXPECT_EQ(MakeDataUrl("image/png", "ab"), "data:image/png;base64,YWI=");
    EXPECT_EQ(MakeDataUrl("image/jpeg", std::string(3000, '\xFF')),
              "data:image/jpeg;base64," + std::string(4000, '/'));
}
}  // namespace
