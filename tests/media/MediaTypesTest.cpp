// The three media-type tables and the signature rules, case by case.
#include <gtest/gtest.h>

#include <string>

#include "platform/Utf.h"
#include "store/MediaTypes.h"

namespace {
using namespace std::string_literals;

struct PathCase {
    const char* path;
    const char* type;
};

TEST(ContentTypeForPath, FollowsTheExtensionTable) {
    const PathCase cases[] = {
        {"clip.avi", "video/x-msvideo"},
        {"clip.mp4", "video/mp4"},
        {"clip.m4v", "video/mp4"},
        {"clip.mov", "video/quicktime"},
        {"clip.webm", "video/webm"},
        {"clip.wmv", "video/x-ms-wmv"},
        {"clip.mkv", "video/x-matroska"},
        {"view.jpg", "image/jpeg"},
        {"view.jpeg", "image/jpeg"},
        {"view.png", "image/png"},
        {"view.webp", "image/webp"},
        // Upper case is lowered; only the text after the last dot counts.
        {"C:\\Renders\\CLIP.M4V", "video/mp4"},
        {"/home/u/View.JPEG", "image/jpeg"},
        {"archive.tar.gz", "application/octet-stream"},
        {"view.png.bak", "application/octet-stream"},
        {"README", "application/octet-stream"},
        {"", "application/octet-stream"},
        {"view.", "application/octet-stream"},
        {".png", "image/png"},
        {"view.gif", "application/octet-stream"},
        {"view.bmp", "application/octet-stream"},
        // A dot only in a folder name gives an extension holding a separator.
        {"C:\\my.renders\\view", "application/octet-stream"},
        {"/home/u/my.png/view", "application/octet-stream"},
        {"view.pngx", "application/octet-stream"},
        {"view.jpe", "application/octet-stream"},
    };
    for (const PathCase& c : cases) {
        EXPECT_EQ(ContentTypeForPath(std::string_view(c.path)), c.type) << c.path;
        EXPECT_EQ(ContentTypeForPath(std::u16string_view(Utf8ToUtf16(c.path))), c.type) << c.path;
    }
}

TEST(ContentTypeForPath, NonAsciiLettersMatchNothing) {
    // "view.pñg" and a full-width "Ｐ": neither lower-cases into the table.
    EXPECT_EQ(ContentTypeForPath(std::u16string_view(u"view.p\u00F1g")), "application/octet-stream");
    EXPECT_EQ(ContentTypeForPath(std::u16string_view(u"view.\uFF30NG")), "application/octet-stream");
    EXPECT_EQ(ContentTypeForPath(std::string_view("vista \xC3\xA0 noite.PNG")), "image/png");
    EXPECT_EQ(ContentTypeForPath(std::u16string_view(u"vista \u00E0 noite.PNG")), "image/png");
}

struct SniffCase {
    std::string bytes;
    const char* type;
    const char* why;
};

TEST(SniffContentType, AppliesTheSignaturesInOrder) {
    const std::string riffSize = "\x10\x00\x00\x00"s;
    const SniffCase cases[] = {
        {"\xFF\xD8\xFF"s, "image/jpeg", "three bytes are enough for JPEG"},
        {"\xFF\xD8"s, "", "two JPEG bytes are not"},
        {"\xFF\xD8\xFF\xE0rest"s, "image/jpeg", "JPEG with more"},
        {"\x89PNG\r\n\x1A\n"s, "image/png", "eight-byte PNG signature"},
        {"\x89PNG\r\n\x1A"s, "", "PNG signature cut to 7 bytes"},
        {"\x89PNGxxxx"s, "image/png", "only the first four bytes are compared"},
        {"RIFF" + riffSize + "WEBP", "image/webp", "WebP"},
        {"RIFF" + riffSize + "WEB", "", "WebP one byte short"},
        {"RIFF" + riffSize + "AVI ", "video/x-msvideo", "AVI"},
        {"RIFF" + riffSize + "AVIX", "", "AVI needs the space"},
        {"RIFF" + riffSize + "WAVE", "", "RIFF holding WAVE"},
        {"GIF8"s, "image/gif", "GIF"},
        {"GIF89a"s, "image/gif", "GIF with version"},
        {"GIF"s, "", "GIF one byte short"},
        {"\0\0\0\x14" "ftypqt"s, "video/quicktime", "QuickTime in 10 bytes"},
        {"\0\0\0\x14" "ftypq"s, "video/mp4", "qt one byte short of 10 is MP4"},
        {"\0\0\0\x14" "ftypqt\x20\x05"s, "video/quicktime", "QuickTime with more"},
        {"\0\0\0\x18" "ftypisom"s, "video/mp4", "MP4"},
        {"\0\0\0\x18" "ftyp"s, "video/mp4", "ftyp alone in 8 bytes"},
        {"\0\0\0\x18" "fty"s, "", "ftyp one byte short"},
        {"\x1A\x45\xDF\xA3"s, "video/webm", "WebM and Matroska"},
        {"\x1A\x45\xDF"s, "", "EBML one byte short"},
        {"BM"s, "image/bmp", "BMP in two bytes"},
        {"BMx"s, "image/bmp", "BMP with more"},
        {"B"s, "", "one byte"},
        {""s, "", "nothing"},
        {"%PDF-1.7"s, "", "PDF is not recognised"},
        {"\xFF\xD8\xFF" "ftyp"s, "image/jpeg", "the first match wins"},
    };
    for (const SniffCase& c : cases) EXPECT_EQ(SniffContentType(c.bytes), c.type) << c.why;
}

TEST(ExtensionForContentType, FollowsTheContentTypeTable) {
    const std::pair<const char*, const char*> cases[] = {
        {"image/jpeg", ".jpg"},      {"image/png", ".png"},       {"image/webp", ".webp"},
        {"image/gif", ".gif"},       {"image/bmp", ".bmp"},       {"video/x-msvideo", ".avi"},
        {"video/quicktime", ".mov"}, {"video/mp4", ".mp4"},       {"video/webm", ".webm"},
        // Exact, case-sensitive; types known by name only are never written.
        {"image/JPEG", ".bin"},      {"application/pdf", ".bin"}, {"", ".bin"},
        {"video/x-matroska", ".bin"}, {"video/x-ms-wmv", ".bin"}, {"image/png ", ".bin"},
        {"application/octet-stream", ".bin"},
    };
    for (const auto& [type, extension] : cases) EXPECT_EQ(ExtensionForContentType(type), extension) << type;
}

}  // namespace
