#include "pathlume/mapdb/area_zone_file.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/mapdb/index_file_io.h"
#include "pathlume/mapdb/link_info_file.h"

AreaZoneFile g_areaZones;

namespace {
namespace az = formats::areas;
using index_io::Append;
using index_io::ReadAt;
using index_io::ReadU32At;

constexpr DWORD kMappedRead = kDataFileRead | kDataFileMapped;

}  // namespace

int AreaZoneFile::Open(const char16_t* name) {
    Free();
    if (file_.OpenInFolder(g_dataFolder, name, kMappedRead, nullptr) != 0)
        return 0;
    uint8_t countBytes[2];
    if (CheckDataFileHeader(file_, az::kAzMagic, name) != 0 || file_.Read(countBytes, 2) != 2) {
        Free();
        return 0;
    }
    // Every area takes at least its length byte and fixed bytes: a count the file
    // cannot hold is refused before anything is allocated.
    const uint64_t count = formats::LoadU16(countBytes);
    if (!index_io::FitsInFile(file_, az::kAreaEntriesOffset, count, az::AreaEntrySize(0))) {
        Free();
        return 0;
    }
    areas_.reserve(static_cast<size_t>(count));
    uint8_t bytes[az::kFixedSize + az::kMaxAreaNameLength];
    for (uint64_t i = 0; i < count; ++i) {
        uint8_t length = 0;
        if (file_.Read(&length, 1) != 1)
            break;
        const int size = static_cast<int>(az::kFixedSize + length);
        // A short area is left out and the next one takes its place.
        if (file_.Read(bytes, size) != size)
            continue;
        Area area;
        area.entry = az::DecodeAreaFixed(bytes);
        area.name.assign(reinterpret_cast<const char*>(bytes + az::kFixedSize), length);
        areas_.push_back(std::move(area));
    }
    return 1;
}

void AreaZoneFile::Free() {
    file_.Close();
    areas_.clear();
}

int AreaZoneFile::OwnerOf(int32_t place) const {
    if (place < 0)
        return -1;
    for (size_t i = 0; i < areas_.size(); ++i) {
        if (areas_[i].entry.firstPlaceOffset <= place &&
            (i + 1 == areas_.size() || place < areas_[i + 1].entry.firstPlaceOffset))
            return static_cast<int>(i);
    }
    return -1;
}

namespace {
int32_t SidePlace(const LinkInfoRecord& record, int side) {
    const int32_t place = side == 1 ? record.leftPlace : record.rightPlace;
    if (place != -1)
        return place;
    return side == 1 ? record.leftAlternative : record.rightAlternative;
}
}  // namespace

int32_t AreaZoneFile::GetAreaCode(const LinkInfoRecord& record, int side, int* index) const {
    const int owner = OwnerOf(SidePlace(record, side));
    if (index)
        *index = owner;
    return owner < 0 ? -1 : static_cast<int32_t>(areas_[owner].entry.codeNumber);
}

int AreaZoneFile::GetAreaName(const LinkInfoRecord& record, char* buffer, size_t size,
                              int side) const {
    if (size > 0)
        buffer[0] = '\0';
    const int owner = OwnerOf(SidePlace(record, side));
    if (owner < 0)
        return 0;
    Append(buffer, size, areas_[owner].name);
    return owner;
}

void AreaZoneFile::FormatAreaName(size_t index, char* buffer, size_t size) const {
    if (size == 0)
        return;
    buffer[0] = '\0';
    if (index >= areas_.size())
        return;
    Append(buffer, size, areas_[index].name);
    Append(buffer, size, " (");
    Append(buffer, size, std::string_view(areas_[index].entry.code, az::kCodeSize));
    Append(buffer, size, ")");
}

int32_t AreaZoneFile::GetFirstPlace(size_t index) const {
    return index < areas_.size() ? areas_[index].entry.firstPlaceOffset : -1;
}

uint32_t AreaZoneFile::GetPlaceCount(size_t index) const {
    return index < areas_.size() ? areas_[index].entry.placeWord & az::kPlaceCountMask : 0;
}

