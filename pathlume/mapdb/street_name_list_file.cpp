#include "pathlume/mapdb/street_name_list_file.h"

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/mapdb/index_file_io.h"

namespace {
namespace ni = formats::name_index;
}

StreetNameListFile* StreetNameListFile::Open() {
    Close();
    if (file_.OpenInFolder(g_dataFolder, u"stnl.bin", kDataFileRead, nullptr) != 0)
        return nullptr;
    uint32_t count = 0;
    // The entry table must lie inside the file before it is allocated.
    if (CheckDataFileHeader(file_, ni::kStreetListMagic, u"stnl.bin") != 0 ||
        !index_io::ReadU32(file_, count) ||
        !index_io::FitsInFile(file_, ni::kStreetListEntriesOffset, count, ni::kStreetEntrySize)) {
        Close();
        return nullptr;
    }
    std::vector<uint8_t> table(size_t{count} * ni::kStreetEntrySize);
    if (file_.Read(table.data(), static_cast<int>(table.size())) !=
        static_cast<int>(table.size())) {
        Close();
        return nullptr;
    }
    entries_.resize(count);
    for (uint32_t i = 0; i < count; ++i)
        entries_[i] = ni::DecodeStreetEntry(table.data() + size_t{i} * ni::kStreetEntrySize);
    return this;
}

void StreetNameListFile::Close() {
    file_.Close();
    entries_.clear();
}

const formats::name_index::StreetEntry* StreetNameListFile::GetEntry(uint32_t i) const {
    return i < entries_.size() ? &entries_[i] : nullptr;
}

bool StreetNameListFile::ItemsFit(uint32_t i) const {
    const ni::StreetEntry* entry = GetEntry(i);
    return entry &&
           index_io::FitsInFile(file_, entry->itemsOffset, entry->count, ni::kStreetItemSize);
}

int StreetNameListFile::SeekEntry(uint32_t i) {
    const ni::StreetEntry* entry = GetEntry(i);
    return entry && entry->itemsOffset <= 0x7FFFFFFF &&
                   file_.Seek(static_cast<int>(entry->itemsOffset), 0) == 0
               ? 0
               : 1;
}

int StreetNameListFile::Read(formats::name_index::StreetItem* items, uint32_t n) {
    uint8_t bytes[ni::kStreetItemSize];
    for (uint32_t i = 0; i < n; ++i) {
        if (file_.Read(bytes, sizeof bytes) != sizeof bytes)
            return 1;
        items[i] = ni::DecodeStreetItem(bytes);
    }
    return 0;
}
