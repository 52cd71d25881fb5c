// The host contract of the 3D window's picture: the current image with option 0, encoded as PNG,
// and the front window saved as file type 16 with colour depth 6. The host may draw the 3D
// window some time after it comes to the front or its camera changes, so each case turns the
// host as a user's wait would and accepts, at each try, only the outcomes the add-on handles.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "host/ContractCase.h"

namespace {

using HostContract3DImage = HostContract;
using HostContractSavePicture = HostContract;

constexpr int32_t kPngFileType = 16, kColourDepth = 6;
constexpr int kPngEncoding = 1;

// One try at the current image: either 0 with an image of some size, or a failure without one.
HostError TryImage(HostApi& host, std::unique_ptr<NativeImage>* image) {
    int32_t option = 0;
    image->reset();
    const HostError result = host.GetCurrent3DImage(&option, image);
    if (result == kHostOk) {
        EXPECT_NE(*image, nullptr) << "success without an image";
        if (*image) {
            EXPECT_GT((*image)->Width(), 0u);
            EXPECT_GT((*image)->Height(), 0u);
        }
    } else {
        EXPECT_EQ(*image, nullptr) << "a failure " << result << " that handed out an image";
    }
    return result;
}

// The image once the host has drawn the 3D window, turning it between tries.
std::unique_ptr<NativeImage> DrawnImage(HostApi& host, ContractWorld& world) {
    std::unique_ptr<NativeImage> image;
    for (int turn = 0; turn < kTurns; ++turn) {
        if (TryImage(host, &image) == kHostOk) return image;
        world.Turn();
    }
    return nullptr;
}

uint32_t BigEnd32(const std::vector<uint8_t>& bytes, size_t at) {
    return uint32_t{bytes[at]} << 24 | uint32_t{bytes[at + 1]} << 16 | uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
}

TEST_F(HostContract3DImage, WithThe3DWindowInFrontItsImageEncodesAsAPngOfItsSize) {
    const FrontWindowKept kept(host);
    ASSERT_EQ(host.ChangeFrontWindow(world.Window3D()), kHostOk);
    world.Turn();
    const std::unique_ptr<NativeImage> image = DrawnImage(host, world);
    ASSERT_NE(image, nullptr) << "the 3D window gave no image in " << kTurns << " turns";
    std::vector<uint8_t> png;
    ASSERT_EQ(image->Encode(kPngEncoding, &png), kHostOk);
    ASSERT_GE(png.size(), 24u);
    ASSERT_TRUE(StartsAsPng(png.data(), png.size()));
    EXPECT_EQ(BigEnd32(png, 16), image->Width()) << "the header's width";
    EXPECT_EQ(BigEnd32(png, 20), image->Height()) << "the header's height";
}

TEST_F(HostContract3DImage, AnotherCameraGivesAnotherPictureOnceDrawn) {
    const FrontWindowKept kept(host);
    ASSERT_EQ(host.ChangeFrontWindow(world.Window3D()), kHostOk);
    Projection3D saved;
    ASSERT_EQ(host.GetProjection3D(&saved), kHostOk);
    const std::unique_ptr<NativeImage> before = DrawnImage(host, world);
    ASSERT_NE(before, nullptr);
    std::vector<uint8_t> first, second;
    ASSERT_EQ(before->Encode(kPngEncoding, &first), kHostOk);

    // Looking from the other side of the target.
    Projection3D turned = saved;
    PerspectiveCamera& c = turned.camera;
    c.cameraX = 2 * c.targetX - c.cameraX, c.cameraY = 2 * c.targetY - c.cameraY;
    ASSERT_EQ(host.SetProjection3D(turned, 0), kHostOk);
    EXPECT_EQ(host.Redraw3D(), kHostOk);
    for (int turn = 0; turn < kTurns && second.empty(); ++turn) {
        world.Turn();
        std::unique_ptr<NativeImage> after;
        if (TryImage(host, &after) != kHostOk) continue;
        std::vector<uint8_t> bytes;
        ASSERT_EQ(after->Encode(kPngEncoding, &bytes), kHostOk);
        if (bytes != first) second = bytes;
    }
    EXPECT_FALSE(second.empty()) << "the picture never showed the new camera";
    ASSERT_EQ(host.SetProjection3D(saved, 0), kHostOk);
}

TEST_F(HostContract3DImage, WithAnotherWindowInFrontTheImageIsAPictureOrAFailureWithoutOne) {
    const FrontWindowKept kept(host);
    ASSERT_EQ(host.ChangeFrontWindow(world.PlanWindow()), kHostOk);
    for (int turn = 0; turn < 3; ++turn) {
        std::unique_ptr<NativeImage> image;
        TryImage(host, &image);
        world.Turn();
    }
}

TEST_F(HostContract3DImage, AnOptionOtherThanZeroIsRefusedWithoutAnImage) {
    int32_t option = 1;
    std::unique_ptr<NativeImage> image;
    EXPECT_EQ(host.GetCurrent3DImage(&option, &image), kHostErrBadParameters);
    EXPECT_EQ(image, nullptr);
}

// A fresh path in the world's scratch folder, with no file there.
std::u16string PicturePath(ContractWorld& world, const char* name) {
    const std::filesystem::path path = std::filesystem::path(world.ScratchFolder()) / name;
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    return path.u16string();
}

std::vector<uint8_t> FileBytes(const std::u16string& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(HostContractSavePicture, The3DWindowSavesAsAPngFile) {
    const FrontWindowKept kept(host);
    ASSERT_EQ(host.ChangeFrontWindow(world.Window3D()), kHostOk);
    const std::u16string path = PicturePath(world, "contract-3d.png");
    HostError result = -1;
    for (int turn = 0; turn < kTurns && result != kHostOk; ++turn) {
        world.Turn();
        result = host.SaveFrontWindowPicture(kPngFileType, path, PictureSettings{kColourDepth});
        if (result != kHostOk) {
            EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(path))) << result;
        }
    }
    ASSERT_EQ(result, kHostOk);
    const std::vector<uint8_t> bytes = FileBytes(path);
    EXPECT_TRUE(StartsAsPng(bytes.data(), bytes.size()));
    std::filesystem::remove(std::filesystem::path(path));
}

TEST_F(HostContractSavePicture, AnotherWindowInFrontIsTheWrongWindowAndWritesNothing) {
    const FrontWindowKept kept(host);
    ASSERT_EQ(host.ChangeFrontWindow(world.PlanWindow()), kHostOk);
    const std::u16string path = PicturePath(world, "contract-plan.png");
    EXPECT_EQ(host.SaveFrontWindowPicture(kPngFileType, path, PictureSettings{kColourDepth}), kHostErrWrongWindow);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(path)));
}

TEST_F(HostContractSavePicture, AnotherFileTypeOrColourDepthIsRefusedAndWritesNothing) {
    const FrontWindowKept kept(host);
    ASSERT_EQ(host.ChangeFrontWindow(world.Window3D()), kHostOk);
    const std::u16string path = PicturePath(world, "contract-wrong.png");
    EXPECT_EQ(host.SaveFrontWindowPicture(15, path, PictureSettings{kColourDepth}), kHostErrBadParameters);
    EXPECT_EQ(host.SaveFrontWindowPicture(kPngFileType, path, PictureSettings{5}), kHostErrBadParameters);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(path)));
}

}  // namespace
