// The area converter: "az.raw" and "azbc.raw" of data disc 1 become "az.bin" and
// "azbc.bin" for the chosen list entries of the cut (layouts in formats/areas.h).
// Build renumbers the areas' names lists and place records and hands on the place
// table; the link information converter then marks the places its kept records
// use, and WriteAz and WriteAzbc write the device files from those marks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mapferry/convert/map_cut.h"
#include "mapferry/convert/names_io.h"
#include "mapferry/convert/renumbering.h"
#include "platform/afx/afx_file.h"
#include "platform/kernel/kernel.h"

// Per area of "az.bin", in device order: the offset of its first place record. The
// areas are in ascending order of it, and an area owns the place records from its
// own first offset up to the next area's. Made by CAzConverter::Build; read by the
// point-of-interest converter.
using AreaFirstPlaceTable = std::vector<uint32_t>;

// The area owning a place record of "az.bin": the last area whose first place
// offset is at most placeOffset; -1 when there is none.
int AreaOfPlace(const AreaFirstPlaceTable& areas, uint32_t placeOffset);

// Reads the next 4 bytes of a source: 0 when they are the magic; otherwise shows
// "Corrupted file: %s" (ReportCorruptedFile) and ends the run as every report does
// (error flag, temporary folder deleted, process ended).
int RequireSourceMagic(CFile& source, const char* magic);

// Opens a source file, checks its magic (RequireSourceMagic) and reads it whole
// into `bytes`, magic included. false when it cannot be opened; a failed read or a
// file above `limit` bytes ends the run with the internal-error report of readLine.
bool ReadWholeSource(const std::u16string& path, const char* magic, size_t limit,
                     std::vector<uint8_t>& bytes, int readLine);

// Creates `path` and writes `bytes` to it. A file that cannot be created ends the
// run with "<createText> Internal error line <createLine> ...", a failed write with
// the internal-error report of writeLine.
void WriteWholeOutput(const std::u16string& path, const std::vector<uint8_t>& bytes,
                      LPCWSTR createText, int createLine, int writeLine);

class CAzConverter {
  public:
    explicit CAzConverter(const CMapCut& cut);

    // Reads "az.raw" and keeps, for the chosen list entries in the cut's order, the
    // area entries, their names lists and their place records with every parent
    // renumbered. 0 done; 1 cancelled. A missing or bad source ends the run with
    // its report. Decided: the chosen areas stay in memory until WriteAz instead of
    // going through a temporary "az.tmp", because they are small and no other step
    // reads that file.
    int Build(LPCWSTR sourceFolder, LPCWSTR temporaryFolder);

    // Writes "az.bin": place records not marked in `used` keep their length but
    // read as empty text; an area none of whose records is used gets bit 31 of its
    // place word. 0 done, 1 when Build has not run.
    int WriteAz(LPCWSTR temporaryFolder, const UsedPlaceFlags& used);

    // Writes "azbc.bin": per chosen area its pointer table, and per used place its
    // street list with each name number turned into its "names.bin" offset. 0 done;
    // 1 when Build has not run or cancelled.
    int WriteAzbc(LPCWSTR sourceFolder, LPCWSTR temporaryFolder, const UsedPlaceFlags& used,
                  const NameOffsetTable& names);

    // Per place record number of "az.raw": its offset in "az.bin", or
    // kNotRenumbered. Valid after Build.
    const PlaceOffsetTable& PlaceOffsets() const { return m_placeOffsets; }
    // Valid after Build.
    const AreaFirstPlaceTable& AreaFirstPlaces() const { return m_areaFirstPlaces; }

  private:
    struct SourceArea {
        uint32_t firstName = 0;  // number of its first names-list name
        uint32_t nameCount = 0;
        uint32_t firstPlace = 0;  // number of its first place record
        uint32_t placeCount = 0;
    };
    // One chosen area of the output.
    struct ChosenArea {
        uint32_t source = 0;     // list entry
        size_t entryOffset = 0;  // of its 22 fixed bytes in m_az
    };

    const CMapCut& m_cut;
    bool m_built = false;
    std::vector<SourceArea> m_sourceAreas;
    std::vector<ChosenArea> m_chosen;
    std::vector<uint8_t> m_az;  // "az.bin" before the used marks
    PlaceOffsetTable m_placeOffsets;
    AreaFirstPlaceTable m_areaFirstPlaces;
};
