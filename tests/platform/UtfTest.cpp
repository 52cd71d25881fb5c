// The UTF-8 to UTF-16 conversions: the bulk widening of ASCII runs gives exactly what decoding
// one code point at a time gives, wherever a run ends against the blocks it is widened in.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/Utf.h"

namespace {

// One code point at a time: invalid sequences (overlong, surrogates, above U+10FFFF, cut short)
// take one byte and become U+FFFD, or refuse the whole text when strict.
std::optional<std::u16string> Reference(std::string_view text, bool strict) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        const auto b0 = static_cast<unsigned char>(text[i]);
        int len = b0 < 0x80 ? 1 : (b0 & 0xE0) == 0xC0 ? 2 : (b0 & 0xF0) == 0xE0 ? 3 : (b0 & 0xF8) == 0xF0 ? 4 : 0;
        char32_t cp = len == 1 ? b0 : len == 2 ? (b0 & 0x1F) : len == 3 ? (b0 & 0x0F) : (b0 & 0x07);
        const char32_t min = len == 2 ? 0x80 : len == 3 ? 0x800 : len == 4 ? 0x10000 : 0;
        bool valid = len != 0 && i + len <= text.size();
        for (int k = 1; valid && k < len; ++k) {
            const auto b = static_cast<unsigned char>(text[i + k]);
            valid = (b & 0xC0) == 0x80;
            cp = (cp << 6) | (b & 0x3F);
        }
        valid = valid && cp >= min && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
        if (!valid) {
            if (strict) return std::nullopt;
            out += u'\xFFFD';
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += len;
    }
    return out;
}

TEST(Utf8ToUtf16, AgreesWithDecodingOneCodePointAtATimeAtEveryOffset) {
    const std::string tails[] = {
        "", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x8F\xA0", "\xC3", "\xE2\x82", "\xF0\x9F\x8F", "\x80", "\xFF",
        "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE0\x80\xAF", std::string("\0x", 2), "\x7F\x80\x7F",
    };
    for (size_t lead = 0; lead <= 40; ++lead) {
        for (const std::string& tail : tails) {
            for (size_t trail : {size_t{0}, size_t{1}, size_t{15}, size_t{16}, size_t{33}}) {
                const std::string text = std::string(lead, 'a') + tail + std::string(trail, 'z');
                const std::u16string lenient = Utf8ToUtf16(text);
                EXPECT_EQ(lenient, *Reference(text, false)) << lead << " " << trail;
                EXPECT_EQ(Utf16Length(text), lenient.size());
                EXPECT_EQ(Utf8ToUtf16Strict(text), Reference(text, true)) << lead << " " << trail;
                EXPECT_EQ(IsValidUtf8(text), Reference(text, true).has_value());
            }
        }
    }
}

TEST(Utf8ToUtf16, WidensALongAsciiTextWhole) {
    std::string text;
    for (int i = 0; i < 100000; ++i) text += static_cast<char>(i % 128);
    const std::u16string wide = Utf8ToUtf16(text);
    ASSERT_EQ(wide.size(), text.size());
    for (size_t i = 0; i < text.size(); ++i) ASSERT_EQ(wide[i], static_cast<char16_t>(text[i])) << i;
    // Into a buffer of its exact length, nothing past the end is written.
    std::u16string buffer(text.size() + 8, u'#');
    EXPECT_EQ(WidenUtf8(text, buffer.data()), buffer.data() + text.size());
    EXPECT_EQ(buffer.substr(text.size()), std::u16string(8, u'#'));
}

}  // namespace
