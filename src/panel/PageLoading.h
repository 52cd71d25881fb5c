// Page loading helpers: the file URL of a path, the module's panel folder and the adapter script.
#pragma once
#include <string>
#include <string_view>

// "file:///" + the path's UTF-8 bytes with backslashes as "/", unreserved bytes kept and every
// other byte percent-escaped; on POSIX a path that already begins with "/" gets "file://".
std::string FileUrl(std::string_view path);

// The folder of panel files next to the add-on's module file; just the folder's own name when
// the module path cannot be read, is longer than 520 UTF-16 units or has no separator.
std::string PanelFolder();

// The script injected into each loaded page, exactly as it is executed.
std::string_view AdapterScript();
