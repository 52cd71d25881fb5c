// Base64 encoding and data URLs. The encoder looks up two output characters at a time in a
// table of all 4096 twelve-bit values and writes eight characters per step, which is about
// twice as fast as looking up one character per six bits.
#include "store/DataUrl.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Each entry holds the two characters of one 12-bit value in output order, as bytes or as
// UTF-16 units.
template <class Unit>
constexpr std::array<std::array<Unit, 2>, 4096> MakePairs() {
    std::array<std::array<Unit, 2>, 4096> pairs{};
    for (unsigned v = 0; v < 4096; ++v)
        pairs[v] = {static_cast<Unit>(kAlphabet[v >> 6]), static_cast<Unit>(kAlphabet[v & 63])};
    return pairs;
}
template <class Unit>
constexpr auto kPairs = MakePairs<Unit>();

inline uint64_t LoadBigEndian64(const unsigned char* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return __builtin_bswap64(v);
}

template <class Unit>
inline void PutPair(Unit* out, uint32_t twelveBits) {
    std::memcpy(out, kPairs<Unit>[twelveBits].data(), 2 * sizeof(Unit));
}

template <class Unit>
constexpr Unit Letter(unsigned sixBits) { return static_cast<Unit>(kAlphabet[sixBits]); }

// Writes Base64Length(size) characters at out.
template <class Unit>
void EncodeInto(Unit* out, const unsigned char* in, size_t size) {
    // Six input bytes per step, read as one 8-byte load while at least 8 remain.
    while (size >= 8) {
        const uint64_t v = LoadBigEndian64(in);
        PutPair(out, static_cast<uint32_t>(v >> 52));
        PutPair(out + 2, static_cast<uint32_t>(v >> 40) & 0xFFF);
        PutPair(out + 4, static_cast<uint32_t>(v >> 28) & 0xFFF);
        PutPair(out + 6, static_cast<uint32_t>(v >> 16) & 0xFFF);
        in += 6;
        size -= 6;
        out += 8;
    }
    while (size >= 3) {
        const uint32_t v = (uint32_t{in[0]} << 16) | (uint32_t{in[1]} << 8) | in[2];
        PutPair(out, v >> 12);
        PutPair(out + 2, v & 0xFFF);
        in += 3;
        size -= 3;
        out += 4;
    }
    if (size == 1) {
        out[0] = Letter<Unit>(in[0] >> 2);
        out[1] = Letter<Unit>((in[0] & 3) << 4);
        out[2] = '=';
        out[3] = '=';
    } else if (size == 2) {
        out[0] = Letter<Unit>(in[0] >> 2);
        out[1] = Letter<Unit>(((in[0] & 3) << 4) | (in[1] >> 4));
        out[2] = Letter<Unit>((in[1] & 15) << 2);
        out[3] = '=';
    }
}

const unsigned char* Bytes(std::string_view bytes) { return reinterpret_cast<const unsigned char*>(bytes.data()); }
}  // namespace

std::string Base64Encode(std::string_view bytes) {
    std::string text(Base64Length(bytes.size()), '\0');
    EncodeInto(text.data(), Bytes(bytes), bytes.size());
    return text;
}

char16_t* Base64EncodeInto(std::string_view bytes, char16_t* out) {
    EncodeInto(out, Bytes(bytes), bytes.size());
    return out + Base64Length(bytes.size());
}

std::string MakeDataUrl(std::string_view contentType, std::string_view bytes) {
    if (contentType.empty()) contentType = "application/octet-stream";
    constexpr std::string_view kScheme = "data:", kMarker = ";base64,";
    const size_t head = kScheme.size() + contentType.size() + kMarker.size();
    std::string url(head + Base64Length(bytes.size()), '\0');
    char* out = url.data();
    std::memcpy(out, kScheme.data(), kScheme.size());
    std::memcpy(out + kScheme.size(), contentType.data(), contentType.size());
    std::memcpy(out + kScheme.size() + contentType.size(), kMarker.data(), kMarker.size());
    EncodeInto(out + head, Bytes(bytes), bytes.size());
    return url;
}
