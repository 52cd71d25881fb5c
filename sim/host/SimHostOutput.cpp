// The simulated host's worksheets and pictures: databases, the current window, undoable
// commands, picture defaults, host memory blocks, picture creation, memo release and zoom, and
// the project's worksheets written out as JSON.
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cmath>
#include <cstdio>
#include <new>

#include "platform/Utf.h"
#include "sim/host/SimHost.h"
#include "sim/host/SimPicture.h"

namespace {
uint64_t Fnv1a64(const std::vector<uint8_t>& bytes) {
    uint64_t hash = 0xcbf29ce484222325u;
    for (uint8_t b : bytes) {
        hash ^= b;
        hash *= 0x100000001b3u;
    }
    return hash;
}

bool ValidName(const std::u16string& name) { return !name.empty() && name.size() <= kMaxHostNameUnits; }
}  // namespace

HostError SimHost::NewDatabase(DatabaseInfo* database) {
    if (HostError e = Injected("NewDatabase")) return e;
    if (database == nullptr || database->typeCode != kDatabaseWorksheet || !ValidName(database->name) ||
        database->refId.size() > kMaxHostNameUnits)
        return kSimErrBadParameters;
    SimWorksheet sheet;
    sheet.guid = SimGuid("worksheet-" + std::to_string(++createdDatabases_));
    sheet.name = database->name;
    sheet.refId = database->refId;
    database->databaseGuid = sheet.guid;
    model.worksheets.push_back(std::move(sheet));
    return kHostOk;
}

HostError SimHost::ChangeWindow(const WindowInfo& window) {
    if (HostError e = Injected("ChangeWindow")) return e;
    if (window.kind == SimWindowKind::kWorksheet) {
        if (window.databaseGuid.IsNull()) return kSimErrBadParameters;
        if (model.FindWorksheet(window.databaseGuid) == nullptr) return kHostErrNotFound;
        front = window;
        return kHostOk;
    }
    for (const SimWindowRecord& w : model.windows) {
        if (w.info.kind == window.kind && (window.databaseGuid.IsNull() || window.databaseGuid == w.info.databaseGuid)) {
            front = w.info;
            return kHostOk;
        }
    }
    return kSimErrBadParameters;
}

HostError SimHost::RunUndoable(const std::u16string& name, const std::function<HostError()>& command) {
    if (HostError e = Injected("RunUndoable")) return e;
    if (!ValidName(name) || !command) return kSimErrBadParameters;
    if (inUndoable_) return kHostErrRefused;  // commands do not nest
    inUndoable_ = true;
    const HostError result = command();
    inUndoable_ = false;
    if (result == kHostOk) undoHistory.push_back(name);
    return result;
}

HostError SimHost::GetPictureDefaults(PictureElement* element) {
    if (HostError e = Injected("GetPictureDefaults")) return e;
    if (element == nullptr) return kSimErrBadParameters;
    *element = pictureDefaults;
    return kHostOk;
}

HostError SimHost::AllocateBlock(size_t size, bool clear, HostBlock* block) {
    if (HostError e = Injected("AllocateBlock")) return e;
    if (block == nullptr || size == 0) return kSimErrBadParameters;
    std::vector<uint8_t> memory;
    try {
        memory.resize(size);  // always zeroed here; `clear` only promises it
    } catch (const std::bad_alloc&) {
        return kHostErrOutOfMemory;
    }
    (void)clear;
    const uintptr_t id = nextBlock_++;
    auto& stored = blocks_[id] = std::move(memory);
    *block = HostBlock{id, stored.data(), stored.size()};
    return kHostOk;
}

