#include "mapferry/convert/link_info_files.h"

#include <algorithm>
#include <new>

#include "formats/compressed_block.h"
#include "formats/link_info.h"
#include "formats/map_container.h"
#include "mapferry/convert/compressed_block.h"
#include "mapferry/convert/file_services.h"

namespace li = formats::link_info;
namespace mc = formats::map_container;
using convert_io::Fits;
using convert_io::JoinFolder;
using convert_io::OutputFile;
using convert_io::SourceFile;

namespace {

// The smallest record: cell word, flags, address word and the left place.
constexpr uint64_t kMinRecordSize = li::kBaseSize + li::kPlaceSize;

// The bytes that follow a record's 8-byte base, from its flags and address word,
// read in the order of li::DecodeRecord.
size_t RecordTailSize(uint16_t flags, uint16_t addressWord) {
    size_t size = li::kPlaceSize;  // left place
    if (addressWord & li::kLeftKindMask) {
        size += li::kRangeSize;
    }
    if (addressWord & li::kRightKindMask) {
        size += li::kRangeSize;
    }
    if (!(flags & li::kFlagRightPlaceIsLeftPlace)) {
        size += li::kPlaceSize;
    }
    if ((flags & li::kFlagLeftAlt) && !(flags & li::kFlagLeftAltIsLeftPlace)) {
        size += li::kPlaceSize;
    }
    if ((flags & li::kFlagRightAlt) &&
        !(flags & (li::kFlagRightAltIsLeftAlt | li::kFlagRightAltIsRightPlace))) {
        size += li::kPlaceSize;
    }
    if (flags & li::kFlagLeftExtra) {
        size += li::kPlaceSize;
    }
    if ((flags & li::kFlagRightExtra) && !(flags & li::kFlagRightExtraIsLeftExtra)) {
        size += li::kPlaceSize;
    }
    if (addressWord & li::kHasNamePair) {
        size += li::kNamePairSize;
    }
    return size + (flags & li::kItemCountMask) * li::kNameItemSize;
}

// Reads the next record of an inflating block; false when the block ends or is
// damaged before the record does.
bool ReadRecord(CBlockStreamReader& reader, std::vector<uint8_t>& bytes, li::Record* record) {
    bytes.resize(li::kBaseSize);
    if (reader.Read(bytes.data(), li::kBaseSize) != 0) {
        return false;
    }
    const size_t tail = RecordTailSize(li::LoadU16(bytes.data() + li::kFlagsOffset),
                                       li::LoadU16(bytes.data() + li::kAddressWordOffset));
    bytes.resize(li::kBaseSize + tail);
    if (reader.Read(bytes.data() + li::kBaseSize, static_cast<DWORD>(tail)) != 0) {
        return false;
    }
    return li::DecodeRecord(bytes.data(), bytes.size(), *record) == bytes.size();
}

// A record's cell in its layer's source grid, and where it lies in the cut's
// output window of that layer; false when the window cannot hold it.
struct CellPlace {
    int layer = 0;
    int32_t column = 0;
    int32_t row = 0;
    uint32_t outputWord = 0;
};

bool PlaceCell(uint32_t cellWord, const SourceGrids& grids, const CMapCut& cut, CellPlace* place) {
    place->layer = (cellWord & li::kDetailedCell) ? 1 : 0;
    const SourceGrid& grid = grids[place->layer];
    const uint32_t index = cellWord & li::kCellIndexMask;
    if (grid.columns <= 0 || grid.rows <= 0) {
        return false;
    }
    place->column = static_cast<int32_t>(index % static_cast<uint32_t>(grid.columns));
    place->row = static_cast<int32_t>(index / static_cast<uint32_t>(grid.columns));
    if (place->row >= grid.rows) {
        return false;
    }
    const CutWindow& window = cut.m_window[place->layer];
    const int64_t column = int64_t{place->column} - window.firstColumn;
    const int64_t row = int64_t{place->row} - window.firstRow;
    if (column < 0 || column >= window.columnCount || row < 0 || row >= window.rowCount) {
        return false;
    }
    const uint64_t output = static_cast<uint64_t>(column + row * window.columnCount);
    if (output > li::kCellIndexMask) {
        return false;
    }
    place->outputWord = (cellWord & li::kDetailedCell) | static_cast<uint32_t>(output);
    return true;
}

void FoldHouseNumbers(KeptLinkNames& kept, uint32_t name, const li::Record& record) {
    auto fold = [&](const li::HouseRange& range) {
        const int32_t low = std::min(range.from, range.to);
        const int32_t high = std::max(range.from, range.to);
        if (kept.lowest[name] == kNoHouseNumberYet && kept.highest[name] == kNoHouseNumberYet) {
            kept.lowest[name] = low;
            kept.highest[name] = high;
        } else {
            kept.lowest[name] = std::min(kept.lowest[name], low);
            kept.highest[name] = std::max(kept.highest[name], high);
        }
    };
    if (li::LeftKind(record.addressWord) != 0) {
        fold(record.left);
    }
    if (li::RightKind(record.addressWord) != 0) {
        fold(record.right);
    }
}

}  // namespace

