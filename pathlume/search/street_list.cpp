#include "pathlume/search/street_list.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "formats/link_info.h"
#include "formats/little_endian.h"
#include "pathlume/foundation/name_text.h"
#include "pathlume/mapdb/area_zone_file.h"
#include "pathlume/mapdb/lfo_index_file.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/name_codes.h"
#include "pathlume/mapdb/street_name_list_file.h"
#include "pathlume/mapdb/street_texts.h"
#include "platform/afx/afx.h"

namespace {

namespace ni = formats::name_index;
namespace li = formats::link_info;

constexpr size_t kRowTrailer = 4;
constexpr int kWindowBytes = 65536;
// A name shorter than 80 bytes starting at most this far into the window lies in it.
constexpr int64_t kWindowReach = kWindowBytes - kNameBufferSize;

char* PutRow(char* at, const char* name, size_t length, uint32_t nameOffset) {
    std::memcpy(at, name, length);
    at[length] = '\0';
    formats::StoreU32(reinterpret_cast<uint8_t*>(at + length + 1), nameOffset);
    return at;
}

std::string MessageText(unsigned id) {
    return LoadStringText(id, std::string(kStreetWordSize, '\0').data(), kStreetWordSize);
}

// A record of the letter pair and its name items; false when it cannot be read whole.
bool ReadWithItems(int32_t offset, LinkInfoRecord& record, NameItem (&items)[li::kMaxNameItems],
                   int& count) {
    if (g_linkInfo.ReadRecord(offset, record, false) != 0)
        return false;
    count = record.ItemCount();
    if (count < 1 || count > li::kMaxNameItems)
        return false;
    return g_linkInfo.ReadNameItems(items, count) == count;
}

// Skips the items after the first one, which ReadRecord with its item read.
bool SkipRemainingItems(const LinkInfoRecord& record) {
    NameItem skipped[li::kMaxNameItems];
    for (int left = record.ItemCount() - 1; left > 0;) {
        const int n = std::min(left, li::kMaxNameItems);
        if (g_linkInfo.ReadNameItems(skipped, n) != n)
            return false;
        left -= n;
    }
    return true;
}

void Widen(const LinkInfoRecord& record, int32_t& low, int32_t& high) {
    const auto take = [&](int32_t number) {
        low = std::min(low, number);
        high = std::max(high, number);
    };
    if (li::LeftKind(record.addressWord) != 0) {
        take(record.left.from);
        take(record.left.to);
    }
    if (li::RightKind(record.addressWord) != 0) {
        take(record.right.from);
        take(record.right.to);
    }
}

}  // namespace

uint32_t GetRowNameOffset(const char* row) {
    if (!row)
        return kNoNameReference;
    return formats::LoadU32(reinterpret_cast<const uint8_t*>(row + std::strlen(row) + 1));
}

void StreetList::AddMessage(unsigned id, const char* text) {
    messageId_ = id;
    AddOwned(text ? text : "", kNoNameReference);
}

void StreetList::AddOwned(const std::string& name, uint32_t nameOffset) {
    auto row = std::make_unique<char[]>(name.size() + 1 + kRowTrailer);
    rows_.push_back(PutRow(row.get(), name.data(), name.size(), nameOffset));
    owned_.push_back(std::move(row));
}

