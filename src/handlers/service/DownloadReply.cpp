// Storing a download and making its reply.
#include "handlers/service/DownloadReply.h"

#include "panel/PageScript.h"
#include "panel/Replies.h"
#include "store/FileStore.h"
#include "store/Images.h"
#include "store/MediaTypes.h"

namespace {
constexpr int kPreviewSide = 1600;
constexpr int kPreviewQuality = 88;
}  // namespace

bool StoreDownload(const std::string& bytes, StoredDownload* stored) {
    stored->type = SniffContentType(bytes);
    stored->ref = NewFileRef("res");
    if (bytes.empty() || !StoreBytes(stored->ref, bytes)) return false;
    if (stored->type.empty() || stored->type.rfind("image/", 0) == 0) {
        if (EncodeJpeg(bytes, kPreviewSide, kPreviewQuality, &stored->preview))
            stored->type = "image/jpeg";
        else
            stored->preview.clear();
    }
    return true;
}

void PostDownload(Mailbox& mailbox, const RequestTag& tag, const std::string& bytes, const StoredDownload& stored) {
    const std::string_view shown = stored.preview.empty() ? std::string_view(bytes) : std::string_view(stored.preview);
    std::string head = JsonQuote("data:" + (stored.type.empty() ? std::string("application/octet-stream") : stored.type) +
                                 ";base64,");
    head.pop_back();  // the string goes on with the base64
    const std::string quotedRef = JsonQuote(stored.ref);
    PostOkReply(mailbox, tag, [&](JsonSink& sink) {
        for (const char* member : {"{\"url\":", ",\"dataUrl\":"}) {
            sink.Text(member);
            sink.Text(head);
            sink.Base64(shown);
            sink.Text("\"");
        }
        sink.Text(",\"fileRef\":");
        sink.Text(quotedRef);
        sink.Text("}");
    });
}

