#include "mapferry/convert/map_cut.h"

#include <algorithm>
#include <atomic>
#include <map>
#include <set>

namespace sd = formats::source_disc;

namespace {

struct Span {
    int32_t first;
    int32_t last;  // inclusive
};

// Sorts a row's spans and folds those that share a column; spans that only abut
// stay apart.
std::vector<Span> MergeRow(std::vector<Span> spans) {
    std::sort(spans.begin(), spans.end(),
              [](const Span& a, const Span& b) { return a.first < b.first; });
    std::vector<Span> merged;
    for (const Span& span : spans) {
        if (!merged.empty() && span.first <= merged.back().last) {
            merged.back().last = std::max(merged.back().last, span.last);
        } else {
            merged.push_back(span);
        }
    }
    return merged;
}

// Overlapping, side by side or corner to corner (8-connected).
bool Touches(const Span& a, const Span& b) {
    return a.first <= b.last + 1 && b.first <= a.last + 1;
}

// Splits the merged rows of a layer into bin ranges of one span per row: a span
// continues the range of a touching span in the row above, unless another span of
// its row already continues that range.
std::vector<BinRange> LabelRanges(const std::map<int32_t, std::vector<Span>>& rows) {
    std::vector<BinRange> ranges;
    struct Labelled {
        Span span;
        size_t label;
    };
    std::vector<Labelled> above;
    int32_t aboveRow = 0;
    bool haveAbove = false;
    for (const auto& [row, spans] : rows) {
        if (!haveAbove || row != aboveRow + 1) {
            above.clear();
        }
        std::vector<Labelled> current;
        std::set<size_t> taken;
        for (const Span& span : spans) {
            size_t label = ranges.size();
            for (const Labelled& candidate : above) {
                if (Touches(span, candidate.span) && !taken.count(candidate.label)) {
                    label = candidate.label;
                    break;
                }
            }
            if (label == ranges.size()) {
                BinRange range;
                range.firstRow = row;
                ranges.push_back(std::move(range));
            }
            taken.insert(label);
            BinRange& range = ranges[label];
            range.spans.push_back(ColumnSpan{span.first, span.last - span.first + 1});
            range.rowCount = row - range.firstRow + 1;
            current.push_back({span, label});
        }
        above = std::move(current);
        aboveRow = row;
        haveAbove = true;
    }
    return ranges;
}

// The chosen list entries of a set of entry keys, from the overview layer's
// records: an entry is wholly chosen when every record naming it is chosen.
void FillChosenEntries(CMapCut* cut, const CRegionData* overview, const std::set<uint32_t>& keys,
                       bool allPartly) {
    cut->m_chosen.clear();
    cut->m_whollyChosen.clear();
    cut->m_whollyChosenPositions.clear();
    if (!overview) {
        return;
    }
    std::set<uint32_t> entries;
    for (uint32_t key : keys) {
        const RegionDataRecord* record = overview->FindRecord(key);
        if (record && record->Usable()) {
            entries.insert(record->listEntries.begin(), record->listEntries.end());
        }
    }
    for (uint32_t entry : entries) {
        bool wholly = !allPartly;
        for (const RegionDataRecord& record : overview->Records()) {
            if (!wholly) {
                break;
            }
            if (record.Usable() &&
                std::find(record.listEntries.begin(), record.listEntries.end(), entry) !=
                    record.listEntries.end() &&
                !keys.count(record.entryKey)) {
                wholly = false;
            }
        }
        if (wholly) {
            cut->m_whollyChosen.push_back(entry);
            cut->m_whollyChosenPositions.push_back(static_cast<uint32_t>(cut->m_chosen.size()));
            cut->m_chosen.push_back(entry);
        } else {
            cut->m_chosen.push_back(entry | kPartlyChosenBit);
        }
    }
}

std::atomic<CMapCut*> g_mapCut{nullptr};

// City page rows in list order: the region number of each state or province.
constexpr uint8_t kCityRegionNumbers[kCityRegionRows] = {
    0,  1,  51, 2,  3,  52, 4,  5,  6,  7,  8,  9,  10, 12, 13, 14, 15, 16, 17, 18, 19,
    53, 20, 21, 22, 23, 24, 25, 26, 27, 28, 54, 29, 30, 31, 32, 55, 33, 34, 56, 57, 58,
    35, 36, 59, 37, 38, 60, 61, 39, 62, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 63};
// Regions whose two sub-areas a state row chooses together.
constexpr uint8_t kTwoPartRegions[] = {4, 43};

}  // namespace

