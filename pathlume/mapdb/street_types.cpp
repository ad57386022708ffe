#include "pathlume/mapdb/street_types.h"

#include <cstring>

#include "formats/street_types.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/data_file.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/heap.h"
#include "pathlume/mapdb/geodesy.h"
#include "pathlume/mapdb/index_file_io.h"
#include "pathlume/mapdb/mapdb_memory.h"

StreetTypeFile g_streetTypes;

namespace {
namespace st = formats::street_types;
}

int StreetTypeFile::Load() {
    CDataFile file;
    if (file.OpenInFolder(g_dataFolder, u"sttypes.bin", kDataFileRead, nullptr) != 0)
        return 0;
    Free();
    uint32_t count = 0;
    if (CheckDataFileHeader(file, st::kMagic, u"sttypes.bin") != 0)
        return 1;
    const uint32_t textSize = file.Size() > static_cast<int>(st::kHeadSize)
                                  ? static_cast<uint32_t>(file.Size()) - st::kHeadSize
                                  : 0;
    // Codes have nine bits, and every name takes at least its NUL: a larger count
    // cannot be right (and N + 1 must not wrap).
    if (!index_io::ReadU32(file, count) || count > st::kMaxTypeCode || count > textSize) {
        ShowInvalidDataFile(u"sttypes.bin");
        return 1;
    }
    // A leading NUL (code 0) and a closing one, so that a last name without its
    // NUL still ends inside the block.
    char* text = static_cast<char*>(mapdb::TryAlloc(textSize + 2));
    if (!text)
        return 2;
    text[0] = '\0';
    text[textSize + 1] = '\0';
    if (file.Read(text + 1, static_cast<int>(textSize)) != static_cast<int>(textSize)) {
        mapdb::FreeBlock(text);
        return 3;
    }
    // The N names, each ended by its NUL within the file: a file cut short would
    // leave streets without their types.
    std::vector<const char*> names(size_t{count} + 1, text);
    const char* end = text + textSize + 1;
    const char* at = text + 1;
    for (uint32_t code = 1; code <= count; ++code) {
        names[code] = at;
        at += at < end ? std::strlen(at) + 1 : 1;
    }
    if (at > end) {
        mapdb::FreeBlock(text);
        ShowInvalidDataFile(u"sttypes.bin");
        return 1;
    }
    text_ = text;
    names_ = std::move(names);
    count_ = count + 1;
    return 0;
}

void StreetTypeFile::Free() {
    mapdb::FreeBlock(text_);
    text_ = nullptr;
    names_.clear();
    count_ = 0;
}

int StreetTypeFile::FindCode(const char* name) const {
    for (uint32_t code = 0; code < count_; ++code) {
        if (CompareNoCase(names_[code], name, -1) == 0)
            return static_cast<int>(code);
    }
    return -1;
}

const char* StreetTypeFile::GetName(uint32_t code) const {
    if (code == 0 || code >= count_)
        return "";
    return names_[code];
}
