// The simulated 3D window's pictures: the house can be seen and changes with the camera, an
// empty scene is sky and ground only, a uniform model one colour, and the PNG the host hands out
// decodes to the same pixels.
#include <gtest/gtest.h>

#include <set>

#include "platform/Images.h"
#include "sim/host/SimRasteriser.h"

namespace {

SimPicture Draw(const std::string& sample, const Projection3D* projection = nullptr, int w = 320, int h = 200) {
    SimModel model;
    EXPECT_TRUE(MakeSampleProject(sample, &model));
    SimPicture picture;
    EXPECT_TRUE(Render3D(model, projection ? *projection : model.startProjection, w, h, &picture));
    return picture;
}

size_t DistinctColours(const SimPicture& p) {
    std::set<uint32_t> colours;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) colours.insert(p.Pixel(x, y));
    return colours.size();
}

// Rows holding at least one strong horizontal step between neighbours: what a picture of
// something has and a sky-and-ground scene has not.
int RowsWithEdges(const SimPicture& p) {
    int rows = 0;
    for (int y = 0; y < p.height; ++y)
        for (int x = 1; x < p.width; ++x) {
            const uint32_t a = p.Pixel(x - 1, y), b = p.Pixel(x, y);
            int d = 0;
            for (int s = 0; s < 24; s += 8) d += std::abs(int((a >> s) & 0xFF) - int((b >> s) & 0xFF));
            if (d > 36) {
                ++rows;
                break;
            }
        }
    return rows;
}

double ShareDiffering(const SimPicture& a, const SimPicture& b) {
    size_t differing = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) differing += a.Pixel(x, y) != b.Pixel(x, y);
    return double(differing) / (double(a.width) * a.height);
}

Projection3D FromCamera(const std::string& sample, const std::string& key) {
    SimModel model;
    MakeSampleProject(sample, &model);
    const SimElement* camera = model.FindElement(SimGuid(model.name + "/element/camera/" + key));
    EXPECT_NE(camera, nullptr);
    Projection3D p;
    p.perspective = true;
    if (camera) p.camera = camera->camera;
    return p;
}

TEST(Rasteriser, TheHouseIsDrawnInManyColoursWithEdgesInMostRows) {
    const SimPicture house = Draw("house");
    const SimPicture empty = Draw("empty");
    EXPECT_GT(DistinctColours(house), 15u);
    // The house covers a good part of the picture: pixels differ from the empty scene's.
    EXPECT_GT(ShareDiffering(house, empty), 0.2);
    EXPECT_GT(RowsWithEdges(house), house.height / 3);
}

TEST(Rasteriser, ThePictureFollowsTheCamera) {
    const SimPicture general = Draw("house");
    const Projection3D northCamera = FromCamera("house", "fachada-norte");
    const Projection3D livingRoom = FromCamera("house", "sala");
    const SimPicture north = Draw("house", &northCamera);
    const SimPicture inside = Draw("house", &livingRoom);
    EXPECT_GT(ShareDiffering(general, north), 0.2);
    EXPECT_GT(ShareDiffering(north, inside), 0.2);
    // From inside the living room walls fill the view: no sky at the top centre.
    const uint32_t top = inside.Pixel(inside.width / 2, 2);
    EXPECT_NE(top, general.Pixel(general.width / 2, 2));
    EXPECT_GT(RowsWithEdges(north), 20);
}

// Each saved camera of the house, at its story's level, sees walls, openings and sky or ground:
// none stands inside an element or faces one wall only.
TEST(Rasteriser, EveryCameraOfTheHouseSeesMoreThanOneSurface) {
    SimModel model;
    MakeSampleProject("house", &model);
    int cameras = 0;
    for (const SimElement& e : model.elements) {
        if (e.typeCode != SimType::kCamera) continue;
        ++cameras;
        Projection3D p;
        p.perspective = true;
        p.camera = e.camera;
        p.camera.cameraZ += model.FindStory(e.storyIndex)->level;
        p.camera.targetZ += model.FindStory(e.storyIndex)->level;
        const SimPicture picture = Draw("house", &p, 240, 160);
        EXPECT_GT(RowsWithEdges(picture), picture.height / 6) << e.guid.ToText();
        EXPECT_GT(DistinctColours(picture), 4u) << e.guid.ToText();
    }
    EXPECT_GE(cameras, 10);
}

