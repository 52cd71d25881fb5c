// Fuzz target: page-state files through "getState". The input is the content of the open
// project's state file, which anything on the machine may have written; a "getState" request
// then reads it. The one reply is ok and whole JSON, and its "state" is an object: the file's
// own object when the file holds exactly one JSON object of valid UTF-8, else an object the
// file could not break out of.
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzHost.h"
#include "platform/Files.h"
#include "store/StateFiles.h"

namespace {
using namespace FuzzBridge;

// Replaces the file's content in place, as another program on the machine might.
void WriteInPlace(const std::string& path, std::string_view bytes) {
    ScopedFile file(Files().OpenWrite(path));
    Check(file.valid(), "the state file opens for writing");
    uint32_t done = 0;
    Check(bytes.empty() || (Files().Write(file.get(), bytes.data(), static_cast<uint32_t>(bytes.size()), &done) &&
                            done == bytes.size()),
          "the state file is written");
    Check(file.Close(), "the state file is closed");
}

// The value as compact JSON text, members in their order, duplicates kept.
std::string Compact(const rapidjson::Value& value) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    value.Accept(writer);
    return std::string(buffer.GetString(), buffer.GetSize());
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SimHost& host = StartedHost();
    Palette& palette = CurrentPaletteOrAbort();
    Check(WriteStateFile(palette.PageProjectKey(), "{}"), "the state file is made");
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    WriteInPlace(StateFilePath(palette.PageProjectKey()), bytes);

    host.Page()->Post(R"({"id":"state","type":"getState"})");
    Settle(host, 0);
    const Arrivals arrivals = CheckedArrivals(*host.Page(), 0, 0);
    Check(arrivals.replies.size() == 1 && arrivals.events.empty(), "one reply and no event");
    const ScriptedPage::Message& reply = *arrivals.replies.front();
    Check(reply.Ok(), "getState answers ok whatever the file holds");
    const rapidjson::Value& result = (*reply.document)["result"];
    Check(result.IsObject() && result.HasMember("state") && result["state"].IsObject(), "the state is an object");

    const size_t first = bytes.find_first_not_of(" \t\r\n");
    if (IsWholeJsonObject(bytes) && first != std::string_view::npos && bytes[first] == '{') {
        rapidjson::Document stored;
        stored.Parse(bytes.data(), bytes.size());
        Check(Compact(result["state"]) == Compact(stored), "a file of one JSON object is the state");
    }
    ResetForNextInput(host);
    return 0;
}
