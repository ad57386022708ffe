// The vCard reader: versions, folding, groups, escapes, encodings, names and the
// three kinds of address, and broken or cut-off cards.
#include "platform/outlook/vcard.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/kernel/text.h"

namespace {

using platform::outlook::AddressKind;
using platform::outlook::Card;
using platform::outlook::ReadVCards;

std::string Utf8(const std::u16string& text) {
    return platform::WideToUtf8(text);
}

struct NameCase {
    const char* what;
    std::string text;
    const char* name;  // UTF-8
};

TEST(VCardTest, TheNameIsFnElseGivenAndFamilyElseOrganisation) {
    const NameCase cases[] = {
        {"3.0 FN",
         "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Escud\xC3\xA9;Anna;;;\r\nFN:Anna E.\r\nEND:VCARD\r\n",
         "Anna E."},
        {"N only",
         "BEGIN:VCARD\nVERSION:4.0\nN:Garc\xC3\xAD"
         "a;Jos\xC3\xA9;;;\nEND:VCARD\n",
         "Jos\xC3\xA9 Garc\xC3\xAD"
         "a"},
        {"family only", "BEGIN:VCARD\nN:Pujol;;;;\nEND:VCARD\n", "Pujol"},
        {"ORG", "BEGIN:VCARD\nVERSION:3.0\nORG:Forn Central;Vendes\nEND:VCARD\n", "Forn Central"},
        {"folded FN with a tab", "BEGIN:VCARD\r\nFN:Maria\r\n\t del Mar\r\nEND:VCARD\r\n",
         "Maria del Mar"},
        {"group and lower case", "begin:vcard\nitem1.fn:Pere\nend:vcard\n", "Pere"},
        {"escapes", "BEGIN:VCARD\nFN:A\\, B\\; C\\\\D\nEND:VCARD\n", "A, B; C\\D"},
        {"2.1 quoted-printable",
         "BEGIN:VCARD\nVERSION:2.1\nFN;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:Jos=C3=\n=A9\nEND:"
         "VCARD\n",
         "Jos\xC3\xA9"},
        {"2.1 bare QP, Latin-1",
         "BEGIN:VCARD\nVERSION:2.1\nFN;QUOTED-PRINTABLE;CHARSET=ISO-8859-1:Jos=E9\nEND:VCARD\n",
         "Jos\xC3\xA9"},
        {"windows-1252", "BEGIN:VCARD\nFN;CHARSET=windows-1252:Jos\xE9 \x80\nEND:VCARD\n",
         "Jos\xC3\xA9 \xE2\x82\xAC"},
        {"byte-order mark",
         "\xEF\xBB\xBF"
         "BEGIN:VCARD\nFN:Bom\nEND:VCARD\n",
         "Bom"},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<Card> cards = ReadVCards(c.text);
        ASSERT_EQ(cards.size(), 1u);
        EXPECT_EQ(Utf8(cards[0].name), c.name);
    }
}

TEST(VCardTest, AddressesByKindTheFirstOfEachCounting) {
    const std::string text =
        "BEGIN:VCARD\r\n"
        "VERSION:3.0\r\n"
        "FN:Anna\r\n"
        "ADR;TYPE=WORK,PREF:;;Carrer Francesc Escud\xC3\xA9 4;Sant Juli\xC3\xA0 de "
        "L\xC3\xB2ria;;AD600;"
        "Andorra\r\n"
        "item2.ADR;type=HOME:;;Av. Meritxell\\, 12;Andorra la Vella;Andorra la Vella;AD500;\r\n"
        "ADR;TYPE=home:;;Second home;Canillo;;;\r\n"
        "ADR:;;Unlabelled 1\\nfloor 2;Encamp;;;\r\n"
        "ADR;TYPE=postal:;;Later other;Ordino;;;\r\n"
        "END:VCARD\r\n";
    const std::vector<Card> cards = ReadVCards(text);
    ASSERT_EQ(cards.size(), 1u);
    const auto& home = cards[0].addresses[static_cast<int>(AddressKind::kHome)];
    const auto& work = cards[0].addresses[static_cast<int>(AddressKind::kWork)];
    const auto& other = cards[0].addresses[static_cast<int>(AddressKind::kOther)];
    EXPECT_TRUE(home.present);
    EXPECT_EQ(Utf8(home.street), "Av. Meritxell, 12");
    EXPECT_EQ(Utf8(home.city), "Andorra la Vella");
    EXPECT_EQ(Utf8(home.state), "Andorra la Vella");
    EXPECT_EQ(Utf8(home.postalCode), "AD500");
    EXPECT_EQ(Utf8(work.street), "Carrer Francesc Escud\xC3\xA9 4");
    EXPECT_EQ(Utf8(work.city), "Sant Juli\xC3\xA0 de L\xC3\xB2ria");
    EXPECT_EQ(Utf8(work.country), "Andorra");
    EXPECT_EQ(Utf8(other.street), "Unlabelled 1, floor 2");
    EXPECT_EQ(Utf8(other.city), "Encamp");
}

TEST(VCardTest, TwoPointOneBareTypesAndFourPointZeroQuotedParameters) {
    const std::string text =
        "BEGIN:VCARD\nVERSION:2.1\nN:Roig;Joan\nADR;HOME;ENCODING=QUOTED-PRINTABLE:;;Pla=C3=A7a 1;"
        "Encamp;;;\nEND:VCARD\n"
        "BEGIN:VCARD\nVERSION:4.0\nFN:Marta\nADR;TYPE=\"work,voice\";LABEL=\"Carrer 2:B; "
        "Ordino\":;;"
        "Carrer 2;Ordino;;AD300;\nEND:VCARD\n";
    const std::vector<Card> cards = ReadVCards(text);
    ASSERT_EQ(cards.size(), 2u);
    EXPECT_EQ(Utf8(cards[0].name), "Joan Roig");
    EXPECT_EQ(Utf8(cards[0].addresses[0].street),
              "Pla\xC3\xA7"
              "a 1");
    EXPECT_TRUE(cards[1].addresses[static_cast<int>(AddressKind::kWork)].present);
    EXPECT_EQ(Utf8(cards[1].addresses[static_cast<int>(AddressKind::kWork)].city), "Ordino");
    EXPECT_FALSE(cards[1].addresses[static_cast<int>(AddressKind::kHome)].present);
}

TEST(VCardTest, BrokenCardsAreSkippedAndACardCutOffAtTheEndKeepsWhatItHas) {
    const std::string text =
        "FN:outside any card\n"
        "BEGIN:VCARD\nFN:First\nEND:VCARD\n"
        "BEGIN:VCARD\nFN:Broken\nthis line has no colon\nEND:VCARD\n"
        "BEGIN:VCARD\nFN:Never ended\n"
        "BEGIN:VCARD\nFN:Third\nEND:VCARD\n"
        "BEGIN:VCARD\nFN:Cut off\nADR;TYPE=home:;;Carrer 5;Ordi";
    const std::vector<Card> cards = ReadVCards(text);
    ASSERT_EQ(cards.size(), 3u);
    EXPECT_EQ(Utf8(cards[0].name), "First");
    EXPECT_EQ(Utf8(cards[1].name), "Third");
    EXPECT_EQ(Utf8(cards[2].name), "Cut off");
    EXPECT_EQ(Utf8(cards[2].addresses[0].city), "Ordi");
    EXPECT_TRUE(ReadVCards("").empty());
    EXPECT_TRUE(ReadVCards("\x01\x02garbage\xFF").empty());
}

}  // namespace