bool ReadSourceGrids(LPCWSTR sourceFolder, SourceGrids* grids) {
    const char16_t* names[2] = {u"mapdata1.raz", u"mapdata21.raz"};
    for (int layer = 0; layer < 2; ++layer) {
        SourceFile file;
        uint8_t header[mc::kHeaderSize];
        if (!file.Open(JoinFolder(sourceFolder, names[layer])) ||
            !file.Read(header, sizeof header) ||
            !std::equal(mc::kMagic, mc::kMagic + mc::kMagicSize, header)) {
            return false;
        }
        const mc::GridHeader grid = mc::DecodeHeader(header);
        (*grids)[layer] = {grid.columns, grid.rows};
    }
    return true;
}

// ---- "linkinfo.bin" ----------------------------------------------------------------

void CLinkInfoConverter::ReadSource(LPCWSTR sourceFolder) {
    m_index.clear();
    m_entryCount = 0;
    if (!m_source.Open(JoinFolder(sourceFolder, u"linkinfo.raz"))) {
        return;
    }
    m_source.CheckMagic(li::kLinkInfoMagic);
    if (!m_source.ReadU32(&m_entryCount) ||
        !Fits(li::kEntriesOffset, m_entryCount, li::kEntrySize, m_source.Length())) {
        convert_io::Fail(kLinkInfoWhollyReadLine);
    }
    m_index.resize(size_t{m_entryCount} * li::kEntrySize);
    if (!m_source.Read(m_index.data(), m_index.size())) {
        convert_io::Fail(kLinkInfoWhollyReadLine);
    }
}

