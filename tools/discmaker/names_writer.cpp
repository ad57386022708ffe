#include "tools/discmaker/names_writer.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <set>
#include <stdexcept>
#include <utility>

#include "formats/name_index.h"
#include "formats/names.h"
#include "formats/street_types.h"

namespace discmaker {

namespace {

namespace nm = formats::names;
namespace ni = formats::name_index;
namespace st = formats::street_types;

std::string JoinWords(std::initializer_list<std::string_view> parts) {
    std::string joined;
    for (std::string_view part : parts) {
        if (part.empty())
            continue;
        if (!joined.empty())
            joined += ' ';
        joined += part;
    }
    return joined;
}

// ---- Street types ------------------------------------------------------------------

// The types every disc carries, in code order, each with the words a user may type
// for it. Types the network uses beyond these follow them.
struct BuiltInType {
    const char* type;
    const char* words;  // blank-separated
};
constexpr BuiltInType kBuiltInTypes[] = {
    {"ST", "STREET STR STRT"},
    {"AVE", "AVENUE AV AVEN AVENU AVN AVNUE"},
    {"BLVD", "BOULEVARD BOUL BOULV"},
    {"RD", "ROAD"},
    {"DR", "DRIVE DRIV DRV"},
    {"LN", "LANE"},
    {"CT", "COURT"},
    {"PL", "PLACE"},
    {"WAY", ""},
    {"CIR", "CIRCLE CIRC CIRCL CRCL CRCLE"},
    {"TER", "TERRACE TERR"},
    {"TRL", "TRAIL TRAILS TRLS"},
    {"PKWY", "PARKWAY PARKWY PKWAY PKY"},
    {"HWY", "HIGHWAY HIGHWY HIWAY HIWY HWAY"},
    {"FWY", "FREEWAY FREEWY FRWAY FRWY"},
    {"EXPY", "EXPRESSWAY EXPR EXPRESS EXPW"},
    {"TPKE", "TURNPIKE TRNPK TURNPK"},
    {"SQ", "SQUARE SQR SQRE SQU"},
    {"PLZ", "PLAZA PLZA"},
    {"LOOP", "LOOPS"},
    {"ALY", "ALLEY ALLEE ALLY"},
    {"CRES", "CRESCENT CRSENT CRSNT"},
    {"CV", "COVE"},
    {"XING", "CROSSING CRSSNG"},
    {"BYP", "BYPASS BYPA BYPAS BYPS"},
    {"RTE", "ROUTE"},
    {"PATH", "PATHS"},
    {"PIKE", "PIKES"},
    {"RUN", ""},
    {"ROW", ""},
    {"WALK", "WALKS"},
    {"PASS", ""},
    {"BR", "BRANCH BRNCH"},
    {"BRG", "BRIDGE BRDGE"},
    {"CTR", "CENTER CENT CENTR CENTRE CNTER CNTR"},
    {"GRN", "GREEN"},
    {"HTS", "HEIGHTS"},
    {"HL", "HILL"},
    {"HOLW", "HOLLOW"},
    {"MNR", "MANOR"},
    {"MDWS", "MEADOWS"},
    {"PT", "POINT"},
    {"RDG", "RIDGE"},
    {"SPUR", ""},
    {"VW", "VIEW"},
    {"VIS", "VISTA VIST VST VSTA"},
    {"ESP", "ESPLANADE"},
};

std::vector<std::string> Words(const char* text) {
    std::vector<std::string> words;
    std::string word;
    for (const char* c = text;; ++c) {
        if (*c == ' ' || *c == '\0') {
            if (!word.empty())
                words.push_back(std::move(word));
            word.clear();
            if (*c == '\0')
                break;
        } else {
            word += *c;
        }
    }
    return words;
}

// A type text as the network gives it ("Street", "st", "Rue") in its written form:
// a built-in type for its own abbreviation or any of its words, else the text.
std::string ResolveType(std::string_view text) {
    static const std::map<std::string, std::string, std::less<>> kTypeOfWord = [] {
        std::map<std::string, std::string, std::less<>> typeOfWord;
        for (const BuiltInType& builtIn : kBuiltInTypes) {
            typeOfWord.emplace(builtIn.type, builtIn.type);
            for (std::string& word : Words(builtIn.words))
                typeOfWord.emplace(std::move(word), builtIn.type);
        }
        return typeOfWord;
    }();
    const std::string written = ToNameText(text, nm::kMaxWrittenNameLength);
    const auto found = kTypeOfWord.find(written);
    return found == kTypeOfWord.end() ? written : found->second;
}

// A direction word ("N", "North", "south-west") as its code; kNoDirection for a
// word that names no direction.
nm::DirectionCode ResolveDirection(std::string_view text) {
    std::string word;
    for (char c : ToNameText(text, nm::kMaxWrittenNameLength)) {
        if (c != ' ' && c != '-')
            word += c;
    }
    static constexpr std::pair<std::string_view, std::string_view> kLong[] = {
        {"NORTH", "N"},      {"SOUTH", "S"},      {"EAST", "E"},       {"WEST", "W"},
        {"NORTHEAST", "NE"}, {"NORTHWEST", "NW"}, {"SOUTHEAST", "SE"}, {"SOUTHWEST", "SW"}};
    for (const auto& [full, abbreviation] : kLong) {
        if (word == full)
            return nm::DirectionOfWord(abbreviation);
    }
    return nm::DirectionOfWord(word);
}

// ---- The names of a link -------------------------------------------------------------

struct StreetParts {
    std::string prefixType;  // resolved type texts; empty when absent
    std::string suffixType;
    std::string prefixTypeText;  // as given, for a type written into the name
    std::string suffixTypeText;
    std::string base;  // written form
    nm::DirectionCode prefixDirection = nm::kNoDirection;
    nm::DirectionCode suffixDirection = nm::kNoDirection;
    std::string prefixWord;  // a direction text that names no direction, kept in the name
    std::string suffixWord;
};

StreetParts SplitStreetName(const StreetName& name) {
    StreetParts parts;
    parts.prefixType = name.prefixType.empty() ? "" : ResolveType(name.prefixType);
    parts.suffixType = name.suffixType.empty() ? "" : ResolveType(name.suffixType);
    parts.prefixTypeText = ToNameText(name.prefixType, nm::kMaxWrittenNameLength);
    parts.suffixTypeText = ToNameText(name.suffixType, nm::kMaxWrittenNameLength);
    parts.base = ToNameText(name.base, nm::kMaxWrittenNameLength);
    parts.prefixDirection = ResolveDirection(name.directionPrefix);
    if (parts.prefixDirection == nm::kNoDirection) {
        parts.prefixWord = ToNameText(name.directionPrefix, nm::kMaxWrittenNameLength);
    }
    parts.suffixDirection = ResolveDirection(name.directionSuffix);
    if (parts.suffixDirection == nm::kNoDirection) {
        parts.suffixWord = ToNameText(name.directionSuffix, nm::kMaxWrittenNameLength);
    }
    return parts;
}

struct RouteName {
    std::string text;
    RouteClass routeClass = RouteClass::Other;
};

// "US 101" -> "US-101", the form the map view's shields and the spoken highway
// numbers recognise; the class from its prefix.
RouteName MakeRouteName(std::string_view number) {
    RouteName route;
    route.text = ToNameText(number, nm::kMaxWrittenNameLength);
    size_t letters = 0;
    while (letters < route.text.size() && route.text[letters] >= 'A' &&
           route.text[letters] <= 'Z') {
        ++letters;
    }
    if (letters > 0 && letters + 1 < route.text.size() && route.text[letters] == ' ' &&
        route.text[letters + 1] >= '0' && route.text[letters + 1] <= '9') {
        route.text[letters] = '-';
    }
    const bool dashedNumber = letters > 0 && letters + 1 < route.text.size() &&
                              route.text[letters] == '-' && route.text[letters + 1] >= '0' &&
                              route.text[letters + 1] <= '9';
    if (dashedNumber && route.text.compare(0, letters, "I") == 0) {
        route.routeClass = RouteClass::Interstate;
    } else if (dashedNumber && route.text.compare(0, letters, "US") == 0) {
        route.routeClass = RouteClass::UsRoute;
    }
    return route;
}

std::vector<RouteName> RouteNames(const Link& link) {
    std::vector<RouteName> routes;
    std::string_view numbers = link.signs->highwayNumber;
    while (!numbers.empty()) {
        const size_t end = numbers.find(';');
        RouteName route = MakeRouteName(numbers.substr(0, end));
        const bool seen = std::any_of(routes.begin(), routes.end(),
                                      [&](const RouteName& r) { return r.text == route.text; });
        if (!route.text.empty() && !seen)
            routes.push_back(std::move(route));
        numbers = end == std::string_view::npos ? std::string_view() : numbers.substr(end + 1);
    }
    return routes;
}

// A link's names before numbering.
struct PendingName {
    std::string text;
    uint16_t typeCode = 0;
    bool typeBeforeName = false;
    RouteClass routeClass = RouteClass::None;
    uint8_t directions = 0;
};

// The street name of a link with the type that has a code; a type without one
// (both types given, or beyond the codes "sttypes.raw" can number) stays in the
// name text, so nothing of the name is lost.
bool MakeStreetName(const StreetParts& parts,
                    const std::map<std::string, uint16_t, std::less<>>& codes, PendingName& out) {
    auto codeOf = [&](const std::string& type) -> uint16_t {
        const auto found = codes.find(type);
        return found == codes.end() ? 0 : found->second;
    };
    const uint16_t suffixCode = parts.suffixType.empty() ? 0 : codeOf(parts.suffixType);
    const uint16_t prefixCode =
        parts.prefixType.empty() || suffixCode != 0 ? 0 : codeOf(parts.prefixType);
    const std::string_view prefixInName =
        prefixCode != 0 ? std::string_view() : parts.prefixTypeText;
    const std::string_view suffixInName =
        suffixCode != 0 ? std::string_view() : parts.suffixTypeText;
    std::string text =
        JoinWords({parts.prefixWord, prefixInName, parts.base, suffixInName, parts.suffixWord});
    uint16_t code = suffixCode != 0 ? suffixCode : prefixCode;
    if (parts.base.empty()) {
        // A type alone ("Broadway" filed as a type) is the name itself.
        text = JoinWords(
            {parts.prefixWord, parts.prefixTypeText, parts.suffixTypeText, parts.suffixWord});
        code = 0;
    }
    out.text = ToNameText(text, nm::kMaxWrittenNameLength);
    out.typeCode = code;
    out.typeBeforeName = code != 0 && prefixCode != 0;
    out.routeClass = RouteClass::None;
    out.directions = nm::DirectionByte(parts.prefixDirection, parts.suffixDirection);
    return !out.text.empty();
}

// ---- Files -------------------------------------------------------------------------

// "names.bin" offsets must fit the 26 bits that the city street lists of "azbc.bin"
// give them.
constexpr uint64_t kMaxNamesBinBytes = uint64_t{1} << 26;

class Bytes {
  public:
    void Append(const char* data, size_t size) { bytes_.insert(bytes_.end(), data, data + size); }
    void AppendU32(uint32_t value) {
        uint8_t field[4];
        nm::StoreU32(field, value);
        bytes_.insert(bytes_.end(), field, field + 4);
    }
    void AppendI32(int32_t value) { AppendU32(static_cast<uint32_t>(value)); }
    // u8 length and the text.
    void AppendCounted(std::string_view text) {
        bytes_.push_back(static_cast<uint8_t>(text.size()));
        Append(text.data(), text.size());
    }
    void Reserve(size_t size) { bytes_.resize(bytes_.size() + size); }
    uint8_t* At(size_t offset) { return bytes_.data() + offset; }
    size_t Size() const { return bytes_.size(); }
    const std::vector<uint8_t>& Data() const { return bytes_; }