void CMapCut::Free() {
    m_whollyChosen.clear();
    m_chosen.clear();
    m_whollyChosenPositions.clear();
    for (auto& ranges : m_binRanges) {
        ranges.clear();
    }
    m_window = {};
}

bool CMapCut::ContainsCell(int layer, int32_t column, int32_t row) const {
    if (layer < 0 || layer >= kCutLayers) {
        return false;
    }
    for (const BinRange& range : m_binRanges[layer]) {
        if (row < range.firstRow || row - range.firstRow >= range.rowCount) {
            continue;
        }
        const ColumnSpan& span = range.spans[row - range.firstRow];
        if (column >= span.firstColumn && column - span.firstColumn < span.columnCount) {
            return true;
        }
    }
    return false;
}

std::vector<uint32_t> ExpandChoiceWords(const DWORD* choiceWords, int count) {
    std::vector<uint32_t> keys;
    for (int i = 0; choiceWords && i < count; ++i) {
        uint32_t region = sd::RegionOfKey(choiceWords[i]);
        for (int bit = 0; bit < sd::kSubAreaBits; ++bit) {
            if (choiceWords[i] & (1u << bit)) {
                keys.push_back(sd::EntryKey(region, static_cast<uint32_t>(bit) + 1));
            }
        }
    }
    return keys;
}

DWORD CityRegionChoiceWord(int regionRow) {
    if (regionRow < 0 || regionRow >= kCityRegionRows) {
        return regionRow >= 0 && regionRow <= 0xFFFF
                   ? sd::ChoiceWord(static_cast<uint32_t>(regionRow), 1)
                   : 0;
    }
    uint32_t region = kCityRegionNumbers[regionRow];
    bool twoParts = std::find(std::begin(kTwoPartRegions), std::end(kTwoPartRegions), region) !=
                    std::end(kTwoPartRegions);
    return sd::ChoiceWord(region, twoParts ? 3 : 1);
}

RegionTables ProgramRegionTables() {
    return {&RegionData(0), &RegionData(1), &RegionData(2)};
}

CMapSelectionBase::CMapSelectionBase(CMapCut* cut, RegionTables tables)
    : m_pCut(cut), m_tables(tables) {
    m_minColumn.fill(sd::kGridLimit);
    m_minRow.fill(sd::kGridLimit);
    m_maxColumn.fill(0);
    m_maxRow.fill(0);
}