int CLinkInfoConverter::Write(LPCWSTR /*sourceFolder*/, LPCWSTR temporaryFolder,
                              const NameOffsetTable& names, const PlaceOffsetTable& places,
                              const SourceGrids& grids, CLsrConverter& namePairs) {
    if (!m_source.IsOpen()) {
        return 1;
    }
    // Records are numbered over the whole file, entry by entry. A count no block of
    // this file could hold is damage, caught before the table is made for it.
    std::vector<uint32_t> firstRecord(m_entryCount);
    uint64_t total = 0;
    for (uint32_t e = 0; e < m_entryCount; ++e) {
        firstRecord[e] = static_cast<uint32_t>(total);
        total += li::DecodeEntry(m_index.data() + e * li::kEntrySize).recordCount;
    }
    const uint64_t mostRecords =
        m_source.Length() * formats::compressed_block::kMaxRatio / kMinRecordSize;
    if (total > mostRecords || total > li::kCellIndexMask) {
        convert_io::Fail(kLinkInfoAllocationLine);
    }
    try {
        m_offsets.assign(static_cast<size_t>(total), kNotRenumbered);
        m_usedPlaces.assign(places.size(), 0);
        m_keptNames.used.assign(names.size(), 0);
        m_keptNames.lowest.assign(names.size(), kNoHouseNumberYet);
        m_keptNames.highest.assign(names.size(), kNoHouseNumberYet);
    } catch (const std::bad_alloc&) {
        convert_io::Fail(kLinkInfoAllocationLine);
    }

    OutputFile out(temporaryFolder);
    if (!out.Create(JoinFolder(temporaryFolder, u"linkinfo.bin"))) {
        convert_io::Fail(kLinkInfoCreateLine);
    }
    const uint32_t chosen = static_cast<uint32_t>(m_cut.ChosenCount());
    std::vector<uint8_t> head(li::kEntriesOffset + size_t{chosen} * li::kEntrySize);
    std::copy(li::kLinkInfoMagic, li::kLinkInfoMagic + li::kMagicSize, head.begin());
    li::StoreU32(head.data() + li::kEntryCountOffset, chosen);
    for (uint32_t i = 0; i < chosen; ++i) {
        const uint32_t entry = m_cut.ChosenEntry(static_cast<int>(i));
        if (entry >= m_entryCount) {
            convert_io::Fail(kLinkInfoBlockLine);
        }
        std::copy_n(m_index.begin() + size_t{entry} * li::kEntrySize, li::kEntrySize,
                    head.begin() + li::EntryOffset(i));
    }
    out.Write(head);

    std::vector<uint8_t> pairTable(li::kPairTableSize);
    std::vector<uint8_t> recordBytes;
    std::vector<uint8_t> encoded;
    for (uint32_t i = 0; i < chosen; ++i) {
        const uint32_t entry = m_cut.ChosenEntry(static_cast<int>(i));
        const bool wholly = m_cut.IsWhollyChosen(static_cast<int>(i));
        const int readLine = wholly ? kLinkInfoWhollyReadLine : kLinkInfoPartlyReadLine;
        const li::Entry source = li::DecodeEntry(m_index.data() + size_t{entry} * li::kEntrySize);

        CFile* stream = m_source.StreamAt(source.blockOffset);
        if (!stream) {
            convert_io::Fail(kLinkInfoBlockLine);
        }
        CBlockStreamReader reader(stream);
        if (reader.Begin() != 0) {
            convert_io::Fail(kLinkInfoBlockLine);
        }
        if (reader.Read(pairTable.data(), static_cast<DWORD>(pairTable.size())) != 0) {
            convert_io::Fail(readLine);
        }
        uint64_t counted = 0;
        for (int p = 0; p < li::kPairEntries; ++p) {
            counted += li::DecodePairEntry(pairTable.data() + li::PairEntryOffset(p)).count;
        }
        if (counted != source.recordCount) {
            convert_io::Fail(readLine);
        }
        const uint32_t blockOffset = static_cast<uint32_t>(out.Position());
        out.Write(pairTable);

        uint32_t number = firstRecord[entry];
        uint32_t kept = 0;
        for (int p = 0; p < li::kPairEntries; ++p) {
            const uint32_t count =
                li::DecodePairEntry(pairTable.data() + li::PairEntryOffset(p)).count;
            li::PairEntry written;
            for (uint32_t k = 0; k < count; ++k, ++number) {
                if (convert_io::Cancelled(m_pCancel)) {
                    return convert_io::kConvertCancelled;
                }
                li::Record record;
                if (!ReadRecord(reader, recordBytes, &record)) {
                    convert_io::Fail(readLine);
                }
                // A record whose cell the output grid cannot hold has no link in the
                // installed map, and its cell word could not be written truly.
                CellPlace cell;
                if (!PlaceCell(record.cellWord, grids, m_cut, &cell) ||
                    (!wholly && !m_cut.ContainsCell(cell.layer, cell.column, cell.row))) {
                    continue;
                }
                if (!wholly) {
                    for (const li::NameItem& item : record.items) {
                        if (item.name >= names.size()) {
                            continue;
                        }
                        m_keptNames.used[item.name] = 1;
                        if (item.flags & li::kItemHouseNumbers) {
                            FoldHouseNumbers(m_keptNames, item.name, record);
                        }
                    }
                }
                int32_t* placeFields[] = {&record.leftPlace,       &record.rightPlace,
                                          &record.leftAlternative, &record.rightAlternative,
                                          &record.leftExtra,       &record.rightExtra};
                for (int32_t* value : placeFields) {
                    if (*value == li::kNone) {
                        continue;
                    }
                    const uint32_t place = static_cast<uint32_t>(*value);
                    const uint32_t offset = place < places.size() ? places[place] : kNotRenumbered;
                    if (offset != kNotRenumbered) {
                        m_usedPlaces[place] = 1;
                    }
                    *value = static_cast<int32_t>(offset);
                }
                if (record.leftPlace == li::kNone) {
                    record.leftPlace = record.rightPlace;
                } else if (record.rightPlace == li::kNone) {
                    record.rightPlace = record.leftPlace;
                }
                for (li::NameItem& item : record.items) {
                    item.name = NameOffsetOf(names, item.name);
                }
                record.cellWord = cell.outputWord;
                if (record.addressWord & li::kHasNamePair) {
                    record.namePair = namePairs.AddRecord(record.namePair);
                }

                const uint32_t offset = static_cast<uint32_t>(out.Position());
                if (written.count++ == 0) {
                    written.first = offset;
                }
                encoded.clear();
                li::EncodeRecord(record, encoded);
                out.Write(encoded);
                m_offsets[number] = offset;
                ++kept;
            }
            li::EncodePairEntry(written, pairTable.data() + li::PairEntryOffset(p));
        }
        out.WriteAt(blockOffset, pairTable);
        li::EncodeEntry({blockOffset, kept}, head.data() + li::EntryOffset(i));
    }
    out.WriteAt(0, head);
    out.Close();
    return 0;
}