  private:
    std::vector<uint8_t> bytes_;
};

uint64_t WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file)
        throw std::runtime_error("cannot write " + path.string());
    return bytes.size();
}

uint64_t WriteFile(const std::filesystem::path& path, const std::string& text) {
    return WriteFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

void MakeFolder(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error)
        throw std::runtime_error("cannot create " + folder.string() + ": " + error.message());
}

std::vector<uint8_t> NamesRaw(const std::vector<std::string>& names) {
    Bytes out;
    out.Append(nm::kSourceMagic, nm::kMagicSize);
    for (const std::string& name : names)
        out.AppendCounted(name);
    return out.Data();
}

std::vector<uint8_t> StreetTypesRaw(const std::vector<std::string>& types) {
    Bytes out;
    out.Append(st::kMagic, st::kMagicSize);
    out.AppendU32(static_cast<uint32_t>(types.size()));
    for (const std::string& type : types)
        out.Append(type.c_str(), type.size() + 1);
    return out.Data();
}

std::string AbbreviationText() {
    std::string text =
        std::string(st::kVersionKey) + std::to_string(st::kFileVersion) + st::kLineEnd;
    for (const BuiltInType& builtIn : kBuiltInTypes) {
        for (const std::string& word : Words(builtIn.words)) {
            text += word + st::kSeparator + builtIn.type + st::kLineEnd;
        }
    }
    text += std::string(st::kEndKey) + st::kLineEnd;
    return text;
}

