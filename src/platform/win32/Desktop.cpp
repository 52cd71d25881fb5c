// Win32: web pages and files open through the shell; folders and files are picked in the system's dialogs.
#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shobjidl.h>

#include "platform/Desktop.h"
#include "platform/win32/Owners.h"
#include "platform/win32/ShellText.h"
#include "platform/win32/Wide.h"

namespace {
// The file-name buffer of the file dialog, in UTF-16 units; a longer choice fails the dialog.
constexpr DWORD kPickedPathChars = 1040;

// The shell reports success with a value above 32.
bool ShellOpen(const wchar_t* file, const wchar_t* parameters) {
    const HINSTANCE result = ::ShellExecuteW(nullptr, L"open", file, parameters, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

class ShellLauncher final : public Launcher {
public:
    bool OpenUrl(const std::string& url) override { return ShellOpen(Wide(url).c_str(), nullptr); }
    bool RevealFile(const std::string& path) override {
        return ShellOpen(L"explorer.exe", ExplorerSelectArguments(path).c_str());
    }
};

class SystemFileDialogs final : public Dialogs {
public:
    bool PickFolder(const std::string& title, const std::string& initialFolder, std::string* folder) override {
        // The common item dialog is a COM object that shows windows: it needs an apartment.
        const ComApartment com(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        if (!com.usable()) return false;
        ComPtr<IFileOpenDialog> dialog;
        if (FAILED(::CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                                      dialog.outVoid())))
            return false;
        FILEOPENDIALOGOPTIONS options = 0;
        if (FAILED(dialog->GetOptions(&options)) ||
            FAILED(dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM)))
            return false;
        if (!title.empty()) dialog->SetTitle(Wide(title).c_str());
        if (!initialFolder.empty()) {
            ComPtr<IShellItem> start;
            if (SUCCEEDED(::SHCreateItemFromParsingName(Wide(initialFolder).c_str(), nullptr, IID_IShellItem,
                                                        start.outVoid())))
                dialog->SetFolder(start.get());
        }
        if (FAILED(dialog->Show(::GetActiveWindow()))) return false;  // cancelled
        ComPtr<IShellItem> result;
        if (FAILED(dialog->GetResult(result.out()))) return false;
        CoTaskText path;
        if (FAILED(result->GetDisplayName(SIGDN_FILESYSPATH, path.out())) || path.get() == nullptr) return false;
        *folder = Narrow(path.get());
        return true;
    }

    bool PickFile(const std::string& title, const std::vector<FileFilter>& filters, std::string* file) override {
        const std::wstring filterList = DialogFilterList(filters);
        const std::wstring titleText = Wide(title);
        wchar_t picked[kPickedPathChars] = {};
        OPENFILENAMEW settings{};
        settings.lStructSize = sizeof settings;
        settings.hwndOwner = ::GetActiveWindow();
        settings.lpstrFilter = filterList.empty() ? nullptr : filterList.c_str();
        settings.nFilterIndex = 0;
        settings.lpstrFile = picked;
        settings.nMaxFile = kPickedPathChars;
        settings.lpstrTitle = title.empty() ? nullptr : titleText.c_str();
        // One existing file; the process's current folder stays as it was.
        settings.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
        if (!::GetOpenFileNameW(&settings)) return false;  // cancelled, or the path did not fit
        *file = Narrow(picked);
        return true;
    }
};
}  // namespace

Launcher& SystemLauncher() {
    static ShellLauncher launcher;
    return launcher;
}

Dialogs& SystemDialogs() {
    static SystemFileDialogs dialogs;
    return dialogs;
}
