#include "tools/discmaker/area_writer.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <stdexcept>
#include <string>

#include "formats/areas.h"
#include "platform/afx/afx_file.h"
#include "platform/kernel/paths.h"

namespace discmaker {

namespace az = formats::areas;

namespace {

class Bytes {
  public:
    void U8(uint8_t value) { data_.push_back(value); }
    void U16(uint16_t value) {
        uint8_t field[2];
        az::StoreU16(field, value);
        data_.insert(data_.end(), field, field + 2);
    }
    void U32(uint32_t value) {
        uint8_t field[4];
        az::StoreU32(field, value);
        data_.insert(data_.end(), field, field + 4);
    }
    void I32(int32_t value) { U32(static_cast<uint32_t>(value)); }
    void Raw(const void* bytes, size_t size) {
        const auto* begin = static_cast<const uint8_t*>(bytes);
        data_.insert(data_.end(), begin, begin + size);
    }
    void Text(const std::string& text) { Raw(text.data(), text.size()); }
    size_t Size() const { return data_.size(); }
    uint8_t* At(size_t offset) { return data_.data() + offset; }
    const std::vector<uint8_t>& Data() const { return data_; }

  private:
    std::vector<uint8_t> data_;
};

void WriteWholeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    try {
        CFile file(platform::HostPathText(path).c_str(), CFile::modeCreate | CFile::modeWrite);
        file.Write(bytes.data(), static_cast<UINT>(bytes.size()));
        file.Close();
    } catch (CException* error) {
        error->Delete();
        throw std::runtime_error("cannot write " + path.string());
    }
}

// The navigation program treats codes 60 to 72 as the provinces (their own route
// shields, routes across the northern border); the provinces are regions 51 to 63.
uint32_t AreaCodeNumber(uint16_t regionNumber) {
    constexpr uint16_t kFirstProvinceRegion = 51;
    constexpr uint32_t kFirstProvinceCode = 60;
    return regionNumber >= kFirstProvinceRegion
               ? kFirstProvinceCode + (regionNumber - kFirstProvinceRegion)
               : regionNumber;
}

// The two-letter code as the area entry holds it: upper case, blank-padded.
void AreaCode(const std::string& code, char (&out)[az::kCodeSize]) {
    const std::string text = ToNameText(code, az::kCodeSize);
    for (size_t i = 0; i < az::kCodeSize; ++i) {
        out[i] = i < text.size() ? text[i] : ' ';
    }
}

struct EntryPlan {
    std::string name;
    std::vector<uint32_t> places;     // network areas, in place order
    std::vector<uint32_t> listNames;  // network counties named in the names list
    uint32_t firstListName = 0;       // names-list number of listNames[0]
};

}  // namespace

int32_t AreaTables::PlaceValue(uint32_t area) const {
    if (area >= placeOfArea.size() || placeOfArea[area] == kNone) {
        return az::kNone;
    }
    return static_cast<int32_t>(placeOfArea[area]);
}

