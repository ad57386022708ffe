#include "pathlume/search/poi_select_dlg.h"

#include <cstdio>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/foundation/screen_draw.h"
#include "pathlume/mapdb/area_zone_file.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/poi_file.h"
#include "pathlume/mapdb/router_services.h"
#include "pathlume/mapdb/street_texts.h"
#include "platform/kernel/text.h"

namespace {

constexpr int kNav = 540;
constexpr int kFav = 501;
constexpr int kOrigin = 539;
constexpr int kDetailsButton = 620;
constexpr UINT kTitleSelection = 6148;
constexpr UINT kTitleCityCentre = 6278;
constexpr UINT kTitleList = 6149;
constexpr UINT kTitleCityList = 6279;
constexpr uint32_t kRowDetailsKind = 1;

void DrawCentred(CDC& dc, const std::string& text, int left, int top, int right, int bottom) {
    if (text.empty())
        return;
    const std::u16string wide = platform::AnsiToWide(text);
    RECT band{left, top, right, bottom};
    dc.DrawText(wide.c_str(), static_cast<int>(wide.size()), &band,
                DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
}

}  // namespace

BEGIN_MESSAGE_MAP(CPoiSelectDlg, CListScreenDlg)
ON_WM_PAINT()
ON_COMMAND(kNav, OnNav)
ON_COMMAND(kFav, OnFav)
ON_COMMAND(kOrigin, OnOrigin)
ON_COMMAND(kDetailsButton, OnDetails)
END_MESSAGE_MAP()

CPoiSelectDlg::CPoiSelectDlg(CWnd* parent, uint32_t mode, CPoiSearch* search, int index)
    : CListScreenDlg(kAddressListTemplate, parent, true),
      m_display(mode & 0xFF),
      m_kind((mode >> 8) & 0xFF),
      m_selector(mode >> 8),
      m_search(search),
      m_index(index) {
    m_target.Clear();
    if (m_display == kPoiNearby || m_display == kPoiChain)
        return;
    if (!m_search || index < 0 || index >= m_search->ResultCount()) {
        m_display = kPoiDetails;
        return;
    }
    const PoiResult& result = m_search->Result(index);
    // A result with other places of its name shows them all.
    if (result.group) {
        m_display = kPoiChain;
        return;
    }
    m_display = kPoiDetails;
    m_place = PoiPlaceOf(result);
    m_place.cityCentre = m_kind == kPoiCityCentreKind;
    if (result.address)
        m_address = result.address;
}

CPoiSelectDlg::~CPoiSelectDlg() = default;

void CPoiSelectDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, kDetailsButton, m_details);
    DDX_Control(dx, kNav, m_nav);
    DDX_Control(dx, IDCANCEL, m_close);
    DDX_Control(dx, kFav, m_fav);
    DDX_Control(dx, kOrigin, m_origin);
}

std::u16string CPoiSelectDlg::TitleText() const {
    const bool cities = m_kind == kPoiCityCentreKind;
    if (m_display == kPoiDetails)
        return ScreenText(cities ? kTitleCityCentre : kTitleSelection);
    return ScreenText(cities ? kTitleCityList : kTitleList);
}

BOOL CPoiSelectDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    StartWithNavFavOrigin(m_nav, m_fav, m_origin, m_close);
    SetUpImageButton(m_details, 250, &m_buttonFont, RGB(255, 255, 255));
    m_details.ShowWindow(m_display == kPoiNearby && m_kind != kPoiCityCentreKind ? SW_SHOW
                                                                                 : SW_HIDE);
    LayoutButtonRows(*this, {&m_nav, &m_fav, &m_origin, &m_details, &m_close}, ScaleY(244));
    if (m_display == kPoiNearby)
        FillNearby();
    else if (m_display == kPoiChain)
        FillChain();
    else
        FillDetailsTexts();
    if (m_list) {
        for (const PoiRow& row : m_rows)
            m_list->AddItem(row.text.c_str(), 0);
        m_list->SetSelection(0, FALSE, FALSE);
        m_list->ShowWindow(SW_SHOW);
        // A focused image button would take Enter, which is Nav here.
        m_list->SetFocus();
    } else {
        // The screen itself takes the keys (Enter is Nav): a focused image button would
        // swallow Enter, so none can take the focus.
        for (CImageButton* button : {&m_nav, &m_fav, &m_origin, &m_details, &m_close})
            button->ModifyStyle(WS_TABSTOP, 0);
        SetFocus();
    }
    SetWindowText(kProductName);
    return FALSE;
}

