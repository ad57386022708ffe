#include "pathlume/mapdb/poi_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "pathlume/foundation/app_services.h"

namespace poi = formats::poi;

CDataFile g_poiFile;

namespace {

constexpr DWORD kMappedRead = kDataFileRead | kDataFileMapped;

bool PositiveFinite(float value) {
    return std::isfinite(value) && value > 0.0f;
}

// The column or row of a coordinate, clamped to [-1, limit] so that a far point
// cannot overflow the conversion.
int32_t GridIndex(double value, double origin, double size, int32_t first, int32_t limit) {
    const double index = std::floor((value - origin) / size) - first;
    if (!(index >= -1.0))
        return -1;
    return index > limit ? limit : static_cast<int32_t>(index);
}

}  // namespace

bool ReadPoiBytes(CDataFile& file, uint64_t offset, void* buffer, int count) {
    if (offset > static_cast<uint64_t>(file.Size()) || file.Seek(static_cast<int>(offset), 0) != 0)
        return false;
    return file.Read(buffer, count) == count;
}

int OpenPoiFile() {
    return g_poiFile.OpenInFolder(g_dataFolder, u"poi.bin", kMappedRead, nullptr) == 0 ? 0 : 1;
}

void ClosePoiFile() {
    g_poiFile.Close();
}

int ReadPoiHead(CDataFile& file, PoiFileHead* head) {
    *head = PoiFileHead{};
    uint8_t bytes[poi::kHeadSize];
    if (!file.IsOpen() || file.Size() < static_cast<int>(poi::kHeadSize) ||
        !ReadPoiBytes(file, 0, bytes, static_cast<int>(poi::kHeadSize)) ||
        std::memcmp(bytes, poi::kDeviceMagic, sizeof poi::kDeviceMagic) != 0)
        return 1;
    PoiFileHead read;
    read.head = poi::DecodeHead(bytes);
    read.fileSize = static_cast<uint32_t>(file.Size());
    read.cellTableOffset = poi::CellTableOffset(read.head);
    const formats::map_container::GridHeader& grid = read.head.grid;
    // A cell size of 0 would divide by zero and a negative count would make a window
    // of any size: such a file is no grid at all.
    if (!std::isfinite(grid.originLongitude) || !std::isfinite(grid.originLatitude) ||
        !PositiveFinite(grid.cellWidth) || !PositiveFinite(grid.cellHeight) || grid.columns < 1 ||
        grid.rows < 1 || read.head.phoneCount < 0)
        return 1;
    const uint64_t cellTableBytes =
        4 * uint64_t{static_cast<uint32_t>(grid.columns)} * static_cast<uint32_t>(grid.rows);
    if (read.cellTableOffset < poi::kHeadSize ||
        read.cellTableOffset + cellTableBytes > read.fileSize)
        return 1;
    *head = read;
    return 0;
}

PoiCellWindow PoiCellsUnder(const PoiFileHead& head, float west, float south, float east,
                            float north) {
    const formats::map_container::GridHeader& grid = head.head.grid;
    PoiCellWindow window;
    if (grid.columns < 1 || grid.rows < 1 || !PositiveFinite(grid.cellWidth) ||
        !PositiveFinite(grid.cellHeight))
        return window;
    window.firstColumn = std::max(
        GridIndex(west, grid.originLongitude, grid.cellWidth, grid.firstColumn, grid.columns), 0);
    window.lastColumn = std::min(
        GridIndex(east, grid.originLongitude, grid.cellWidth, grid.firstColumn, grid.columns),
        grid.columns - 1);
    window.firstRow = std::max(
        GridIndex(south, grid.originLatitude, grid.cellHeight, grid.firstRow, grid.rows), 0);
    window.lastRow =
        std::min(GridIndex(north, grid.originLatitude, grid.cellHeight, grid.firstRow, grid.rows),
                 grid.rows - 1);
    return window;
}

int ReadPoiCellDirectory(CDataFile& file, const PoiFileHead& head, uint64_t number,
                         poi::CellHeader* cell) {
    *cell = poi::CellHeader{};
    if (number >=
        uint64_t{static_cast<uint32_t>(head.Columns())} * static_cast<uint32_t>(head.Rows()))
        return 1;
    uint8_t word[4];
    if (!ReadPoiBytes(file, head.cellTableOffset + 4 * number, word, 4))
        return 1;
    const uint32_t at = poi::LoadU32(word);
    uint8_t bytes[poi::kCellHeaderSize];
    if (at == 0 || at > 0x7FFFFFFFu || uint64_t{at} + poi::kCellHeaderSize > head.fileSize ||
        !ReadPoiBytes(file, at, bytes, static_cast<int>(poi::kCellHeaderSize)))
        return 1;
    *cell = poi::DecodeCellHeader(bytes);
    return 0;
}

int ReadPoiCell(CDataFile& file, const PoiFileHead& head, int32_t column, int32_t row,
                poi::CellHeader* cell) {
    *cell = poi::CellHeader{};
    if (column < 0 || row < 0 || column >= head.Columns() || row >= head.Rows())
        return 1;
    const uint64_t number = uint64_t{static_cast<uint32_t>(row)} * head.Columns() + column;
    if (ReadPoiCellDirectory(file, head, number, cell) != 0)
        return 1;
    for (int category = 0; category < poi::kCategoryCount; ++category) {
        const uint32_t offset = cell->offsets[category];
        const uint64_t room = offset < head.fileSize ? head.fileSize - offset : 0;
        const uint64_t fits = offset < poi::kHeadSize ? 0 : room / poi::kRecordSize;
        if (cell->counts[category] > fits)
            cell->counts[category] = static_cast<uint16_t>(fits);
    }
    return 0;
}

