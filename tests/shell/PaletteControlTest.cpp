// The host's palette control messages and the palette's close request.
#include <gtest/gtest.h>

#include "support/Harness.h"

namespace {

TEST(PaletteControl, CloseHidesAndOpenShowsAgain) {
    Harness h;
    SimPaletteWindow* window = h.host().Palette();
    h.host().PaletteMessage(1);
    EXPECT_FALSE(window->visible);
    EXPECT_FALSE(h.host().AskPaletteVisible());
    h.host().PaletteMessage(6);
    EXPECT_TRUE(window->visible);
    EXPECT_TRUE(h.host().AskPaletteVisible());
}

TEST(PaletteControl, HidePalettesRemembersOnlyAVisiblePalette) {
    Harness h;
    SimPaletteWindow* window = h.host().Palette();
    h.host().PaletteMessage(2);
    EXPECT_FALSE(window->visible);
    h.host().PaletteMessage(3);
    EXPECT_TRUE(window->visible);

    h.host().PaletteMessage(1);
    h.host().PaletteMessage(2);
    h.host().PaletteMessage(3);
    EXPECT_FALSE(window->visible) << "hidden before the host hid palettes, so it stays hidden";

    // The memory is cleared by each end message.
    h.host().PaletteMessage(6);
    h.host().PaletteMessage(2);
    h.host().PaletteMessage(3);
    h.host().PaletteMessage(1);
    h.host().PaletteMessage(3);
    EXPECT_FALSE(window->visible);
}

TEST(PaletteControl, DisableAndEnableItems) {
    Harness h;
    h.host().PaletteMessage(4);
    EXPECT_FALSE(h.host().Palette()->itemsEnabled);
    h.host().PaletteMessage(5);
    EXPECT_TRUE(h.host().Palette()->itemsEnabled);
}

TEST(PaletteControl, MessagesBeforeAnyPaletteExists) {
    Harness h(false);
    EXPECT_FALSE(h.host().AskPaletteVisible());
    for (int message : {1, 2, 3, 4, 5, 8, 0, -1}) h.host().PaletteMessage(message);
    EXPECT_EQ(h.host().Palette(), nullptr);
    h.host().PaletteMessage(6);
    ASSERT_NE(h.host().Palette(), nullptr);
    EXPECT_TRUE(h.host().AskPaletteVisible());
}

TEST(PaletteControl, TheVisibilityQueryIgnoresANullParameter) {
    Harness h;
    h.host().PaletteMessage(7, 0);
    EXPECT_TRUE(h.host().Palette()->visible);
}

TEST(PaletteControl, TheUsersCloseRequestHidesAndKeepsThePalette) {
    Harness h;
    Palette* palette = &h.palette();
    EXPECT_TRUE(h.host().Palette()->DeliverCloseRequest());
    EXPECT_FALSE(h.host().Palette()->visible);
    EXPECT_EQ(&h.palette(), palette);
}

}  // namespace
