#include "pathlume/search/poi_search_dlg.h"

#include <cstdio>
#include <new>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/geocoder.h"
#include "pathlume/mapdb/poi_file.h"
#include "pathlume/search/poi_chain.h"
#include "pathlume/search/poi_select_dlg.h"
#include "platform/kernel/text.h"

namespace {

constexpr UINT kTitleCityName = 6074;
constexpr UINT kTitlePoiName = 6144;

}  // namespace

CPoiSearchDlg::CPoiSearchDlg(CWnd* parent, uint32_t selection, uint32_t city, uint8_t region)
    : KeyboardEntryDlg(parent, KeyboardSetup{}),
      m_option(selection & 0x7F),
      m_categoryValue(static_cast<int32_t>(selection) >> 8),
      m_mode((selection & (kPoiListAll | kPoiByCity)) ? CPoiSearch::kInRegion
                                                      : CPoiSearch::kAroundCentre),
      m_city(city),
      m_region(region) {}

CPoiSearchDlg::~CPoiSearchDlg() {
    ReleaseSearch();
}

UINT CPoiSearchDlg::TitleId() const {
    return (m_categoryValue & 0xFF) == static_cast<int32_t>(CPoiSearch::kCityCentres)
               ? kTitleCityName
               : kTitlePoiName;
}

void CPoiSearchDlg::ReleaseSearch() {
    m_search.reset();
    if (m_listFont.GetSafeHandle())
        m_listFont.DeleteObject();
}

void CPoiSearchDlg::FillList() {
    CreateScaledFont(&m_listFont, g_screenScaleY.load() <= 1.0f ? 13 : 14, FW_BOLD, nullptr);
    m_list->listFont = static_cast<HFONT>(m_listFont.GetSafeHandle());
    m_list->ownsItems = 0;
    CWaitCursor wait;
    m_search.reset(new (std::nothrow) CPoiSearch(m_categoryValue, m_mode, m_city, m_region));
    if (!m_search)
        return;
    const int code = m_search->Search();
    if (code != CPoiSearch::kFound) {
        const std::string message = PoiSearchMessage(code);
        if (!message.empty())
            m_rows.push_back({message, -1});
    } else {
        m_searchDone = true;
        m_rows = BuildPoiNameRows(*m_search);
        if (m_rows.empty())
            m_rows.push_back(
                {platform::WideToAnsi(ScreenText(m_city ? kMsgNoPoiInCity : kMsgNoPoiInRegion)),
                 -1});
    }
    for (const PoiRow& row : m_rows)
        m_list->AddItem(row.text.c_str(), 0);
    m_list->SetSelection(0, FALSE, FALSE);
    m_list->EnsureVisibleUp(0, FALSE);
}

void CPoiSearchDlg::OnTextChanged() {
    // Typing narrows only a list of results.
    if (m_searchDone)
        KeyboardEntryDlg::OnTextChanged();
}

int CPoiSearchDlg::GetSelectedResultIndex() {
    const int row = m_list ? m_list->selection : -1;
    if (row < 0 || static_cast<size_t>(row) >= m_rows.size())
        return -1;
    const int index = m_rows[static_cast<size_t>(row)].result;
    if (m_search && index >= 0)
        m_search->KeepName(index, m_rows[static_cast<size_t>(row)].text.c_str());
    return index;
}

void CPoiSearchDlg::OnOK() {
    // A message row, no row or no search: OK is cancel.
    if (!m_searchDone || !m_search || !SelectedRow() || m_rows.empty() || m_rows[0].result < 0) {
        OnCancel();
        return;
    }
    const int index = GetSelectedResultIndex();
    if (index < 0) {
        OnCancel();
        return;
    }
    m_search->GroupDuplicates(index);
    if ((m_categoryValue & 0xFF) == static_cast<int32_t>(CPoiSearch::kCityCentres))
        std::snprintf(g_destinationText, sizeof g_destinationText, "%s", SelectedRow());
    const uint32_t mode =
        (m_option & 0xFF) | ((static_cast<uint32_t>(m_categoryValue) & 0xFF) << 8);
    CPoiSelectDlg select(this, mode, m_search.get(), index);
    select.m_callerRoutes = true;
    Field().ShowWindow(SW_HIDE);
    const int result = static_cast<int>(select.DoModal());
    if (result == 539) {
        EndDialog(539);
        return;
    }
    if (g_homeKeyPressed.load()) {
        EndDialog(IDCANCEL);
        return;
    }
    if (select.m_choice == 0) {
        ReleaseSearch();
        // A target without a road (no valid row) is no route.
        if (select.m_target.link)
            RequestRouteFromVehicle(select.m_target);
    }
    if (result == IDOK) {
        EndDialog(IDOK);
        return;
    }
    Field().ShowWindow(SW_SHOW);
}
