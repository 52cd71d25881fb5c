// Services that need a desktop: opening a web page or revealing a file, and the file and folder
// dialogs. The default provider uses the operating system; tests and the simulator install
// scripted ones, so no test ever opens a real browser or dialog. Host thread only.
#pragma once
#include <string>
#include <vector>

class Launcher {
public:
    virtual ~Launcher() = default;
    // Opens a URL in the user's browser; false when it could not be started.
    virtual bool OpenUrl(const std::string& url) = 0;
    // Shows a file selected in the system's file manager.
    virtual bool RevealFile(const std::string& path) = 0;
};

struct FileFilter {
    std::string label;
    std::vector<std::string> patterns;  // such as "*.png"
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Each returns false when the user cancelled; the path is UTF-8.
    virtual bool PickFolder(const std::string& title, const std::string& initialFolder, std::string* folder) = 0;
    virtual bool PickFile(const std::string& title, const std::vector<FileFilter>& filters, std::string* file) = 0;
};

Launcher& DesktopLauncher();
Dialogs& DesktopDialogs();
// nullptr restores the operating system's provider.
void InstallLauncher(Launcher* launcher);
void InstallDialogs(Dialogs* dialogs);
