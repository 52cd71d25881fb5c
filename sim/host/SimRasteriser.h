// The simulated 3D window's drawing: a small z-buffered software rasteriser that draws every
// element's boxes, flat-shaded in the element's material under a fixed sun, over a sky gradient
// and a ground plane at level 0.
//
// A perspective projection looks from the camera to its target with the camera's view angle
// (horizontal, in degrees; 60 when it is not between 1 and 170). A parallel projection looks
// along the same direction (from the south-west and above when the camera has none), fits the
// model's extent into the picture and draws it over a plain gradient. A scene without elements
// shows only sky and ground (or the gradient), each row of one colour, so it holds no vertical
// edges at all. A model marked uniform draws its one colour.
#pragma once
#include "host/HostApi.h"
#include "sim/host/SimModel.h"
#include "sim/host/SimPicture.h"

// Sky, ground and the sun, 0xRRGGBB.
inline constexpr uint32_t kSimSkyZenith = 0x5B8FD6, kSimSkyHorizon = 0xD4E4F2, kSimGround = 0x8C8A74;

// False when the size is not positive. With a layer combination (an index of the model's; 0 for
// none) the element types it hides are left out.
bool Render3D(const SimModel& model, const Projection3D& projection, int width, int height, SimPicture* picture,
              int32_t layerCombination = 0);