namespace {

// The record scan of the map layer and of the search: `entry(i)` is where the i-th
// accepted record goes.
template <typename Entry>
int ScanInto(CDataFile& file, uint32_t category, uint32_t selector, int count, int zoomIndex,
             Entry entry) {
    const bool plainNumber = category == CPoiSearch::kRestaurants;
    // Within a cell a category's records come in ascending sub-category order: past
    // the highest wanted one nothing more can be wanted.
    uint32_t stopBit = 0;
    if (!plainNumber && selector != CPoiSearch::kAllSubCategories && selector != 0)
        stopBit = 1u << (31 - __builtin_clz(selector));
    int stored = 0;
    for (int i = 0; i < count; ++i) {
        uint8_t bytes[poi::kRecordSize + 2 * poi::kOptionalPlaceSize];
        if (file.Read(bytes, static_cast<int>(poi::kRecordSize)) !=
            static_cast<int>(poi::kRecordSize))
            break;
        const uint32_t nameWord = poi::LoadU32(bytes + poi::kRecordNameOffset);
        const uint32_t sub = nameWord >> poi::kSubCategoryShift;
        const uint16_t flags = poi::LoadU16(bytes + poi::kRecordFlagsOffset);
        const int extra =
            ((flags & poi::kSecondPlaceFlag) ? 4 : 0) + ((flags & poi::kThirdPlaceFlag) ? 4 : 0);
        bool accept = false;
        if (plainNumber) {
            accept = selector == CPoiSearch::kAllRestaurants || selector == sub;
        } else {
            const uint32_t bit = sub < poi::kMaskableSubCategories ? 1u << (sub + 8) : 0;
            if (!(bit & selector)) {
                if (stopBit && bit > stopBit)
                    break;
            } else {
                const uint32_t link = poi::LoadU32(bytes + poi::kRecordLinkOffset);
                // Minor parks (and, closer out, minor attractions) show only when their
                // display flags say major.
                const bool major = (link & 0xC0000000u) == 0x80000000u;
                const bool thinned = (zoomIndex == 4 && category == 5 && sub == 2) ||
                                     (zoomIndex == 5 &&
                                      ((category == 5 && sub == 2) || (category == 3 && sub == 7)));
                accept = !thinned || major;
            }
        }
        // A point that lies nowhere can be neither drawn nor measured.
        if (accept && (!std::isfinite(poi::LoadF32(bytes + poi::kRecordLatitudeOffset)) ||
                       !std::isfinite(poi::LoadF32(bytes + poi::kRecordLongitudeOffset))))
            accept = false;
        if (!accept) {
            if (extra && file.Seek(extra, 1) != 0)
                break;
            continue;
        }
        if (extra && file.Read(bytes + poi::kRecordSize, extra) != extra)
            break;
        poi::DecodeRecord(bytes, poi::kRecordSize + extra, entry(stored));
        ++stored;
    }
    return stored;
}

}  // namespace

int CPoiSearch::ScanRecords(CDataFile& file, PoiLayerEntry* entries, uint32_t category,
                            uint32_t selector, int count, int zoomIndex) {
    return ScanInto(file, category, selector, count, zoomIndex,
                    [entries](int i) -> PoiLayerEntry& { return entries[i]; });
}

int CPoiSearch::ScanResultRecords(CDataFile& file, PoiResult* results, int count) const {
    return ScanInto(file, category_, selector_, count, kNoZoomRule,
                    [results](int i) -> PoiLayerEntry& { return results[i].record; });
}

char* DecodePackedPhone(const uint8_t* packed, char* text) {
    const std::string characters = poi::UnpackPhone(packed);
    std::memcpy(text, characters.data(), characters.size());
    text[characters.size()] = 0;
    return text;
}

std::string FormatPoiPhone(const std::string& number) {
    const bool tenDigits =
        number.size() == 10 &&
        std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
    // The grouping belongs to ten-digit numbers; others show as stored.
    if (!tenDigits)
        return "Tel: " + number;
    return "Tel: (" + number.substr(0, 3) + ")" + number.substr(3, 3) + "-" + number.substr(6);
}

bool ReadPoiName(CDataFile& file, const PoiFileHead& head, const PoiLayerEntry& entry,
                 std::string* name) {
    name->clear();
    const uint32_t at = entry.Name();
    const uint32_t length = entry.nameLength;
    if (at < poi::kHeadSize || length < 1 || length > poi::kMaxNameLength ||
        uint64_t{at} + length > head.fileSize)
        return false;
    char bytes[poi::kMaxNameLength];
    if (!ReadPoiBytes(file, at, bytes, static_cast<int>(length)))
        return false;
    name->assign(bytes, length);
    return true;
}

bool ReadPoiPhone(CDataFile& file, const PoiFileHead& head, const PoiLayerEntry& entry,
                  std::string* phone) {
    phone->clear();
    if (entry.phone < static_cast<int32_t>(poi::kHeadSize) ||
        uint64_t{static_cast<uint32_t>(entry.phone)} + poi::kPhoneEntrySize > head.fileSize)
        return false;
    uint8_t packed[poi::kPhoneEntrySize];
    if (!ReadPoiBytes(file, static_cast<uint32_t>(entry.phone), packed,
                      static_cast<int>(poi::kPhoneEntrySize)))
        return false;
    char text[poi::kPhoneMaxCharacters + 1];
    *phone = DecodePackedPhone(packed, text);
    return !phone->empty();
}
