// Counting and writing a page script's UTF-16 units.
#include "panel/PageScript.h"

#include "platform/Utf.h"
#include "store/DataUrl.h"

namespace {
constexpr std::string_view kReceiveOpen = "window.TamselBridge&&window.TamselBridge.receive(", kReceiveClose = ")";

class UnitCounter final : public JsonSink {
public:
    void Text(std::string_view utf8) override { units += Utf16Length(utf8); }
    void Base64(std::string_view bytes) override { units += Base64Length(bytes.size()); }
    size_t units = 0;
};

class UnitWriter final : public JsonSink {
public:
    explicit UnitWriter(char16_t* start) : at(start) {}
    void Text(std::string_view utf8) override { at = WidenUtf8(utf8, at); }
    void Base64(std::string_view bytes) override { at = Base64EncodeInto(bytes, at); }
    char16_t* at;
};

class ByteCounter final : public JsonSink {
public:
    void Text(std::string_view utf8) override { bytes += utf8.size(); }
    void Base64(std::string_view data) override { bytes += Base64Length(data.size()); }
    size_t bytes = 0;
};

class ByteWriter final : public JsonSink {
public:
    explicit ByteWriter(std::string& text) : out(text) {}
    void Text(std::string_view utf8) override { out.append(utf8); }
    void Base64(std::string_view data) override { out += Base64Encode(data); }
    std::string& out;
};
}  // namespace

JsonWriter PlainJson(std::string_view json) {
    return [json](JsonSink& sink) { sink.Text(json); };
}

std::u16string PageScript(const JsonWriter& json) {
    UnitCounter counter;
    counter.Text(kReceiveOpen);
    json(counter);
    counter.Text(kReceiveClose);
    // Every unit is written below; the zeros the constructor writes first touch the pages once,
    // where the widening would otherwise fault them in one at a time.
    std::u16string script(counter.units, u'\0');
    UnitWriter writer(script.data());
    writer.Text(kReceiveOpen);
    json(writer);
    writer.Text(kReceiveClose);
    script.resize(static_cast<size_t>(writer.at - script.data()));
    return script;
}

std::string JsonText(const JsonWriter& json) {
    ByteCounter counter;
    json(counter);
    std::string text;
    text.reserve(counter.bytes);
    ByteWriter writer(text);
    json(writer);
    return text;
}