// ---- "lfoidx.bin" ------------------------------------------------------------------

void CLfoIdxConverter::ReadSource(LPCWSTR sourceFolder) {
    m_index.clear();
    m_entryCount = 0;
    if (!m_source.Open(JoinFolder(sourceFolder, u"lfoidx.raz"))) {
        convert_io::Fail(kLfoSourceLine);
    }
    m_source.CheckMagic(li::kLfoIndexMagic);
    if (!m_source.ReadU32(&m_entryCount) ||
        !Fits(li::kLfoEntriesOffset, m_entryCount, li::kLfoEntrySize, m_source.Length())) {
        convert_io::Fail(kLfoIndexReadLine);
    }
    m_index.resize(size_t{m_entryCount} * li::kLfoEntrySize);
    if (!m_source.Read(m_index.data(), m_index.size())) {
        convert_io::Fail(kLfoIndexReadLine);
    }
}

namespace {

struct KeptList {
    uint32_t name = 0;
    std::vector<li::LfoItem> items;
};

// Reads the source list at `offset` (plain up to 3 items, else its items as one
// compressed block) and keeps the items whose record was kept, renumbered.
void ReadList(SourceFile& source, uint32_t offset, const LinkInfoOffsetTable& records,
              CBlockReader& block, std::vector<li::LfoItem>* kept) {
    uint32_t count = 0;
    if (!source.Seek(offset) || !source.ReadU32(&count)) {
        convert_io::Fail(kLfoListReadLine);
    }
    std::vector<uint8_t> raw;
    const uint8_t* items = nullptr;
    if (count <= li::kMaxPlainListItems) {
        raw.resize(size_t{count} * li::kLfoItemSize);
        if (!source.Read(raw.data(), raw.size())) {
            convert_io::Fail(kLfoListReadLine);
        }
        items = raw.data();
    } else {
        CFile* stream = source.StreamAt(uint64_t{offset} + li::kListCountSize);
        block.SetSource(stream);
        if (!stream || block.ReadBlock() != 0 ||
            block.GetRawSize() != uint64_t{count} * li::kLfoItemSize) {
            convert_io::Fail(kLfoBlockReadLine);
        }
        items = block.GetData();
    }
    kept->clear();
    for (uint32_t k = 0; k < count; ++k) {
        li::LfoItem item = li::DecodeLfoItem(items + size_t{k} * li::kLfoItemSize);
        item.record = LinkInfoOffsetOf(records, item.record);
        if (item.record != kNotRenumbered) {
            kept->push_back(item);
        }
    }
}

}  // namespace

