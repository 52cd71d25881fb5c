// Test pictures written by hand, and an independent base64 decoder.
#include "media/TestImages.h"

#include <array>
#include <map>
#include <stdexcept>

namespace {
void Put16(std::string& s, uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}
void Put32BigEndian(std::string& s, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) s += static_cast<char>((v >> shift) & 0xFF);
}

uint32_t Crc32(const std::string& data) {
    uint32_t crc = 0xFFFFFFFFu;
    for (const char ch : data) {
        crc ^= static_cast<unsigned char>(ch);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

void PngChunk(std::string& png, const std::string& type, const std::string& data) {
    Put32BigEndian(png, static_cast<uint32_t>(data.size()));
    const std::string body = type + data;
    png += body;
    Put32BigEndian(png, Crc32(body));
}

// A zlib stream of stored (uncompressed) deflate blocks.
std::string ZlibStored(const std::string& raw) {
    std::string z = "\x78\x01";
    size_t pos = 0;
    do {
        const size_t n = std::min<size_t>(65535, raw.size() - pos);
        const bool last = pos + n == raw.size();
        z += static_cast<char>(last ? 1 : 0);
        Put16(z, static_cast<uint32_t>(n));
        Put16(z, static_cast<uint32_t>(~n & 0xFFFF));
        z.append(raw, pos, n);
        pos += n;
    } while (pos < raw.size());
    uint32_t a = 1, b = 0;
    for (const char ch : raw) {
        a = (a + static_cast<unsigned char>(ch)) % 65521;
        b = (b + a) % 65521;
    }
    Put32BigEndian(z, (b << 16) | a);
    return z;
}

uint32_t At(const Bitmap& b, int x, int y) {
    return b.pixels[static_cast<size_t>(y) * static_cast<size_t>(b.width) + static_cast<size_t>(x)];
}

// Writes codes least significant bit first, as GIF and WebP both do.
class BitWriter {
public:
    void Put(uint32_t value, int bits) {
        for (int i = 0; i < bits; ++i) {
            if (count_ == 0) bytes_ += '\0';
            if ((value >> i) & 1) bytes_.back() = static_cast<char>(bytes_.back() | (1 << count_));
            count_ = (count_ + 1) & 7;
        }
    }
    const std::string& bytes() const { return bytes_; }

private:
    std::string bytes_;
    int count_ = 0;
};
}  // namespace

std::string PngFile(const Bitmap& bitmap, bool alpha) {
    std::string png = "\x89PNG\r\n\x1A\n";
    std::string header;
    Put32BigEndian(header, static_cast<uint32_t>(bitmap.width));
    Put32BigEndian(header, static_cast<uint32_t>(bitmap.height));
    header += '\x08';
    header += alpha ? '\x06' : '\x02';
    header += std::string(3, '\0');
    PngChunk(png, "IHDR", header);
    std::string raw;
    for (int y = 0; y < bitmap.height; ++y) {
        raw += '\0';  // filter: none
        for (int x = 0; x < bitmap.width; ++x) {
            const uint32_t p = At(bitmap, x, y);
            raw += static_cast<char>((p >> 16) & 0xFF);
            raw += static_cast<char>((p >> 8) & 0xFF);
            raw += static_cast<char>(p & 0xFF);
            if (alpha) raw += static_cast<char>(p >> 24);
        }
    }
    PngChunk(png, "IDAT", ZlibStored(raw));
    PngChunk(png, "IEND", "");
    return png;
}

std::string BlackPng1Bit(int width, int height) {
    std::string png = "\x89PNG\r\n\x1A\n";
    std::string header;
    Put32BigEndian(header, static_cast<uint32_t>(width));
    Put32BigEndian(header, static_cast<uint32_t>(height));
    header += '\x01';  // one bit a pixel
    header += '\x00';  // greyscale
    header += std::string(3, '\0');
    PngChunk(png, "IHDR", header);
    const size_t row = 1 + (static_cast<size_t>(width) + 7) / 8;
    PngChunk(png, "IDAT", ZlibStored(std::string(row * static_cast<size_t>(height), '\0')));
    PngChunk(png, "IEND", "");
    return png;
}

std::string BmpFile(const Bitmap& bitmap) {
    const uint32_t rowBytes = (static_cast<uint32_t>(bitmap.width) * 3 + 3) & ~3u;
    const uint32_t imageBytes = rowBytes * static_cast<uint32_t>(bitmap.height);
    std::string bmp = "BM";
    Put32(bmp, 54 + imageBytes);
    Put32(bmp, 0);
    Put32(bmp, 54);
    Put32(bmp, 40);
    Put32(bmp, static_cast<uint32_t>(bitmap.width));
    Put32(bmp, static_cast<uint32_t>(bitmap.height));  // positive: bottom-up
    Put16(bmp, 1);
    Put16(bmp, 24);
    Put32(bmp, 0);
    Put32(bmp, imageBytes);
    Put32(bmp, 2835);
    Put32(bmp, 2835);
    Put32(bmp, 0);
    Put32(bmp, 0);
    for (int y = bitmap.height - 1; y >= 0; --y) {
        std::string row;
        for (int x = 0; x < bitmap.width; ++x) {
            const uint32_t p = At(bitmap, x, y);
            row += static_cast<char>(p & 0xFF);
            row += static_cast<char>((p >> 8) & 0xFF);
            row += static_cast<char>((p >> 16) & 0xFF);
        }
        row.resize(rowBytes, '\0');
        bmp += row;
    }
    return bmp;
}

std::string GifFile(const Bitmap& bitmap) {
    std::map<uint32_t, int> index;
    std::string palette(256 * 3, '\0');
    std::vector<int> indices;
    for (int y = 0; y < bitmap.height; ++y)
        for (int x = 0; x < bitmap.width; ++x) {
            const uint32_t rgb = At(bitmap, x, y) & 0xFFFFFF;
            auto [it, added] = index.emplace(rgb, static_cast<int>(index.size()));
            if (added) {
                if (it->second >= 256) throw std::invalid_argument("more than 256 colours");
                palette[static_cast<size_t>(it->second) * 3] = static_cast<char>(rgb >> 16);
                palette[static_cast<size_t>(it->second) * 3 + 1] = static_cast<char>((rgb >> 8) & 0xFF);
                palette[static_cast<size_t>(it->second) * 3 + 2] = static_cast<char>(rgb & 0xFF);
            }
            indices.push_back(it->second);
        }
    std::string gif = "GIF89a";
    Put16(gif, static_cast<uint32_t>(bitmap.width));
    Put16(gif, static_cast<uint32_t>(bitmap.height));
    gif += '\xF7';  // global colour table of 256 entries
    gif += '\0';
    gif += '\0';
    gif += palette;
    gif += '\x2C';
    Put16(gif, 0);
    Put16(gif, 0);
    Put16(gif, static_cast<uint32_t>(bitmap.width));
    Put16(gif, static_cast<uint32_t>(bitmap.height));
    gif += '\0';
    gif += '\x08';  // minimum code size
    // Literal codes only, nine bits wide, with a clear code often enough that the decoder's
    // table never grows to ten bits.
    BitWriter bits;
    const uint32_t clear = 256, end = 257;
    for (size_t i = 0; i < indices.size(); ++i) {
        if (i % 200 == 0) bits.Put(clear, 9);
        bits.Put(static_cast<uint32_t>(indices[i]), 9);
    }
    bits.Put(end, 9);
    const std::string& data = bits.bytes();
    for (size_t pos = 0; pos < data.size(); pos += 255) {
        const size_t n = std::min<size_t>(255, data.size() - pos);
        gif += static_cast<char>(n);
        gif.append(data, pos, n);
    }
    gif += '\0';
    gif += '\x3B';
    return gif;
}

std::string WebpLosslessFile(int width, int height, uint8_t red, uint8_t blue, uint8_t green0, uint8_t green1,
                             const std::vector<bool>& bits) {
    BitWriter w;
    w.Put(0x2F, 8);
    w.Put(static_cast<uint32_t>(width - 1), 14);
    w.Put(static_cast<uint32_t>(height - 1), 14);
    w.Put(0, 1);  // alpha not used
    w.Put(0, 3);  // version
    w.Put(0, 1);  // no transform
    w.Put(0, 1);  // no colour cache
    w.Put(0, 1);  // one prefix code group
    // Five simple prefix codes: green with two symbols, red, blue, alpha and distance with one.
    auto simple1 = [&](uint32_t symbol) {
        w.Put(1, 1);
        w.Put(0, 1);
        w.Put(1, 1);
        w.Put(symbol, 8);
    };
    w.Put(1, 1);
    w.Put(1, 1);
    w.Put(1, 1);
    w.Put(green0, 8);
    w.Put(green1, 8);
    simple1(red);
    simple1(blue);
    simple1(255);
    simple1(0);
    // Two one-bit codes: the smaller symbol has code 0.
    for (const bool b : bits) w.Put(b ? 1 : 0, 1);
    std::string chunk = w.bytes();
    std::string webp = "RIFF";
    const uint32_t padded = static_cast<uint32_t>(chunk.size() + (chunk.size() & 1));
    Put32(webp, 4 + 8 + padded);
    webp += "WEBPVP8L";
    Put32(webp, static_cast<uint32_t>(chunk.size()));
    webp += chunk;
    if (chunk.size() & 1) webp += '\0';
    return webp;
}

bool DecodeBase64(const std::string& text, std::string* bytes) {
    bytes->clear();
    if (text.size() % 4 != 0) return false;
    auto value = [](char c) -> int {
        if (c >= 'A' && c <= 'Z') return c - 'A';
        if (c >= 'a' && c <= 'z') return c - 'a' + 26;
        if (c >= '0' && c <= '9') return c - '0' + 52;
        if (c == '+') return 62;
        if (c == '/') return 63;
        return -1;
    };
    for (size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        const int pad = (text[i + 3] == '=') + (text[i + 2] == '=');
        if (pad > 0 && !last) return false;
        if (pad == 1 && text[i + 2] == '=') return false;
        uint32_t group = 0;
        for (int k = 0; k < 4 - pad; ++k) {
            const int v = value(text[i + static_cast<size_t>(k)]);
            if (v < 0) return false;
            group |= static_cast<uint32_t>(v) << (18 - 6 * k);
        }
        bytes->push_back(static_cast<char>(group >> 16));
        if (pad < 2) bytes->push_back(static_cast<char>((group >> 8) & 0xFF));
        if (pad < 1) bytes->push_back(static_cast<char>(group & 0xFF));
        // Bits below the last character must be zero in canonical base64.
        if ((pad == 1 && (group & 0xFF) != 0) || (pad == 2 && (group & 0xFFFF) != 0)) return false;
    }
    return true;
}

