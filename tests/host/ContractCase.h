// The host contract's common ground: the fixture every case starts from, whole-record
// comparisons of the records the add-on reads back, and a small picture the host can read.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>

#include "host/ContractHost.h"

class HostContract : public ::testing::Test {
protected:
    HostApi& host = ContractHost();
    ContractWorld& world = World();
};

// How many turns of its event loop the host may take for what it does later: an event-loop
// call, an idle notification, a drawing of the 3D window.
inline constexpr int kTurns = 50;

// Puts the front window back as it was when the case began.
class FrontWindowKept {
public:
    explicit FrontWindowKept(HostApi& host) : host_(host) { ok_ = host.GetFrontWindow(&saved_) == kHostOk; }
    ~FrontWindowKept() {
        if (ok_) host_.ChangeFrontWindow(saved_);
    }
    FrontWindowKept(const FrontWindowKept&) = delete;
    FrontWindowKept& operator=(const FrontWindowKept&) = delete;

private:
    HostApi& host_;
    WindowInfo saved_;
    bool ok_ = false;
};

// Coordinates the host hands back are the ones it was given, up to its own rounding.
inline constexpr double kModelTolerance = 1e-6;

// Every field of records the host handed out and took back, for the round trips. A field added
// to the record, the host's own part among them, is added here, so the round trips compare it.
inline void ExpectSameCamera(const PerspectiveCamera& expected, const PerspectiveCamera& actual) {
    EXPECT_NEAR(actual.cameraX, expected.cameraX, kModelTolerance);
    EXPECT_NEAR(actual.cameraY, expected.cameraY, kModelTolerance);
    EXPECT_NEAR(actual.cameraZ, expected.cameraZ, kModelTolerance);
    EXPECT_NEAR(actual.targetX, expected.targetX, kModelTolerance);
    EXPECT_NEAR(actual.targetY, expected.targetY, kModelTolerance);
    EXPECT_NEAR(actual.targetZ, expected.targetZ, kModelTolerance);
    EXPECT_NEAR(actual.viewAngle, expected.viewAngle, kModelTolerance);
    EXPECT_NEAR(actual.roll, expected.roll, kModelTolerance);
    EXPECT_NEAR(actual.distance, expected.distance, kModelTolerance);
}

// Whole records, the opaque part the binding keeps for the host included.
inline void ExpectSameProjection(const Projection3D& expected, const Projection3D& actual) {
    EXPECT_EQ(actual.perspective, expected.perspective);
    ExpectSameCamera(expected.camera, actual.camera);
    EXPECT_TRUE(actual.rest == expected.rest) << "the record's other fields, as the host gave them";
}

inline void ExpectSameWindow(const WindowInfo& expected, const WindowInfo& actual) {
    EXPECT_EQ(actual.kind, expected.kind);
    EXPECT_EQ(actual.databaseGuid.ToText(), expected.databaseGuid.ToText());
    EXPECT_TRUE(actual.rest == expected.rest) << "the record's other fields, as the host gave them";
}

// The window the record names, for a record the host did not hand out itself (the world's, or
// one the case made): its kind and database only.
inline void ExpectWindowIs(const WindowInfo& expected, const WindowInfo& actual) {
    EXPECT_EQ(actual.kind, expected.kind);
    EXPECT_EQ(actual.databaseGuid.ToText(), expected.databaseGuid.ToText());
}

inline void ExpectSameBox(const Box3D& expected, const Box3D& actual) {
    EXPECT_NEAR(actual.xMin, expected.xMin, kModelTolerance);
    EXPECT_NEAR(actual.yMin, expected.yMin, kModelTolerance);
    EXPECT_NEAR(actual.zMin, expected.zMin, kModelTolerance);
    EXPECT_NEAR(actual.xMax, expected.xMax, kModelTolerance);
    EXPECT_NEAR(actual.yMax, expected.yMax, kModelTolerance);
    EXPECT_NEAR(actual.zMax, expected.zMax, kModelTolerance);
}

// A GUID that nothing in any project has: no element, navigator item or database.
inline const HostGuid kMissingGuid{0x0BADF00D, 0x0BAD, 0x4BAD, {0x8B, 0xAD, 0xF0, 0x0D, 0x0B, 0xAD, 0xF0, 0x0D}};

// A whole 2 x 2 PNG picture.
inline constexpr uint8_t kSmallPng[] = {
    0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00, 0x00,
    0x02, 0x00, 0x00, 0x00, 0x02, 0x08, 0x02, 0x00, 0x00, 0x00, 0xFD, 0xD4, 0x9A, 0x73, 0x00, 0x00, 0x00, 0x10, 0x49,
    0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0x38, 0xE0, 0xA0, 0x00, 0x44, 0x0C, 0x10, 0x0A, 0x00, 0x22, 0x0E, 0x04, 0x81,
    0x11, 0x98, 0x29, 0xD5, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};

inline bool StartsAsPng(const uint8_t* bytes, size_t size) {
    static constexpr uint8_t signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (size < 8) return false;
    for (size_t i = 0; i < 8; ++i)
        if (bytes[i] != signature[i]) return false;
    return true;
}
