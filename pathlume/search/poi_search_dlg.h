// The point-of-interest name screen: one search on opening (around the vehicle, in
// the region or within a city), one row per name in name order, which typing narrows;
// OK shows the chosen name's details or its places, and starts the route when the
// driver chooses Nav there.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "pathlume/search/keyboard_entry_dlg.h"
#include "pathlume/search/poi_rows.h"

class CPoiSearch;

class CPoiSearchDlg : public KeyboardEntryDlg {
  public:
    // selection: the list options' answer (the option in the low byte, the category
    // value above it); city: the city filter (0 none); region: the region searched.
    CPoiSearchDlg(CWnd* parent, uint32_t selection, uint32_t city, uint8_t region);
    ~CPoiSearchDlg() override;

    // Ends with 1 after a route was started or a place kept, 539 after Origin, 2 on
    // Home or when there is nothing to choose.
    void OnOK() override;

    // The chosen row's result; a nameless result gets the row's text as its name.
    int GetSelectedResultIndex();
    void ReleaseSearch();

    bool SearchDone() const { return m_searchDone; }
    uint32_t SearchMode() const { return m_mode; }
    const std::vector<PoiRow>& Rows() const { return m_rows; }
    CPoiSearch* Search() const { return m_search.get(); }

  protected:
    void FillList() override;
    UINT TitleId() const override;
    void OnTextChanged() override;

  private:
    uint32_t m_option;
    int32_t m_categoryValue;
    CFont m_listFont;
    bool m_searchDone = false;
    uint32_t m_mode;
    uint32_t m_city;
    uint8_t m_region;
    std::unique_ptr<CPoiSearch> m_search;
    std::vector<PoiRow> m_rows;
};