// One list entry's names with the house numbers they carry there.
struct EntryStreet {
    int32_t lowest = ni::kNoHouseNumber;
    int32_t highest = ni::kNoHouseNumber;
    bool numbered = false;

    void Fold(const HouseRange& range) {
        if (range.Empty())
            return;
        const auto low = static_cast<int32_t>(std::min(range.first, range.last));
        const auto high = static_cast<int32_t>(std::max(range.first, range.last));
        lowest = numbered ? std::min(lowest, low) : low;
        highest = numbered ? std::max(highest, high) : high;
        numbered = true;
    }
};
using EntryStreets = std::map<uint32_t, EntryStreet>;  // by name number, ascending

std::vector<uint8_t> NameIndex(uint32_t nameCount, const std::vector<EntryStreets>& entries) {
    Bytes out;
    out.Append(ni::kNameIndexMagic, ni::kMagicSize);
    out.AppendU32(nameCount);
    out.AppendU32(static_cast<uint32_t>(entries.size()));
    out.Reserve(entries.size() * ni::kNameIndexEntrySize);
    for (size_t i = 0; i < entries.size(); ++i) {
        const ni::NameIndexEntry entry{static_cast<uint32_t>(out.Size()),
                                       static_cast<uint32_t>(entries[i].size())};
        ni::EncodeNameIndexEntry(entry,
                                 out.At(ni::kNameIndexEntriesOffset + i * ni::kNameIndexEntrySize));
        for (const auto& street : entries[i])
            out.AppendU32(street.first);
    }
    return out.Data();
}

