// A contact's three postal addresses as the contacts screen fills them, the text the
// destination flow makes of them for the address screen, and the texts the geocoder
// is given for the chosen one.
#pragma once

#include <cstdint>
#include <string>

// The records: home, work, other.
inline constexpr int kContactAddressCount = 3;
inline constexpr int kContactHome = 0;
inline constexpr int kContactWork = 1;
inline constexpr int kContactOther = 2;
// The kind of an address that is not usable.
inline constexpr int32_t kUnusableAddress = -1;
// The joined text holds at most this many single-byte characters.
inline constexpr size_t kContactLinesSize = 1024;

struct ContactAddress {
    int32_t kind = kUnusableAddress;  // 1, 0, 2 for home, work, other when usable
    std::u16string spare;
    std::u16string street;
    std::u16string city;
    std::u16string state;
    std::u16string postalCode;
    std::u16string country;
};
using ContactAddresses = ContactAddress[kContactAddressCount];

// The kind a record gets: usable when it has a street and a city or a postal code.
int32_t ContactAddressKind(const ContactAddress& address, int index);

// "Home\n", "Work\n" or "Other\n", the street, "\n", the city, ", ", the state, two
// blanks, the postal code and "|" for every usable record, as single-byte text of at
// most kContactLinesSize - 1 bytes.
std::string JoinContactAddresses(const ContactAddresses& addresses);

// The record a row of that text stands for: "HOME..." home, "WORK..." work (any
// case), any other the other address.
int ChooseContactRecord(const char* row);

// A contact text as the map's names are stored: upper case, accents folded ("Sant
// Julià de Lòria" is "SANT JULIA DE LORIA"), at most 79 bytes.
std::string ToMapNameText(const std::u16string& text);
