// The point-of-interest category screen and the six sub-category pickers: big image
// buttons, each ending the screen with its code. Categories answer their number
// negated (Business/Shopping 0, Education/Govt -1, ...); pickers answer 0x80000000
// OR the kind's code, "Select All" 0x800000FF; the close key, Escape and Home answer 2
// (Home also sets g_homeKeyPressed). Every other key goes on to the window behind.
#pragma once

#include <vector>

#include "pathlume/search/menu_screen_dlg.h"

inline constexpr UINT kPoiCategoryTemplate = 1030;
inline constexpr UINT kPoiOptionsTemplate = 1034;

// One button of these screens: its id, caption, face and the code it ends with.
struct PoiChoiceButton {
    WORD id;
    const char16_t* text;
    UINT bitmap;
    int result;
};

// Registers the templates of the point-of-interest menus (once; callable again).
void RegisterPoiTemplates();

class CPoiChoiceDlg : public CMenuScreenDlg {
  public:
    CPoiChoiceDlg(UINT templateId, CWnd* parent, UINT titleId,
                  const std::vector<PoiChoiceButton>& buttons, std::vector<UINT> icons = {},
                  std::vector<int> drawnIcons = {});
    ~CPoiChoiceDlg() override;

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    void OnOK() override {}

    // The code of a button, 2 for one the screen does not have.
    int ResultOf(UINT id) const;
    // The icons' column: the rows drawn, top to bottom (as indices into the icons).
    const std::vector<int>& DrawnIcons() const { return drawnIcons_; }

  protected:
    void OnPaint();
    void OnChoice(UINT id);
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);
    // Beside the icons: each kind's button on its icon's row, "Select All" below them.
    void LayOutPickerButtons();

    DECLARE_MESSAGE_MAP()

  private:
    UINT titleId_;
    std::vector<PoiChoiceButton> buttons_;
    std::vector<UINT> iconIds_;
    std::vector<int> drawnIcons_;
    std::vector<HICON> icons_;
    std::vector<CImageButton*> images_;
    CImageButton close_;
    CFont font_;
    ScreenBrush brush_;
};

class CPoiCategoryDlg : public CPoiChoiceDlg {
  public:
    explicit CPoiCategoryDlg(CWnd* parent);
};
class CAttractionTypeDlg : public CPoiChoiceDlg {
  public:
    explicit CAttractionTypeDlg(CWnd* parent);
};
class CBusinessTypeDlg : public CPoiChoiceDlg {
  public:
    explicit CBusinessTypeDlg(CWnd* parent);
};
class CEducationTypeDlg : public CPoiChoiceDlg {
  public:
    explicit CEducationTypeDlg(CWnd* parent);
};
class CEmergencyTypeDlg : public CPoiChoiceDlg {
  public:
    explicit CEmergencyTypeDlg(CWnd* parent);
};
class CRecreationTypeDlg : public CPoiChoiceDlg {
  public:
    explicit CRecreationTypeDlg(CWnd* parent);
};
class CTransportationTypeDlg : public CPoiChoiceDlg {
  public:
    explicit CTransportationTypeDlg(CWnd* parent);
};

// The picker of a category (none for Lodging and Restaurant): its DoModal answer,
// or 2 when the category has none.
int RunPoiPicker(CWnd* parent, int category);