std::vector<uint8_t> StreetLists(const std::vector<std::string>& names,
                                 const std::vector<EntryStreets>& entries) {
    Bytes out;
    out.Append(ni::kStreetListMagic, ni::kMagicSize);
    out.AppendU32(static_cast<uint32_t>(entries.size()));
    out.Reserve(entries.size() * ni::kStreetEntrySize);
    for (size_t i = 0; i < entries.size(); ++i) {
        ni::StreetEntry entry{static_cast<uint32_t>(out.Size()),
                              static_cast<uint32_t>(entries[i].size()), 0};
        for (const auto& [number, street] : entries[i]) {
            uint8_t item[ni::kStreetItemSize];
            ni::EncodeStreetItem({number, street.lowest, street.highest}, item);
            out.Append(reinterpret_cast<const char*>(item), sizeof item);
            entry.nameBytes += nm::NameRecordSize(names[number].size());
        }
        ni::EncodeStreetEntry(entry,
                              out.At(ni::kStreetListEntriesOffset + i * ni::kStreetEntrySize));
    }
    return out.Data();
}

}  // namespace

// ---- Public --------------------------------------------------------------------------

uint32_t NameTables::NameNumber(std::string_view text) const {
    const auto found = numberOfName.find(text);
    return found == numberOfName.end() ? kNone : found->second;
}

uint16_t NameTables::TypeCode(std::string_view text) const {
    const auto found = codeOfType.find(text);
    return found == codeOfType.end() ? 0 : found->second;
}

