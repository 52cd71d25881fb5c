// "place": an image on a new worksheet. The request's model step reads the image (or starts its
// download), the placement step runs from the host's event loop and makes the worksheet, the
// picture and the undo step, and its result is the reply.
#include <rapidjson/document.h>

#include <new>

#include "handlers/output/Output.h"
#include "handlers/service/FetchSource.h"
#include "host/HostApi.h"
#include "panel/Language.h"
#include "panel/ModelOps.h"
#include "panel/Palette.h"
#include "panel/Replies.h"
#include "panel/Worker.h"
#include "platform/System.h"
#include "platform/Utf.h"
#include "store/Log.h"
#include "store/MediaTypes.h"
#include "store/Images.h"

namespace OvraViews {
namespace {
constexpr double kPixelsPerModelUnit = 100;  // 0.01 model units per pixel
constexpr int32_t kPictureColourDepth = 6;
constexpr size_t kFailPlaceBuffer = 4;

// Host thread only.
std::string placeStep;

// The label as the host takes names: UTF-16, at most 255 units, never half a surrogate pair.
std::u16string HostName(const std::string& label) {
    std::u16string name = Utf8ToUtf16(label);
    if (name.size() > kMaxHostNameUnits) {
        name.resize(kMaxHostNameUnits);
        if (name.back() >= 0xD800 && name.back() <= 0xDBFF) name.pop_back();
    }
    return name;
}

// Gives the memo's blocks back to the host on every path.
class MemoOwner {
public:
    MemoOwner() = default;
    ~MemoOwner() {
        if (memo.pictureData.id != 0) Host().ReleaseMemo(&memo);
    }
    MemoOwner(const MemoOwner&) = delete;
    MemoOwner& operator=(const MemoOwner&) = delete;
    ElementMemo memo;
};

// The placement step, from the host's event loop, for the serving request: it runs only while
// the page that asked is the current one, so the old project's picture never lands in a project
// opened since.
void PlacementStep(Palette& palette, const std::shared_ptr<std::string>& bytes, const std::string& label) {
    const std::string id = palette.Serving().id;
    try {
        placeStep.clear();
        HostError result = kHostErrRefused;
        if (!EnvironmentFlag("TAMSEL_OVRA_FAIL_PLACE", kFailPlaceBuffer)) {
            std::string image = std::move(*bytes);
            bytes->clear();
            result = PlaceInWorksheet(std::move(image), label);
        }
        WriteLog("place " + std::to_string(result) + " step " + placeStep);
        if (result == kHostOk)
            ReplyOk(palette, id, "{\"label\":" + JsonQuote(label) + "}");
        else
            ReplyError(palette, id, MakeFailure("place_failed", PlaceFailureReason(result), 0));
    } catch (const std::bad_alloc&) {
        ReplyError(palette, id, MakeFailure("place_failed", PlaceFailureReason(kHostErrOutOfMemory), 0));
    } catch (...) {
        ReplyError(palette, id, MakeFailure("place_failed", "", 0));
    }
}

// The undoable command: the picture with its memo on the current worksheet.
HostError CreatePictureElement(std::string& bytes, int width, int height, bool png, const std::u16string& name,
                               HostGuid* created) noexcept {
    try {
        PictureElement element;
        if (const HostError e = Host().GetPictureDefaults(&element)) {
            placeStep = "GetDefaults";
            return e;
        }
        element.framePen = 0;
        element.mirrored = 0;
        element.angle = 0.0;
        element.xMin = 0;
        element.yMin = 0;
        element.xMax = width / kPixelsPerModelUnit;
        element.yMax = height / kPixelsPerModelUnit;
        element.colourDepth = kPictureColourDepth;
        element.formatCode = png ? kPictureFormatPng : kPictureFormatJpeg;
        element.name = name;
        MemoOwner memo;
        if (Host().AllocateBlock(bytes.size(), true, &memo.memo.pictureData) != kHostOk ||
            memo.memo.pictureData.data == nullptr || memo.memo.pictureData.size != bytes.size()) {
            placeStep = "memory";
            return kHostErrOutOfMemory;
        }
        std::copy(bytes.begin(), bytes.end(), memo.memo.pictureData.data);
        // The host holds the image now; ours goes before the host makes its own copy.
        std::string().swap(bytes);
        const HostError result = Host().CreatePicture(element, memo.memo, created);
        if (result != kHostOk) placeStep = "Element_Create";
        return result;
    } catch (const std::bad_alloc&) {
        placeStep = "memory";
        return kHostErrOutOfMemory;
    }
}

void StartDownload(Palette& palette, const Source& source, const std::string& label) {
    StartWorker(
        palette,
        [source, label, token = palette.SignInState().Token(), language = uiLanguage]() -> PaletteFunction {
            auto bytes = std::make_shared<std::string>();
            std::string code;
            if (!FetchSource(source, token, language, bytes.get(), &code))
                return [code](Palette& p) { ReplyError(p, p.Serving().id, MakeFailure(code, "", 0)); };
            // The image waits its turn behind open dialogs and captures, like every model step.
            return [bytes, label](Palette& p) {
                p.Pump().Continue(p.HandOff(), [bytes, label](Palette& q) { PlaceNow(q, bytes, label); });
            };
        },
        [](Palette& p) {
            ReplyError(p, p.Serving().id, MakeFailure("place_failed", PlaceFailureReason(kHostErrOutOfMemory), 0));
        });
}
}  // namespace

const std::string& PlaceStep() { return placeStep; }

std::string PlaceFailureReason(HostError code) {
    switch (code) {
        case kHostErrRefused: return "refused_by_archicad";
        case kHostErrUnreadableImage: return "unreadable_image";
        case kHostErrOutOfMemory: return "out_of_memory";
        default: return "archicad_error_" + std::to_string(code);
    }
}

void Place(Palette& palette, const std::string& id, const rapidjson::Value& payload) {
    try {
        const Source source{StringMember(payload, "fileRef"), StringMember(payload, "path")};
        const std::string label = PlacementLabel(StringMember(payload, "label"));
        if (source.fileRef.empty() && source.path.empty())
            return ReplyError(palette, id, MakeFailure("missing_file", "", 0));
        if (source.fileRef.empty()) return StartDownload(palette, source, label);
        // A reference only reads the store, so it is read here; a path is never fetched with it.
        auto bytes = std::make_shared<std::string>();
        std::string code;
        if (!FetchSource(Source{source.fileRef, ""}, SecretString(), uiLanguage, bytes.get(), &code))
            return ReplyError(palette, id, MakeFailure(code, "", 0));
        PlaceNow(palette, std::move(bytes), label);
    } catch (const std::bad_alloc&) {
        ReplyError(palette, id, MakeFailure("place_failed", PlaceFailureReason(kHostErrOutOfMemory), 0));
    }
}

void PlaceNow(Palette& palette, std::shared_ptr<std::string> bytes, const std::string& label) {
    palette.Pump().CallFromEventLoop(palette, palette.HandOff(), [bytes = std::move(bytes), label](Palette& p) {
        PlacementStep(p, bytes, label);
    });
}

HostError PlaceInWorksheet(std::string bytes, const std::string& label) {
    std::string_view type = SniffContentType(bytes);
    if (type != "image/png" && type != "image/jpeg") {
        if (!EnsurePngOrJpeg(&bytes)) return kHostErrUnreadableImage;
        type = SniffContentType(bytes);
        if (type != "image/png" && type != "image/jpeg") return kHostErrUnreadableImage;
    }
    const bool png = type == "image/png";
    int width = 0, height = 0;
    if (!ImagePixelSize(bytes, &width, &height)) return kHostErrUnreadableImage;
    // Nothing in the project has changed so far.
    placeStep.clear();
    const std::u16string name = HostName(label);
    DatabaseInfo database;
    database.typeCode = kDatabaseWorksheet;
    database.name = name;
    database.refId = u"TO";
    if (const HostError e = Host().NewDatabase(&database)) {
        placeStep = "NewDatabase";
        return e;
    }
    WindowInfo window;
    window.kind = kDatabaseWorksheet;
    window.databaseGuid = database.databaseGuid;
    if (const HostError e = Host().ChangeWindow(window)) {
        placeStep = "ChangeWindow";
        return e;
    }
    HostGuid created;
    const HostError result = Host().RunUndoable(
        name, [&]() { return CreatePictureElement(bytes, width, height, png, name, &created); });
    if (result != kHostOk) {
        if (placeStep.empty()) placeStep = "CallUndoableCommand";
        return result;
    }
    Host().ZoomToElements({created});  // a failed zoom still leaves the picture placed
    return kHostOk;
}
}  // namespace OvraViews
