#include "pathlume/mapdb/lfo_index_file.h"

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/mapdb/index_file_io.h"

namespace {
namespace li = formats::link_info;
}

int LfoIndexFile::OpenArea(uint32_t area) {
    Close();
    if (file_.OpenInFolder(g_dataFolder, u"lfoidx.bin", kDataFileRead | kDataFileMapped, nullptr) !=
        0)
        return 1;
    uint32_t count = 0;
    uint8_t bytes[li::kLfoEntrySize];
    if (CheckDataFileHeader(file_, li::kLfoIndexMagic, u"lfoidx.bin") != 0 ||
        !index_io::ReadU32(file_, count) || area >= count ||
        !index_io::ReadAt(file_, li::LfoEntryOffset(area), bytes, sizeof bytes)) {
        Close();
        return 1;
    }
    entry_ = li::DecodeLfoEntry(bytes);
    // An area's name table must lie inside the file.
    if (entry_.nameCount != 0 &&
        !index_io::FitsInFile(file_, entry_.nameTable, entry_.nameCount, li::kLfoNameSize)) {
        Close();
        return 1;
    }
    return 0;
}

int LfoIndexFile::ReadNamePair(uint32_t i, formats::link_info::LfoName& pair) {
    uint8_t bytes[li::kLfoNameSize];
    if (i >= entry_.nameCount ||
        !index_io::ReadAt(file_, int64_t{entry_.nameTable} + int64_t{li::kLfoNameSize} * i, bytes,
                          sizeof bytes))
        return 1;
    pair = li::DecodeLfoName(bytes);
    return 0;
}

int LfoIndexFile::OpenList(uint32_t offset, int32_t houseNumber) {
    uint32_t length = 0;
    listLength_ = 0;
    recordsRead_ = 0;
    if (!index_io::ReadU32At(file_, offset, length) || length == 0 ||
        !index_io::FitsInFile(file_, uint64_t{offset} + li::kListCountSize, length,
                              li::kLfoItemSize))
        return 1;
    listLength_ = length;
    houseNumber_ = houseNumber;
    return 0;
}

int LfoIndexFile::Open(uint32_t area, uint32_t nameId, int32_t houseNumber) {
    if (OpenArea(area) != 0)
        return 1;
    li::LfoName pair;
    for (uint32_t i = 0; ReadNamePair(i, pair) == 0; ++i) {
        if (static_cast<int32_t>(pair.name) == static_cast<int32_t>(nameId)) {
            if (OpenList(pair.list, houseNumber) == 0)
                return 0;
            break;
        }
        // The table is sorted by name: a greater key ends the search.
        if (static_cast<int32_t>(pair.name) > static_cast<int32_t>(nameId))
            break;
    }
    Close();
    return 1;
}

uint32_t LfoIndexFile::NextRecord() {
    uint8_t bytes[li::kLfoItemSize];
    while (recordsRead_ < listLength_) {
        if (file_.Read(bytes, sizeof bytes) != sizeof bytes)
            return 0;
        ++recordsRead_;
        item_ = li::DecodeLfoItem(bytes);
        const int32_t value = static_cast<int32_t>(item_.record);
        const int32_t n = houseNumber_;
        if (value > 0 && (n < 0 || (item_.low <= n && n <= item_.high) ||
                          (item_.low == li::kAnyHouseNumber && item_.high != 0)))
            return item_.record;
    }
    return 0;
}

void LfoIndexFile::Close() {
    file_.Close();
    entry_ = {};
    listLength_ = 0;
    recordsRead_ = 0;
}
