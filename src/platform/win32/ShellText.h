// The texts the Windows shell and the file dialog take, built from the add-on's UTF-8.
#pragma once
#include <string>
#include <vector>

#include "platform/Desktop.h"

// The file dialog's filter list: each label and its patterns joined by ";", every text ended by
// a NUL, and the whole list ended by one more NUL. Empty for no filters.
std::wstring DialogFilterList(const std::vector<FileFilter>& filters);

// Explorer's arguments that open a window on the file's folder with the file selected.
std::wstring ExplorerSelectArguments(const std::string& path);
