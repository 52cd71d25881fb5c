// Encoding the simulated host's opaque record parts: a four-byte tag, then each field's bytes.
#include "sim/host/SimRecords.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr size_t kRemembered = 256;

// The fields one after the other, so that no padding byte of the structures reaches a record.
class Writer {
public:
    explicit Writer(const char (&tag)[5]) { record.bytes.assign(tag, tag + 4); }
    template <class Field>
    Writer& operator<<(const Field& field) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(&field);
        record.bytes.insert(record.bytes.end(), bytes, bytes + sizeof field);
        return *this;
    }
    OpaqueRecord record;
};

class Reader {
public:
    Reader(const char (&tag)[5], const OpaqueRecord& record)
        : bytes_(record.bytes), ok_(bytes_.size() >= 4 && std::memcmp(bytes_.data(), tag, 4) == 0), at_(4) {}
    template <class Field>
    Reader& operator>>(Field& field) {
        if (!ok_ || bytes_.size() - at_ < sizeof field) {
            ok_ = false;
            return *this;
        }
        std::memcpy(&field, bytes_.data() + at_, sizeof field);
        at_ += sizeof field;
        return *this;
    }
    // Every field read, and nothing left over.
    bool Whole() const { return ok_ && at_ == bytes_.size(); }

private:
    const std::vector<uint8_t>& bytes_;
    bool ok_;
    size_t at_;
};
}  // namespace

OpaqueRecord EncodeRest(const SimProjectionRest& rest) {
    return (Writer("SPR1") << rest.parallelKind << rest.parallelScale << rest.sunAzimuth << rest.sunAltitude
                           << rest.frameFlags)
        .record;
}

OpaqueRecord EncodeRest(const SimWindowRest& rest) {
    return (Writer("SWR1") << rest.zoom << rest.scrollX << rest.scrollY).record;
}

std::optional<SimProjectionRest> DecodeProjectionRest(const OpaqueRecord& record) {
    SimProjectionRest rest;
    Reader reader("SPR1", record);
    reader >> rest.parallelKind >> rest.parallelScale >> rest.sunAzimuth >> rest.sunAltitude >> rest.frameFlags;
    return reader.Whole() ? std::optional(rest) : std::nullopt;
}

std::optional<SimWindowRest> DecodeWindowRest(const OpaqueRecord& record) {
    SimWindowRest rest;
    Reader reader("SWR1", record);
    reader >> rest.zoom >> rest.scrollX >> rest.scrollY;
    return reader.Whole() ? std::optional(rest) : std::nullopt;
}

void IssuedRecords::Note(const OpaqueRecord& record) {
    if (std::find(issued_.begin(), issued_.end(), record) != issued_.end()) return;
    issued_.push_back(record);
    if (issued_.size() > kRemembered) issued_.pop_front();
}

bool IssuedRecords::Accept(const OpaqueRecord& record) {
    if (record.bytes.empty() || std::find(issued_.begin(), issued_.end(), record) != issued_.end()) return true;
    ++refused_;
    return false;
}
