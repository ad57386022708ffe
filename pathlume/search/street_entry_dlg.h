// The street keyboard screen: the streets of the region ("Street First"), of a city
// ("City First"), or those meeting an intersection's first street; its opener asks it
// for the chosen street afterwards.
#pragma once

#include <cstdint>

#include "pathlume/search/keyboard_entry_dlg.h"
#include "pathlume/search/street_list.h"

class CMapDatabase;

class CStreetEntryDlg : public KeyboardEntryDlg {
  public:
    enum Mode { kStreet = 0, kSecondStreet = 1 };

    // city: the city screen's choice or null; first: the intersection's first street
    // (mode kSecondStreet).
    CStreetEntryDlg(CWnd* parent, const CitySelection* city, const StreetRecord* first, Mode mode,
                    uint8_t region);

    // IDOK with a street row, IDCANCEL when cancelled or OK on a message row, or
    // kStreetListNoMemory (48573) when the region's list did not fit in memory (the
    // screen then closes before it is shown).
    void OnOK() override;
    // The chosen row of the region's list: its table record (0), or 1.
    int GetSelectedName(StreetRecord* out) const;
    // The chosen row for a city or a second street (see ::GetSelectedStreet).
    int GetSelectedStreet(const CitySelection* city, StreetRecord* out, bool nameOnly) const;

    const StreetList& Streets() const { return m_streets; }
    bool Loaded() const { return m_loaded; }

  protected:
    void FillList() override;
    UINT TitleId() const override { return m_mode == kSecondStreet ? 6158 : 6159; }

  private:
    bool m_loaded = false;
    StreetList m_streets;
    const StreetRecord* m_first;
    const CitySelection* m_city;
    Mode m_mode;
    uint8_t m_region;
};
