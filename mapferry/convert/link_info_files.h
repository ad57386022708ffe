// The link information converters: "linkinfo.raz" -> "linkinfo.bin" (the address
// records of the chosen list entries, by letter pair of their street name) and
// "lfoidx.raz" -> "lfoidx.bin" (those records by their other names). Layouts:
// formats/link_info.h. The generation runs CLinkInfoConverter::Write after the
// names and the area table are built, and CLfoIdxConverter::Write after it; the
// record offsets go on to the map container and point-of-interest converters.
// Every failure of a source ends the run through the reports of file_services.h.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "mapferry/convert/map_cut.h"
#include "mapferry/convert/name_files.h"
#include "mapferry/convert/names_io.h"
#include "mapferry/convert/renumbering.h"
#include "platform/kernel/kernel.h"

// Report lines, one per place that can fail.
inline constexpr int kLinkInfoCreateLine = 5804;
inline constexpr int kLinkInfoAllocationLine = 5823;
inline constexpr int kLinkInfoBlockLine = 6185;
inline constexpr int kLinkInfoWhollyReadLine = 6011;
inline constexpr int kLinkInfoPartlyReadLine = 6119;
inline constexpr int kLfoSourceLine = 6437;
inline constexpr int kLfoCreateLine = 6451;
inline constexpr int kLfoAllocationLine = 6483;
inline constexpr int kLfoIndexReadLine = 6517;
inline constexpr int kLfoListReadLine = 6585;
inline constexpr int kLfoBlockReadLine = 6686;

// The size of a source container's grid, in which the cell words of the address
// records count their cells: [0] the overview grid ("mapdata1.raz"), [1] the
// detailed grid ("mapdata2N.raz", the same on every disc).
struct SourceGrid {
    int32_t columns = 0;
    int32_t rows = 0;
};
using SourceGrids = std::array<SourceGrid, 2>;

// Reads both grids from the headers of "mapdata1.raz" and "mapdata21.raz" in the
// folder. false when a header cannot be read or has the wrong magic.
bool ReadSourceGrids(LPCWSTR sourceFolder, SourceGrids* grids);

// "linkinfo.raz" -> "linkinfo.bin".
class CLinkInfoConverter {
  public:
    explicit CLinkInfoConverter(const CMapCut& cut) : m_cut(cut) {}

    // Opens "linkinfo.raz", checks its magic (a wrong one ends the run) and reads
    // its index; a file that cannot be opened is left for Write to answer.
    void ReadSource(LPCWSTR sourceFolder);

    // Writes the chosen entries: every record of a wholly chosen one, the records
    // whose cell the cut keeps of a partly chosen one, each with its places, names,
    // cell and name pair renumbered (the pairs are added to `namePairs`). 0; 1 when
    // the source cannot be read; kConvertCancelled.
    int Write(LPCWSTR sourceFolder, LPCWSTR temporaryFolder, const NameOffsetTable& names,
              const PlaceOffsetTable& places, const SourceGrids& grids, CLsrConverter& namePairs);

    const LinkInfoOffsetTable& RecordOffsets() const { return m_offsets; }
    const UsedPlaceFlags& UsedPlaces() const { return m_usedPlaces; }
    const KeptLinkNames& KeptNames() const { return m_keptNames; }
    void SetCancelFlag(const std::atomic<int>* cancel) { m_pCancel = cancel; }

  private:
    const CMapCut& m_cut;
    convert_io::SourceFile m_source;
    std::vector<uint8_t> m_index;  // the source's entry table
    uint32_t m_entryCount = 0;
    LinkInfoOffsetTable m_offsets;
    UsedPlaceFlags m_usedPlaces;
    KeptLinkNames m_keptNames;
    const std::atomic<int>* m_pCancel = nullptr;
};

// "lfoidx.raz" -> "lfoidx.bin".
class CLfoIdxConverter {
  public:
    explicit CLfoIdxConverter(const CMapCut& cut) : m_cut(cut) {}

    // Opens "lfoidx.raz", checks its magic and reads its index; a file that cannot
    // be opened or read ends the run (6437).
    void ReadSource(LPCWSTR sourceFolder);

    // Writes, per chosen entry, the names whose lists keep a record, with those
    // lists renumbered. 0, or kConvertCancelled.
    int Write(LPCWSTR sourceFolder, LPCWSTR temporaryFolder, const LinkInfoOffsetTable& records,
              const NameOffsetTable& names);

    void SetCancelFlag(const std::atomic<int>* cancel) { m_pCancel = cancel; }

  private:
    const CMapCut& m_cut;
    convert_io::SourceFile m_source;
    std::vector<uint8_t> m_index;
    uint32_t m_entryCount = 0;
    const std::atomic<int>* m_pCancel = nullptr;
};
