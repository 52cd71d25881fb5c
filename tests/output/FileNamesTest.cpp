// Names of saved files and folders: what SanitizeFileName drops, trims, cuts and guards.
#include <gtest/gtest.h>

#include "handlers/output/Output.h"

namespace {

TEST(SanitizeFileName, DropsForbiddenCharactersAndTrimsSpacesAndDots) {
    EXPECT_EQ(SanitizeFileName(u"a\\b/c:d*e?f\"g<h>i|j\x01k\x1fl", 100), u"abcdefghijkl");
    EXPECT_EQ(SanitizeFileName(u" . .Casa nova. . ", 100), u"Casa nova");
    EXPECT_EQ(SanitizeFileName(u"..:*?. ", 100), u"");
    EXPECT_EQ(SanitizeFileName(u"\u00c1gua \U0001F3E0", 100), u"\u00c1gua \U0001F3E0");
}

TEST(SanitizeFileName, CutsToTheMaximumAndTrimsAgain) {
    EXPECT_EQ(SanitizeFileName(std::u16string(100, u'x'), 80), std::u16string(80, u'x'));
    // The cut would end in ". ": what is left is trimmed again.
    EXPECT_EQ(SanitizeFileName(u"abc. def", 5), u"abc");
    // Never half of a surrogate pair.
    EXPECT_EQ(SanitizeFileName(u"ab\U0001F3E0", 3), u"ab");
}

TEST(SanitizeFileName, GuardsWindowsDeviceNames) {
    EXPECT_EQ(SanitizeFileName(u"CON", 100), u"CON_");
    EXPECT_EQ(SanitizeFileName(u"nul.txt", 100), u"nul_.txt");
    EXPECT_EQ(SanitizeFileName(u"Com7.tar.gz", 100), u"Com7_.tar.gz");
    EXPECT_EQ(SanitizeFileName(u"lpt9 .png", 100), u"lpt9_ .png");
    EXPECT_EQ(SanitizeFileName(u"aux", 3), u"au_") << "the guard outlives the cut";
    EXPECT_EQ(SanitizeFileName(u"COM\u00B9.png", 100), u"COM\u00B9_.png");
    EXPECT_EQ(SanitizeFileName(u"lpt\u00B2", 100), u"lpt\u00B2_");
    EXPECT_EQ(SanitizeFileName(u"Com\u00B3 .txt", 100), u"Com\u00B3_ .txt");
    for (const char16_t* kept : {u"CONSOLE", u"COM0", u"LPT10", u"PRNT.txt", u"my con", u"COM\u2074", u"LPT\u00B9\u00B9"})
        EXPECT_EQ(SanitizeFileName(kept, 100), kept);
}

}  // namespace
