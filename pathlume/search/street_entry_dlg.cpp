#include "pathlume/search/street_entry_dlg.h"

#include "pathlume/mapdb/map_database.h"
#include "pathlume/search/destination_chains.h"

CStreetEntryDlg::CStreetEntryDlg(CWnd* parent, const CitySelection* city, const StreetRecord* first,
                                 Mode mode, uint8_t region)
    : KeyboardEntryDlg(parent, KeyboardSetup{}),
      m_first(first),
      m_city(city),
      m_mode(mode),
      m_region(region) {}

void CStreetEntryDlg::FillList() {
    if (CWnd* main = AfxGetMainWnd())
        main->SetForegroundWindow();
    m_list->ownsItems = 0;
    if (m_mode == kSecondStreet) {
        if (m_first) {
            m_streets.LoadCrossStreets(g_mapDatabase, m_region, m_first->nameOffset,
                                       m_city ? static_cast<int32_t>(m_city->fileOffset) : -1);
        }
    } else if (m_city) {
        m_streets.LoadCity(m_region, *m_city);
    } else if (m_streets.LoadRegion(m_region) == StreetList::Outcome::kOutOfMemory) {
        m_loaded = true;
        EndDialog(kStreetListNoMemory);
        return;
    }
    for (const char* row : m_streets.Rows())
        m_list->AddItem(row, 0);
    m_loaded = true;
}

void CStreetEntryDlg::OnOK() {
    const char* row = SelectedRow();
    if (!row)
        return;
    // A message row names no street: OK on it goes back.
    EndDialog(m_streets.IsMessageRow(row) ? IDCANCEL : IDOK);
}

int CStreetEntryDlg::GetSelectedName(StreetRecord* out) const {
    return m_streets.GetSelectedName(SelectedRow(), *out);
}

int CStreetEntryDlg::GetSelectedStreet(const CitySelection* city, StreetRecord* out,
                                       bool nameOnly) const {
    return ::GetSelectedStreet(SelectedRow(), city, m_region, nameOnly, *out);
}