int AreaZoneFile::FindArea(const char* text) const {
    const std::string_view typed(text);
    if (typed.size() == az::kCodeSize) {
        for (size_t i = 0; i < areas_.size(); ++i) {
            if (strncasecmp(areas_[i].entry.code, text, az::kCodeSize) == 0)
                return static_cast<int>(i);
        }
        return 0;
    }
    const std::string_view name = typed.substr(0, typed.find('('));
    for (size_t i = 0; i < areas_.size(); ++i) {
        const std::string& areaName = areas_[i].name;
        if (areaName.size() <= name.size() &&
            strncasecmp(areaName.c_str(), name.data(), areaName.size()) == 0)
            return static_cast<int>(i);
    }
    return 0;
}

bool AreaZoneFile::ReadPlace(int32_t offset, std::string& text, int32_t& parent) {
    uint8_t head = 0;
    if (!ReadAt(file_, offset, &head, 1))
        return false;
    parent = az::kNoParent;
    if (head & az::kPlaceHasParent) {
        uint8_t bytes[az::kPlaceParentSize];
        if (file_.Read(bytes, sizeof bytes) != sizeof bytes)
            return false;
        parent = formats::LoadI32(bytes);
    } else if (head & az::kPlaceParentUnknown) {
        parent = az::kUnknownParent;
    }
    char chars[az::kMaxPlaceTextLength];
    const int length = head & az::kPlaceLengthMask;
    if (file_.Read(chars, length) != length)
        return false;
    text.assign(chars, static_cast<size_t>(length));
    return true;
}

bool AreaZoneFile::ReadListName(uint32_t offset, std::string& text) {
    uint8_t length = 0;
    char chars[255];
    if (!ReadAt(file_, offset, &length, 1) || file_.Read(chars, length) != length)
        return false;
    text.assign(chars, length);
    return true;
}

bool AreaZoneFile::IsListName(size_t area, const std::string& text) {
    const az::AreaEntry& entry = areas_[area].entry;
    uint64_t offset = entry.namesListOffset;
    std::string listed;
    for (uint32_t i = 0; i < entry.nameCount && offset <= 0x7FFFFFFF; ++i) {
        if (!ReadListName(static_cast<uint32_t>(offset), listed))
            return false;
        if (listed == text)
            return true;
        offset += 1 + listed.size();
    }
    return false;
}

std::vector<int32_t> AreaZoneFile::FindPlaces(const char* name, int area) {
    std::vector<int32_t> found;
    std::string_view wanted(name ? name : "");
    if (!IsOpen() || area < 0 || static_cast<size_t>(area) >= areas_.size())
        return found;
    std::string_view qualifier;
    const size_t bracket = wanted.find(" [");
    if (bracket != std::string_view::npos) {
        qualifier = wanted.substr(bracket + 2);
        qualifier = qualifier.substr(0, qualifier.find(']'));
        wanted = wanted.substr(0, bracket);
    }
    const bool qualified = bracket != std::string_view::npos;
    // Counties go after the cities of the same name: a county's record names the
    // streets outside every city, and the address entry asks for a city.
    std::vector<int32_t> counties;
    auto add = [&](int32_t offset, bool county) {
        std::vector<int32_t>& list = county ? counties : found;
        if (std::find(found.begin(), found.end(), offset) == found.end() &&
            std::find(counties.begin(), counties.end(), offset) == counties.end())
            list.push_back(offset);
    };
    int64_t offset = areas_[area].entry.firstPlaceOffset;
    const uint32_t count = GetPlaceCount(static_cast<size_t>(area));
    std::string text, parentText;
    for (uint32_t i = 0; i < count; ++i) {
        int32_t parent = az::kNoParent;
        if (offset > 0x7FFFFFFF || !ReadPlace(static_cast<int32_t>(offset), text, parent))
            break;
        const int32_t here = static_cast<int32_t>(offset);
        offset += static_cast<int64_t>(az::PlaceRecordSize(parent, text.size()));
        if (text != wanted)
            continue;
        if (!az::HasParentField(parent)) {
            // A qualifier names a parent, which this record has not.
            if (!qualified)
                add(here, IsListName(static_cast<size_t>(area), text));
            continue;
        }
        const uint32_t parentValue = static_cast<uint32_t>(parent);
        const bool parentIsPlace = (parentValue & az::kParentIsPlace) != 0;
        const int32_t parentOffset = static_cast<int32_t>(parentValue & az::kParentValueMask);
        int32_t grandParent = az::kNoParent;
        const bool read = parentIsPlace
                              ? ReadPlace(parentOffset, parentText, grandParent)
                              : ReadListName(static_cast<uint32_t>(parentOffset), parentText);
        if (qualified) {
            if (read && parentText == qualifier)
                add(here, false);
        } else if (parentIsPlace && read && parentText == wanted) {
            // A place of the same name inside a city stands for that city.
            add(parentOffset, false);
        } else {
            add(here, false);
        }
    }
    found.insert(found.end(), counties.begin(), counties.end());
    return found;
}

