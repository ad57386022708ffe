#include "tools/discmaker/linkinfo_writer.h"

#include <algorithm>
#include <map>
#include <stdexcept>
#include <string>
#include <tuple>

#include "formats/link_info.h"
#include "platform/afx/afx_file.h"
#include "platform/kernel/paths.h"
#include "tools/discmaker/block_compressor.h"
#include "tools/discmaker/mapdata_writer.h"

namespace discmaker {

namespace li = formats::link_info;
namespace nm = formats::names;

namespace {

void Append32(std::vector<uint8_t>& out, uint32_t value) {
    uint8_t field[4];
    li::StoreU32(field, value);
    out.insert(out.end(), field, field + 4);
}

li::Parity ParityOf(Parity parity) {
    switch (parity) {
        case Parity::Even:
            return li::kParityEven;
        case Parity::Odd:
            return li::kParityOdd;
        case Parity::Mixed:
            return li::kParityBoth;
        case Parity::None:
            break;
    }
    return li::kParityNone;
}

// The letter pair a record is filed under: that of its first name; a link without
// a name counts as the empty name (pair 0). Every written name has a pair; a byte
// without a second-letter code would count as a blank.
int PairOfRecord(const li::Record& record, const NameTables& names) {
    if (record.items.empty()) {
        return nm::LetterPairOfName("");
    }
    const uint32_t number = record.items.front().name;
    const std::string_view text =
        number < names.names.size() ? std::string_view(names.names[number]) : std::string_view();
    const int pair = nm::LetterPairOfName(text);
    return pair >= 0 ? pair : nm::LetterPair(nm::FirstLetterCode(text.empty() ? '\0' : text[0]), 0);
}

// Where a link's record goes; the record itself is made again where it is
// written, so that the records of millions of links are never all held at once.
struct PlannedRecord {
    uint32_t link = kNone;
    int pair = 0;
    int64_t firstName = -1;  // -1: no name, sorted before the named records
};

li::Record BuildRecord(const Network& network, const NameTables& names, const AreaTables& areas,
                       uint32_t l, uint32_t cellWord) {
    const Link& link = network.links[l];
    li::Record record;

    record.cellWord = cellWord;

    // Only these kinds make a side's numbers usable for addresses on the device.
    const uint16_t leftKind = link.left.Empty() ? 0 : li::kLeftRangeKind;
    const uint16_t rightKind = link.right.Empty() ? 0 : li::kRightRangeKind;
    const uint32_t namePair = l < names.linkNamePair.size() ? names.linkNamePair[l] : kNone;
    record.addressWord = li::AddressWord(leftKind, ParityOf(link.left.parity), rightKind,
                                         ParityOf(link.right.parity), namePair != kNone);
    if (leftKind != 0) {
        record.left = {static_cast<int32_t>(link.left.first), static_cast<int32_t>(link.left.last)};
    }
    if (rightKind != 0) {
        record.right = {static_cast<int32_t>(link.right.first),
                        static_cast<int32_t>(link.right.last)};
    }
    record.leftPlace = areas.PlaceValue(link.leftArea);
    record.rightPlace = areas.PlaceValue(link.rightArea);
    record.leftAlternative = areas.PlaceValue(network.AlternativeOf(link.leftArea));
    record.rightAlternative = areas.PlaceValue(network.AlternativeOf(link.rightArea));
    if (namePair != kNone) {
        record.namePair = namePair;
    }

    if (l < names.linkNames.size()) {
        for (const LinkName& name : names.linkNames[l]) {
            if (record.items.size() == static_cast<size_t>(li::kMaxNameItems)) {
                break;
            }
            li::NameItem item;
            item.name = name.nameNumber;
            item.flags = static_cast<uint16_t>(
                (name.typeCode & li::kItemTypeMask) |
                (static_cast<uint16_t>(name.routeClass) & li::kItemRouteClassMask)
                    << li::kItemRouteClassShift |
                (name.houseNumbers ? li::kItemHouseNumbers : 0) |
                (name.primary ? li::kItemPrimary : 0) |
                (name.typeBeforeName ? li::kItemTypeBeforeName : 0));
            item.direction = name.directions;
            record.items.push_back(item);
        }
    }
    return record;
}

// The lowest and highest number a name item's record admits, for the name index:
// none for a name that does not carry the record's ranges.
li::LfoItem IndexItem(const li::Record& record, const li::NameItem& item, uint32_t recordNumber) {
    li::LfoItem index;
    index.record = recordNumber;
    if (!(item.flags & li::kItemHouseNumbers)) {
        return index;
    }
    bool any = false;
    int32_t low = 0;
    int32_t high = 0;
    auto take = [&](const li::HouseRange& range) {
        const int32_t lo = std::min(range.from, range.to);
        const int32_t hi = std::max(range.from, range.to);
        low = any ? std::min(low, lo) : lo;
        high = any ? std::max(high, hi) : hi;
        any = true;
    };
    if (record.addressWord & li::kLeftKindMask)
        take(record.left);
    if (record.addressWord & li::kRightKindMask)
        take(record.right);
    if (any) {
        index.low = low;
        index.high = high;
    }
    return index;
}

// Writes `bytes` at the file's position as one compressed block.
void WriteBlock(CFile& file, const std::vector<uint8_t>& bytes) {
    const std::vector<uint8_t> block =
        CompressBlock(bytes.data(), bytes.size(), kDiscCompressionLevel);
    file.Write(block.data(), static_cast<UINT>(block.size()));
}

void Put(CFile& file, const std::vector<uint8_t>& bytes) {
    file.Write(bytes.data(), static_cast<UINT>(bytes.size()));
}

template <typename Body>
uint64_t WriteFile(const std::filesystem::path& path, Body body) {
    try {
        CFile file(platform::HostPathText(path).c_str(), CFile::modeCreate | CFile::modeReadWrite);
        body(file);
        const uint64_t size = file.GetLength();
        file.Close();
        return size;
    } catch (CException* error) {
        error->Delete();
        throw std::runtime_error("cannot write " + path.string());
    }
}

}  // namespace

LinkInfoTables WriteLinkInfoFiles(const Network& network, const DiscLayout& layout,
                                  const NameTables& names, const AreaTables& areas,
                                  const std::filesystem::path& disc1MapData) {
    const size_t entryCount = layout.entries.size();
    LinkInfoTables tables;
    tables.recordOfLink.assign(network.links.size(), kNone);
    tables.firstRecordOfEntry.resize(entryCount);
    tables.recordCountOfEntry.resize(entryCount);

    // Records of each entry, in the order the letter-pair table lists them; within
    // a pair by first name (the readers stop a pair's scan at a greater name),
    // then by link.
    std::vector<std::vector<PlannedRecord>> plans(entryCount);
    // The cell of the chunk that holds the link (or its from-node half, when it
    // crosses a cell border): the geocoder loads that cell to find the link.
    const std::vector<uint32_t> cellWords =
        entryCount > 0 ? LinkCellWords(network, layout) : std::vector<uint32_t>();
    for (uint32_t l = 0; l < network.links.size() && entryCount > 0; ++l) {
        uint32_t entry = layout.EntryOfLink(network, l);
        // A link in no state's area still needs a record, or the converters would
        // drop it from the map: it goes with the first entry.
        if (entry >= entryCount) {
            entry = 0;
        }
        PlannedRecord planned;
        planned.link = l;
        const li::Record record = BuildRecord(network, names, areas, l, cellWords[l]);
        planned.pair = PairOfRecord(record, names);
        if (!record.items.empty()) {
            planned.firstName = record.items.front().name;
        }
        plans[entry].push_back(std::move(planned));
    }
    const auto recordOf = [&](uint32_t l) {
        return BuildRecord(network, names, areas, l, cellWords[l]);
    };
    uint32_t recordNumber = 0;
    for (size_t e = 0; e < entryCount; ++e) {
        std::stable_sort(plans[e].begin(), plans[e].end(),
                         [](const PlannedRecord& a, const PlannedRecord& b) {
                             return std::tie(a.pair, a.firstName, a.link) <
                                    std::tie(b.pair, b.firstName, b.link);
                         });
        tables.firstRecordOfEntry[e] = recordNumber;
        tables.recordCountOfEntry[e] = static_cast<uint32_t>(plans[e].size());
        for (const PlannedRecord& planned : plans[e]) {
            tables.recordOfLink[planned.link] = recordNumber++;
            tables.linkOfRecord.push_back(planned.link);
        }
    }

    // ---- "linkinfo.raz" ----
    const std::filesystem::path linkInfoPath = disc1MapData / "linkinfo.raz";
    tables.bytesWritten += WriteFile(linkInfoPath, [&](CFile& file) {
        std::vector<uint8_t> head(li::kEntriesOffset + entryCount * li::kEntrySize, 0);
        std::copy(li::kLinkInfoMagic, li::kLinkInfoMagic + li::kMagicSize, head.begin());
        li::StoreU32(head.data() + li::kEntryCountOffset, static_cast<uint32_t>(entryCount));
        Put(file, head);
        // An entry's block is the letter-pair table, then the records. It is
        // deflated as its records are made, a region's records being too many to
        // hold raw: a first walk sizes the records for the table.
        std::vector<uint8_t> bytes;
        for (size_t e = 0; e < entryCount; ++e) {
            std::vector<li::PairEntry> pairs(li::kPairEntries);
            size_t at = li::kPairTableSize;
            for (const PlannedRecord& planned : plans[e]) {
                li::PairEntry& pair = pairs[planned.pair];
                if (pair.count++ == 0) {
                    pair.first = static_cast<uint32_t>(at);
                }
                bytes.clear();
                li::EncodeRecord(recordOf(planned.link), bytes);
                at += bytes.size();
            }
            BlockStream block(kDiscCompressionLevel);
            bytes.assign(li::kPairTableSize, 0);
            for (int p = 0; p < li::kPairEntries; ++p) {
                li::EncodePairEntry(pairs[p], bytes.data() + li::PairEntryOffset(p));
            }
            block.Append(bytes);
            for (const PlannedRecord& planned : plans[e]) {
                bytes.clear();
                li::EncodeRecord(recordOf(planned.link), bytes);
                block.Append(bytes);
            }
            const li::Entry entry{static_cast<uint32_t>(file.GetPosition()),
                                  tables.recordCountOfEntry[e]};
            li::EncodeEntry(entry, head.data() + li::EntryOffset(static_cast<uint32_t>(e)));
            Put(file, block.Finish());
        }
        file.SeekToBegin();
        Put(file, head);
    });

    // ---- "lfoidx.raz" ----
    // Per entry, each name that a record carries besides its first, with those
    // records: the letter pairs find a record by its first name, this index by the
    // others, so no record is found twice for one name.
    const std::filesystem::path lfoPath = disc1MapData / "lfoidx.raz";
    tables.bytesWritten += WriteFile(lfoPath, [&](CFile& file) {
        std::vector<uint8_t> head(li::kLfoEntriesOffset + entryCount * li::kLfoEntrySize, 0);
        std::copy(li::kLfoIndexMagic, li::kLfoIndexMagic + li::kMagicSize, head.begin());
        li::StoreU32(head.data() + li::kLfoCountOffset, static_cast<uint32_t>(entryCount));
        Put(file, head);
        for (size_t e = 0; e < entryCount; ++e) {
            std::map<uint32_t, std::vector<li::LfoItem>> lists;
            uint32_t number = tables.firstRecordOfEntry[e];
            for (const PlannedRecord& planned : plans[e]) {
                const li::Record record = recordOf(planned.link);
                const std::vector<li::NameItem>& items = record.items;
                for (size_t i = 1; i < items.size(); ++i) {
                    const bool earlier = std::any_of(
                        items.begin(), items.begin() + static_cast<std::ptrdiff_t>(i),
                        [&](const li::NameItem& other) { return other.name == items[i].name; });
                    if (!earlier) {
                        lists[items[i].name].push_back(IndexItem(record, items[i], number));
                    }
                }
                ++number;
            }
            li::LfoEntry entry;
            if (!lists.empty()) {
                entry.nameTable = static_cast<uint32_t>(file.GetPosition());
                entry.nameCount = static_cast<uint32_t>(lists.size());
                std::vector<uint8_t> table(lists.size() * li::kLfoNameSize, 0);
                Put(file, table);
                size_t at = 0;
                for (const auto& [name, items] : lists) {
                    li::EncodeLfoName({name, static_cast<uint32_t>(file.GetPosition())},
                                      table.data() + at);
                    at += li::kLfoNameSize;
                    std::vector<uint8_t> count;
                    Append32(count, static_cast<uint32_t>(items.size()));
                    Put(file, count);
                    std::vector<uint8_t> raw(items.size() * li::kLfoItemSize);
                    for (size_t i = 0; i < items.size(); ++i) {
                        li::EncodeLfoItem(items[i], raw.data() + i * li::kLfoItemSize);
                    }
                    if (items.size() > li::kMaxPlainListItems) {
                        WriteBlock(file, raw);
                    } else {
                        Put(file, raw);
                    }
                }
                const ULONGLONG end = file.GetPosition();
                file.Seek(static_cast<LONGLONG>(entry.nameTable), CFile::begin);
                Put(file, table);
                file.Seek(static_cast<LONGLONG>(end), CFile::begin);
            }
            li::EncodeLfoEntry(entry, head.data() + li::LfoEntryOffset(static_cast<uint32_t>(e)));
        }
        file.SetLength(file.GetPosition());
        file.SeekToBegin();
        Put(file, head);
    });
    return tables;
}

}  // namespace discmaker
