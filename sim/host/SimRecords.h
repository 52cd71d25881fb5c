// The fields of the simulated host's window and 3D projection records that the add-on never
// reads, as the host hands them out in a record's opaque part, and the check that a record
// handed back holds an opaque part the host gave out (or none, which means the host's defaults).
#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

#include "host/HostApi.h"

// A parallel (axonometric) view's kind and scale, the sun, and the frame's flags.
struct SimProjectionRest {
    int32_t parallelKind = 0;  // 0 free, 1 isometric, 2 dimetric, 3 planometric
    double parallelScale = 1;
    double sunAzimuth = 225, sunAltitude = 40;
    uint32_t frameFlags = 0;
    friend bool operator==(const SimProjectionRest&, const SimProjectionRest&) = default;
};

// A window's zoom and scroll position.
struct SimWindowRest {
    double zoom = 1;
    double scrollX = 0, scrollY = 0;
    friend bool operator==(const SimWindowRest&, const SimWindowRest&) = default;
};

OpaqueRecord EncodeRest(const SimProjectionRest& rest);
OpaqueRecord EncodeRest(const SimWindowRest& rest);
std::optional<SimProjectionRest> DecodeProjectionRest(const OpaqueRecord& record);
std::optional<SimWindowRest> DecodeWindowRest(const OpaqueRecord& record);

// The opaque parts the host has handed out lately: a binding must give back one of these
// unchanged, or none.
class IssuedRecords {
public:
    void Note(const OpaqueRecord& record);
    // True for an empty part or one handed out; counts every other one.
    bool Accept(const OpaqueRecord& record);
    size_t Refused() const { return refused_; }

private:
    std::deque<OpaqueRecord> issued_;
    size_t refused_ = 0;
};