StreetList::Outcome StreetList::LoadRegion(uint8_t region) {
    StreetNameListFile reader;
    const ni::StreetEntry* entry = reader.Open() ? reader.GetEntry(region) : nullptr;
    const uint64_t count = entry ? entry->count : 0;
    // A table the file cannot hold, or a text size no name list reaches (every name
    // is below 80 bytes with its terminator), is never committed.
    const bool plausible =
        entry && reader.ItemsFit(region) && uint64_t{entry->nameBytes} <= count * kNameBufferSize;
    if (count == 0 || !g_namesFile.IsOpen() || !plausible) {
        AddMessage(kNoStreetsFound, MessageText(kNoStreetsFound).c_str());
        return Outcome::kListed;
    }
    const uint64_t budget = uint64_t{entry->nameBytes} + kRowTrailer * count;
    const uint64_t tableBytes = sizeof(ni::StreetItem) * count;
    const uint64_t total = tableBytes + budget + kWindowBytes;
    BYTE* base = nullptr;
    try {
        base = static_cast<BYTE*>(area_.Reserve(static_cast<SIZE_T>(total)));
        if (base)
            area_.Grow(static_cast<SIZE_T>(total));
    } catch (CMemoryException*) {
        area_.Release();
        rows_.clear();
        return Outcome::kOutOfMemory;
    }
    if (!base) {
        AddMessage(kNoStreetsFound, MessageText(kNoStreetsFound).c_str());
        return Outcome::kListed;
    }
    auto* table = reinterpret_cast<ni::StreetItem*>(base);
    char* text = reinterpret_cast<char*>(base + tableBytes);
    BYTE* window = base + tableBytes + budget;
    if (reader.SeekEntry(region) == 0 && reader.Read(table, static_cast<uint32_t>(count)) == 0) {
        table_ = std::span<ni::StreetItem>(table, static_cast<size_t>(count));
        rows_.reserve(static_cast<size_t>(count));
        int64_t windowStart = -1000000;
        int windowBytes = 0;
        uint64_t used = 0;
        for (const ni::StreetItem& street : table_) {
            const int64_t o = street.name;
            if (o < windowStart || o > windowStart + kWindowReach) {
                if (o > 0x7FFFFFFF || g_namesFile.Seek(static_cast<int>(o), 0) != 0)
                    break;
                windowBytes = g_namesFile.Read(window, kWindowBytes);
                if (windowBytes < 1)
                    break;
                windowStart = o;
            }
            const int64_t at = o - windowStart;
            // A name not wholly inside what the window holds is not read.
            if (at >= windowBytes)
                continue;
            const size_t length = window[at];
            if (length >= static_cast<size_t>(kNameBufferSize) ||
                at + 1 + static_cast<int64_t>(length) > windowBytes)
                continue;
            if (used + length + 1 + kRowTrailer > budget)
                break;
            rows_.push_back(PutRow(text + used, reinterpret_cast<const char*>(window + at + 1),
                                   length, street.name));
            used += length + 1 + kRowTrailer;
        }
    }
    // The read buffer goes back at once.
    area_.Grow(static_cast<SIZE_T>(tableBytes + budget));
    if (rows_.empty())
        AddMessage(kNoStreetsFound, MessageText(kNoStreetsFound).c_str());
    return Outcome::kListed;
}

void StreetList::LoadCity(uint8_t region, const CitySelection& city) {
    char name[kNameBufferSize];
    for (uint32_t value : AreaZoneBcFile::Load(region, city.recordNumber)) {
        if (value == 0)
            break;
        const uint32_t offset = value & 0x3FFFFFF;
        if (ReadNamesBinString(offset, name) <= 0 || !name[0])
            continue;
        AddOwned(name, offset);
    }
    if (rows_.empty())
        AddMessage(kNoStreetsFound, MessageText(kNoStreetsFound).c_str());
}

void StreetList::LoadCrossStreets(CMapDatabase& database, uint8_t region, uint32_t firstName,
                                  int32_t cityId) {
    char name[kNameBufferSize];
    if (!g_linkInfo.IsOpen() || !g_namesFile.IsOpen() || ReadNamesBinString(firstName, name) <= 0 ||
        !name[0])
        return;
    LfoIndexFile index;
    std::vector<CrossStreet> crossing =
        ListCrossStreets(database, index, region, firstName, cityId, false, 0);
    std::stable_sort(crossing.begin(), crossing.end(),
                     [](const CrossStreet& a, const CrossStreet& b) {
                         return CompareNoCase(a.text.c_str(), b.text.c_str(), -1) < 0;
                     });
    std::set<std::string> seen;
    for (const CrossStreet& street : crossing) {
        if (rows_.size() >= kMaxCrossStreetRows)
            break;
        if (street.nameId != firstName && seen.insert(street.text).second)
            AddOwned(street.text, street.nameId);
    }
    if (rows_.empty())
        AddMessage(kNoIntersectionFound, MessageText(kNoIntersectionFound).c_str());
}

