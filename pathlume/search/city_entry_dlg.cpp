#include "pathlume/search/city_entry_dlg.h"

#include <cstdio>

#include "pathlume/mapdb/area_zone_file.h"

namespace {

KeyboardSetup CitySetup() {
    KeyboardSetup setup;
    setup.titleId = 6074;
    return setup;
}

}  // namespace

CCityEntryDlg::CCityEntryDlg(CWnd* parent, uint8_t region)
    : KeyboardEntryDlg(parent, CitySetup()), m_region(region) {}

void CCityEntryDlg::FillList() {
    if (CWnd* main = AfxGetMainWnd())
        main->SetForegroundWindow();
    m_cities = BuildCityList(g_areaZones, m_region);
    m_list->ownsItems = 0;
    for (const CityEntry& city : m_cities)
        m_list->AddItem(city.displayName.c_str(), 0);
}

void CCityEntryDlg::OnOK() {
    if (SelectedRow())
        EndDialog(IDOK);
}

int CCityEntryDlg::GetSelectedCity(CitySelection* city) const {
    const char* row = SelectedRow();
    for (const CityEntry& entry : m_cities) {
        if (row && entry.displayName.c_str() == row) {
            std::snprintf(city->displayName, sizeof city->displayName, "%s",
                          entry.displayName.c_str());
            city->recordNumber = entry.recordNumber;
            city->fileOffset = entry.fileOffset;
            return 0;
        }
    }
    return 1;
}
