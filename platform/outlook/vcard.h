// The vCard reader behind the contacts store: the cards of an address book exported
// as vCard 2.1, 3.0 or 4.0, each with its display name and its home, work and other
// postal addresses.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform::outlook {

enum class AddressKind { kHome, kWork, kOther };
inline constexpr int kAddressKinds = 3;

struct PostalAddress {
    std::u16string street;
    std::u16string city;
    std::u16string state;
    std::u16string postalCode;
    std::u16string country;
    bool present = false;
};

struct Card {
    std::u16string name;
    PostalAddress addresses[kAddressKinds];  // by AddressKind
};

// Reads every card of the text. Lines are unfolded (CRLF or LF; a line beginning
// with a blank or a tab continues the one before), group prefixes ("item1.") are
// dropped, parameters are read in any case, values unescaped (\, \; \n \\), 2.1's
// QUOTED-PRINTABLE decoded, and CHARSET ISO-8859-1 or windows-1252 read as such,
// anything else as UTF-8. The name is FN, else N's given and family name, else ORG.
// The first address of each kind counts: typed home is home, work is work, anything
// else other. A card without its BEGIN or with a broken line is skipped; one cut off
// at the end keeps what it has.
std::vector<Card> ReadVCards(std::string_view text);

}  // namespace platform::outlook
