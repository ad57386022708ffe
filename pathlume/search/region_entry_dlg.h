// The region keyboard screen: the regions with streets installed; OK makes the chosen
// one the region the name searches read.
#pragma once

#include <cstdint>
#include <vector>

#include "pathlume/search/keyboard_entry_dlg.h"
#include "pathlume/search/region_list.h"

class CRegionEntryDlg : public KeyboardEntryDlg {
  public:
    CRegionEntryDlg(uint8_t region, CWnd* parent);

    void OnOK() override;
    // The selected row's own region, made the current one of "linkinfo.bin"; kNoRegion
    // without a row or when "linkinfo.bin" refuses it.
    uint8_t GetSelectedRegion() const;

    const std::vector<RegionRow>& Rows() const { return m_rows; }

  protected:
    void FillList() override;

  private:
    uint8_t m_region;
    std::vector<RegionRow> m_rows;
};
