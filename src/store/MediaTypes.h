// What kind of file the add-on holds: from a file name's extension, from the first bytes of the
// content, and from a content type back to a file extension. Pure functions over text and bytes.
// Content types are ASCII ("image/png"); the empty text means "not recognised". Comparisons are
// exact and case-sensitive.
#pragma once
#include <string_view>

// From the extension after the last "." of the whole text, lower-cased; "application/octet-stream"
// for any other extension or none. A dot in a folder name with none in the file name gives an
// extension holding a separator, which matches nothing.
std::string_view ContentTypeForPath(std::u16string_view path);
// The same for a UTF-8 path: only ASCII can match, so the answers agree.
std::string_view ContentTypeForPath(std::string_view path);

// From the content's signature (JPEG, PNG, WebP, AVI, GIF, QuickTime, MP4, WebM/Matroska, BMP,
// tested in that order); empty when none matches.
std::string_view SniffContentType(std::string_view bytes);

// The extension a file of this type is saved with; ".bin" for any other type, the empty one
// included.
std::string_view ExtensionForContentType(std::string_view contentType);