TEST(Rasteriser, AParallelProjectionFitsTheWholeHouse) {
    SimModel model;
    MakeSampleProject("house", &model);
    Projection3D parallel = model.startProjection;
    parallel.perspective = false;
    const SimPicture p = Draw("house", &parallel);
    // Sky on all four corners' rows above, the house in the middle.
    const SimPicture sky = Draw("empty", &parallel);
    EXPECT_NE(p.Pixel(p.width / 2, p.height / 2), sky.Pixel(p.width / 2, p.height / 2));
    EXPECT_EQ(p.Pixel(1, 1), sky.Pixel(1, 1));
    EXPECT_GT(DistinctColours(p), 15u);
}

TEST(Rasteriser, AnEmptyModelIsSkyAboveGroundEachRowOneColour) {
    SimModel empty;
    MakeSampleProject("empty", &empty);
    Projection3D parallel = empty.startProjection;
    parallel.perspective = false;
    for (const Projection3D& projection : {empty.startProjection, parallel})
        for (const int width : {320, 1200}) {
            const SimPicture p = Draw("empty", &projection, width, 200);
            EXPECT_EQ(RowsWithEdges(p), 0);
            for (int y = 0; y < p.height; ++y)
                for (int x = 1; x < p.width; ++x) ASSERT_EQ(p.Pixel(x, y), p.Pixel(0, y)) << "row " << y;
            EXPECT_NE(p.Pixel(0, 0), p.Pixel(0, p.height - 1)) << "sky above, ground below";
        }
    // Stairs and zones are drawn; they are not content to the add-on, but the picture shows them.
    EXPECT_GT(RowsWithEdges(Draw("stairs-only")), 10);
}

TEST(Rasteriser, TheUniformModelDrawsOneColourFromAnyCamera) {
    const Projection3D north = FromCamera("uniform", "fachada-norte");
    for (const SimPicture& p : {Draw("uniform"), Draw("uniform", &north)}) {
        EXPECT_EQ(DistinctColours(p), 1u);
        EXPECT_EQ(p.Pixel(0, 0), 0xD9D9D9u);
    }
}

TEST(Rasteriser, ThePngDecodesToTheSamePixels) {
    const SimPicture p = Draw("house", nullptr, 123, 77);
    std::vector<uint8_t> png;
    ASSERT_TRUE(EncodePng(p, &png));
    Bitmap decoded;
    ASSERT_TRUE(DecodeBitmap(std::string_view(reinterpret_cast<const char*>(png.data()), png.size()), &decoded));
    ASSERT_EQ(decoded.width, 123);
    ASSERT_EQ(decoded.height, 77);
    for (int y = 0; y < p.height; y += 7)
        for (int x = 0; x < p.width; x += 5) {
            uint32_t argb = 0;
            ASSERT_TRUE(decoded.GetPixel(x, y, &argb));
            ASSERT_EQ(argb & 0xFFFFFF, p.Pixel(x, y)) << x << "," << y;
        }
    EXPECT_FALSE(EncodePng(SimPicture{}, &png));
}

// Walls as wide as a country, and one inverted box reaching the far edge of the doubles: their
// corners land where no pixel index reaches, and the picture is still drawn (under the
// undefined-behaviour sanitizer, without an out-of-range conversion).
TEST(Rasteriser, ElementsFarBeyondThePictureAreCutToIt) {
    for (const Box3D& box : {Box3D{-1e15, -1e15, 0, 1e15, 1e15, 3}, Box3D{-1e300, -1e300, 0, 1e300, 1e300, 3},
                             Box3D{1e15, -1e15, 1e300, 1, -1, 3}}) {
        const double extent = box.xMin;
        SimModel model;
        ASSERT_TRUE(MakeSampleProject("house", &model));
        SimElement wall;
        wall.guid = SimGuid("huge-wall");
        wall.typeCode = SimType::kWall;
        wall.parts.push_back(box);
        wall.colour = 0x102030;
        model.elements.push_back(wall);
        SimPicture picture;
        ASSERT_TRUE(Render3D(model, model.startProjection, 320, 200, &picture)) << extent;
        EXPECT_GT(DistinctColours(picture), 1u) << extent;
    }
}
}  // namespace
