// "az.bin": the areas (states, regions) with their place records, and "azbc.bin":
// the street names of each place. A place is the absolute offset of its record in
// "az.bin".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/areas.h"
#include "pathlume/foundation/data_file.h"

struct LinkInfoRecord;

// Room for a place text: the place, its alternative and extra in brackets, the
// names-list parent and the area code, each at most 63 bytes.
inline constexpr size_t kPlaceTextSize = 320;

class AreaZoneFile {
  public:
    struct Area {
        formats::areas::AreaEntry entry;
        std::string name;
    };

    AreaZoneFile() = default;
    ~AreaZoneFile() { Free(); }
    AreaZoneFile(const AreaZoneFile&) = delete;
    AreaZoneFile& operator=(const AreaZoneFile&) = delete;

    // Opens `name` in the map data folder (mapped) and reads its areas: 1 when the
    // file is open afterwards, 0 when it is not (bad magic, an area count the file
    // cannot hold).
    int Open(const char16_t* name = u"az.bin");
    // Closes the file and forgets the areas.
    void Free();
    bool IsOpen() const { return file_.IsOpen(); }
    size_t AreaCount() const { return areas_.size(); }
    const Area* GetArea(size_t index) const {
        return index < areas_.size() ? &areas_[index] : nullptr;
    }

    // The code number of the area owning the side's place (side 1 left, any
    // other right), -1 when none; the area's index through `index`.
    int32_t GetAreaCode(const LinkInfoRecord& record, int side, int* index) const;
    // The owning area's index with its name in `buffer` (cut to fit), or 0 with
    // the buffer empty when none.
    int GetAreaName(const LinkInfoRecord& record, char* buffer, size_t size, int side) const;
    // "NAME (CC)": the area's name and the two-letter code of the same index of
    // g_areaZones; the buffer stays empty when the index is out of range.
    void FormatAreaName(size_t index, char* buffer, size_t size) const;
    int32_t GetFirstPlace(size_t index) const;
    uint32_t GetPlaceCount(size_t index) const;

    // The area of a state text: a two-letter code (any case), else the first area
    // whose name starts the text before any "(" (ignoring case). 0 when none
    // matches, as for the first area.
    int FindArea(const char* text) const;
    // The place records of `name` in the area, the one to take first at the front:
    // "NAME [PARENT]" picks those whose parent is PARENT; without a qualifier a city
    // goes before a county of the same name (a place of the name inside a city
    // stands for that city). Empty when none.
    std::vector<int32_t> FindPlaces(const char* name, int area);
    // The first of FindPlaces; 0 when not found.
    int32_t FindPlace(const char* name, int area);
    // The side's place text of a record (side 1 left, any other right), with the
    // area's code when asked: "PLACE (ALT/EXTRA), PARENT, CC", cut to fit the
    // buffer. Empty when the file is not open or the place cannot be read.
    char* FormatPlaceText(const LinkInfoRecord& record, char* buffer, size_t size, int side,
                          bool withCode);

    // Reads the place record at `offset`: its text and parent. false when it
    // cannot be read.
    bool ReadPlace(int32_t offset, std::string& text, int32_t& parent);

  private:
    // The index of the area owning place p, or -1.
    int OwnerOf(int32_t place) const;
    // The text of a names-list name at `offset`; false when it cannot be read.
    bool ReadListName(uint32_t offset, std::string& text);
    // Whether the area's names list (its counties) holds `text`.
    bool IsListName(size_t area, const std::string& text);

    CDataFile file_;
    std::vector<Area> areas_;
};

// The program's reader, opened at start-up and after a power resume.
extern AreaZoneFile g_areaZones;

// "azbc.bin": the street names of each place of an area.
class AreaZoneBcFile {
  public:
    // The street values (names.bin offsets in the low 26 bits) of place k of area
    // a; empty when there are none or the file cannot be read.
    static std::vector<uint32_t> Load(uint32_t area, uint32_t place);
};
