// UTF-8 and UTF-16 conversions, lenient and strict.
#include "platform/Utf.h"

#include <cstdint>
#include <cstring>
#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace {
// Decodes one code point at text[i]; returns false for an invalid sequence and advances by one.
bool DecodeOne(std::string_view text, size_t& i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
        cp = b0;
        ++i;
        return true;
    }
    int len = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        ++i;
        return false;
    }
    if (i + len > text.size()) {
        ++i;
        return false;
    }
    for (int k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return false;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return false;
    }
    i += len;
    return true;
}

// The count of leading ASCII bytes, eight at a time while they last.
size_t AsciiPrefix(const char* text, size_t size) {
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        std::memcpy(&word, text + i, sizeof word);
        if ((word & 0x8080808080808080ull) != 0) break;
    }
    while (i < size && static_cast<unsigned char>(text[i]) < 0x80) ++i;
    return i;
}

// Widens ASCII bytes, sixteen at a time where the processor has SSE2, and returns the count
// widened: all of them, or up to the first byte that is not ASCII. A long run is written with
// streaming stores, which skip reading the destination into the cache first: for a script of
// tens of megabytes that read is a third of the memory traffic.
size_t WidenAscii(const char* __restrict text, size_t size, char16_t* __restrict out) {
    size_t i = 0;
#if defined(__SSE2__) || defined(_M_X64)
    constexpr size_t kStreamFrom = size_t{1} << 18;
    const __m128i zero = _mm_setzero_si128();
    if (size >= kStreamFrom) {
        // Scalar up to a 16-byte boundary of the destination.
        for (; i < size && (reinterpret_cast<uintptr_t>(out + i) & 15) != 0; ++i) {
            const auto b = static_cast<unsigned char>(text[i]);
            if (b >= 0x80) return i;
            out[i] = b;
        }
        if ((reinterpret_cast<uintptr_t>(out + i) & 15) == 0) {
            for (; i + 32 <= size; i += 32) {
                const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
                const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i + 16));
                if (_mm_movemask_epi8(_mm_or_si128(a, b)) != 0) break;
                auto* to = reinterpret_cast<__m128i*>(out + i);
                _mm_stream_si128(to, _mm_unpacklo_epi8(a, zero));
                _mm_stream_si128(to + 1, _mm_unpackhi_epi8(a, zero));
                _mm_stream_si128(to + 2, _mm_unpacklo_epi8(b, zero));
                _mm_stream_si128(to + 3, _mm_unpackhi_epi8(b, zero));
            }
            _mm_sfence();
        }
    }
    for (; i + 16 <= size; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
        if (_mm_movemask_epi8(bytes) != 0) break;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(bytes, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(bytes, zero));
    }
#endif
    for (; i < size; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b >= 0x80) break;
        out[i] = b;
    }
    return i;
}

char16_t* PutUtf16(char16_t* out, char32_t cp) {
    if (cp >= 0x10000) {
        cp -= 0x10000;
        *out++ = static_cast<char16_t>(0xD800 + (cp >> 10));
        *out++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
        *out++ = static_cast<char16_t>(cp);
    }
    return out;
}
}  // namespace

size_t Utf16Length(std::string_view text) {
    size_t units = 0;
    for (size_t i = 0; i < text.size();) {
        const size_t ascii = AsciiPrefix(text.data() + i, text.size() - i);
        units += ascii;
        i += ascii;
        if (i == text.size()) break;
        char32_t cp = 0;
        units += DecodeOne(text, i, cp) && cp >= 0x10000 ? 2 : 1;
    }
    return units;
}

char16_t* WidenUtf8(std::string_view text, char16_t* out) {
    for (size_t i = 0; i < text.size();) {
        const size_t ascii = WidenAscii(text.data() + i, text.size() - i, out);
        out += ascii;
        i += ascii;
        if (i == text.size()) break;
        char32_t cp = 0;
        if (!DecodeOne(text, i, cp)) cp = 0xFFFD;
        out = PutUtf16(out, cp);
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out(Utf16Length(text), u'\0');
    WidenUtf8(text, out.data());
    return out;
}

std::optional<std::u16string> Utf8ToUtf16Strict(std::string_view text) {
    if (!IsValidUtf8(text)) return std::nullopt;
    return Utf8ToUtf16(text);
}

bool IsValidUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        if (!DecodeOne(text, i, cp)) return false;
    }
    return true;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}
