// Services that need a desktop: opening a web page or a file through the shell, and the folder
// and open-file dialogs. The default provider uses the operating system; tests and the simulator
// install scripted ones, so no test ever opens a real browser or dialog. Host thread only.
#pragma once
#include <cstdint>
#include <string>

#include "host/PaletteWindow.h"

class Launcher {
public:
    virtual ~Launcher() = default;
    // Opens a URL in the user's browser; false when it could not be started.
    virtual bool OpenUrl(const std::string& url) = 0;
    // The shell's "open" of a file or program with its parameters, with no owner window, shown
    // normally. On Windows "explorer.exe" with "/select,\"PATH\"" shows PATH selected in its
    // folder; elsewhere that request opens the folder in the file manager. Does not wait for the
    // program; false when it could not be started.
    virtual bool ShellOpen(const std::string& file, const std::string& parameters) = 0;
};

// Options the folder dialog adds to its own: folders only, file-system folders only.
inline constexpr uint32_t kFolderDialogPickFolders = 0x20;
inline constexpr uint32_t kFolderDialogForceFileSystem = 0x40;

// Flags of the open-file dialog: the Explorer-style dialog, the file and its folder must exist,
// and the process's current folder is left as it was.
inline constexpr uint32_t kFileDialogExplorer = 0x80000;
inline constexpr uint32_t kFileDialogFileMustExist = 0x1000;
inline constexpr uint32_t kFileDialogPathMustExist = 0x800;
inline constexpr uint32_t kFileDialogNoChangeDir = 0x8;

struct FolderDialogRequest {
    NativeWindowHandle owner = 0;
    uint32_t addedOptions = 0;  // added to the options the dialog starts with
};

struct FileDialogRequest {
    NativeWindowHandle owner = 0;
    // Pairs of a display text and a pattern list ("*.png;*.jpg"), each text ended by a NUL, the
    // whole list ended by one more NUL; the first pair is selected.
    std::u16string filterList;
    uint32_t flags = 0;
    // The chosen path's buffer in UTF-16 units, its terminating NUL included; a longer path
    // fails the dialog.
    uint32_t bufferUnits = 0;
};

enum class DialogOutcome { Chosen, Cancelled, Failed };

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Modal; the path is UTF-8. `error` is the dialog's extended error code when it failed.
    virtual DialogOutcome PickFolder(const FolderDialogRequest& request, std::string* folder) = 0;
    virtual DialogOutcome PickFile(const FileDialogRequest& request, std::string* file, uint32_t* error) = 0;
};

Launcher& DesktopLauncher();
Dialogs& DesktopDialogs();
// nullptr restores the operating system's provider.
void InstallLauncher(Launcher* launcher);
void InstallDialogs(Dialogs* dialogs);
