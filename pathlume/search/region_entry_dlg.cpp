#include "pathlume/search/region_entry_dlg.h"

#include "pathlume/mapdb/area_zone_file.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/street_name_list_file.h"

namespace {

KeyboardSetup RegionSetup() {
    KeyboardSetup setup;
    setup.titleId = 6087;
    setup.scaledShortList = true;
    return setup;
}

}  // namespace

CRegionEntryDlg::CRegionEntryDlg(uint8_t region, CWnd* parent)
    : KeyboardEntryDlg(parent, RegionSetup()), m_region(region) {}

void CRegionEntryDlg::FillList() {
    StreetNameListFile streets;
    m_rows = BuildRegionList(g_areaZones, streets.Open(), m_region);
    m_list->ownsItems = 0;
    for (const RegionRow& row : m_rows)
        m_list->AddItem(row.label.c_str(), 0);
}

void CRegionEntryDlg::OnOK() {
    const char* row = SelectedRow();
    if (!row)
        return;
    for (const RegionRow& r : m_rows) {
        if (r.label.c_str() == row)
            g_linkInfo.Seek(r.region);
    }
    EndDialog(IDOK);
}

uint8_t CRegionEntryDlg::GetSelectedRegion() const {
    const char* row = SelectedRow();
    for (const RegionRow& r : m_rows) {
        if (row && r.label.c_str() == row)
            return g_linkInfo.Seek(r.region) == 0 ? r.region : kNoRegion;
    }
    return kNoRegion;
}
