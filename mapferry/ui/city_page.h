// The city page: a state, one of its cities and a radius of 25 to 150 miles become
// a rectangle of grid cells in the map's two networks; the page shows the size as a
// range and makes the map of that rectangle.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "formats/city_list.h"
#include "formats/map_container.h"
#include "mapferry/ui/target_choice.h"
#include "platform/afx/afx.h"

inline constexpr UINT kCityPageTemplate = 155;
inline constexpr int kStateCombo = 1014;
inline constexpr int kCityCombo = 1015;
inline constexpr int kRadiusTrackbar = 1016;
inline constexpr int kRadiusText = 1017;
inline constexpr int kCitySize = 1005;
inline constexpr DWORD kStatePromptData = 163;

// "25 (40)" ... "150 (241)": miles and kilometres of a radius step 1-6.
std::u16string RadiusText(int step);

// A grid cell's column and row of a position (outside the grid for a position
// outside it); nothing for a position or grid that is not finite.
struct GridCell {
    int32_t column = 0;
    int32_t row = 0;
};
std::optional<GridCell> CellOf(const formats::map_container::GridHeader& grid, double latitude,
                               double longitude);

// The rectangle of cells within the radius (miles) of the point, per layer: first
// column, last column, first row, last row, each held to the grid; -1 values when
// the point has no cell.
using CityRectangle = std::array<int32_t, 8>;
CityRectangle CityCellRectangle(const formats::map_container::GridHeader& overview,
                                const formats::map_container::GridHeader& detailed, float latitude,
                                float longitude, int radiusMiles);

// The size range shown for the bytes ("1 - 2 MB", "12 - 14 MB") and the upper
// estimate kept for the target check.
struct SizeRange {
    std::u16string text;
    unsigned long upperMB = 0;
};
SizeRange SizeRangeOf(uint64_t bytes);

class CPropertyPageL0ByCity : public CPropertyPage {
  public:
    CPropertyPageL0ByCity();
    void Init(CDeviceLinkHolder* holder);

    BOOL OnInitDialog() override;
    void OnOK() override;
    BOOL OnApply() override;

    int StateRow() const { return m_stateRow; }
    int CityIndex() const { return m_cityIndex; }
    const CityRectangle& Rectangle() const { return m_rectangle; }
    unsigned long UpperEstimateMB() const { return m_upperMB; }

  protected:
    void OnPaint();
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);
    void OnRegionDropDown();
    void OnRegionChanged();
    void OnRegionCloseUp();
    void OnRegionEdited();
    void OnRegionKillFocus();
    void OnCityChanged();
    void OnCityEdited();
    void OnCityKillFocus();
    void OnHScroll(UINT code, UINT position, CScrollBar* bar);
    void OnTargetDropDown();
    void OnTargetCloseUp();
    void OnTargetChanged();
    DECLARE_MESSAGE_MAP()

  private:
    struct StateCities {
        bool loaded = false;
        std::vector<formats::city_list::City> cities;  // listed ones only
    };
    void LoadCityList(int row);
    void SelectCity(int row, int index);
    void ClearCity();
    void UpdateSizeRange();
    int OnGenerateMap();
    int RadiusStep() const;
    // The first entry of the combo whose text begins with the typed text.
    int FindTyped(CComboBox& combo, std::u16string* typed) const;

    CComboBox m_states;
    CComboBox m_cityCombo;
    CTargetChoice m_target;
    std::vector<StateCities> m_cities;
    int m_stateRow = -1;
    int m_cityIndex = -1;
    size_t m_stateTyped = 0;
    size_t m_cityTyped = 0;
    float m_latitude = 0;
    float m_longitude = 0;
    bool m_citySet = false;
    CityRectangle m_rectangle{};
    unsigned long m_upperMB = 0;
    std::u16string m_caption;
};