void CPoiSelectDlg::FillNearby() {
    m_list = new CDestListCtrl();
    m_list->Create(this, RECT{4, ScaleY(20), ScaleX(236), ScaleY(238)}, kDestinationListId,
                   WS_VSCROLL, TRUE);
    m_list->ownsItems = 1;
    m_list->rowPlace = [this](int row, MapPoint* place) {
        const PoiResult* result = RowResult(row);
        if (!result)
            return false;
        *place = MapPoint{result->record.latitude, result->record.longitude};
        return true;
    };
    m_list->parentHasResults = [this] { return m_listReady; };
    CWaitCursor wait;
    m_ownSearch = std::make_unique<CPoiSearch>(static_cast<int32_t>(m_selector),
                                               CPoiSearch::kAroundCentre, 0, 255);
    m_search = m_ownSearch.get();
    const int code = m_search->Search();
    if (code != CPoiSearch::kFound) {
        const std::string message =
            code == CPoiSearch::kNoneAccepted ? std::string() : PoiSearchMessage(code);
        if (!message.empty())
            m_rows.push_back({message, -1});
        return;
    }
    m_listReady = true;
    m_rows = BuildPoiNearbyRows(*m_search, g_options.load());
    if (m_rows.empty())
        m_rows.push_back({PoiSearchMessage(CPoiSearch::kNothingInWindow), -1});
}

void CPoiSelectDlg::FillChain() {
    CreateList();
    m_list->ownsItems = 1;
    if (!m_search || m_index < 0 || m_index >= m_search->ResultCount())
        return;
    CWaitCursor wait;
    m_group = m_search->Result(m_index).group;
    if (!m_group)
        return;
    m_listReady = true;
    m_rows = BuildPoiChainRows(*m_search, *m_group);
}

void CPoiSelectDlg::FillDetailsTexts() {
    if (!m_address.empty() || m_place.linkId <= 0) {
        if (m_place.cityCentre && g_destinationText[0])
            m_area = g_destinationText;
        return;
    }
    char street[kStreetTextSize] = "";
    FormatHouseRange(g_linkInfo, m_place.linkId, 0, street, sizeof street, nullptr, false);
    m_address = m_place.house >= 1 ? std::to_string(m_place.house) + " " + street : street;
    if (m_place.cityCentre && g_destinationText[0]) {
        m_area = g_destinationText;
        return;
    }
    LinkInfoRecord record;
    char area[kPlaceTextSize] = "";
    if (g_linkInfo.ReadRecord(m_place.linkId, record, false) == 0)
        g_areaZones.FormatPlaceText(record, area, sizeof area, m_place.side, false);
    m_area = area;
}

const PoiResult* CPoiSelectDlg::RowResult(int row) const {
    if (!m_search || row < 0 || static_cast<size_t>(row) >= m_rows.size())
        return nullptr;
    const int result = m_rows[static_cast<size_t>(row)].result;
    if (m_display == kPoiChain) {
        return m_group && result >= 0 && static_cast<size_t>(result) < m_group->size()
                   ? (*m_group)[static_cast<size_t>(result)]
                   : nullptr;
    }
    return result >= 0 && result < m_search->ResultCount() ? &m_search->Result(result) : nullptr;
}

bool CPoiSelectDlg::SelectedPlace(PoiPlace* place, bool* closed) {
    *closed = false;
    if (m_display == kPoiDetails) {
        *place = m_place;
        return true;
    }
    if (!m_listReady)
        return false;
    const PoiResult* result = RowResult(m_list ? m_list->selection : -1);
    if (!result) {
        *closed = true;
        EndDialog(IDOK);
        return false;
    }
    *place = PoiPlaceOf(*result);
    place->cityCentre = m_kind == kPoiCityCentreKind;
    return true;
}

