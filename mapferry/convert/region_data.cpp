#include "mapferry/convert/region_data.h"

#include "mapferry/convert/file_services.h"

namespace sd = formats::source_disc;

namespace {

bool ValidGridIndex(int32_t value) {
    return value >= 0 && value < sd::kGridLimit;
}

}  // namespace

void CRegionData::Clear() {
    m_records.clear();
    m_loaded = false;
}

int CRegionData::Load(int layer, LPCWSTR folder, int32_t columns, int32_t rows) {
    Clear();
    if (layer < 0 || layer >= sd::kLayerCount) {
        return 1;
    }
    std::u16string path = folder ? folder : u"";
    if (!path.empty() && path.back() != u'\\' && path.back() != u'/') {
        path += path.front() == u'/' ? u'/' : u'\\';
    }
    path += sd::kRegionDataFiles[layer];
    std::vector<uint8_t> bytes;
    if (!ReadLocalFile(path.c_str(), kMaxFileSize, &bytes) ||
        bytes.size() < sd::kRegionRecordsOffset) {
        return 1;
    }
    const size_t fileSize = bytes.size();
    const uint32_t count = sd::LoadU32(bytes.data() + sd::kRegionCountOffset);
    if (count > (fileSize - sd::kRegionRecordsOffset) / sd::kRegionRecordSize) {
        return 1;
    }
    size_t spanOffset = sd::kRegionRecordsOffset + size_t{count} * sd::kRegionRecordSize;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* head =
            bytes.data() + sd::kRegionRecordsOffset + size_t{i} * sd::kRegionRecordSize;
        RegionDataRecord record;
        record.spanCount = sd::LoadU32(head + sd::kRecordSpanCountOffset);
        record.entryKey = sd::LoadU32(head + sd::kRecordEntryKeyOffset);
        for (int b = 0; b < sd::kRecordBoundsCount; ++b) {
            record.bounds[b] = sd::LoadI32(head + sd::kRecordBoundsOffset + 4 * b);
        }
        uint32_t listCount = sd::LoadU32(head + sd::kRecordListCountOffset);
        if (listCount > sd::kMaxListEntries) {
            return 1;
        }
        for (uint32_t k = 0; k < listCount; ++k) {
            uint32_t entry = sd::LoadU32(head + sd::kRecordListEntriesOffset + 4 * k);
            if (entry & 0x80000000u) {
                return 1;  // bit 31 marks a partly chosen entry in the cut
            }
            record.listEntries.push_back(entry);
        }
        if (record.spanCount > (fileSize - spanOffset) / sd::kSpanItemSize) {
            return 1;
        }
        const uint8_t* item = bytes.data() + spanOffset;
        spanOffset += size_t{record.spanCount} * sd::kSpanItemSize;
        if (record.Usable()) {
            record.spans.reserve(record.spanCount);
            for (uint32_t s = 0; s < record.spanCount; ++s, item += sd::kSpanItemSize) {
                RegionSpanItem span{sd::LoadI32(item + sd::kSpanRowOffset),
                                    sd::LoadI32(item + sd::kSpanFirstColumnOffset),
                                    sd::LoadI32(item + sd::kSpanLastColumnOffset)};
                // A span beyond the grid would cut a window of cells no map has.
                if (!ValidGridIndex(span.row) || !ValidGridIndex(span.firstColumn) ||
                    !ValidGridIndex(span.lastColumn) || span.lastColumn < span.firstColumn ||
                    span.row >= rows || span.lastColumn >= columns) {
                    return 1;
                }
                record.spans.push_back(span);
            }
        }
        m_records.push_back(std::move(record));
    }
    m_loaded = true;
    return 0;
}

const RegionDataRecord* CRegionData::FindRecord(uint32_t entryKey) const {
    for (const RegionDataRecord& record : m_records) {
        if (record.entryKey == entryKey) {
            return &record;
        }
    }
    return nullptr;
}

CRegionData& RegionData(int layer) {
    static CRegionData tables[sd::kLayerCount];
    return tables[layer < 0 || layer >= sd::kLayerCount ? 0 : layer];
}
