// Sizing the palette from the host window and docking it against the host's right edge.
#include <gtest/gtest.h>

#include "support/Harness.h"

namespace {

struct SizeCase {
    int hostHeight;
    int dpi;
    int expectedHeight;
};

TEST(Sizing, ClientHeightFollowsTheHostWindowWithinLimits) {
    const SizeCase cases[] = {
        {1000, 96, 820},  // 850 capped
        {500, 96, 420},   // 350 raised
        {700, 96, 550},   {2000, 192, 820}, {1400, 192, 550},
        {700, 0, 550},    // unknown DPI counts as 96
        {700, -5, 550},   {1400, 144, 783},  // 1400 / 1.5 = 933.3, truncated, - 150
    };
    for (const auto& c : cases) {
        Harness h(false);
        h.host().windows.dpi = c.dpi;
        h.host().windows.Find(h.host().mainWindow)->rect = {0, 0, 1600, c.hostHeight};
        h.host().OpenPaletteFromMenu();
        EXPECT_EQ(h.host().Palette()->clientWidth, 360);
        EXPECT_EQ(h.host().Palette()->clientHeight, c.expectedHeight) << c.hostHeight << " px at " << c.dpi << " dpi";
    }
}

TEST(Sizing, WithoutAHostWindowNothingIsSizedOrMoved) {
    Harness h(false);
    h.host().FailOperation("GetMainWindow", kHostErrNotFound);
    h.host().OpenPaletteFromMenu();
    SimPaletteWindow* w = h.host().Palette();
    EXPECT_EQ(w->clientSizeCalls, 0);
    WindowRect rect;
    h.host().windows.GetRect(w->Handle(), &rect);
    EXPECT_EQ(rect, (WindowRect{0, 0, 360, 640}));
    h.Idle(2);
    h.host().windows.GetRect(w->Handle(), &rect);
    EXPECT_EQ(rect.left, 0);
}

TEST(Docking, PlacesThePaletteAgainstTheHostsRightEdge) {
    Harness h;
    WindowRect rect;
    h.host().windows.GetRect(h.host().Palette()->Handle(), &rect);
    EXPECT_EQ(rect, (WindowRect{1224, 100, 1584, 920}));  // 1600 - 16 - 360; min(0 + 100, 1000 - 820)
    EXPECT_FALSE(h.palette().UserMoved()) << "its own moves are not the user's";
}

TEST(Docking, KeepsInsideASmallHostWindow) {
    Harness h(false);
    h.host().windows.Find(h.host().mainWindow)->rect = {100, 50, 300, 400};
    h.host().OpenPaletteFromMenu();
    WindowRect rect;
    h.host().windows.GetRect(h.host().Palette()->Handle(), &rect);
    EXPECT_EQ(rect.left, 100);
    EXPECT_EQ(rect.top, 50);
}

TEST(Docking, FollowsTheHostWindowOnIdleUntilTheUserMovesThePalette) {
    Harness h;
    SimWindows& windows = h.host().windows;
    const NativeWindowHandle palette = h.host().Palette()->Handle();
    windows.Find(h.host().mainWindow)->rect = {200, 30, 1800, 1030};
    h.Idle();
    WindowRect rect;
    windows.GetRect(palette, &rect);
    EXPECT_EQ(rect.left, 1424);
    EXPECT_EQ(rect.top, 130);

    windows.UserMove(palette, 10, 20);
    EXPECT_TRUE(h.palette().UserMoved());
    windows.Find(h.host().mainWindow)->rect = {0, 0, 1600, 1000};
    h.Idle(3);
    windows.GetRect(palette, &rect);
    EXPECT_EQ(rect.left, 10);
    EXPECT_EQ(rect.top, 20);
}

TEST(Docking, AMinimisedHostWindowIsLeftAlone) {
    Harness h;
    SimWindows& windows = h.host().windows;
    windows.Find(h.host().mainWindow)->rect = {500, 500, 2100, 1500};
    windows.Find(h.host().mainWindow)->minimised = true;
    h.Idle();
    WindowRect rect;
    windows.GetRect(h.host().Palette()->Handle(), &rect);
    EXPECT_EQ(rect.left, 1224);
    windows.Find(h.host().mainWindow)->minimised = false;
    h.Idle();
    windows.GetRect(h.host().Palette()->Handle(), &rect);
    EXPECT_EQ(rect.left, 2100 - 16 - 360);
}

TEST(Resizing, TheBrowserItemFollowsThePaletteInsideOneMoveResizePair) {
    Harness h;
    SimPaletteWindow* w = h.host().Palette();
    EXPECT_EQ(w->growType, 3);
    EXPECT_EQ(w->minWidth, 300);
    EXPECT_EQ(w->minHeight, 380);
    w->UserResize(40, -100);
    EXPECT_EQ(w->browserWidth, 400);
    EXPECT_EQ(w->browserHeight, 540);
    EXPECT_FALSE(w->unpairedResize);
    EXPECT_EQ(w->resizeDepth, 0);
}

}  // namespace
