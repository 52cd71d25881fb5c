// "pickFile": the open-file dialog with filters for the kinds the page accepts, and a link to
// the chosen file in the store; the file itself is neither copied nor read.
#include <rapidjson/document.h>

#include "handlers/output/Output.h"
#include "panel/Language.h"
#include "panel/Palette.h"
#include "panel/Replies.h"
#include "platform/Desktop.h"
#include "platform/Files.h"
#include "platform/Utf.h"
#include "store/FileStore.h"
#include "store/Log.h"
#include "store/MediaTypes.h"

namespace {
constexpr uint32_t kPickedPathUnits = 1040;
constexpr uint32_t kPickFlags =
    kFileDialogExplorer | kFileDialogFileMustExist | kFileDialogPathMustExist | kFileDialogNoChangeDir;

void AddFilter(std::u16string& list, const std::string& display, std::u16string_view patterns) {
    list += Utf8ToUtf16(display);
    list += u'\0';
    list += patterns;
    list += u'\0';
}

// Videos first, then images, when asked for; all files always; then the closing NUL.
std::u16string FilterList(const rapidjson::Value& payload) {
    bool videos = false, images = false;
    if (payload.IsObject() && payload.HasMember("accept") && payload["accept"].IsArray()) {
        for (const rapidjson::Value& kind : payload["accept"].GetArray()) {
            if (!kind.IsString()) continue;
            const std::string_view text(kind.GetString(), kind.GetStringLength());
            videos = videos || text.substr(0, 6) == "video/";
            images = images || text.substr(0, 6) == "image/";
        }
    }
    std::u16string list;
    if (videos)
        AddFilter(list, PickByLanguage("V\xC3\xAD" "deos", "Videos", "Videos") + " (*.avi;*.mp4;*.mov;*.wmv;*.mkv;*.webm)",
                  u"*.avi;*.mp4;*.m4v;*.mov;*.wmv;*.mkv;*.webm");
    if (images)
        AddFilter(list, PickByLanguage("Imagens", "Images", "Im\xC3\xA1genes") + " (*.jpg;*.png;*.webp)",
                  u"*.jpg;*.jpeg;*.png;*.webp");
    AddFilter(list, PickByLanguage("Todos os arquivos", "All files", "Todos los archivos") + " (*.*)", u"*.*");
    list += u'\0';
    return list;
}
}  // namespace

void HandlePickFile(Palette& palette, const std::string& id, const rapidjson::Value& payload) {
    const FileDialogRequest request{palette.Window().Handle(), FilterList(payload), kPickFlags, kPickedPathUnits};
    std::string path;
    uint32_t error = 0;
    DialogOutcome outcome = DialogOutcome::Failed;
    {
        const ModalDialogScope modal(palette.Pump());
        outcome = DesktopDialogs().PickFile(request, &path, &error);
    }
    if (outcome != DialogOutcome::Chosen) {
        if (outcome == DialogOutcome::Failed) WriteLog("pickFile dialog error " + std::to_string(error));
        WriteLog("pickFile cancelled");
        return ReplyOk(palette, id, "null");
    }
    const std::string ref = NewFileRef("pick");
    if (!StoreLink(ref, path)) return ReplyError(palette, id, MakeFailure("save_failed", "", 0));
    const size_t separator = path.find_last_of("\\/");
    const std::string name = separator == std::string::npos ? path : path.substr(separator + 1);
    WriteLog("pickFile ok");
    uint64_t size = 0;
    if (!Files().PathSize(path, &size)) size = 0;
    ReplyOk(palette, id,
            "{\"fileRef\":" + JsonQuote(ref) + ",\"name\":" + JsonQuote(name) + ",\"contentType\":" +
                JsonQuote(ContentTypeForPath(path)) + ",\"sizeBytes\":" + std::to_string(size) + "}");
}
