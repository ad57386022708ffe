// The point-of-interest result screen: the details of one result (name, address,
// area, telephone), the nearby list it searches itself (with arrows towards each
// place), or the places of one chain; "Nav", "Fav" and "Origin" act on the chosen
// place, and a nearby row's details open a second screen.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "pathlume/search/list_screen_dlg.h"
#include "pathlume/search/poi_actions.h"
#include "pathlume/search/poi_rows.h"

class CPoiSearch;
class CMapDatabase;

// Display modes (the low byte of the mode word).
inline constexpr uint32_t kPoiDetails = 0;
inline constexpr uint32_t kPoiNearby = 16;
inline constexpr uint32_t kPoiChain = 64;
// The search kind of city centres.
inline constexpr uint32_t kPoiCityCentreKind = 8;
// The details of a list row.
inline constexpr uint32_t kPoiRowDetails = 0x100;

class CPoiSelectDlg : public CListScreenDlg {
  public:
    // mode: the display mode in the low byte, above it the search kind (or, for the
    // nearby list, the category value to search). search and index: the result shown
    // (its group makes the screen a chain list).
    CPoiSelectDlg(CWnd* parent, uint32_t mode, CPoiSearch* search, int index);
    ~CPoiSelectDlg() override;

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    void OnOK() override { OnNav(); }
    void SelectNext() override;
    void SelectPrev() override;

    // 2 at the start, 0 after Nav, 1 after Origin.
    int m_choice = 2;
    // Set by a caller that requests the route itself from m_target.
    bool m_callerRoutes = false;
    RouteTarget m_target{};
    float m_startLat = 0;
    float m_startLon = 0;

    uint32_t DisplayMode() const { return m_display; }
    bool ListReady() const { return m_listReady; }
    const std::vector<PoiRow>& Rows() const { return m_rows; }
    const PoiPlace& Details() const { return m_place; }
    std::u16string TitleText() const;

  protected:
    void OnPaint();
    void OnNav();
    void OnFav();
    void OnOrigin();
    void OnDetails();

    DECLARE_MESSAGE_MAP()

  private:
    // The place of the selected row (or the details): false when the list is not
    // ready (nothing happens); a row that maps to no result closes the screen.
    bool SelectedPlace(PoiPlace* place, bool* closed);
    const PoiResult* RowResult(int row) const;
    void FillNearby();
    void FillChain();
    void FillDetailsTexts();
    void PaintDetails(CDC& dc);

    uint32_t m_display;
    uint32_t m_kind;
    uint32_t m_selector;
    CPoiSearch* m_search;
    std::unique_ptr<CPoiSearch> m_ownSearch;
    int m_index;
    CPoiResultArray* m_group = nullptr;
    std::vector<PoiRow> m_rows;
    bool m_listReady = false;
    PoiPlace m_place;
    std::string m_address;
    std::string m_area;
    CImageButton m_details;
    CImageButton m_nav;
    CImageButton m_close;
    CImageButton m_fav;
    CImageButton m_origin;
};

// Runs the nearby list or the city centres' list for the options' answer; its
// DoModal answer.
int RunPoiNearbyScreen(CWnd* parent, uint32_t mode);
