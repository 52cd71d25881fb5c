// Scripts for the page in the form the browser takes (UTF-16), each made in one buffer of its
// exact size: the JSON is written once to count its units and once into the buffer. Strings are
// quoted with JsonQuote before they are written; base64 goes straight from the bytes. Any thread.
#pragma once
#include <functional>
#include <string>
#include <string_view>

// Where JSON text is written.
class JsonSink {
public:
    virtual ~JsonSink() = default;
    // JSON text in UTF-8.
    virtual void Text(std::string_view utf8) = 0;
    // The bytes' base64, inside a string the writer has opened.
    virtual void Base64(std::string_view bytes) = 0;
};

// Writes one JSON text; it runs twice, and writes the same both times.
using JsonWriter = std::function<void(JsonSink&)>;

// The text as it is.
JsonWriter PlainJson(std::string_view json);

// "window.TamselBridge&&window.TamselBridge.receive(" + the JSON + ")".
std::u16string PageScript(const JsonWriter& json);
// The JSON alone, in UTF-8.
std::string JsonText(const JsonWriter& json);