NameTables WriteNameFiles(const Network& network, const DiscLayout& layout,
                          const std::filesystem::path& disc1MapData) {
    NameTables tables;

    // Links of one street name and highway number have the same names: each such
    // pair is worked out once, in the order the links first use it.
    using NameKey = std::array<const std::string*, 6>;
    std::map<NameKey, uint32_t> kindOfKey;
    std::vector<uint32_t> kindOfLink(network.links.size());
    std::vector<uint32_t> linkOfKind;  // the first link of each kind
    for (uint32_t i = 0; i < network.links.size(); ++i) {
        const Link& link = network.links[i];
        const StreetName& n = link.name;
        const NameKey key = {
            &n.directionPrefix.str(), &n.prefixType.str(),      &n.base.str(),
            &n.suffixType.str(),      &n.directionSuffix.str(), &link.signs->highwayNumber.str()};
        const auto [found, added] =
            kindOfKey.emplace(key, static_cast<uint32_t>(linkOfKind.size()));
        if (added)
            linkOfKind.push_back(i);
        kindOfLink[i] = found->second;
    }
    kindOfKey.clear();

    // Street types: the built-in ones, then those the network adds, in text order;
    // codes beyond nine bits are not given.
    std::vector<StreetParts> streets;
    streets.reserve(linkOfKind.size());
    std::set<std::string> extraTypes;
    for (const BuiltInType& builtIn : kBuiltInTypes)
        tables.streetTypes.push_back(builtIn.type);
    for (uint32_t first : linkOfKind) {
        streets.push_back(SplitStreetName(network.links[first].name));
        // Only a type that stands beside a name is coded; a type given alone is the
        // name (and as a type it would make the address parser cut it off).
        const StreetParts& parts = streets.back();
        const std::string& type = parts.suffixType.empty() ? parts.prefixType : parts.suffixType;
        if (!parts.base.empty() && !type.empty() &&
            std::find(tables.streetTypes.begin(), tables.streetTypes.end(), type) ==
                tables.streetTypes.end()) {
            extraTypes.insert(type);
        }
    }
    for (const std::string& type : extraTypes) {
        if (tables.streetTypes.size() == st::kMaxTypeCode)
            break;
        tables.streetTypes.push_back(type);
    }
    for (size_t i = 0; i < tables.streetTypes.size(); ++i) {
        tables.codeOfType.emplace(tables.streetTypes[i], static_cast<uint16_t>(i + 1));
    }

    // The names of every link; then numbered in the order of their letter pairs, so
    // that the names of one pair follow each other in any subset the converter
    // keeps, and by text within a pair.
    std::vector<std::vector<PendingName>> pending(linkOfKind.size());
    std::set<std::string> texts;
    for (size_t i = 0; i < linkOfKind.size(); ++i) {
        PendingName street;
        if (MakeStreetName(streets[i], tables.codeOfType, street))
            pending[i].push_back(street);
        for (RouteName& route : RouteNames(network.links[linkOfKind[i]])) {
            if (pending[i].size() == static_cast<size_t>(kMaxLinkNames))
                break;
            PendingName name;
            name.text = std::move(route.text);
            name.routeClass = route.routeClass;
            if (!pending[i].empty() && pending[i].front().text == name.text) {
                pending[i].front().routeClass = name.routeClass;
                continue;
            }
            pending[i].push_back(std::move(name));
        }
        for (const PendingName& name : pending[i])
            texts.insert(name.text);
    }
    tables.names.assign(texts.begin(), texts.end());
    std::stable_sort(tables.names.begin(), tables.names.end(),
                     [](const std::string& a, const std::string& b) {
                         return nm::LetterPairOfName(a) < nm::LetterPairOfName(b);
                     });
    if (tables.names.size() > nm::kMaxNameNumber + 1ull) {
        throw std::runtime_error("too many street names: " + std::to_string(tables.names.size()));
    }
    uint64_t nameBytes = nm::kDeviceNamesOffset;
    for (size_t i = 0; i < tables.names.size(); ++i) {
        tables.numberOfName.emplace(tables.names[i], static_cast<uint32_t>(i));
        nameBytes += nm::NameRecordSize(tables.names[i].size());
    }
    if (nameBytes > kMaxNamesBinBytes) {
        throw std::runtime_error(
            "street names too long for the name files: " + std::to_string(nameBytes) + " bytes");
    }

    // Per link its items; per list entry its names with their house numbers. A
    // link's names belong to its own entry and to the entries of the places on its
    // sides, whose street lists name them too.
    tables.linkNames.Resize(network.links.size());
    tables.linkNamePair.assign(network.links.size(), kNone);
    std::vector<EntryStreets> entries(layout.entries.size());
    std::map<std::pair<uint32_t, bool>, uint32_t> listOfKind;  // (kind, numbered) -> list
    for (uint32_t i = 0; i < network.links.size(); ++i) {
        const Link& link = network.links[i];
        const bool numbered = !link.left.Empty() || !link.right.Empty();
        const auto [known, added] = listOfKind.emplace(std::make_pair(kindOfLink[i], numbered), 0);
        if (added) {
            std::vector<LinkName> items;
            for (const PendingName& name : pending[kindOfLink[i]]) {
                LinkName item;
                item.nameNumber = tables.numberOfName.at(name.text);
                item.typeCode = name.typeCode;
                item.typeBeforeName = name.typeBeforeName;
                item.routeClass = name.routeClass;
                item.directions = name.directions;
                item.primary = items.empty();
                item.houseNumbers = item.primary && numbered;
                items.push_back(item);
            }
            known->second = tables.linkNames.AddList(std::move(items));
        }
        tables.linkNames.Assign(i, known->second);
        std::set<uint32_t> linkEntries = {layout.EntryOfLink(network, i)};
        for (uint32_t area : {link.leftArea, link.rightArea}) {
            if (area < network.areas.size())
                linkEntries.insert(layout.EntryOfArea(network, area));
        }
        for (const LinkName& item : tables.linkNames[i]) {
            for (uint32_t entry : linkEntries) {
                if (entry >= entries.size())
                    continue;
                EntryStreet& street = entries[entry][item.nameNumber];
                if (item.houseNumbers) {
                    street.Fold(link.left);
                    street.Fold(link.right);
                }
            }
        }
    }

    MakeFolder(disc1MapData);
    tables.bytesWritten += WriteFile(disc1MapData / "names.raw", NamesRaw(tables.names));
    tables.bytesWritten +=
        WriteFile(disc1MapData / "nameidx.bin",
                  NameIndex(static_cast<uint32_t>(tables.names.size()), entries));
    tables.bytesWritten += WriteFile(disc1MapData / "stnl.raw", StreetLists(tables.names, entries));
    tables.bytesWritten +=
        WriteFile(disc1MapData / "sttypes.raw", StreetTypesRaw(tables.streetTypes));

    // Exit signs: one record per distinct sign, texts once each, both in the order
    // the links first use them.
    Bytes pairs;
    Bytes signTexts;
    pairs.Append(ni::kPairMagic, ni::kMagicSize);
    pairs.AppendU32(0);
    signTexts.Append(ni::kTextMagic, ni::kMagicSize);
    signTexts.AppendU32(0);
    std::map<std::string, int32_t, std::less<>> textNumbers;
    std::map<std::pair<int32_t, int32_t>, uint32_t> recordOfPair;
    auto textNumber = [&](const std::string& text) -> int32_t {
        if (text.empty())
            return ni::kNoText;
        const auto [found, added] =
            textNumbers.emplace(text, static_cast<int32_t>(textNumbers.size()));
        if (added)
            signTexts.AppendCounted(text);
        return found->second;
    };
    for (uint32_t i = 0; i < network.links.size(); ++i) {
        const Link& link = network.links[i];
        const std::string sign = ToNameText(link.signs->exitSign, ni::kMaxNameTextLength);
        const std::string exit = ToNameText(link.signs->exitNumber, ni::kMaxExitTextLength);
        if (sign.empty() && exit.empty())
            continue;
        ni::NamePair pair;
        pair.nameText = textNumber(sign);
        pair.exitText = textNumber(exit);
        const auto [found, added] = recordOfPair.emplace(
            std::make_pair(pair.nameText, pair.exitText), tables.namePairCount);
        if (added) {
            uint8_t record[ni::kPairSize];
            ni::EncodeNamePair(pair, record);
            pairs.Append(reinterpret_cast<const char*>(record), sizeof record);
            ++tables.namePairCount;
        }
        tables.linkNamePair[i] = found->second;
    }
    nm::StoreU32(pairs.At(ni::kSourceCountOffset), tables.namePairCount);
    nm::StoreU32(signTexts.At(ni::kSourceCountOffset), static_cast<uint32_t>(textNumbers.size()));
    tables.bytesWritten += WriteFile(disc1MapData / "lsr.raw", pairs.Data());
    tables.bytesWritten += WriteFile(disc1MapData / "lsrs.raw", signTexts.Data());

    const std::string abbreviations = AbbreviationText();
    for (int disc = 1; disc < kDiscCount; ++disc) {
        MakeFolder(layout.mapData[disc]);
        tables.bytesWritten +=
            WriteFile(layout.mapData[disc] / st::kAbbreviationFile, abbreviations);
    }
    return tables;
}

}  // namespace discmaker
