// A typed street line ("123 N MAIN ST, SUITE 4") split into house number,
// direction, street type and bare street name, with the street-type words of
// "strabbr.bin" and the table of "sttypes.bin".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/kernel/wintypes.h"

// Error bits of CStreetName.
inline constexpr uint32_t kStreetErrorNoAbbreviations = 0x1;  // "strabbr.bin" did not open
inline constexpr uint32_t kStreetErrorNoStreet = 0x10;
inline constexpr uint32_t kStreetErrorNoHouseNumber = 0x100;  // missing or not numeric

// CStreetName::ExportFields: ten single-byte slots of 60 bytes.
inline constexpr size_t kStreetFieldCount = 10;
inline constexpr size_t kStreetFieldSize = 60;
inline constexpr size_t kStreetExportSize = kStreetFieldCount * kStreetFieldSize;

class CStreetName {
  public:
    enum Field {
        kHouseText,
        kHouseDigits,
        kStreet,
        kStreetCopy,
        kDirectionText,
        kDirection,
        kPrefixType,
        kPrefixWord,
        kSuffixType,
        kSuffixWord,
    };

    CStreetName() = default;
    virtual ~CStreetName() = default;

    void Clear();
    // Splits the street line; the second text is not used.
    void Parse(const WCHAR* line, const WCHAR* second);
    // Fills 600 bytes: slot i holds field i as the low bytes of its characters, at
    // most 59 and terminated. Returns the error bits.
    uint32_t ExportFields(char* buffer) const;
    // Shows the parse error's text (strings 6062 to 6064); nothing without one.
    void ReportError() const;

    const std::u16string& FieldText(Field field) const { return fields_[field]; }
    int parsed = 0;
    uint32_t errors = 0;

  private:
    // The street-type step; false when "strabbr.bin" does not open.
    bool ParseStreetType(std::u16string& street);

    std::u16string fields_[kStreetFieldCount];
};

// The position of the first occurrence of `word` in `text` that no letter
// precedes or follows, or -1. Case-sensitive.
int FindWholeWord(const std::u16string& text, const std::u16string& word);
// The decimal value of the number word that begins the text ("TWELVE ..." gives
// "12"), else the empty string.
std::u16string NumberWordValue(const std::u16string& text);
// 1 when the strings differ, 0 when equal.
int WideStringsDiffer(const WCHAR* a, const WCHAR* b);
