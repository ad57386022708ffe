#include "pathlume/mapdb/link_info_file.h"

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/mapdb/geometry.h"
#include "pathlume/mapdb/index_file_io.h"

LinkInfoFile g_linkInfo;

namespace {
namespace li = formats::link_info;
namespace names = formats::names;

// The longest record before its name items: two ranges, six places, a name pair.
constexpr size_t kMaxFieldsSize =
    li::kBaseSize + 2 * li::kRangeSize + 6 * li::kPlaceSize + li::kNamePairSize;
}  // namespace

LinkInfoFile* LinkInfoFile::Open() {
    Close();
    if (file_.OpenInFolder(g_dataFolder, u"linkinfo.bin", kDataFileRead | kDataFileMapped,
                           nullptr) != 0)
        return nullptr;
    uint8_t countBytes[4];
    if (CheckDataFileHeader(file_, li::kLinkInfoMagic, u"linkinfo.bin") != 0 ||
        file_.Read(countBytes, 4) != 4) {
        Close();
        return nullptr;
    }
    // The area table must lie inside the file before it is allocated.
    const uint32_t count = formats::LoadU32(countBytes);
    if (!index_io::FitsInFile(file_, li::kEntriesOffset, count, li::kEntrySize)) {
        Close();
        return nullptr;
    }
    std::vector<uint8_t> table(size_t{count} * li::kEntrySize);
    if (file_.Read(table.data(), static_cast<int>(table.size())) !=
        static_cast<int>(table.size())) {
        Close();
        return nullptr;
    }
    areas_.resize(count);
    for (size_t i = 0; i < areas_.size(); ++i)
        areas_[i] = li::DecodeEntry(table.data() + i * li::kEntrySize);
    currentArea_ = 0;
    return this;
}

void LinkInfoFile::Close() {
    file_.Close();
    areas_.clear();
    currentArea_ = 0;
}

int LinkInfoFile::Seek(uint32_t area) {
    if (area >= areas_.size())
        return 1;
    currentArea_ = area;
    return 0;
}

int32_t LinkInfoFile::FindLetterPair(char c1, char c2, uint32_t* count) {
    const int first = names::FirstLetterCode(static_cast<char>(FoldAccentedChar(c1)));
    const int second = names::SecondLetterCode(static_cast<char>(FoldAccentedChar(c2)));
    if (second < 0 || currentArea_ >= areas_.size())
        return -1;
    const uint64_t at = static_cast<uint64_t>(areas_[currentArea_].blockOffset) +
                        li::PairEntryOffset(names::LetterPair(first, second));
    uint8_t bytes[li::kPairEntrySize];
    if (at > 0x7FFFFFFF || file_.Seek(static_cast<int>(at), 0) != 0 ||
        file_.Read(bytes, sizeof bytes) != sizeof bytes)
        return -1;
    const li::PairEntry entry = li::DecodePairEntry(bytes);
    if (entry.count == 0)
        return -1;
    if (count)
        *count = entry.count;
    return static_cast<int32_t>(entry.first);
}

int LinkInfoFile::ReadRecord(int32_t offset, LinkInfoRecord& record, bool withItem) {
    if (offset != -1 && (offset < 0 || file_.Seek(offset, 0) != 0))
        return 1;
    uint8_t bytes[kMaxFieldsSize];
    if (file_.Read(bytes, li::kBaseSize) != static_cast<int>(li::kBaseSize))
        return 1;
    const size_t rest = li::StoredFieldsSize(formats::LoadU16(bytes + li::kFlagsOffset),
                                             formats::LoadU16(bytes + li::kAddressWordOffset));
    if (file_.Read(bytes + li::kBaseSize, static_cast<int>(rest)) != static_cast<int>(rest))
        return 1;
    uint16_t flags = 0;
    if (li::DecodeRecordFields(bytes, li::kBaseSize + rest, record, flags) == 0)
        return 1;
    record.flags = flags & li::kItemCountMask;
    record.firstItem = NameItem{};
    if (withItem && record.flags != 0 && ReadNameItems(&record.firstItem, 1) != 1)
        return 1;
    return 0;
}

int LinkInfoFile::ReadNameItems(NameItem* items, int n) {
    int read = 0;
    uint8_t bytes[li::kNameItemSize];
    for (; read < n; ++read) {
        if (file_.Read(bytes, sizeof bytes) != sizeof bytes)
            break;
        items[read] = li::DecodeNameItem(bytes);
    }
    return read;
}