void CPoiSelectDlg::SelectNext() {
    if (m_list && m_listReady)
        m_list->SelectNext();
}

void CPoiSelectDlg::SelectPrev() {
    if (m_list && m_listReady)
        m_list->SelectPrev();
}

void CPoiSelectDlg::OnNav() {
    // Nothing happens, and the route stays, until a result can be chosen.
    if (m_display != kPoiDetails && !m_listReady)
        return;
    CWaitCursor wait;
    GetRouterServices().ClearAvoidMarks();
    GetRouterServices().ResetRoute();
    m_choice = 0;
    PoiPlace place;
    bool closed = false;
    if (!SelectedPlace(&place, &closed))
        return;
    std::snprintf(g_destinationText, sizeof g_destinationText, "%s", place.name.c_str());
    if (g_vehicleLocation.cosLat != 0) {
        m_startLat = g_vehicleLocation.lat;
        m_startLon = g_vehicleLocation.scaledLon / g_vehicleLocation.cosLat;
    }
    NavigateToPoi(g_mapDatabase, place, g_mainView.load(), m_callerRoutes, &m_target);
    EndDialog(IDOK);
}

void CPoiSelectDlg::OnFav() {
    PoiPlace place;
    bool closed = false;
    if (!SelectedPlace(&place, &closed))
        return;
    AddPoiToFavorites(g_mapDatabase, place, g_mainView.load());
    EndDialog(g_homeKeyPressed.load() ? IDCANCEL : IDOK);
}

void CPoiSelectDlg::OnOrigin() {
    if (m_display != kPoiDetails && !m_listReady)
        return;
    CWaitCursor wait;
    m_choice = 1;
    PoiPlace place;
    bool closed = false;
    if (!SelectedPlace(&place, &closed))
        return;
    MakePoiTheOrigin(g_mapDatabase, place, g_mainView.load());
    EndDialog(kOrigin);
}

void CPoiSelectDlg::OnDetails() {
    const PoiResult* result = RowResult(m_list ? m_list->selection : -1);
    if (m_display != kPoiNearby || !result)
        return;
    const int index = static_cast<int>(result - &m_search->Result(0));
    CPoiSelectDlg details(this, kPoiRowDetails | (kRowDetailsKind << 8), m_search, index);
    details.DoModal();
    if (g_homeKeyPressed.load()) {
        EndDialog(IDCANCEL);
        return;
    }
    if (details.m_choice == 0 || details.m_choice == 1) {
        m_choice = details.m_choice;
        EndDialog(IDOK);
    }
}

void CPoiSelectDlg::OnPaint() {
    CPaintDC dc(this);
    PaintScreenBackground(dc, 0, RGB(255, 255, 255));
    dc.SetBkMode(TRANSPARENT);
    const std::u16string title = TitleText();
    DrawTitleBar(dc, m_hWnd, title.c_str());
    if (m_display == kPoiDetails)
        PaintDetails(dc);
}

void CPoiSelectDlg::PaintDetails(CDC& dc) {
    RECT client{};
    GetClientRect(&client);
    const int h = client.bottom;
    const int left = ScaleY(15);
    const int right = client.right - ScaleY(15);
    CFont* before = dc.SelectObject(&m_buttonFont);
    dc.SetTextColor(RGB(0, 0, 0));
    if (!m_place.cityCentre) {
        if (m_place.name != m_address)
            DrawCentred(dc, m_place.name, left, h / 4 - ScaleY(20), right, h / 4 + ScaleY(10));
        DrawCentred(dc, m_address, left, h / 4 + ScaleY(20), right, h / 4 + ScaleY(50));
    }
    DrawCentred(dc, m_area, left, h / 2, right, h / 2 + ScaleY(40));
    if (!m_place.cityCentre && !m_place.phone.empty())
        DrawCentred(dc, FormatPoiPhone(m_place.phone), left, 2 * h / 3, right,
                    2 * h / 3 + ScaleY(40));
    dc.SelectObject(before);
}

int RunPoiNearbyScreen(CWnd* parent, uint32_t mode) {
    CPoiSelectDlg screen(parent, mode, nullptr, -1);
    return static_cast<int>(screen.DoModal());
}
