// The body of the index-file fuzz target, shared with the test that replays its
// corpus. Input: one byte naming the file under test, then its bytes:
//   0 a street line (parsed with the fixed abbreviation files below)
//   1 "az.bin"   2 "linkinfo.bin"   3 "lfoidx.bin"   4 "azbc.bin"   5 "stnl.bin"
//   6 "sttypes.bin"   7 "strabbr.bin" (then a fixed line is parsed)
//   8 "lsr.bin" and "lsrs.bin": the bytes split at the position the next byte names
// Every query of the file's reader runs over what the file holds; a text that
// passes its buffer, a block left behind or a result outside the documented ones
// aborts.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "formats/link_info.h"
#include "formats/street_types.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/mapdb/area_zone_file.h"
#include "pathlume/mapdb/lfo_index_file.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/lsr_files.h"
#include "pathlume/mapdb/mapdb_memory.h"
#include "pathlume/mapdb/street_name.h"
#include "pathlume/mapdb/street_name_list_file.h"
#include "pathlume/mapdb/street_types.h"
#include "platform/kernel/paths.h"

namespace index_fuzz {

namespace fs = std::filesystem;

enum Target : uint8_t {
    kStreetLine,
    kAreaZones,
    kLinkInfo,
    kLfoIndex,
    kAreaZoneBc,
    kStreetLists,
    kStreetTypes,
    kAbbreviations,
    kRampLabels,
    kTargetCount,
};

inline constexpr const char* kFixedTypes = "ST00\x03\x00\x00\x00ST\0AVE\0BLVD\0";
inline constexpr size_t kFixedTypesSize = 8 + 12;
inline constexpr const char* kFixedAbbreviations =
    "FILE-VER=1\r\nSTREET=ST\r\nAVENUE=AVE\r\nEND-OF-FILE=\r\n";

inline void WriteFile(const fs::path& path, const uint8_t* data, size_t size) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// The process's data folder for the files under test, made once.
inline const fs::path& Folder() {
    static const fs::path folder = [] {
        fs::path path =
            fs::temp_directory_path() / ("pathlume-index-fuzz-" + std::to_string(getpid()));
        fs::create_directories(path);
        return path;
    }();
    return folder;
}

inline void CheckText(const char* buffer, size_t size) {
    if (std::memchr(buffer, 0, size) == nullptr)
        std::abort();
}

inline int32_t I32At(const uint8_t* data, size_t size, size_t at) {
    uint8_t bytes[4] = {};
    for (size_t i = 0; i < 4 && at + i < size; ++i)
        bytes[i] = data[at + i];
    return formats::LoadI32(bytes);
}

// A record whose place references are values of the input.
inline LinkInfoRecord RecordFrom(const uint8_t* data, size_t size) {
    LinkInfoRecord record;
    record.leftPlace = I32At(data, size, 0);
    record.rightPlace = I32At(data, size, 4);
    record.leftAlternative = I32At(data, size, 8);
    record.rightAlternative = I32At(data, size, 12);
    record.leftExtra = I32At(data, size, 16);
    record.rightExtra = I32At(data, size, 20);
    return record;
}

inline void Parse(const std::u16string& line) {
    CStreetName name;
    name.Parse(line.c_str(), nullptr);
    char fields[kStreetExportSize];
    const uint32_t errors = name.ExportFields(fields);
    if (errors & ~(kStreetErrorNoAbbreviations | kStreetErrorNoStreet | kStreetErrorNoHouseNumber))
        std::abort();
    for (size_t i = 0; i < kStreetFieldCount; ++i)
        CheckText(fields + i * kStreetFieldSize, kStreetFieldSize);
}

inline void RunAreaZones(const uint8_t* data, size_t size) {
    AreaZoneFile zones;
    zones.Open(u"az.bin");
    const LinkInfoRecord record = RecordFrom(data, size);
    char text[24];
    for (size_t area = 0; area < zones.AreaCount() + 1 && area < 64; ++area) {
        zones.FindPlace("A", static_cast<int>(area));
        zones.FindPlace("A [B]", static_cast<int>(area));
        zones.FindPlace(" [", static_cast<int>(area));
        zones.GetFirstPlace(area);
        zones.GetPlaceCount(area);
        zones.FormatAreaName(area, text, sizeof text);
        CheckText(text, sizeof text);
    }
    zones.FindArea("CA");
    zones.FindArea("CALIFORNIA (CA)");
    for (int side : {1, -1}) {
        for (bool withCode : {false, true}) {
            zones.FormatPlaceText(record, text, sizeof text, side, withCode);
            CheckText(text, sizeof text);
        }
        int index = 0;
        zones.GetAreaCode(record, side, &index);
        zones.GetAreaName(record, text, sizeof text, side);
        CheckText(text, sizeof text);
    }
}

inline void RunLinkInfo(const uint8_t* data, size_t size) {
    LinkInfoFile file;
    if (!file.Open())
        return;
    LinkInfoRecord record;
    NameItem items[8];
    for (uint32_t area = 0; area < file.AreaCount() && area < 8; ++area) {
        if (file.Seek(area) != 0)
            std::abort();
        for (const char* pair : {"MA", "A ", "ZZ", "1-"}) {
            uint32_t count = 0;
            const int32_t first = file.FindLetterPair(pair[0], pair[1], &count);
            if (first == -1)
                continue;
            for (uint32_t i = 0; i < count && i < 64; ++i) {
                if (file.ReadRecord(i == 0 ? first : -1, record, false) != 0)
                    break;
                const int n = record.ItemCount() < 8 ? record.ItemCount() : 8;
                if (file.ReadNameItems(items, n) > n)
                    std::abort();
            }
        }
    }
    for (size_t at = 0; at + 4 <= size && at < 256; at += 4) {
        const int result = file.ReadRecord(I32At(data, size, at), record, true);
        if (result != 0 && result != 1)
            std::abort();
    }
}

inline void RunLfoIndex(const uint8_t* data, size_t size) {
    for (uint32_t area = 0; area < 4; ++area) {
        LfoIndexFile index;
        if (index.OpenArea(area) != 0)
            continue;
        formats::link_info::LfoName pair;
        for (uint32_t i = 0; i < 64 && index.ReadNamePair(i, pair) == 0; ++i) {
            LfoIndexFile list;
            if (list.Open(area, pair.name, I32At(data, size, i)) != 0)
                continue;
            for (int n = 0; n < 4096 && list.NextRecord() != 0; ++n) {
            }
        }
    }
}

inline void RunStreetLists() {
    StreetNameListFile lists;
    if (!lists.Open())
        return;
    formats::name_index::StreetItem items[64];
    for (uint32_t i = 0; i < lists.Count() && i < 16; ++i) {
        if (lists.SeekEntry(i) != 0)
            continue;
        const uint32_t count = lists.GetEntry(i)->count;
        lists.Read(items, count < 64 ? count : 64);
    }
    if (lists.GetEntry(lists.Count()) != nullptr)
        std::abort();
}

inline void RunStreetTypes() {
    StreetTypeFile types;
    const int result = types.Load();
    if (result < 0 || result > 3 || types.Count() > formats::street_types::kMaxTypeCode + 1)
        std::abort();
    for (uint32_t code = 0; code <= types.Count(); ++code) {
        const char* name = types.GetName(code);
        types.FindCode(name);
    }
}

inline void RunRampLabels(const uint8_t* data, size_t size) {
    if (size == 0)
        return;
    const size_t split = data[0] < size - 1 ? data[0] : size - 1;
    WriteFile(Folder() / "lsr.bin", data + 1, split);
    WriteFile(Folder() / "lsrs.bin", data + 1 + split, size - 1 - split);
    LsrFiles labels;
    if (labels.Open() != 0)
        return;
    char text[16];
    for (int32_t offset = 0; offset < 4 + 8 * 32; offset += 4) {
        labels.GetName(offset, text, sizeof text);
        CheckText(text, sizeof text);
    }
}

// Runs one input; aborts when a reader misbehaves.
inline void RunOne(const uint8_t* data, size_t size) {
    if (size == 0)
        return;
    const long baseline = mapdb::LiveBlocks();
    const fs::path& folder = Folder();
    const std::u16string folderText = platform::HostPathText(folder) + u"/";
    std::copy(folderText.begin(), folderText.end(), g_dataFolder);
    g_dataFolder[folderText.size()] = 0;
    WriteFile(folder / "sttypes.bin", reinterpret_cast<const uint8_t*>(kFixedTypes),
              kFixedTypesSize);
    WriteFile(folder / "strabbr.bin", reinterpret_cast<const uint8_t*>(kFixedAbbreviations),
              std::strlen(kFixedAbbreviations));
    const Target target = static_cast<Target>(data[0] % kTargetCount);
    const uint8_t* body = data + 1;
    const size_t bodySize = size - 1;
    static const char* const kFiles[kTargetCount] = {nullptr,       "az.bin",      "linkinfo.bin",
                                                     "lfoidx.bin",  "azbc.bin",    "stnl.bin",
                                                     "sttypes.bin", "strabbr.bin", nullptr};
    if (kFiles[target])
        WriteFile(folder / kFiles[target], body, bodySize);
    switch (target) {
        case kStreetLine:
        case kStreetTypes:
        case kAbbreviations: {
            if (g_streetTypes.Load() > 3)
                std::abort();
            std::u16string line = u"123 N MAIN ST";
            if (target == kStreetLine)
                line.assign(body, body + bodySize);
            if (target == kStreetTypes)
                RunStreetTypes();
            Parse(line);
            g_streetTypes.Free();
            break;
        }
        case kAreaZones:
            RunAreaZones(body, bodySize);
            break;
        case kLinkInfo:
            RunLinkInfo(body, bodySize);
            break;
        case kLfoIndex:
            RunLfoIndex(body, bodySize);
            break;
        case kAreaZoneBc:
            for (uint32_t area = 0; area < 4; ++area) {
                for (uint32_t place = 0; place < 8; ++place)
                    AreaZoneBcFile::Load(area, place);
            }
            break;
        case kStreetLists:
            RunStreetLists();
            break;
        case kRampLabels:
            RunRampLabels(body, bodySize);
            break;
        case kTargetCount:
            break;
    }
    if (mapdb::LiveBlocks() != baseline)
        std::abort();
}

}  // namespace index_fuzz
