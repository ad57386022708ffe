// The drawn keyboard's layouts, key places and hit tests at both screen scales.
#include "pathlume/search/key_grid.h"

#include <gtest/gtest.h>

namespace {

POINT Centre(const RECT& r) {
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

TEST(KeyGridTest, PagesHoldTheirKeys) {
    EXPECT_EQ(kLettersWithSearch[0], 'A');
    EXPECT_EQ(kLettersWithSearch[39], 'i');
    EXPECT_EQ(kLettersWithAmpersand[39], '&');
    EXPECT_EQ(kSymbolsPage[8], 0xC0);
    EXPECT_EQ(kSymbolsPage[31], 0xDD);
    EXPECT_EQ(kSymbolsPage[32], 0xD7);
    EXPECT_EQ(kSymbolsPage[38], 0xDE);
    EXPECT_EQ(kSymbolsPage[39], 0xDF);
    EXPECT_EQ(kSymbolsPage[41], 'h');
    EXPECT_EQ(kLettersWithSearch[45], 'h');
    EXPECT_EQ(kLettersWithSearch[46], 'h');
    EXPECT_EQ(kLettersWithSearch[47], 'g');
    for (int i = 0; i < kKeyCells; ++i)
        EXPECT_EQ(kMinimalPage[i] != 0, i == 7 || i == 23) << i;
    EXPECT_EQ(ActionOf('e'), KeyAction::kOk);
    EXPECT_EQ(ActionOf('g'), KeyAction::kCancel);
    EXPECT_EQ(ActionOf('h'), KeyAction::kTogglePage);
    EXPECT_EQ(ActionOf('i'), KeyAction::kSearch);
    EXPECT_EQ(ActionOf('d'), KeyAction::kBackspace);
    EXPECT_EQ(ActionOf('f'), KeyAction::kSpace);
    EXPECT_EQ(ActionOf('&'), KeyAction::kType);
    EXPECT_EQ(ActionOf(0xC0), KeyAction::kType);
    EXPECT_EQ(ActionOf(0), KeyAction::kNone);
    EXPECT_EQ(KeyCharacter(0xC0), u'\u00C0');
}

TEST(KeyGridTest, KeysLieInTheirCellsAndDoubleKeysSpanTheirGap) {
    struct Scale {
        float x, y;
        int key, gap, top;
    } scales[] = {{1.0f, 1.0f, 29, 1, 90}, {2.0f, 2.0f, 58, 2, 180}};
    for (const Scale& s : scales) {
        SCOPED_TRACE(s.x);
        const KeyGridGeometry g = KeyGridGeometry::ForScale(s.x, s.y);
        const RECT a = g.KeyRect(kLettersWithSearch, 0);
        EXPECT_EQ(a.left, 0);
        EXPECT_EQ(a.top, s.top);
        EXPECT_EQ(a.right - a.left, s.key);
        // Row 1, column 2 ('H').
        const RECT h = g.KeyRect(kLettersWithSearch, 10);
        EXPECT_EQ(h.left, 2 * (s.key + s.gap));
        EXPECT_EQ(h.top, s.top + s.key + s.gap);
        EXPECT_EQ(g.HitTest(kLettersWithSearch, Centre(h)), 10);
        // Edges belong to the key.
        EXPECT_EQ(g.HitTest(kLettersWithSearch, POINT{h.left, h.top}), 10);
        // OK ("ee", cells 6 and 7) is one key of two cells and the gap between.
        const RECT ok = g.KeyRect(kLettersWithSearch, 6);
        EXPECT_EQ(ok.right - ok.left, 2 * s.key + 1);
        EXPECT_TRUE(g.IsWide(ok.right - ok.left));
        EXPECT_FALSE(g.IsWide(s.key));
        const int gapX = ok.left + s.key;
        EXPECT_EQ(g.HitTest(kLettersWithSearch, POINT{gapX, ok.top + 3}), 6);
        EXPECT_EQ(g.HitTest(kLettersWithSearch, POINT{ok.right - 2, ok.top + 3}), 6);
        // SPC ("ff" in the last row).
        EXPECT_EQ(g.HitTest(kLettersWithSearch, Centre(g.KeyRect(kLettersWithSearch, 41))), 41);
        // Nothing outside the grid; an empty cell of the minimal page is no key.
        EXPECT_EQ(g.HitTest(kLettersWithSearch, POINT{5, s.top - 5}), -1);
        EXPECT_EQ(g.HitTest(kMinimalPage, Centre(g.KeyRect(kMinimalPage, 0))), -1);
        EXPECT_EQ(g.HitTest(kMinimalPage, Centre(g.KeyRect(kMinimalPage, 7))), 7);
        EXPECT_EQ(g.KeyRect(kMinimalPage, 7).right - g.KeyRect(kMinimalPage, 7).left, s.key);
    }
}

TEST(KeyGridTest, ScrollButtonsBesideTheList) {
    const KeyGridGeometry g = KeyGridGeometry::ForScale(1.0f, 1.0f);
    const RECT up = g.ScrollButtonRect(true, 1.0f, 1.0f);
    const RECT down = g.ScrollButtonRect(false, 1.0f, 1.0f);
    EXPECT_EQ(up.left, 210);
    EXPECT_EQ(up.top, 37);
    EXPECT_EQ(up.bottom - up.top, 24);
    EXPECT_EQ(down.top, up.bottom + 1);
    const KeyGridGeometry vga = KeyGridGeometry::ForScale(2.0f, 2.0f);
    EXPECT_EQ(vga.ScrollButtonRect(true, 2.0f, 2.0f).left, 420);
    EXPECT_EQ(
        vga.ScrollButtonRect(true, 2.0f, 2.0f).bottom - vga.ScrollButtonRect(true, 2.0f, 2.0f).top,
        48);
}

}  // namespace
