// Display Options (map orientation, colours, the guidance screen's coming up by
// itself, the point-of-interest icons, the 3D view and the colour theme, all applied
// to the running program at OK) and Icons to Display (the icon categories the map
// shows in the "Custom" icon mode).
#pragma once

#include <cstdint>
#include <vector>

#include "pathlume/foundation/full_screen_dialog.h"

inline constexpr UINT kDisplayOptionsTemplateId = 1026;
inline constexpr UINT kPoiFilterTemplateId = 1066;

class CMainView;

class CDisplayOptionsDlg : public CFullScreenDialog {
  public:
    explicit CDisplayOptionsDlg(CWnd* parent);

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    // Stores every choice in the registry and the program's globals and applies them.
    void OnOK() override;
    // Puts the icon mode back as the dialog found it.
    void OnCancel() override;

    // Working copies taken at construction.
    DWORD m_options;
    DWORD m_colorMode;
    DWORD m_poiMode;
    DWORD m_3DMode;
    DWORD m_colorTheme;
    // The icon mode when the dialog opened, which Cancel restores.
    DWORD m_poiModeAtOpen;

    CMapButton m_headingUp, m_northUp;
    CMapButton m_colorAuto, m_day, m_night;
    CMapButton m_guidanceAuto, m_guidanceManual;
    CMapButton m_poiDefault, m_poiOff, m_poiCustom;
    CMapButton m_view1, m_view2, m_view3, m_view2D;
    CMapButton m_yellow, m_gray, m_white, m_purple;
    CImageButton m_ok, m_cancel;

  protected:
    void OnChoice(UINT id);
    void DrawScreen(CDC& dc) override;

    DECLARE_MESSAGE_MAP()
};

// The category codes of the icon filter.
inline constexpr int kPoiFilterCategories = 9;
// The code the filter stores for a category (all its sub-types; Restaurant's own).
uint32_t PoiFilterCode(int category);
// Writes the codes as "DDrawPOITypes" (4 bytes each, little-endian).
void SavePoiSelection(const uint32_t* codes, int count);

class CPoiFilterDlg : public CFullScreenDialog {
  public:
    explicit CPoiFilterDlg(CWnd* parent);

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    // Stores the chosen categories and has the map draw them.
    void OnOK() override;

    // The selection as loaded and as chosen: bit i is category i.
    uint32_t m_loadedBits = 0;
    uint32_t m_bits = 0;
    // Stored codes of categories the dialog does not know, kept for the map.
    std::vector<uint32_t> m_otherCodes;
    CImageButton m_all, m_clear;
    CMapButton m_categories[kPoiFilterCategories];
    CImageButton m_ok, m_cancel;

  protected:
    void OnCommandButton(UINT id);
    LPCWSTR ScreenTitle() override;

    DECLARE_MESSAGE_MAP()

  private:
    void ShowBits();
    std::u16string title_;
};

// The dialogs as the main view runs them (OptionDialogs' display slots).
int RunDisplayOptionsDialog(CWnd* parent);
int RunPoiFilterDialog(CWnd* parent);
