// Reply formats and their delivery to the page.
#include "panel/Replies.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "panel/HostThread.h"
#include "panel/Mailbox.h"
#include "panel/Palette.h"
#include "panel/Upcalls.h"
#include "platform/Threads.h"
#include "store/Log.h"

namespace {
// Below this size a script's buffer is freed where it is; above, its pages are given back on a
// thread of its own, whose start costs less than unmapping them.
constexpr size_t kReleaseElsewhereUnits = size_t{1} << 20;

bool IsReservedId(std::string_view id) { return id.substr(0, kReservedIdPrefix.size()) == kReservedIdPrefix; }

// {"id":ID,"ok":true,"result":RESULT} or {"id":ID,"ok":false,"error":ERROR}.
JsonWriter ReplyJson(const std::string& quotedId, bool ok, const JsonWriter& value) {
    return [&quotedId, ok, &value](JsonSink& sink) {
        sink.Text("{\"id\":");
        sink.Text(quotedId);
        sink.Text(ok ? ",\"ok\":true,\"result\":" : ",\"ok\":false,\"error\":");
        value(sink);
        sink.Text("}");
    };
}

// Counted as a worker, so that the add-on is not unloaded while the thread still runs its code.
void ReleaseOffHostThread(std::u16string script) {
    if (script.capacity() < kReleaseElsewhereUnits) return;
    const std::shared_ptr<Mailbox> mailbox = ProcessMailbox();
    mailbox->workers.fetch_add(1);
    // A thread that cannot be started leaves the buffer to be freed here after all.
    if (!StartDetachedThread([buffer = std::move(script), mailbox]() mutable {
            std::u16string().swap(buffer);
            mailbox->workers.fetch_sub(1);
        }))
        mailbox->workers.fetch_sub(1);
}

void ExecuteInPage(Palette& palette, std::u16string script) {
    CheckHostThread("SendToPage");
    palette.PageBrowser().ExecuteScript(script);
    ReleaseOffHostThread(std::move(script));
}
}  // namespace

std::string StringMember(const rapidjson::Value& object, const char* name) {
    if (!object.IsObject()) return {};
    auto it = object.FindMember(name);
    if (it == object.MemberEnd() || !it->value.IsString()) return {};
    return std::string(it->value.GetString(), it->value.GetStringLength());
}

const rapidjson::Value& PayloadOf(const rapidjson::Value& request) {
    static const rapidjson::Value kNull;
    auto it = request.FindMember("payload");
    return it != request.MemberEnd() && it->value.IsObject() ? it->value : kNull;
}

bool CompactJson(const rapidjson::Value& value, std::string* text) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.SetMaxDecimalPlaces(10);
    // The writer refuses an infinity and stops there, leaving what it wrote so far.
    const bool whole = value.Accept(writer);
    text->assign(buffer.GetString(), buffer.GetSize());
    return whole;
}

std::string JsonQuote(std::string_view text) {
    // Text with nothing to escape, such as a preview's data URL of a megabyte or more, is copied
    // whole: one pass that the compiler vectorises. 0xED leads the three bytes that a surrogate
    // takes when decoded from an escape, so text holding one goes the careful way.
    unsigned escapes = 0;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        escapes |= static_cast<unsigned>(u < 0x20) | static_cast<unsigned>(u == '"') | static_cast<unsigned>(u == '\\') |
                   static_cast<unsigned>(u == 0xED);
    }
    std::string quoted;
    quoted.reserve(text.size() + 2);
    quoted += '"';
    if (escapes == 0) {
        quoted.append(text);
        quoted += '"';
        return quoted;
    }
    static const char kHex[] = "0123456789ABCDEF";
    auto escape = [&](unsigned unit) {
        quoted += "\\u";
        for (int shift = 12; shift >= 0; shift -= 4) quoted += kHex[(unit >> shift) & 15];
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const auto u = static_cast<unsigned char>(text[i]);
        if (u == '"' || u == '\\') {
            quoted += '\\';
            quoted += text[i];
        } else if (u < 0x20) {
            switch (u) {
                case '\b': quoted += "\\b"; break;
                case '\f': quoted += "\\f"; break;
                case '\n': quoted += "\\n"; break;
                case '\r': quoted += "\\r"; break;
                case '\t': quoted += "\\t"; break;
                default: escape(u); break;
            }
        } else if (u == 0xED && i + 2 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xF0) == 0xB0 &&
                   (static_cast<unsigned char>(text[i + 2]) & 0xC0) == 0x80) {
            // A second half of a surrogate pair on its own, as the parser decodes the escape of one
            // that follows no first half: written as that escape again, so that the page reads
            // back the very string it sent (as bytes it would become U+FFFD). A first half on its
            // own is no escape the parser accepts, so such bytes stay bytes.
            escape(0xD000u | ((static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 6) |
                   (static_cast<unsigned char>(text[i + 2]) & 0x3Fu));
            i += 2;
        } else {
            quoted += text[i];
        }
    }
    quoted += '"';
    return quoted;
}

std::string ErrorObjectJson(const Failure& failure) {
    std::string json = "{\"code\":" + JsonQuote(failure.code) + ",\"message\":" + JsonQuote(failure.message);
    if (!failure.reason.empty()) json += ",\"reason\":" + JsonQuote(failure.reason);
    if (failure.retryAfter != 0) json += ",\"retry_after\":" + std::to_string(static_cast<uint32_t>(failure.retryAfter));
    json += '}';
    return json;
}

void ReplyOk(Palette& palette, const std::string& id, std::string_view resultJson) {
    DeliverReply(palette, PrepareOkReply(id, PlainJson(resultJson)));
}

void ReplyError(Palette& palette, const std::string& id, const Failure& failure) {
    CheckHostThread("ReplyError");
    palette.NoteAnswered(id);
    WriteLog("reply error " + failure.code);
    const std::string error = ErrorObjectJson(failure);
    if (IsReservedId(id)) {
        Upcalls().reservedReply(palette, id, false, error);
        return;
    }
    const std::string quotedId = JsonQuote(id);
    ExecuteInPage(palette, PageScript(ReplyJson(quotedId, false, PlainJson(error))));
}

void SendToPage(Palette& palette, std::string_view json) { ExecuteInPage(palette, PageScript(PlainJson(json))); }

PreparedReply PrepareOkReply(const std::string& id, const JsonWriter& result) {
    PreparedReply reply;
    reply.id = id;
    reply.reserved = IsReservedId(id);
    if (reply.reserved) {
        reply.resultJson = JsonText(result);
    } else {
        const std::string quotedId = JsonQuote(id);
        reply.script = PageScript(ReplyJson(quotedId, true, result));
    }
    return reply;
}

void DeliverReply(Palette& palette, PreparedReply reply) {
    CheckHostThread("ReplyOk");
    palette.NoteAnswered(reply.id);
    if (reply.reserved) {
        Upcalls().reservedReply(palette, reply.id, true, std::move(reply.resultJson));
        return;
    }
    ExecuteInPage(palette, std::move(reply.script));
}

void PostOkReply(Mailbox& mailbox, const RequestTag& tag, const JsonWriter& result) {
    PostToHost(mailbox, tag,
               [reply = PrepareOkReply(tag.id, result)](Palette& p) mutable { DeliverReply(p, std::move(reply)); });
}
