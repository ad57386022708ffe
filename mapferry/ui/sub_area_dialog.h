// The sub-area dialog: a region's picture with its sub-areas, and a list of them with
// check marks; the choice is kept in the sub-areas' pending-choice flags until OK.
#pragma once

#include <vector>

#include "mapferry/convert/region_record.h"
#include "mapferry/ui/region_page.h"
#include "platform/afx/afx.h"

inline constexpr UINT kSubAreaTemplate = 177;
inline constexpr int kSubAreaList = 1026;
inline constexpr int kSubAreaPictureWidth = 400;
inline constexpr int kSubAreaPictureHeight = 300;

// The list panel's width: 200 unless the region asks for 201 to 399.
int SubAreaPanelWidth(int asked);

class CSubAreaDlg : public CDialog {
  public:
    CSubAreaDlg(CWnd* parent, int region);

    BOOL OnInitDialog() override;
    // Toggles a sub-area's choice (image 1 and 3 of the list).
    void ToggleSubArea(int subArea);
    // The sub-area under a point of the picture, -1 for none; the first in order.
    int SubAreaAt(POINT point) const;

  protected:
    void OnPaint();
    void OnLButtonUp(UINT flags, CPoint point);
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    DECLARE_MESSAGE_MAP()

  private:
    int m_region;
    CRegionTreeCtrl m_list;
    CImageList m_images;
    CBitmap m_picture;
    CFont m_font;
    // The sub-areas' outlines and labels on this dialog's picture.
    std::vector<SubAreaRecord> m_parts;
    std::vector<HTREEITEM> m_items;
};
