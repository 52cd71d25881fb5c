// Encoding the simulated host's opaque record parts: a four-byte tag, then the fields' bytes.
#include "sim/host/SimRecords.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr size_t kRemembered = 256;

template <class Rest>
OpaqueRecord Encode(const char (&tag)[5], const Rest& rest) {
    OpaqueRecord record;
    record.bytes.resize(4 + sizeof rest);
    std::memcpy(record.bytes.data(), tag, 4);
    std::memcpy(record.bytes.data() + 4, &rest, sizeof rest);
    return record;
}

template <class Rest>
std::optional<Rest> Decode(const char (&tag)[5], const OpaqueRecord& record) {
    if (record.bytes.size() != 4 + sizeof(Rest) || std::memcmp(record.bytes.data(), tag, 4) != 0) return std::nullopt;
    Rest rest;
    std::memcpy(&rest, record.bytes.data() + 4, sizeof rest);
    return rest;
}
}  // namespace

OpaqueRecord EncodeRest(const SimProjectionRest& rest) { return Encode("SPR1", rest); }
OpaqueRecord EncodeRest(const SimWindowRest& rest) { return Encode("SWR1", rest); }
std::optional<SimProjectionRest> DecodeProjectionRest(const OpaqueRecord& record) {
    return Decode<SimProjectionRest>("SPR1", record);
}
std::optional<SimWindowRest> DecodeWindowRest(const OpaqueRecord& record) { return Decode<SimWindowRest>("SWR1", record); }

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
