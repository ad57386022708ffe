// The city keyboard screen: every city of the chosen region, for "City First".
#pragma once

#include <cstdint>
#include <vector>

#include "pathlume/search/city_list.h"
#include "pathlume/search/keyboard_entry_dlg.h"

class CCityEntryDlg : public KeyboardEntryDlg {
  public:
    CCityEntryDlg(CWnd* parent, uint8_t region);

    // OK without a shown row does nothing.
    void OnOK() override;
    // The chosen city: 0, or 1 (the record untouched) when no row is chosen.
    int GetSelectedCity(CitySelection* city) const;

    const std::vector<CityEntry>& Cities() const { return m_cities; }

  protected:
    void FillList() override;

  private:
    uint8_t m_region;
    std::vector<CityEntry> m_cities;  // the rows point at their names
};
