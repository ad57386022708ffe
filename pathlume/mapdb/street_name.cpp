#include "pathlume/mapdb/street_name.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "formats/street_types.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/data_file.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/street_types.h"
#include "platform/afx/afx_app.h"

namespace {
namespace st = formats::street_types;

struct Direction {
    const char16_t* word;
    const char16_t* canonical;
};
constexpr Direction kDirections[] = {{u"E", u"E"},   {u"W", u"W"},  {u"S", u"S"},   {u"SO", u"S"},
                                     {u"N", u"N"},   {u"NO", u"N"}, {u"NW", u"NW"}, {u"SW", u"SW"},
                                     {u"SE", u"SE"}, {u"NE", u"NE"}};

struct NumberWord {
    const char16_t* word;
    int value;
};
// From the largest down, as they are tried.
constexpr NumberWord kNumberWords[] = {
    {u"MILLION", 1000000}, {u"THOUSAND", 1000}, {u"HUNDRED", 100}, {u"NINETY", 90},
    {u"EIGHTY", 80},       {u"SEVENTY", 70},    {u"SIXTY", 60},    {u"FIFTY", 50},
    {u"FORTY", 40},        {u"THIRTY", 30},     {u"TWENTY", 20},   {u"NINETEEN", 19},
    {u"EIGHTEEN", 18},     {u"SEVENTEEN", 17},  {u"SIXTEEN", 16},  {u"FIFTEEN", 15},
    {u"FOURTEEN", 14},     {u"THIRTEEN", 13},   {u"TWELVE", 12},   {u"ELEVEN", 11},
    {u"TEN", 10},          {u"NINE", 9},        {u"EIGHT", 8},     {u"SEVEN", 7},
    {u"SIX", 6},           {u"FIVE", 5},        {u"FOUR", 4},      {u"THREE", 3},
    {u"TWO", 2},           {u"ONE", 1}};

constexpr const char16_t* kOrdinalEndings[] = {u"ND", u"RD", u"ST", u"TH"};

bool IsLetter(char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') ||
           (c >= 0xC0 && c <= 0xFF && c != 0xD7 && c != 0xF7);
}
bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

char16_t ToUpper(char16_t c) {
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
        return static_cast<char16_t>(c - 0x20);
    return c;
}

void Trim(std::u16string& text) {
    const size_t first = text.find_first_not_of(u' ');
    if (first == std::u16string::npos) {
        text.clear();
        return;
    }
    text.erase(text.find_last_not_of(u' ') + 1);
    text.erase(0, first);
}

void TrimLeft(std::u16string& text) {
    text.erase(0, std::min(text.find_first_not_of(u' '), text.size()));
}

std::u16string Widen(const std::string& text) {
    std::u16string wide;
    for (const char c : text)
        wide.push_back(static_cast<unsigned char>(c));
    return wide;
}

// The low byte of each character, at most `limit` of them.
std::string Narrow(const std::u16string& text, size_t limit) {
    std::string narrow;
    for (size_t i = 0; i < text.size() && i < limit; ++i)
        narrow.push_back(static_cast<char>(text[i]));
    return narrow;
}

bool EqualNoCase(const std::u16string& a, const std::u16string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char16_t x, char16_t y) { return ToUpper(x) == ToUpper(y); });
}

int TypeCode(const std::u16string& text) {
    return g_streetTypes.FindCode(Narrow(text, st::kMaxTypeNameLength).c_str());
}

// The word lines of "strabbr.bin": what stands before and after the first "=",
// the header (up to the "FILE-VER=" line) left out, up to "END-OF-FILE=".
using Abbreviations = std::vector<std::pair<std::u16string, std::u16string>>;

bool ReadAbbreviations(Abbreviations& words) {
    CDataFile file;
    if (file.OpenInFolder(g_dataFolder, u"strabbr.bin", kDataFileRead | kDataFileText, nullptr) !=
        0)
        return false;
    char piece[st::kMaxLineLength + 2];
    std::string line;
    bool more = true;
    while (more) {
        // A line longer than the format allows is cut; its rest is skipped.
        line.clear();
        bool ended = false;
        while (!ended) {
            if (!file.ReadLine(piece, sizeof piece)) {
                more = false;
                break;
            }
            std::string_view text(piece);
            ended = !text.empty() && text.back() == '\n';
            if (ended)
                text.remove_suffix(1);
            if (line.size() < st::kMaxLineLength)
                line.append(text.substr(0, st::kMaxLineLength - line.size()));
        }
        if (!ended && line.empty())
            break;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find(st::kEndKey) != std::string::npos)
            break;
        if (line.find(st::kVersionKey) != std::string::npos) {
            words.clear();
            continue;
        }
        const size_t separator = line.find(st::kSeparator);
        if (separator == std::string::npos)
            continue;
        std::u16string word = Widen(line.substr(0, separator));
        Trim(word);
        words.emplace_back(std::move(word), Widen(line.substr(separator + 1)));
    }
    return true;
}

