// The region page: the regions of the disc on a clickable picture and in a tree
// beside it, the size of the choice line by line, the target and its free space, and
// "Generate Map" for the chosen regions.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "mapferry/convert/installer_services.h"
#include "mapferry/ui/target_choice.h"
#include "platform/afx/afx.h"

class CMapGenerator;

// Control ids of the region page.
inline constexpr UINT kRegionPageTemplate = 183;
inline constexpr int kRegionTree = 1001;
inline constexpr int kSelectedSize = 1005;
inline constexpr int kSelectAllButton = 1042;
inline constexpr int kClearAllButton = 1043;
inline constexpr int kChangeTargetButton = 3;
inline constexpr int kSizeLegendId = 1050;

// Tree state images.
enum TreeStateImage : int {
    kImagePartly = 1,
    kImageOff = 2,
    kImageWhole = 3,
    kImageSubAreaOn = 4,
    kImageUnavailable = 5,
};

inline constexpr unsigned kSizeLimitMB = 512;
inline constexpr UINT kShowWelcomeMessage = WM_USER + 100;

// The tree of regions and sub-areas, each with its state image; a press on the image
// is noted for the page, and so is the Ctrl key.
class CRegionTreeCtrl : public CTreeCtrl {
  public:
    // Sets the image only when it differs.
    void SetCheckState(HTREEITEM item, int image);
    void SetStateImage(HTREEITEM item, int image);
    int GetStateImage(HTREEITEM item) const;
    // 1 when a click clears the item (image 3), 3 when it selects it whole; 0 for none.
    int GetToggleState(HTREEITEM item) const;
    // Image 2 becomes 4, any other 2; the new image.
    int ToggleSubAreaImage(HTREEITEM item);
    void AttachParent();

    int m_ctrlHeld = 0;
    HTREEITEM m_hitItem = nullptr;
    int m_stateIconClicked = 0;
    CWnd* m_pParent = nullptr;

  protected:
    void OnLButtonDown(UINT flags, CPoint point);
    void OnKeyDown(UINT key, UINT repeat, UINT flags);
    void OnKeyUp(UINT key, UINT repeat, UINT flags);
    DECLARE_MESSAGE_MAP()
};

// The size of the choice: a line per chosen region (or each chosen sub-area of a
// region chosen in part) with its own estimate, then the total.
class CSizeLegend : public CWnd {
  public:
    struct Line {
        std::u16string name;
        unsigned megabytes = 0;
    };
    BOOL CreateLegend(CWnd* parent, const RECT& rect);
    void SetLines(std::vector<Line> lines, unsigned totalMegabytes);
    // The lines as drawn, the total last ("Total" and "N MB").
    std::vector<std::u16string> Texts() const;

  protected:
    void OnPaint();
    DECLARE_MESSAGE_MAP()

  private:
    std::vector<Line> m_lines;
    unsigned m_total = 0;
};

// Megabytes of the bytes as the pages show them: rounded, at least 1 for any bytes.
unsigned MegabytesOf(uint64_t bytes);
// The estimate of a set of choice words (region << 16 | sub-area mask), through the
// program's cut and size tables.
uint64_t EstimateChoiceBytes(const std::vector<DWORD>& choiceWords);

class CPropertyPageL0 : public CPropertyPage {
  public:
    // regionIndex: the region value of each record of the first region table (64
    // entries at least), reused as the per-region masks.
    CPropertyPageL0();
    void Init(std::vector<DWORD>* regionIndex, CDeviceLinkHolder* holder);

    BOOL OnInitDialog() override;
    void OnOK() override;
    BOOL OnApply() override;

    // The choice words of the regions chosen, in region order.
    std::vector<DWORD> ChoiceWords() const;
    // Recomputes the estimate (and the legend) from the regions chosen.
    unsigned EstimateSelectedSizeMB();
    unsigned EstimatedSizeMB() const { return m_estimatedMB; }
    bool IsAvailable(int region) const { return region >= 0 && region < 64 && m_available[region]; }
    void SelectAllRegions(int select);
    // The picture click's choice for a region, with the 512 MB limit.
    void OnPictureClick(int region);
    void ToggleTreeItem(HTREEITEM item);
    void SetRegionSelected(int region, int select, int recompute);
    CRegionTreeCtrl& Tree() { return m_tree; }
    const CSizeLegend& Legend() const { return m_legend; }

  protected:
    void OnPaint();
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);
    LRESULT OnShowWelcome(WPARAM, LPARAM);
    void OnLButtonDown(UINT flags, CPoint point);
    void OnLButtonUp(UINT flags, CPoint point);
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    void OnSelectAll();
    void OnClearAll();
    void OnChangeTarget();
    void OnTargetDropDown();
    void OnTargetCloseUp();
    void OnTargetChanged();
    DECLARE_MESSAGE_MAP()

  private:
    void FillRegionTree();
    void BuildPicture();
    bool SelectedAnyOtherThan(int region) const;
    void DeselectAllRegions();
    void ApplySubAreaChoice(int region);
    void OnRegionToggled(int region, int subArea, int state);
    int OnGenerateMap();
    void Repaint();
    int ConfirmCombination(int region);

    CRegionTreeCtrl m_tree;
    CTargetChoice m_target;
    CSizeLegend m_legend;
    CImageList m_stateImages;
    CFont m_labelFont;
    CFont m_captionFont;
    CBitmap m_picture;  // 251: the available regions over a plain ground
    std::vector<DWORD>* m_pRegionIndex = nullptr;
    std::array<BYTE, 64> m_available{};
    int m_currentRegion = 0;
    int m_clickFlag = 0;
    unsigned m_estimatedMB = 0;
    int m_painted = 0;
    CPoint m_clickPoint;
};

// The flag that keeps the welcome from showing again: "HelpOptions", read once the
// program knows its side.
void ReadHelpOptions();
extern int g_helpOptions;