int ComputeMapCut(CMapSelectionBase* selection, const DWORD* choiceWords, int count) {
    CMapCut* cut = selection->m_pCut;
    cut->Free();
    selection->m_chosenList = ExpandChoiceWords(choiceWords, count);
    selection->m_chosenCount = static_cast<int>(selection->m_chosenList.size());
    std::set<uint32_t> keys(selection->m_chosenList.begin(), selection->m_chosenList.end());

    for (int layer = 0; layer < kCutLayers; ++layer) {
        const CRegionData* table = selection->m_tables[layer];
        std::map<int32_t, std::vector<Span>> rows;
        bool any = false;
        for (uint32_t key : keys) {
            const RegionDataRecord* record = table ? table->FindRecord(key) : nullptr;
            if (!record || !record->Usable()) {
                continue;
            }
            for (const RegionSpanItem& item : record->spans) {
                rows[item.row].push_back({item.firstColumn, item.lastColumn});
                selection->m_minColumn[layer] =
                    std::min(selection->m_minColumn[layer], item.firstColumn);
                selection->m_maxColumn[layer] =
                    std::max(selection->m_maxColumn[layer], item.lastColumn);
                selection->m_minRow[layer] = std::min(selection->m_minRow[layer], item.row);
                selection->m_maxRow[layer] = std::max(selection->m_maxRow[layer], item.row);
                any = true;
            }
        }
        for (auto& [row, spans] : rows) {
            spans = MergeRow(std::move(spans));
        }
        cut->m_binRanges[layer] = LabelRanges(rows);
        if (any) {
            cut->m_window[layer] =
                CutWindow{selection->m_minColumn[layer],
                          selection->m_maxColumn[layer] - selection->m_minColumn[layer] + 1,
                          selection->m_minRow[layer],
                          selection->m_maxRow[layer] - selection->m_minRow[layer] + 1};
        }
    }
    FillChosenEntries(cut, selection->m_tables[sd::kLayerOverview], keys, false);
    return 0;
}

void ComputeCityCut(CMapCut* cut, const RegionTables& tables, const DWORD* rectangle,
                    int regionRow) {
    cut->Free();
    for (int layer = sd::kLayerOverview; layer <= sd::kLayerDetailed && rectangle; ++layer) {
        int32_t firstColumn = static_cast<int32_t>(rectangle[layer * 4 + 0]);
        int32_t lastColumn = static_cast<int32_t>(rectangle[layer * 4 + 1]);
        int32_t firstRow = static_cast<int32_t>(rectangle[layer * 4 + 2]);
        int32_t lastRow = static_cast<int32_t>(rectangle[layer * 4 + 3]);
        if (firstColumn < 0 || firstRow < 0 || lastColumn < firstColumn || lastRow < firstRow ||
            lastColumn >= sd::kGridLimit || lastRow >= sd::kGridLimit) {
            continue;  // no city cell in this layer
        }
        BinRange range;
        range.firstRow = firstRow;
        range.rowCount = lastRow - firstRow + 1;
        range.spans.assign(static_cast<size_t>(range.rowCount),
                           ColumnSpan{firstColumn, lastColumn - firstColumn + 1});
        cut->m_binRanges[layer].push_back(std::move(range));
        cut->m_window[layer] =
            CutWindow{firstColumn, lastColumn - firstColumn + 1, firstRow, lastRow - firstRow + 1};
    }
    const DWORD word = static_cast<DWORD>(CRegionData::CityRegion(regionRow)[0]);
    std::vector<uint32_t> expanded = ExpandChoiceWords(&word, 1);
    std::set<uint32_t> keys(expanded.begin(), expanded.end());
    FillChosenEntries(cut, tables[sd::kLayerOverview], keys, true);
}

CMapCut* BuildSelection(const DWORD* choice, int countOrRow, int cityFlag) {
    FreeMapCut();
    RegionTables tables = ProgramRegionTables();
    bool loaded = tables[sd::kLayerOverview]->IsLoaded() &&
                  (cityFlag || tables[sd::kLayerDetailed]->IsLoaded());
    if (!loaded) {
        MessageBoxW(nullptr, kRegionLoadError, nullptr, MB_OK | MB_SYSTEMMODAL);
        return nullptr;
    }
    CMapCut* cut = new CMapCut;
    if (cityFlag) {
        ComputeCityCut(cut, tables, choice, countOrRow);
    } else {
        CMapSelectionBase selection(cut, tables);
        ComputeMapCut(&selection, choice, countOrRow);
    }
    g_mapCut.store(cut);
    return cut;
}

CMapCut* GetMapCut() {
    return g_mapCut.load();
}

void FreeMapCut() {
    CMapCut* cut = g_mapCut.exchange(nullptr);
    if (cut) {
        cut->Free();
        delete cut;
    }
}