HostError SimHost::CreatePicture(const PictureElement& element, const ElementMemo& memo, HostGuid* created) {
    if (HostError e = Injected("CreatePicture")) return e;
    if (!inUndoable_) return kHostErrRefused;  // elements are made inside an undoable command
    if (front.kind != SimWindowKind::kWorksheet) return kHostErrWrongWindow;
    SimWorksheet* sheet = model.FindWorksheet(front.databaseGuid);
    if (sheet == nullptr) return kHostErrWrongWindow;
    const auto block = blocks_.find(memo.pictureData.id);
    const bool boxOk = std::isfinite(element.xMin) && std::isfinite(element.yMin) && std::isfinite(element.xMax) &&
                       std::isfinite(element.yMax) && element.xMax > element.xMin && element.yMax > element.yMin;
    if (created == nullptr || block == blocks_.end() || block->second.size() != memo.pictureData.size ||
        memo.pictureData.data != block->second.data() || !boxOk || element.name.size() > kMaxHostNameUnits ||
        (element.formatCode != kPictureFormatPng && element.formatCode != kPictureFormatJpeg))
        return kSimErrBadParameters;
    // The host reads the block as the format the record names.
    const std::vector<uint8_t>& bytes = block->second;
    if (element.formatCode == kPictureFormatPng ? !IsPngSignature(bytes) : !IsJpegSignature(bytes)) return kHostErrUnreadableImage;
    SimPictureElement picture;
    picture.guid = SimGuid("picture-" + std::to_string(++createdPictures_));
    picture.settings = element;
    try {
        picture.bytes = bytes;
    } catch (const std::bad_alloc&) {
        return kHostErrOutOfMemory;
    }
    *created = picture.guid;
    sheet->pictures.push_back(std::move(picture));
    return kHostOk;
}

HostError SimHost::ReleaseMemo(ElementMemo* memo) {
    if (HostError e = Injected("ReleaseMemo")) return e;
    if (memo == nullptr) return kSimErrBadParameters;
    if (memo->pictureData.id != 0 && blocks_.erase(memo->pictureData.id) == 0) return kSimErrBadParameters;
    *memo = ElementMemo{};
    return kHostOk;
}

HostError SimHost::ZoomToElements(const std::vector<HostGuid>& elements) {
    if (HostError e = Injected("ZoomToElements")) return e;
    if (elements.empty()) return kSimErrBadParameters;
    for (const HostGuid& guid : elements) {
        bool found = model.FindElement(guid) != nullptr;
        for (const SimWorksheet& sheet : model.worksheets)
            for (const SimPictureElement& p : sheet.pictures) found = found || p.guid == guid;
        if (!found) return kHostErrNotFound;
    }
    lastZoom = elements;
    ++zooms;
    return kHostOk;
}

std::string SimHost::ProjectJson() const {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
    w.SetMaxDecimalPlaces(10);
    auto text = [&w](const std::u16string& s) {
        const std::string utf8 = Utf16ToUtf8(s);
        w.String(utf8.data(), static_cast<rapidjson::SizeType>(utf8.size()));
    };
    w.StartObject();
    w.Key("worksheets");
    w.StartArray();
    for (const SimWorksheet& sheet : model.worksheets) {
        w.StartObject();
        w.Key("name");
        text(sheet.name);
        w.Key("refId");
        text(sheet.refId);
        w.Key("pictures");
        w.StartArray();
        for (const SimPictureElement& p : sheet.pictures) {
            w.StartObject();
            w.Key("name");
            text(p.settings.name);
            w.Key("box");
            w.StartArray();
            for (double v : {p.settings.xMin, p.settings.yMin, p.settings.xMax, p.settings.yMax}) w.Double(v);
            w.EndArray();
            w.Key("formatCode");
            w.Int(p.settings.formatCode);
            w.Key("bytes");
            w.Uint64(p.bytes.size());
            char hash[17];
            std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fnv1a64(p.bytes)));
            w.Key("fnv1a64");
            w.String(hash);
            w.EndObject();
        }
        w.EndArray();
        w.EndObject();
    }
    w.EndArray();
    w.EndObject();
    return buffer.GetString();
}