int CLfoIdxConverter::Write(LPCWSTR /*sourceFolder*/, LPCWSTR temporaryFolder,
                            const LinkInfoOffsetTable& records, const NameOffsetTable& names) {
    if (!m_source.IsOpen()) {
        convert_io::Fail(kLfoSourceLine);
    }
    OutputFile out(temporaryFolder);
    if (!out.Create(JoinFolder(temporaryFolder, u"lfoidx.bin"))) {
        convert_io::Fail(kLfoCreateLine);
    }
    const uint32_t chosen = static_cast<uint32_t>(m_cut.ChosenCount());
    std::vector<uint8_t> head(li::kLfoEntriesOffset + size_t{chosen} * li::kLfoEntrySize, 0);
    std::copy(li::kLfoIndexMagic, li::kLfoIndexMagic + li::kMagicSize, head.begin());
    li::StoreU32(head.data() + li::kLfoCountOffset, chosen);
    out.Write(head);

    std::vector<uint8_t> table;
    std::vector<KeptList> lists;
    CBlockReader block;  // its buffer serves every long list
    for (uint32_t i = 0; i < chosen; ++i) {
        if (convert_io::Cancelled(m_pCancel)) {
            return convert_io::kConvertCancelled;
        }
        const uint32_t entry = m_cut.ChosenEntry(static_cast<int>(i));
        if (entry >= m_entryCount) {
            convert_io::Fail(kLfoIndexReadLine);
        }
        const li::LfoEntry source =
            li::DecodeLfoEntry(m_index.data() + size_t{entry} * li::kLfoEntrySize);
        li::LfoEntry written;  // -1 and 0: no kept name
        lists.clear();
        if (source.nameTable != static_cast<uint32_t>(li::kNone) && source.nameCount > 0) {
            if (!Fits(source.nameTable, source.nameCount, li::kLfoNameSize, m_source.Length())) {
                convert_io::Fail(kLfoIndexReadLine);
            }
            try {
                table.resize(size_t{source.nameCount} * li::kLfoNameSize);
            } catch (const std::bad_alloc&) {
                convert_io::Fail(kLfoAllocationLine);
            }
            if (!m_source.Seek(source.nameTable) || !m_source.Read(table.data(), table.size())) {
                convert_io::Fail(kLfoIndexReadLine);
            }
            KeptList list;
            for (uint32_t k = 0; k < source.nameCount; ++k) {
                const li::LfoName name = li::DecodeLfoName(table.data() + k * li::kLfoNameSize);
                ReadList(m_source, name.list, records, block, &list.items);
                if (!list.items.empty()) {
                    list.name = NameOffsetOf(names, name.name);
                    lists.push_back(std::move(list));
                    list = KeptList();
                }
            }
        }
        if (!lists.empty()) {
            written.nameTable = static_cast<uint32_t>(out.Position());
            written.nameCount = static_cast<uint32_t>(lists.size());
            table.assign(lists.size() * li::kLfoNameSize, 0);
            uint64_t listOffset = out.Position() + table.size();
            for (size_t k = 0; k < lists.size(); ++k) {
                li::EncodeLfoName({lists[k].name, static_cast<uint32_t>(listOffset)},
                                  table.data() + k * li::kLfoNameSize);
                listOffset += li::kListCountSize + lists[k].items.size() * li::kLfoItemSize;
            }
            out.Write(table);
            uint8_t item[li::kLfoItemSize];
            for (const KeptList& list : lists) {
                out.WriteU32(static_cast<uint32_t>(list.items.size()));
                for (const li::LfoItem& kept : list.items) {
                    li::EncodeLfoItem(kept, item);
                    out.Write(item, sizeof item);
                }
            }
        }
        li::EncodeLfoEntry(written, head.data() + li::LfoEntryOffset(i));
    }
    out.WriteAt(0, head);
    out.Close();
    return 0;
}
