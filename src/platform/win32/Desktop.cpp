// Win32: web pages and files open through the shell; folders and files are picked in the system's dialogs.
#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shobjidl.h>

#include <vector>

#include "platform/Desktop.h"
#include "platform/win32/Owners.h"
#include "platform/win32/Wide.h"

static_assert(kFolderDialogPickFolders == FOS_PICKFOLDERS && kFolderDialogForceFileSystem == FOS_FORCEFILESYSTEM);
static_assert(kFileDialogExplorer == OFN_EXPLORER && kFileDialogFileMustExist == OFN_FILEMUSTEXIST &&
              kFileDialogPathMustExist == OFN_PATHMUSTEXIST && kFileDialogNoChangeDir == OFN_NOCHANGEDIR);
// The full structure, with the fields after the flags' extension, as 64-bit Windows lays it out.
static_assert(sizeof(void*) != 8 || sizeof(OPENFILENAMEW) == 152);

namespace {
// The shell reports success with a value above 32.
bool ShellOpenWide(const std::wstring& file, const wchar_t* parameters) {
    const HINSTANCE result = ::ShellExecuteW(nullptr, L"open", file.c_str(), parameters, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

HWND Owner(NativeWindowHandle handle) { return reinterpret_cast<HWND>(handle); }

class ShellLauncher final : public Launcher {
public:
    bool OpenUrl(const std::string& url) override { return ShellOpenWide(Wide(url), nullptr); }
    bool ShellOpen(const std::string& file, const std::string& parameters) override {
        const std::wstring wideParameters = Wide(parameters);
        return ShellOpenWide(Wide(file), parameters.empty() ? nullptr : wideParameters.c_str());
    }
};

class SystemFileDialogs final : public Dialogs {
public:
    DialogOutcome PickFolder(const FolderDialogRequest& request, std::string* folder) override {
        // The common item dialog is a COM object that shows windows: it needs an apartment.
        const ComApartment com(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
        if (!com.usable()) return DialogOutcome::Failed;
        ComPtr<IFileOpenDialog> dialog;
        if (FAILED(::CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                                      dialog.outVoid())))
            return DialogOutcome::Failed;
        FILEOPENDIALOGOPTIONS options = 0;
        if (FAILED(dialog->GetOptions(&options)) || FAILED(dialog->SetOptions(options | request.addedOptions)))
            return DialogOutcome::Failed;
        if (FAILED(dialog->Show(Owner(request.owner)))) return DialogOutcome::Cancelled;
        ComPtr<IShellItem> result;
        if (FAILED(dialog->GetResult(result.out()))) return DialogOutcome::Failed;
        CoTaskText path;
        if (FAILED(result->GetDisplayName(SIGDN_FILESYSPATH, path.out())) || path.get() == nullptr)
            return DialogOutcome::Failed;
        *folder = Narrow(path.get());
        return DialogOutcome::Chosen;
    }

    DialogOutcome PickFile(const FileDialogRequest& request, std::string* file, uint32_t* error) override {
        *error = 0;
        const std::wstring filterList(request.filterList.begin(), request.filterList.end());
        std::vector<wchar_t> picked(request.bufferUnits == 0 ? 1 : request.bufferUnits, L'\0');
        OPENFILENAMEW settings{};
        settings.lStructSize = sizeof settings;
        settings.hwndOwner = Owner(request.owner);
        settings.lpstrFilter = filterList.empty() ? nullptr : filterList.c_str();
        settings.nFilterIndex = 0;
        settings.lpstrFile = picked.data();
        settings.nMaxFile = static_cast<DWORD>(picked.size());
        settings.Flags = request.flags;
        if (!::GetOpenFileNameW(&settings)) {
            *error = ::CommDlgExtendedError();
            return *error == 0 ? DialogOutcome::Cancelled : DialogOutcome::Failed;
        }
        *file = Narrow(picked.data());
        return DialogOutcome::Chosen;
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
