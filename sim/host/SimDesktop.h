// The simulated desktop: launches are recorded instead of opening a browser, and dialogs answer
// from a queue (cancelling when it is empty).
#pragma once
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/Desktop.h"

class RecordingLauncher final : public Launcher {
public:
    bool OpenUrl(const std::string& url) override {
        openedUrls.push_back(url);
        return true;
    }
    bool RevealFile(const std::string& path) override {
        revealedFiles.push_back(path);
        return true;
    }
    std::vector<std::string> openedUrls;
    std::vector<std::string> revealedFiles;
};

class ScriptedDialogs final : public Dialogs {
public:
    // Each answer is a path, or nothing for a cancelled dialog.
    std::deque<std::optional<std::string>> answers;
    int shown = 0;

    bool PickFolder(const std::string&, const std::string&, std::string* folder) override { return Answer(folder); }
    bool PickFile(const std::string&, const std::vector<FileFilter>&, std::string* file) override {
        return Answer(file);
    }

private:
    bool Answer(std::string* out) {
        ++shown;
        if (answers.empty()) return false;
        std::optional<std::string> next = answers.front();
        answers.pop_front();
        if (!next) return false;
        *out = *next;
        return true;
    }
};
