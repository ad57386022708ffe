// The area cut: what every cutting converter keeps of the source data. Per layer
// (overview network, detailed network, polygons) the window of grid cells written
// and the bin ranges (rows, each with one column span) to keep; and the chosen
// list entries of the name, link and area files, with which of them are wholly
// chosen. Built from the user's choice of regions and sub-areas (choice words) or
// of a city and radius.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "formats/source_disc.h"
#include "mapferry/convert/region_data.h"
#include "platform/kernel/kernel.h"

inline constexpr int kCutLayers = formats::source_disc::kLayerCount;

// Set on a chosen list entry of which only part is chosen.
inline constexpr uint32_t kPartlyChosenBit = 0x80000000u;

// Grid cell numbers count from the source file's first cell.
struct ColumnSpan {
    int32_t firstColumn = 0;
    int32_t columnCount = 0;
};

struct BinRange {
    uint32_t reducedDetail = 0;
    int32_t firstRow = 0;
    int32_t rowCount = 0;
    std::vector<ColumnSpan> spans;  // one per row, rowCount of them
};

struct CutWindow {
    int32_t firstColumn = 0;
    int32_t columnCount = 0;
    int32_t firstRow = 0;
    int32_t rowCount = 0;
};

class CMapCut {
  public:
    // The wholly chosen list entries, ascending.
    std::vector<uint32_t> m_whollyChosen;
    // Every chosen list entry, ascending by entry number, kPartlyChosenBit set on
    // the partly chosen ones. The device files list the entries in this order.
    std::vector<uint32_t> m_chosen;
    // Per wholly chosen entry, its position in m_chosen.
    std::vector<uint32_t> m_whollyChosenPositions;
    std::array<std::vector<BinRange>, kCutLayers> m_binRanges;
    std::array<CutWindow, kCutLayers> m_window;

    void Free();

    int BinRangeCount(int layer) const { return static_cast<int>(m_binRanges[layer].size()); }
    int ChosenCount() const { return static_cast<int>(m_chosen.size()); }
    uint32_t ChosenEntry(int index) const { return m_chosen[index] & ~kPartlyChosenBit; }
    bool IsWhollyChosen(int index) const { return !(m_chosen[index] & kPartlyChosenBit); }
    // Whether some bin range of the layer covers the cell.
    bool ContainsCell(int layer, int32_t column, int32_t row) const;
};

// The expanded chosen list of choice words: entry key region x 65536 + (k + 1)
// for each set bit k, in word order and bit order.
std::vector<uint32_t> ExpandChoiceWords(const DWORD* choiceWords, int count);

// The choice word of a row of the city page's state list (63 rows); a row outside
// 0 to 62 stands for the region of that number as a single entry.
DWORD CityRegionChoiceWord(int regionRow);
inline constexpr int kCityRegionRows = 63;

using RegionTables = std::array<const CRegionData*, kCutLayers>;
// The program's tables (RegionData(0..2)).
RegionTables ProgramRegionTables();

// The working state of one cut build.
class CMapSelectionBase {
  public:
    CMapSelectionBase(CMapCut* cut, RegionTables tables);

    CMapCut* m_pCut;
    RegionTables m_tables;
    std::array<int32_t, kCutLayers> m_minColumn;
    std::array<int32_t, kCutLayers> m_minRow;
    std::array<int32_t, kCutLayers> m_maxColumn;
    std::array<int32_t, kCutLayers> m_maxRow;
    std::vector<uint32_t> m_chosenList;  // expanded entry keys
    int m_chosenCount = 0;
};

// Fills the selection's cut from the choice words and its region tables. 0.
int ComputeMapCut(CMapSelectionBase* selection, const DWORD* choiceWords, int count);

// Fills the cut for a city: rectangle holds eight values (layer 0 first column,
// last column, first row, last row; then layer 1 the same); the chosen list comes
// from the state of regionRow, every entry partly chosen. The polygon layer gets
// no range.
void ComputeCityCut(CMapCut* cut, const RegionTables& tables, const DWORD* rectangle,
                    int regionRow);

// The message when the region tables are not there.
inline constexpr const char16_t* kRegionLoadError =
    u"Error Loading rgndata1.in or rgndata2.in input file";

// Builds the program's cut, freeing the previous one first. Region mode (cityFlag
// 0): choice holds countOrRow choice words. City mode: choice holds the eight
// rectangle values and countOrRow is the state row. Null, after kRegionLoadError,
// when the region tables it needs did not load.
CMapCut* BuildSelection(const DWORD* choice, int countOrRow, int cityFlag);
// The program's cut, or null.
CMapCut* GetMapCut();
// Frees and deletes the program's cut.
void FreeMapCut();