const std::u16string* FindAbbreviation(const Abbreviations& words, const std::u16string& word) {
    for (const auto& [typed, type] : words) {
        if (EqualNoCase(typed, word))
            return &type;
    }
    return nullptr;
}

}  // namespace

int FindWholeWord(const std::u16string& text, const std::u16string& word) {
    if (word.empty())
        return -1;
    size_t from = 0;
    while (true) {
        const size_t at = text.find(word, from);
        if (at == std::u16string::npos)
            return -1;
        const size_t end = at + word.size();
        const bool letterBefore = at > 0 && IsLetter(text[at - 1]);
        const bool letterAfter = end < text.size() && IsLetter(text[end]);
        if (!letterBefore && !letterAfter)
            return static_cast<int>(at);
        from = at + 1;
    }
}

std::u16string NumberWordValue(const std::u16string& text) {
    for (const NumberWord& number : kNumberWords) {
        if (FindWholeWord(text, number.word) == 0) {
            const std::string value = std::to_string(number.value);
            return Widen(value);
        }
    }
    return {};
}

int WideStringsDiffer(const WCHAR* a, const WCHAR* b) {
    return std::u16string_view(a) != std::u16string_view(b) ? 1 : 0;
}

void CStreetName::Clear() {
    for (std::u16string& field : fields_)
        field.clear();
    parsed = 0;
    errors = 0;
}

void CStreetName::Parse(const WCHAR* line, const WCHAR* /*second*/) {
    Clear();
    std::u16string text(line ? line : u"");
    text.erase(std::min(text.find(u','), text.size()));
    // Of two adjacent periods the second stays: the scan moves on past each deletion.
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'.')
            text.erase(i, 1);
    }
    std::transform(text.begin(), text.end(), text.begin(), ToUpper);
    Trim(text);
    const std::u16string numberWord = NumberWordValue(text);

    const bool letterHyphen =
        (text.size() >= 2 && IsLetter(text[0]) && text[1] == u'-') ||
        (text.size() >= 3 && IsLetter(text[0]) && IsLetter(text[1]) && text[2] == u'-');
    if (letterHyphen || text.find(u' ') == std::u16string::npos) {
        errors |= kStreetErrorNoHouseNumber;
    } else {
        const std::u16string word = text.substr(0, text.find(u' '));
        const bool anyDigit = std::any_of(word.begin(), word.end(), IsDigit);
        const bool allDigits = std::all_of(word.begin(), word.end(), IsDigit);
        bool take = false;
        if (allDigits) {
            fields_[kHouseText] = fields_[kHouseDigits] = word;
            take = true;
        } else if (!anyDigit) {
            if (!numberWord.empty()) {
                fields_[kHouseText] = fields_[kHouseDigits] = numberWord;
                take = true;
            }
        } else {
            const bool ordinal =
                word.size() >= 2 && std::any_of(std::begin(kOrdinalEndings),
                                                std::end(kOrdinalEndings), [&](const char16_t* e) {
                                                    return word.compare(word.size() - 2, 2, e) == 0;
                                                });
            if (!ordinal) {
                fields_[kHouseText] = word;
                // The last run of digits and hyphens, without its hyphens: 123A
                // gives 123, 12-34 gives 1234.
                size_t end = word.size();
                while (end > 0 && !IsDigit(word[end - 1]) && word[end - 1] != u'-')
                    --end;
                size_t start = end;
                while (start > 0 && (IsDigit(word[start - 1]) || word[start - 1] == u'-'))
                    --start;
                for (size_t i = start; i < end; ++i) {
                    if (word[i] != u'-')
                        fields_[kHouseDigits].push_back(word[i]);
                }
                take = true;
            } else if (!IsDigit(word[word.size() - 3])) {
                // A mixed word with an ordinal ending has at least a digit before it.
                fields_[kHouseText] = word;
                take = true;
            }
        }
        if (take) {
            text.erase(0, word.size());
            TrimLeft(text);
        }
    }

    if (text.find(u' ') != std::u16string::npos) {
        for (const Direction& direction : kDirections) {
            const int at = FindWholeWord(text, direction.word);
            if (at < 0)
                continue;
            fields_[kDirectionText] = direction.word;
            fields_[kDirection] = direction.canonical;
            size_t length = std::u16string_view(direction.word).size();
            if (static_cast<size_t>(at) + length < text.size() && text[at + length] == u'.')
                ++length;
            text.erase(static_cast<size_t>(at), length);
            Trim(text);
            break;
        }
    }

    if (!ParseStreetType(text)) {
        errors |= kStreetErrorNoAbbreviations;
        MessageBoxW(nullptr, u"Bad or missing strabbr.bin", u"Error", MB_OK | MB_ICONERROR);
    }

    Trim(text);
    fields_[kStreet] = fields_[kStreetCopy] = text;
    parsed = 1;
    if (text.empty())
        errors |= kStreetErrorNoStreet;
    else if (fields_[kHouseDigits].empty())
        errors |= kStreetErrorNoHouseNumber;
}