AreaTables WriteAreaFiles(const Network& network, const DiscLayout& layout, const NameTables& names,
                          const std::filesystem::path& disc1MapData) {
    const size_t entryCount = layout.entries.size();
    if (entryCount > az::kMaxAreas) {
        throw std::runtime_error("too many list entries for az.raw: " + std::to_string(entryCount));
    }

    // Places of each entry: its state's counties and cities, in network order.
    std::vector<EntryPlan> plans(entryCount);
    for (size_t e = 0; e < entryCount; ++e) {
        const uint32_t state = layout.entries[e].area;
        plans[e].name = state < network.areas.size()
                            ? ToNameText(network.areas[state].name, az::kMaxAreaNameLength)
                            : std::string();
    }
    for (uint32_t a = 0; a < network.areas.size(); ++a) {
        if (network.areas[a].kind == AreaKind::State) {
            continue;
        }
        const uint32_t entry = layout.EntryOfArea(network, a);
        if (entry >= entryCount) {
            continue;
        }
        plans[entry].places.push_back(a);
        if (network.areas[a].kind == AreaKind::County) {
            plans[entry].listNames.push_back(a);
        }
    }

    AreaTables tables;
    tables.placeOfArea.assign(network.areas.size(), kNone);
    tables.firstPlaceOfEntry.resize(entryCount);
    tables.placeCountOfEntry.resize(entryCount);
    std::vector<uint32_t> listNameOfArea(network.areas.size(), kNone);
    uint32_t placeNumber = 0;
    uint32_t listNameNumber = 0;
    for (size_t e = 0; e < entryCount; ++e) {
        tables.firstPlaceOfEntry[e] = placeNumber;
        tables.placeCountOfEntry[e] = static_cast<uint32_t>(plans[e].places.size());
        for (uint32_t area : plans[e].places) {
            tables.placeOfArea[area] = placeNumber++;
            tables.areaOfPlace.push_back(area);
        }
        plans[e].firstListName = listNameNumber;
        for (uint32_t county : plans[e].listNames) {
            listNameOfArea[county] = listNameNumber++;
        }
    }

    // A city names its county through the names list (the place text then reads
    // "CITY, COUNTY"), a place inside another city that city's record; a place
    // directly in its state has no parent.
    auto parentOf = [&](uint32_t area) -> int32_t {
        const uint32_t parent = network.areas[area].parent;
        if (parent >= network.areas.size()) {
            return az::kNoParent;
        }
        if (listNameOfArea[parent] != kNone) {
            return static_cast<int32_t>(listNameOfArea[parent]);
        }
        if (network.areas[parent].kind == AreaKind::City && tables.placeOfArea[parent] != kNone) {
            return static_cast<int32_t>(tables.placeOfArea[parent] | az::kParentIsPlace);
        }
        return az::kNoParent;
    };

    // ---- "az.raw" ----
    Bytes file;
    file.Raw(az::kAzMagic, az::kMagicSize);
    file.U16(static_cast<uint16_t>(entryCount));
    std::vector<size_t> fixedAt(entryCount);
    for (size_t e = 0; e < entryCount; ++e) {
        file.U8(static_cast<uint8_t>(plans[e].name.size()));
        fixedAt[e] = file.Size();
        file.Raw(std::string(az::kFixedSize, '\0').data(), az::kFixedSize);
        file.Text(plans[e].name);
    }
    std::vector<az::AreaEntry> fixed(entryCount);
    for (size_t e = 0; e < entryCount; ++e) {
        fixed[e].namesListOffset = static_cast<uint32_t>(file.Size());
        fixed[e].nameCount = static_cast<uint32_t>(plans[e].listNames.size());
        for (uint32_t county : plans[e].listNames) {
            const std::string text =
                ToNameText(network.areas[county].name, az::kMaxWrittenListNameLength);
            file.U8(static_cast<uint8_t>(text.size()));
            file.Text(text);
        }
    }
    for (size_t e = 0; e < entryCount; ++e) {
        // An area without places still gets the offset where they would start, so
        // the areas stay in ascending order of their first place.
        fixed[e].firstPlaceOffset = static_cast<int32_t>(file.Size());
        fixed[e].placeWord = tables.placeCountOfEntry[e];
        fixed[e].codeNumber = AreaCodeNumber(layout.entries[e].regionNumber);
        const uint32_t state = layout.entries[e].area;
        AreaCode(state < network.areas.size() ? network.areas[state].code : std::string(),
                 fixed[e].code);
        for (uint32_t area : plans[e].places) {
            const std::string text = ToNameText(network.areas[area].name, az::kMaxPlaceTextLength);
            const int32_t parent = parentOf(area);
            uint8_t record[az::kPlaceHeadSize + az::kPlaceParentSize + az::kMaxPlaceTextLength];
            const size_t size = az::EncodePlaceRecord(parent, text, record);
            file.Raw(record, size);
        }
        az::EncodeAreaFixed(fixed[e], file.At(fixedAt[e]));
    }
    WriteWholeFile(disc1MapData / "az.raw", file.Data());
    tables.bytesWritten += file.Size();

    // ---- "azbc.raw" ----
    // The street names of each place: every name of every link with the place on
    // either side, in name-number order (the order of "names.bin").
    std::vector<std::set<uint32_t>> streetsOfPlace(placeNumber);
    for (uint32_t l = 0; l < network.links.size() && l < names.linkNames.size(); ++l) {
        const Link& link = network.links[l];
        for (uint32_t area : {link.leftArea, link.rightArea, network.AlternativeOf(link.leftArea),
                              network.AlternativeOf(link.rightArea)}) {
            if (area >= tables.placeOfArea.size() || tables.placeOfArea[area] == kNone) {
                continue;
            }
            for (const LinkName& name : names.linkNames[l]) {
                streetsOfPlace[tables.placeOfArea[area]].insert(name.nameNumber);
            }
        }
    }

    Bytes bc;
    bc.Raw(az::kAzbcMagic, az::kMagicSize);
    bc.U16(static_cast<uint16_t>(entryCount));
    const size_t entriesAt = bc.Size();
    bc.Raw(std::string(entryCount * az::kAzbcEntrySize, '\0').data(),
           entryCount * az::kAzbcEntrySize);
    for (size_t e = 0; e < entryCount; ++e) {
        az::AzbcEntry entry;
        entry.pointerCount = tables.placeCountOfEntry[e];
        const uint32_t first = tables.firstPlaceOfEntry[e];
        if (entry.pointerCount > 0) {
            entry.pointerTable = static_cast<uint32_t>(bc.Size());
            const size_t tableAt = bc.Size();
            for (uint32_t k = 0; k < entry.pointerCount; ++k) {
                bc.U32(static_cast<uint32_t>(az::kNone));
            }
            for (uint32_t k = 0; k < entry.pointerCount; ++k) {
                const std::set<uint32_t>& streets = streetsOfPlace[first + k];
                if (streets.empty()) {
                    continue;
                }
                az::StoreU32(bc.At(tableAt + k * az::kPointerSize),
                             static_cast<uint32_t>(bc.Size()));
                bc.U32(static_cast<uint32_t>(streets.size()));
                for (uint32_t number : streets) {
                    const size_t length =
                        number < names.names.size() ? names.names[number].size() : 0;
                    bc.U32(
                        az::SourceStreetValue(number, std::min<size_t>(length, az::kLengthMask)));
                }
            }
        }
        az::EncodeAzbcEntry(entry, bc.At(entriesAt + e * az::kAzbcEntrySize));
    }
    WriteWholeFile(disc1MapData / "azbc.raw", bc.Data());
    tables.bytesWritten += bc.Size();
    return tables;
}

}  // namespace discmaker
