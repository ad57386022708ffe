#include "mapferry/ui/sub_area_dialog.h"

#include "formats/source_disc.h"
#include "mapferry/convert/installer_services.h"
#include "mapferry/convert/region_data.h"
#include "mapferry/convert/region_names.h"
#include "mapferry/convert/region_picture.h"
#include "mapferry/ui/map_sheet.h"
#include "mapferry/ui/page_drawing.h"

namespace {

constexpr int kUnchosenImage = 1;
constexpr int kChosenImage = 3;

}  // namespace

int SubAreaPanelWidth(int asked) {
    return asked > 200 && asked < 400 ? asked : 200;
}

BEGIN_MESSAGE_MAP(CSubAreaDlg, CDialog)
ON_WM_PAINT()
ON_WM_LBUTTONUP()
END_MESSAGE_MAP()

CSubAreaDlg::CSubAreaDlg(CWnd* parent, int region)
    : CDialog(kSubAreaTemplate, parent), m_region(region) {
    RegisterPageTemplates();
}

BOOL CSubAreaDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    RegionRecord& record = ProgramRegions()[m_region];
    MakeFont(&m_font, u"Tahoma", 11, FW_NORMAL);
    SetWindowText(record.name.c_str());
    const int width = kSubAreaPictureWidth;
    const int height = kSubAreaPictureHeight;
    const int panel = SubAreaPanelWidth(record.panelWidth);
    const int count = static_cast<int>(record.subAreas.size());
    MoveWindow(100, 100, panel + width, height + 50);
    GetDlgItem(IDOK)->MoveWindow(width + 20, height - 50, panel / 2 - 30, 20);
    GetDlgItem(IDCANCEL)->MoveWindow(width + panel / 2, height - 50, panel / 2 - 30, 20);
    m_list.SubclassDlgItem(kSubAreaList, this);
    m_list.MoveWindow(width + 10, 10, panel - 20, 20 * count);
    m_list.AttachParent();
    DrawStateImages(&m_images, true);
    m_list.SetImageList(&m_images, TVSIL_STATE);

    // The region's cells fill the picture; each sub-area is drawn from its own.
    const auto grid = formats::map_container::DecodeHeader(
        CurrentDiscInformation().mapHeaders[formats::source_disc::kLayerDetailed].data());
    const RECT area = {8, 8, width - 8, height - 8};
    const PictureGrid placed =
        FitRuns(grid, CRegionData::BinTable(m_region, formats::source_disc::kLayerDetailed), area);
    m_parts.clear();
    for (int k = 0; k < count; ++k) {
        SubAreaRecord part;
        part.name = record.subAreas[k].name;
        static_cast<PictureOutlines&>(part) = OutlinesOfRuns(
            placed,
            CRegionData::SubAreaBinTable(m_region, k, formats::source_disc::kLayerDetailed));
        part.label.shown = part.outlines.empty() ? 0 : 1;
        part.label.at = CentreOfOutlines(part);
        m_parts.push_back(std::move(part));
    }
    CClientDC screen(this);
    CDC dc;
    dc.CreateCompatibleDC(&screen);
    m_picture.CreateCompatibleBitmap(&screen, width, height);
    CBitmap* old = dc.SelectObject(&m_picture);
    const RECT whole = {0, 0, width, height};
    dc.FillSolidRect(&whole, kPictureGround);
    CBrush land(kPictureLand);
    CPen border(PS_SOLID, 1, kPictureBorder);
    CBrush* oldBrush = dc.SelectObject(&land);
    CPen* oldPen = dc.SelectObject(&border);
    for (const SubAreaRecord& part : m_parts)
        FillOutlines(&dc, part);
    dc.SelectObject(oldPen);
    dc.SelectObject(oldBrush);
    dc.SelectObject(old);

    m_items.clear();
    for (int k = 0; k < count; ++k) {
        SubAreaRecord& sub = record.subAreas[k];
        HTREEITEM item = m_list.InsertItem(sub.name.c_str());
        m_list.SetItemData(item, static_cast<DWORD_PTR>(k));
        m_list.SetStateImage(item, sub.chosen ? kChosenImage : kUnchosenImage);
        sub.pendingChoice = sub.chosen ? 1 : 0;
        m_items.push_back(item);
    }
    return TRUE;
}

int CSubAreaDlg::SubAreaAt(POINT point) const {
    for (size_t k = 0; k < m_parts.size(); ++k)
        if (m_parts[k].HitTest(point.x, point.y))
            return static_cast<int>(k);
    return -1;
}

void CSubAreaDlg::ToggleSubArea(int subArea) {
    RegionRecord& record = ProgramRegions()[m_region];
    if (subArea < 0 || subArea >= static_cast<int>(record.subAreas.size()) ||
        subArea >= static_cast<int>(m_items.size()))
        return;
    SubAreaRecord& sub = record.subAreas[subArea];
    HTREEITEM item = m_items[subArea];
    const int image = m_list.GetStateImage(item) == kUnchosenImage ? kChosenImage : kUnchosenImage;
    m_list.SetStateImage(item, image);
    sub.pendingChoice = image == kChosenImage ? 1 : 0;
    Invalidate(FALSE);
}

void CSubAreaDlg::OnLButtonUp(UINT, CPoint point) {
    Default();
    const int subArea = SubAreaAt(point);
    if (subArea < 0)
        return;
    m_list.m_hitItem = m_items[subArea];
    ToggleSubArea(subArea);
}

BOOL CSubAreaDlg::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) {
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header && header->idFrom == kSubAreaList && header->code == NM_CLICK &&
        m_list.m_stateIconClicked) {
        m_list.m_stateIconClicked = 0;
        ToggleSubArea(static_cast<int>(m_list.GetItemData(m_list.m_hitItem) & 0xFF));
        return TRUE;
    }
    return CDialog::OnNotify(wParam, lParam, result);
}

void CSubAreaDlg::OnPaint() {
    CPaintDC dc(this);
    CDC source;
    source.CreateCompatibleDC(&dc);
    CBitmap* old = source.SelectObject(&m_picture);
    dc.BitBlt(0, 0, kSubAreaPictureWidth, kSubAreaPictureHeight, &source, 0, 0, SRCCOPY);
    source.SelectObject(old);
    const RegionRecord& record = ProgramRegions()[m_region];
    CPen pen(PS_SOLID, 1, RGB(0, 0, 0));
    CBrush red(RGB(255, 0, 0));
    CPen* oldPen = dc.SelectObject(&pen);
    CBrush* oldBrush = dc.SelectObject(&red);
    for (size_t k = 0; k < m_parts.size() && k < record.subAreas.size(); ++k)
        if (record.subAreas[k].pendingChoice)
            FillOutlines(&dc, m_parts[k]);
    dc.SelectObject(oldBrush);
    dc.SelectObject(oldPen);
    dc.SetBkMode(TRANSPARENT);
    CFont* oldFont = dc.SelectObject(&m_font);
    for (const SubAreaRecord& part : m_parts)
        if (part.label.shown)
            DrawCentredText(&dc, part.name, part.label.at);
    dc.SelectObject(oldFont);
}
