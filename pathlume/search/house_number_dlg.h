// The house-number keyboard screen: it shows the street's range and name and accepts a
// number only within the range.
#pragma once

#include <cstdint>

#include "pathlume/search/keyboard_entry_dlg.h"
#include "pathlume/search/street_list.h"

class CHouseNumberDlg : public KeyboardEntryDlg {
  public:
    CHouseNumberDlg(CWnd* parent, const StreetRecord* street);

    // Accepts the typed number (-1 without digits, 0 whatever the range) or says
    // "Please enter a valid house number" and stays.
    void OnOK() override;

    int32_t m_houseNumber = -1;

  protected:
    void PaintExtras(HDC dc) override;
    RECT FieldRect() const override;

  private:
    const StreetRecord* m_street;
};
