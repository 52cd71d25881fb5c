// "saveFiles": the results written into the project's folder, or one the user picks, by one
// worker that fetches and writes them in order; the reply comes when the worker is done.
#include <rapidjson/document.h>

#include <string_view>
#include <vector>

#include "handlers/output/Output.h"
#include "handlers/service/FetchSource.h"
#include "panel/Language.h"
#include "panel/Palette.h"
#include "panel/Project.h"
#include "panel/Replies.h"
#include "panel/Worker.h"
#include "platform/Desktop.h"
#include "platform/Files.h"
#include "platform/Utf.h"
#include "store/FileStore.h"
#include "store/Log.h"
#include "store/MediaTypes.h"

namespace {
constexpr size_t kMaxFolderUnits = 80;
constexpr size_t kMaxBaseUnits = 100;
constexpr size_t kMaxCutExtensionUnits = 5;  // the dot included
constexpr int kMaxNumber = 999;
constexpr std::u16string_view kDefaultBase = u"Tamsel Ovra";

struct SaveItem {
    std::string fileRef, path, name, kind;
};

struct SaveOutcome {
    int32_t saved = 0;
    std::string firstPath;
    std::string errorCode = "save_failed";
};


std::string LastPathPart(const std::string& path) {
    const size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

// The wanted name without a short extension, sanitised, or the default name.
std::string BaseName(const std::string& wanted) {
    std::u16string base = Utf8ToUtf16(wanted);
    const size_t dot = base.rfind(u'.');
    if (dot != std::u16string::npos && base.size() - dot <= kMaxCutExtensionUnits) base.resize(dot);
    base = SanitizeFileName(base, kMaxBaseUnits);
    return Utf16ToUtf8(base.empty() ? kDefaultBase : base);
}

// Fetches and writes one item; the path written, or "" with `code` set when the fetch failed
// and left as it is when the write did.
std::string SaveOne(const SaveItem& item, const std::string& folder, const SecretString& token,
                    const std::u16string& language, std::string* code) {
    std::string bytes;
    if (!FetchSource(Source{item.fileRef, item.path}, token, language, &bytes, code)) return {};
    const std::string base = BaseName(item.name);
    const std::string extension(ExtensionForContentType(SniffContentType(bytes)));
    // The plain name, then " (2)" to " (999)"; a name another writer claims meanwhile is
    // skipped like one that was already there.
    return WriteNewFile(folder, bytes, [&](int n) -> std::string {
        if (n == 1) return JoinPath(folder, base + extension);
        if (n > kMaxNumber) return {};
        return JoinPath(folder, base + " (" + std::to_string(n) + ")" + extension);
    });
}

// Fetches and writes every item in order; worker thread, touching only its copies. An item
// whose read or write fails by exception (no memory for a large source) is a failed write: the
// files before and after it are still saved.
SaveOutcome SaveAll(const std::vector<SaveItem>& items, const std::string& folder, const SecretString& token,
                    const std::u16string& language) {
    SaveOutcome outcome;
    // A save that stopped in a crash left its temporary file here; nothing else cleans this folder.
    PruneOwnTemporaryFiles(folder);
    for (const SaveItem& item : items) {
        std::string written, code;
        try {
            written = SaveOne(item, folder, token, language, &code);
        } catch (...) {
            continue;
        }
        if (written.empty()) {
            if (!code.empty()) outcome.errorCode = code;
            continue;
        }
        ++outcome.saved;
        if (outcome.firstPath.empty()) outcome.firstPath = written;
    }
    return outcome;
}

// The serving request's answer; Explorer shows the first file written. It runs only while the
// page that asked is the current one.
void CompleteSave(Palette& palette, const SaveOutcome& outcome, const std::string& folderName) {
    const std::string id = palette.Serving().id;
    WriteLog("saveFiles " + std::to_string(outcome.saved));
    if (outcome.saved == 0) return ReplyError(palette, id, MakeFailure(outcome.errorCode, "", 0));
    DesktopLauncher().ShellOpen("explorer.exe", "/select,\"" + outcome.firstPath + "\"");
    ReplyOk(palette, id, "{\"saved\":" + std::to_string(outcome.saved) + ",\"folderName\":" + JsonQuote(folderName) + "}");
}
}  // namespace

void SaveFiles(Palette& palette, const std::string& id, const rapidjson::Value& payload) {
    if (!payload.IsObject() || !payload.HasMember("files") || !payload["files"].IsArray())
        return ReplyError(palette, id, MakeFailure("invalid_request", "", 0));
    std::vector<SaveItem> items;
    for (const rapidjson::Value& file : payload["files"].GetArray())
        items.push_back({StringMember(file, "fileRef"), StringMember(file, "path"), StringMember(file, "name"),
                         StringMember(file, "kind")});
    if (items.empty()) return ReplyOk(palette, id, "{\"saved\":0}");

    std::string folder = ProjectFolder();
    if (folder.empty()) {
        const FolderDialogRequest request{palette.Window().Handle(),
                                          kFolderDialogPickFolders | kFolderDialogForceFileSystem};
        std::string chosen;
        DialogOutcome result;
        {
            const ModalDialogScope modal(palette.Pump());
            result = DesktopDialogs().PickFolder(request, &chosen);
        }
        if (result == DialogOutcome::Chosen) folder = chosen;
    }
    if (folder.empty()) {
        WriteLog("saveFiles cancelled");
        return ReplyOk(palette, id, "{\"cancelled\":true,\"saved\":0}");
    }
    const std::u16string subfolder = SanitizeFileName(Utf8ToUtf16(StringMember(payload, "folder")), kMaxFolderUnits);
    if (!subfolder.empty()) {
        const std::string inside = JoinPath(folder, Utf16ToUtf8(subfolder));
        if (Files().MakeFolder(inside) != FolderResult::Failed) folder = inside;
    }
    const std::string folderName = LastPathPart(folder);

    StartWorker(
        palette,
        [items = std::move(items), folder, folderName, token = palette.SignInState().Token(),
         language = uiLanguage]() -> PaletteFunction {
            SaveOutcome outcome = SaveAll(items, folder, token, language);
            return [outcome = std::move(outcome), folderName](Palette& p) { CompleteSave(p, outcome, folderName); };
        },
        [folderName](Palette& p) { CompleteSave(p, SaveOutcome{}, folderName); });
}
