// How names compare and the keys made of them.
#include "pathlume/foundation/name_text.h"

#include <gtest/gtest.h>

namespace {

TEST(NameTextTest, FoldAccentedCharTakesUnsignedBytes) {
    const struct {
        int in;
        int out;
    } cases[] = {{'e', 'e'}, {'~', '~'}, {127, 127}, {191, 191}, {192, 'A'}, {198, 'A'},
                 {199, 'C'}, {200, 'E'}, {201, 'E'}, {203, 'E'}, {204, 'I'}, {207, 'I'},
                 {208, 208}, {209, 'N'}, {210, 'O'}, {214, 'O'}, {215, 215}, {216, 'O'},
                 {217, 'U'}, {220, 'U'}, {221, 221}, {233, 233}, {255, 255}};
    for (const auto& c : cases)
        EXPECT_EQ(FoldAccentedChar(static_cast<unsigned char>(c.in)), c.out) << c.in;
    // A plain char holding a Latin-1 byte folds the same way.
    const char eAcute = '\xC9';
    EXPECT_EQ(FoldAccentedChar(static_cast<unsigned char>(eAcute)), 'E');
}

TEST(NameTextTest, ComparisonAndKeys) {
    EXPECT_EQ(CompareNoCase("SAINT-JEAN", "SAINT JEAN", -1), 0);
    EXPECT_EQ(CompareNoCase("A(B)", "AB", -1), 0);
    EXPECT_NE(CompareNoCase("(AB", "AB", -1), 0);
    EXPECT_EQ(CompareNoCase("main st", "MAIN ST", -1), 0);
    EXPECT_LT(CompareNoCase("MAIN", "MAINS", -1), 0);
    EXPECT_GT(CompareNoCase("OAK", "MAPLE", -1), 0);
    // Accents: unequal, next to each other, ordered by the first accented pair.
    const int accented = CompareNoCase("CAF\xC9", "CAFE", -1);
    EXPECT_GT(accented, 0);
    EXPECT_LT(CompareNoCase("CAFE", "CAF\xC9", -1), 0);
    EXPECT_LT(CompareNoCase("CAF\xC9", "CAFF", -1), 0);
    EXPECT_GT(CompareNoCase("\xC9TE", "DTE", -1), 0);  // folds to E, after D
    // Latin-1 lower-case letters are upper-cased too: "Caf\xE9" is "CAF\xC9".
    EXPECT_EQ(CompareNoCase("Caf\xE9", "CAF\xC9", -1), 0);
    EXPECT_EQ(CompareNoCase("jos\xE9 \xF1", "JOS\xC9 \xD1", -1), 0);
    EXPECT_GT(CompareNoCase("caf\xE9", "CAFE", -1), 0);
    EXPECT_NE(CompareNoCase("\xF7", "\xD7", -1), 0);  // the division sign is no letter

    char key[32];
    MakeSearchKey("st-l\xC9on (old)*", key);
    EXPECT_STREQ(key, "ST LEON OLD ");
    MakeSearchKey("\xC9\xC0\xD6", key);
    EXPECT_STREQ(key, "EAO");
    MakeSearchKey("jos\xE9", key);
    EXPECT_STREQ(key, "JOSE");
    MakeMatchText("a-(b)", key);
    EXPECT_STREQ(key, "A (B)");
}

}  // namespace