bool CStreetName::ParseStreetType(std::u16string& street) {
    Abbreviations words;
    if (!ReadAbbreviations(words))
        return false;
    const std::u16string saved = street;
    // Pass 0 looks at the end of the street, pass 1 at its front.
    for (int pass = 0; pass < 2; ++pass) {
        std::u16string working = saved;
        while (true) {
            const size_t space = pass == 0 ? working.rfind(u' ') : working.find(u' ');
            if (space == std::u16string::npos)
                break;
            std::u16string candidate =
                pass == 0 ? working.substr(space + 1) : working.substr(0, space);
            Trim(candidate);
            // The front word ends at the working copy's first space, the end word
            // starts at its last one; the working copy is a front part of the street.
            auto takeType = [&]() {
                if (pass == 0)
                    street.erase(std::min(space, street.size()));
                else
                    street.erase(0, std::min(space, street.size()));
            };
            if (const std::u16string* type = FindAbbreviation(words, candidate)) {
                if (pass == 0) {
                    fields_[kSuffixType] = *type;
                    fields_[kSuffixWord] = candidate;
                } else {
                    fields_[kPrefixType] = *type;
                    fields_[kPrefixWord] = street.substr(0, std::min(space, street.size()));
                }
                if (TypeCode(type->empty() ? candidate : *type) >= 0) {
                    takeType();
                } else if (TypeCode(candidate) >= 0) {
                    if (pass == 0)
                        fields_[kSuffixType] = fields_[kSuffixWord];
                    else
                        fields_[kPrefixType] = fields_[kPrefixWord];
                    takeType();
                }
                return true;
            }
            if (TypeCode(candidate) >= 0) {
                if (pass == 0) {
                    fields_[kSuffixType] = fields_[kSuffixWord] = candidate;
                } else {
                    fields_[kPrefixType] = fields_[kPrefixWord] =
                        street.substr(0, std::min(space, street.size()));
                }
                takeType();
                break;
            }
            // Pass 0 drops the last word and tries again; pass 1 keeps only the
            // first word, which ends it.
            working.erase(space);
        }
    }
    return true;
}

uint32_t CStreetName::ExportFields(char* buffer) const {
    for (size_t i = 0; i < kStreetFieldCount; ++i) {
        const std::string text = Narrow(fields_[i], kStreetFieldSize - 1);
        char* slot = buffer + i * kStreetFieldSize;
        std::copy(text.begin(), text.end(), slot);
        slot[text.size()] = '\0';
    }
    return errors;
}

void CStreetName::ReportError() const {
    const bool noStreet = (errors & kStreetErrorNoStreet) != 0;
    const bool noNumber = (errors & kStreetErrorNoHouseNumber) != 0;
    if (!noStreet && !noNumber)
        return;
    const UINT id = noStreet && noNumber ? 6062 : noStreet ? 6063 : 6064;
    WCHAR text[260];
    LoadResString(id, text, 260, FALSE);
    AfxMessageBox(text, MB_OK | MB_ICONERROR);
}