int StreetList::GetSelectedName(const char* row, StreetRecord& out) const {
    out.nameOffset = kNoNameReference;
    const uint32_t wanted = GetRowNameOffset(row);
    for (const ni::StreetItem& street : table_) {
        if (street.name == wanted) {
            out = {street.name, street.lowest, street.highest};
            return 0;
        }
    }
    return 1;
}

int GetSelectedStreet(const char* row, const CitySelection* city, uint8_t region, bool nameOnly,
                      StreetRecord& out) {
    out = {0, kNoRangeLowest, kNoRangeLowest};
    const uint32_t nameOffset = GetRowNameOffset(row);
    if (!row || nameOffset == kNoNameReference)
        return 1;
    int32_t low = kUnsearchedLowest;
    int32_t high = kUnsearchedHighest;
    if (!nameOnly && city && g_linkInfo.IsOpen() && g_linkInfo.Seek(region) == 0) {
        int32_t cityId = static_cast<int32_t>(city->fileOffset);
        if (cityId == 0)
            cityId = g_areaZones.FindPlace(city->displayName, region);
        uint32_t count = 0;
        const int32_t first = row[0] ? g_linkInfo.FindLetterPair(row[0], row[1], &count) : -1;
        if (first >= 0 && count >= kLargeBucketRecords) {
            low = 1;
            high = kLargeBucketHighest;
        } else if (first >= 0) {
            int32_t offset = first;
            for (uint32_t k = 0; k < count; ++k) {
                LinkInfoRecord record;
                if (g_linkInfo.ReadRecord(offset, record, true) != 0 || !SkipRemainingItems(record))
                    break;
                offset = g_linkInfo.File().Tell();
                if (record.ItemCount() < 1 || !record.HasPlace(cityId))
                    continue;
                if (record.firstItem.name == nameOffset)
                    Widen(record, low, high);
                else if (record.firstItem.name > nameOffset)
                    break;
            }
            LfoIndexFile index;
            if (index.Open(region, nameOffset, -1) == 0) {
                while (const uint32_t position = index.NextRecord()) {
                    LinkInfoRecord record;
                    NameItem items[li::kMaxNameItems];
                    int itemsRead = 0;
                    if (!ReadWithItems(static_cast<int32_t>(position), record, items, itemsRead))
                        continue;
                    if (!record.HasPlace(cityId))
                        continue;
                    for (int i = 0; i < itemsRead; ++i) {
                        if (items[i].name == nameOffset && (items[i].flags & li::kItemHouseNumbers))
                            Widen(record, low, high);
                    }
                }
                index.Close();
            }
        }
    }
    out = {nameOffset, low, high};
    return nameOffset != 0 ? 0 : 1;
}

uint32_t CountStreetRecords(uint8_t region, uint32_t nameOffset) {
    char name[kNameBufferSize];
    if (!g_linkInfo.IsOpen() || ReadNamesBinString(nameOffset, name) <= 0 || !name[0] ||
        g_linkInfo.Seek(region) != 0)
        return 0;
    uint32_t count = 0;
    int32_t offset = g_linkInfo.FindLetterPair(name[0], name[1], &count);
    uint32_t matching = 0;
    for (uint32_t k = 0; offset >= 0 && k < count; ++k) {
        LinkInfoRecord record;
        if (g_linkInfo.ReadRecord(offset, record, true) != 0 || !SkipRemainingItems(record))
            break;
        offset = g_linkInfo.File().Tell();
        const bool match = record.ItemCount() >= 1 && record.firstItem.name == nameOffset;
        if (match)
            ++matching;
        else if (matching > 0)
            break;
    }
    return matching;
}
