// The simulated desktop: shell launches are recorded instead of run, and the dialogs answer from
// queues, then from a standing answer (cancel unless set), recording what each was shown.
#pragma once
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/Desktop.h"
#include "platform/Utf.h"

class RecordingLauncher final : public Launcher {
public:
    struct Launch {
        std::string verb, file, parameters;
    };

    bool OpenUrl(const std::string& url) override {
        openedUrls.push_back(url);
        launches.push_back({"open", url, ""});
        return true;
    }
    bool ShellOpen(const std::string& file, const std::string& parameters) override {
        launches.push_back({"open", file, parameters});
        return true;
    }
    std::vector<std::string> openedUrls;
    std::vector<Launch> launches;
};

class ScriptedDialogs final : public Dialogs {
public:
    // Each answer is a path, or nothing for a cancelled dialog. The queues are used first.
    std::deque<std::optional<std::string>> folderAnswers, fileAnswers;
    std::optional<std::string> standingFolderAnswer, standingFileAnswer;
    // The options the folder dialog starts with: the path and the file must exist, and the
    // current folder is kept.
    uint32_t folderDialogOptions = 0x1808;
    // The extended error code of a file dialog whose path does not fit its buffer.
    static constexpr uint32_t kBufferTooSmall = 0x3003;

    struct ShownFolderDialog {
        NativeWindowHandle owner;
        uint32_t options;
    };
    std::vector<ShownFolderDialog> shownFolderDialogs;
    std::vector<FileDialogRequest> shownFileDialogs;

    DialogOutcome PickFolder(const FolderDialogRequest& request, std::string* folder) override {
        shownFolderDialogs.push_back({request.owner, folderDialogOptions | request.addedOptions});
        const std::optional<std::string> answer = Next(folderAnswers, standingFolderAnswer);
        if (!answer) return DialogOutcome::Cancelled;
        *folder = *answer;
        return DialogOutcome::Chosen;
    }

    DialogOutcome PickFile(const FileDialogRequest& request, std::string* file, uint32_t* error) override {
        shownFileDialogs.push_back(request);
        *error = 0;
        const std::optional<std::string> answer = Next(fileAnswers, standingFileAnswer);
        if (!answer) return DialogOutcome::Cancelled;
        if (Utf8ToUtf16(*answer).size() + 1 > request.bufferUnits) {
            *error = kBufferTooSmall;
            return DialogOutcome::Failed;
        }
        *file = *answer;
        return DialogOutcome::Chosen;
    }

private:
    static std::optional<std::string> Next(std::deque<std::optional<std::string>>& queue,
                                           const std::optional<std::string>& standing) {
        if (queue.empty()) return standing;
        std::optional<std::string> next = queue.front();
        queue.pop_front();
        return next;
    }
};
