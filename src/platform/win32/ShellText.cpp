// Win32: the file dialog's filter list and Explorer's select arguments.
#include "platform/win32/ShellText.h"

#include "platform/win32/Wide.h"

std::wstring DialogFilterList(const std::vector<FileFilter>& filters) {
    std::wstring list;
    for (const FileFilter& filter : filters) {
        list += Wide(filter.label);
        list += L'\0';
        for (size_t i = 0; i < filter.patterns.size(); ++i) {
            if (i > 0) list += L';';
            list += Wide(filter.patterns[i]);
        }
        list += L'\0';
    }
    if (!list.empty()) list += L'\0';
    return list;
}

std::wstring ExplorerSelectArguments(const std::string& path) { return L"/select,\"" + Wide(path) + L"\""; }