int32_t AreaZoneFile::FindPlace(const char* name, int area) {
    const std::vector<int32_t> places = FindPlaces(name, area);
    return places.empty() ? 0 : places.front();
}

char* AreaZoneFile::FormatPlaceText(const LinkInfoRecord& record, char* buffer, size_t size,
                                    int side, bool withCode) {
    if (size == 0)
        return buffer;
    buffer[0] = '\0';
    const int32_t place = side == 1 ? record.leftPlace : record.rightPlace;
    const int32_t alternative = side == 1 ? record.leftAlternative : record.rightAlternative;
    const int32_t extra = side == 1 ? record.leftExtra : record.rightExtra;
    std::string text;
    int32_t parent = az::kNoParent;
    if (!IsOpen() || !ReadPlace(place, text, parent))
        return buffer;
    Append(buffer, size, text);
    if (alternative > 0 || extra > 0) {
        Append(buffer, size, " (");
        std::string other;
        int32_t ignored = 0;
        if (alternative > 0) {
            if (alternative == place)
                Append(buffer, size, text);
            else if (ReadPlace(alternative, other, ignored))
                Append(buffer, size, other);
        }
        if (extra > 0) {
            if (alternative > 0)
                Append(buffer, size, "/");
            if (ReadPlace(extra, other, ignored))
                Append(buffer, size, other);
        }
        Append(buffer, size, ")");
    }
    if (parent > 0 && !(static_cast<uint32_t>(parent) & az::kParentIsPlace)) {
        std::string listName;
        if (ReadListName(static_cast<uint32_t>(parent), listName)) {
            Append(buffer, size, ", ");
            Append(buffer, size, listName);
        }
    }
    if (withCode) {
        for (size_t i = areas_.size(); i-- > 0;) {
            if (areas_[i].entry.firstPlaceOffset <= place) {
                Append(buffer, size, ", ");
                Append(buffer, size, std::string_view(areas_[i].entry.code, az::kCodeSize));
                break;
            }
        }
    }
    return buffer;
}

std::vector<uint32_t> AreaZoneBcFile::Load(uint32_t area, uint32_t place) {
    CDataFile file;
    if (file.OpenInFolder(g_dataFolder, u"azbc.bin", kMappedRead, nullptr) != 0)
        return {};
    uint8_t countBytes[2];
    if (CheckDataFileHeader(file, az::kAzbcMagic, u"azbc.bin") != 0 ||
        file.Read(countBytes, 2) != 2 || area >= formats::LoadU16(countBytes))
        return {};
    uint8_t entryBytes[az::kAzbcEntrySize];
    if (!ReadAt(file, az::AzbcEntryOffset(area), entryBytes, sizeof entryBytes))
        return {};
    const az::AzbcEntry entry = az::DecodeAzbcEntry(entryBytes);
    uint32_t list = 0;
    if (place >= entry.pointerCount ||
        !ReadU32At(file, int64_t{entry.pointerTable} + int64_t{az::kPointerSize} * place, list) ||
        list == 0 || list == static_cast<uint32_t>(az::kNone))
        return {};
    uint32_t count = 0;
    if (!ReadU32At(file, list, count))
        return {};
    // The list must lie inside the file before it is allocated.
    if (!index_io::FitsInFile(file, uint64_t{list} + az::kListCountSize, count,
                              az::kStreetValueSize))
        return {};
    std::vector<uint8_t> bytes(static_cast<size_t>(count) * az::kStreetValueSize);
    if (file.Read(bytes.data(), static_cast<int>(bytes.size())) != static_cast<int>(bytes.size()))
        return {};
    std::vector<uint32_t> values(count);
    for (uint32_t i = 0; i < count; ++i)
        values[i] = formats::LoadU32(bytes.data() + size_t{i} * az::kStreetValueSize);
    return values;
}
