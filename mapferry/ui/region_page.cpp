#include "mapferry/ui/region_page.h"

#include <cmath>

#include "mapferry/convert/file_services.h"
#include "mapferry/convert/map_cut.h"
#include "mapferry/convert/map_generator.h"
#include "mapferry/convert/region_data.h"
#include "mapferry/convert/region_names.h"
#include "mapferry/convert/region_picture.h"
#include "mapferry/convert/size_tables.h"
#include "mapferry/ui/generating_dialog.h"
#include "mapferry/ui/map_sheet.h"
#include "mapferry/ui/messages.h"
#include "mapferry/ui/page_drawing.h"
#include "mapferry/ui/sub_area_dialog.h"
#include "platform/user/dialogs.h"

int g_helpOptions = 0;

void ReadHelpOptions() {
    g_helpOptions = static_cast<int>(
        ReadRegistryDword(HKEY_CURRENT_USER, kMapferryRegistryKey, u"HelpOptions", 0));
}

namespace {

constexpr COLORREF kChosenFill = RGB(0, 160, 0);
constexpr COLORREF kChosenPen = RGB(0, 255, 0);
constexpr COLORREF kPartFill = RGB(255, 0, 0);

constexpr DWORD kSubAreaTag = 0x55;

bool IsSubAreaData(DWORD_PTR data) {
    return (data & 0xFF) == kSubAreaTag;
}

int ChosenSubAreas(const RegionRecord& record) {
    int chosen = 0;
    for (const SubAreaRecord& sub : record.subAreas)
        chosen += sub.chosen ? 1 : 0;
    return chosen;
}

int Ask(CWnd* owner, const std::u16string& text, const std::u16string& caption, UINT type) {
    return MessageBoxW(owner ? owner->GetSafeHwnd() : nullptr, text.c_str(), caption.c_str(), type);
}

}  // namespace

// ---- Tree --------------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CRegionTreeCtrl, CTreeCtrl)
ON_WM_LBUTTONDOWN()
ON_WM_KEYDOWN()
ON_WM_KEYUP()
END_MESSAGE_MAP()

int CRegionTreeCtrl::GetStateImage(HTREEITEM item) const {
    return item ? static_cast<int>((GetItemState(item, TVIS_STATEIMAGEMASK) >> 12) & 0xF) : 0;
}

void CRegionTreeCtrl::SetCheckState(HTREEITEM item, int image) {
    if (item && GetStateImage(item) != image)
        SetStateImage(item, image);
}

void CRegionTreeCtrl::SetStateImage(HTREEITEM item, int image) {
    SetItemState(item, INDEXTOSTATEIMAGEMASK(image), TVIS_STATEIMAGEMASK);
}

int CRegionTreeCtrl::GetToggleState(HTREEITEM item) const {
    if (!item)
        return 0;
    return GetStateImage(item) == kImageWhole ? 1 : 3;
}

int CRegionTreeCtrl::ToggleSubAreaImage(HTREEITEM item) {
    if (!item)
        return 0;
    const int image = GetStateImage(item) == kImageOff ? kImageSubAreaOn : kImageOff;
    SetStateImage(item, image);
    return image;
}

void CRegionTreeCtrl::AttachParent() {
    m_pParent = GetParent();
}

void CRegionTreeCtrl::OnLButtonDown(UINT, CPoint point) {
    UINT flags = 0;
    m_hitItem = HitTest(point, &flags);
    m_stateIconClicked = 0;
    if (m_hitItem && (flags & TVHT_ONITEMSTATEICON)) {
        SelectItem(m_hitItem);
        m_stateIconClicked = 1;
    }
    Default();
}

void CRegionTreeCtrl::OnKeyDown(UINT key, UINT, UINT) {
    if (key == VK_CONTROL)
        m_ctrlHeld = 1;
    Default();
}

void CRegionTreeCtrl::OnKeyUp(UINT key, UINT, UINT) {
    if (key == VK_CONTROL)
        m_ctrlHeld = 0;
    Default();
}

// ---- Legend ------------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CSizeLegend, CWnd)
ON_WM_PAINT()
END_MESSAGE_MAP()

BOOL CSizeLegend::CreateLegend(CWnd* parent, const RECT& rect) {
    return Create(u"STATIC", u"", WS_CHILD | WS_VISIBLE | WS_BORDER, rect, parent, kSizeLegendId);
}

void CSizeLegend::SetLines(std::vector<Line> lines, unsigned totalMegabytes) {
    m_lines = std::move(lines);
    m_total = totalMegabytes;
    if (m_hWnd)
        Invalidate();
}

std::vector<std::u16string> CSizeLegend::Texts() const {
    std::vector<std::u16string> texts;
    WCHAR size[32];
    for (const Line& line : m_lines) {
        wsprintfW(size, u"%u MB", line.megabytes);
        texts.push_back(line.name + u"\t" + size);
    }
    wsprintfW(size, u"%u MB", m_total);
    texts.push_back(std::u16string(u"Total\t") + size);
    return texts;
}

void CSizeLegend::OnPaint() {
    CPaintDC dc(this);
    CRect client;
    GetClientRect(&client);
    dc.FillSolidRect(&client, RGB(255, 255, 255));
    dc.SetBkMode(TRANSPARENT);
    CFont* old = dc.SelectObject(GetParent()->GetFont());
    const int lineHeight = 15;
    int y = 3;
    const std::vector<std::u16string> texts = Texts();
    for (size_t i = 0; i < texts.size() && y + lineHeight <= client.bottom; ++i) {
        const size_t tab = texts[i].find(u'\t');
        const std::u16string name = texts[i].substr(0, tab);
        const std::u16string size = texts[i].substr(tab + 1);
        if (i + 1 == texts.size()) {
            dc.FillSolidRect(4, y, client.Width() - 8, 1, RGB(0, 0, 0));
            y += 3;
        }
        dc.TextOut(6, y, name.c_str(), static_cast<int>(name.size()));
        CRect right(client.Width() / 2, y, client.Width() - 6, y + lineHeight);
        dc.DrawText(size.c_str(), static_cast<int>(size.size()), &right, DT_RIGHT | DT_SINGLELINE);
        y += lineHeight;
    }
    dc.SelectObject(old);
}

// ---- Estimates ---------------------------------------------------------------------

unsigned MegabytesOf(uint64_t bytes) {
    const unsigned megabytes =
        static_cast<unsigned>(std::floor(static_cast<double>(bytes) / 1048576.0 + 0.5));
    return megabytes == 0 && bytes > 0 ? 1 : megabytes;
}

uint64_t EstimateChoiceBytes(const std::vector<DWORD>& choiceWords) {
    if (choiceWords.empty())
        return 0;
    CMapCut* cut = BuildSelection(choiceWords.data(), static_cast<int>(choiceWords.size()), 0);
    if (!cut)
        return 0;
    return SizeTables().SumSelection(*cut, 0, choiceWords.data(),
                                     static_cast<int>(choiceWords.size()));
}

// ---- Page --------------------------------------------------------------------------

BEGIN_MESSAGE_MAP(CPropertyPageL0, CPropertyPage)
ON_WM_PAINT()
ON_WM_CTLCOLOR()
ON_MESSAGE(kShowWelcomeMessage, OnShowWelcome)
ON_WM_LBUTTONDOWN()
ON_WM_LBUTTONUP()
ON_BN_CLICKED(kSelectAllButton, OnSelectAll)
ON_BN_CLICKED(kClearAllButton, OnClearAll)
ON_BN_CLICKED(kChangeTargetButton, OnChangeTarget)
ON_CBN_DROPDOWN(kTargetCombo, OnTargetDropDown)
ON_CBN_CLOSEUP(kTargetCombo, OnTargetCloseUp)
ON_CBN_SELCHANGE(kTargetCombo, OnTargetChanged)
END_MESSAGE_MAP()

CPropertyPageL0::CPropertyPageL0() : CPropertyPage(kRegionPageTemplate) {
    RegisterPageTemplates();
}

void CPropertyPageL0::Init(std::vector<DWORD>* regionIndex, CDeviceLinkHolder* holder) {
    m_pRegionIndex = regionIndex;
    m_target.SetHolder(holder);
    m_strCaption = MSG_TAB_REGIONS.Get();
    m_psp.dwFlags |= PSP_USETITLE;
    m_psp.pszTitle = m_strCaption;
}

BOOL CPropertyPageL0::OnInitDialog() {
    CPropertyPage::OnInitDialog();
    m_tree.SubclassDlgItem(kRegionTree, this);
    m_target.Attach(this);
    m_tree.AttachParent();
    DrawStateImages(&m_stateImages);
    m_tree.SetImageList(&m_stateImages, TVSIL_STATE);
    MakeFont(&m_labelFont, u"Tahoma", 11, FW_NORMAL);
    MakeFont(&m_captionFont, u"Arial", 14, FW_BOLD);
    SetFont(&m_labelFont);
    SetModified(FALSE);

    m_available.fill(0);
    if (m_pRegionIndex) {
        for (DWORD& value : *m_pRegionIndex) {
            const DWORD region = value >> 16;
            if (value != 0 && region < 64)
                m_available[region] = 1;
            value = 0;
        }
    }
    m_available[kPrebuiltRegionNumber] = 1;
    m_clickFlag = 0;

    CRegionData::BuildBinTables();
    FillRegionTree();
    BuildPicture();
    CRect client;
    GetClientRect(&client);
    m_legend.CreateLegend(this, CRect(10, 326, 250, client.bottom - 6));

    m_target.Fill();
    EstimateSelectedSizeMB();
    return TRUE;
}

void CPropertyPageL0::FillRegionTree() {
    RegionTable& regions = ProgramRegions();
    for (int region = 0; region < 64 && region < static_cast<int>(regions.size()); ++region) {
        RegionRecord& record = regions[region];
        if (record.name.empty())
            continue;
        HTREEITEM item = m_tree.InsertItem(record.name.c_str());
        m_tree.SetItemData(item, static_cast<DWORD_PTR>(region));
        record.treeItem = reinterpret_cast<TreeItem*>(item);
        if (m_available[region]) {
            m_tree.SetStateImage(item, kImageOff);
            for (size_t k = 0; k < record.subAreas.size(); ++k) {
                HTREEITEM child = m_tree.InsertItem(record.subAreas[k].name.c_str(), item);
                m_tree.SetItemData(child, (static_cast<DWORD>(region) << 16) |
                                              (static_cast<DWORD>(k) << 8) | kSubAreaTag);
                m_tree.SetStateImage(child, kImageOff);
                record.subAreas[k].treeItem = reinterpret_cast<TreeItem*>(child);
            }
        } else {
            m_tree.SetStateImage(item, kImageUnavailable);
        }
    }
}

void CPropertyPageL0::BuildPicture() {
    CRect client;
    GetClientRect(&client);
    CClientDC screen(this);
    CDC dc;
    dc.CreateCompatibleDC(&screen);
    m_picture.DeleteObject();
    m_picture.CreateCompatibleBitmap(&screen, client.Width(), client.Height());
    CBitmap* oldBitmap = dc.SelectObject(&m_picture);
    dc.FillSolidRect(&client, GetSysColor(COLOR_BTNFACE));
    const RECT area = kRegionPictureArea;
    dc.FillSolidRect(&area, kPictureGround);
    CBrush land(kPictureLand);
    CPen border(PS_SOLID, 1, kPictureBorder);
    CBrush* oldBrush = dc.SelectObject(&land);
    CPen* oldPen = dc.SelectObject(&border);
    const RegionTable& regions = ProgramRegions();
    for (int region = 0; region < 64 && region < static_cast<int>(regions.size()); ++region)
        if (m_available[region])
            FillOutlines(&dc, regions[region]);
    dc.SelectObject(oldPen);
    dc.SelectObject(oldBrush);
    dc.SelectObject(oldBitmap);
}

std::vector<DWORD> CPropertyPageL0::ChoiceWords() const {
    std::vector<DWORD> words;
    const RegionTable& regions = ProgramRegions();
    for (int region = 0; region < 64 && region < static_cast<int>(regions.size()); ++region) {
        const RegionRecord& record = regions[region];
        if (!record.chosen)
            continue;
        DWORD mask = 0;
        if (record.subAreas.empty()) {
            mask = 1;
        } else {
            for (size_t k = 0; k < record.subAreas.size(); ++k)
                if (record.subAreas[k].chosen)
                    mask |= 1u << k;
        }
        if (mask)
            words.push_back((static_cast<DWORD>(region) << 16) | mask);
    }
    return words;
}

unsigned CPropertyPageL0::EstimateSelectedSizeMB() {
    CWaitCursor wait;
    const std::vector<DWORD> words = ChoiceWords();
    bool special = false;
    int parts = 0;
    for (DWORD word : words) {
        special = special || (word >> 16) == kPrebuiltRegionNumber;
        for (DWORD mask = word & 0xFFFF; mask; mask &= mask - 1)
            ++parts;
    }
    std::vector<CSizeLegend::Line> lines;
    const RegionTable& regions = ProgramRegions();
    if (special) {
        m_estimatedMB = parts == 1 ? 6 : 0;
        lines.push_back({regions[kPrebuiltRegionNumber].name, m_estimatedMB});
    } else {
        m_estimatedMB = MegabytesOf(EstimateChoiceBytes(words));
        // Each line its own estimate: a region chosen whole is one line, a region
        // chosen in part a line per sub-area.
        for (DWORD word : words) {
            const RegionRecord& record = regions[word >> 16];
            const DWORD mask = word & 0xFFFF;
            const bool whole = record.subAreas.empty() ||
                               ChosenSubAreas(record) == static_cast<int>(record.subAreas.size());
            if (whole) {
                lines.push_back({record.name, MegabytesOf(EstimateChoiceBytes({word}))});
                continue;
            }
            for (size_t k = 0; k < record.subAreas.size(); ++k) {
                if (!(mask & (1u << k)))
                    continue;
                const DWORD one = (word & 0xFFFF0000u) | (1u << k);
                lines.push_back({record.name + u"/" + record.subAreas[k].name,
                                 MegabytesOf(EstimateChoiceBytes({one}))});
            }
        }
        // The cut of the whole choice is the one generation uses.
        EstimateChoiceBytes(words);
    }
    m_legend.SetLines(std::move(lines), m_estimatedMB);
    if (m_hWnd) {
        WCHAR text[32];
        wsprintfW(text, u"%d MB", static_cast<int>(m_estimatedMB));
        SetDlgItemText(kSelectedSize, text);
    }
    return m_estimatedMB;
}

bool CPropertyPageL0::SelectedAnyOtherThan(int region) const {
    const RegionTable& regions = ProgramRegions();
    for (int other = 0; other < 64 && other < static_cast<int>(regions.size()); ++other)
        if (other != region && m_available[other] && regions[other].chosen)
            return true;
    return false;
}

void CPropertyPageL0::DeselectAllRegions() {
    for (int region = 0; region < 64; ++region)
        if (m_available[region])
            SetRegionSelected(region, 0, 0);
}

// 1 when the region may be chosen (after the user agreed to drop what cannot go
// with it), 0 when the user kept the choice as it was.
int CPropertyPageL0::ConfirmCombination(int region) {
    RegionTable& regions = ProgramRegions();
    const UINT type = MB_YESNO | MB_ICONQUESTION | MB_SYSTEMMODAL;
    if (region == kPrebuiltRegionNumber) {
        if (!SelectedAnyOtherThan(region))
            return 1;
        const LPCWSTR name = regions[region].name.c_str();
        if (Ask(this, FormatMessageText(MSG_CANNOT_COMBINE_OTHERS, name),
                FormatMessageText(MSG_SELECTION_CAPTION, name), type) != IDYES)
            return 0;
        for (int other = 0; other < 64; ++other)
            if (other != region && m_available[other])
                SetRegionSelected(other, 0, 0);
        return 1;
    }
    if (!regions[kPrebuiltRegionNumber].chosen)
        return 1;
    const LPCWSTR special = regions[kPrebuiltRegionNumber].name.c_str();
    if (Ask(this, FormatMessageText(MSG_CANNOT_COMBINE_WITH, special, special),
            FormatMessageText(MSG_SELECTION_CAPTION, special), type) != IDYES)
        return 0;
    SetRegionSelected(kPrebuiltRegionNumber, 0, 0);
    return 1;
}

void CPropertyPageL0::SetRegionSelected(int region, int select, int recompute) {
    RegionRecord& record = ProgramRegions()[region];
    for (SubAreaRecord& sub : record.subAreas) {
        sub.chosen = select;
        m_tree.SetCheckState(reinterpret_cast<HTREEITEM>(sub.treeItem),
                             select ? kImageSubAreaOn : kImageOff);
    }
    record.chosen = select;
    m_tree.SetCheckState(reinterpret_cast<HTREEITEM>(record.treeItem),
                         select ? kImageWhole : kImageOff);
    if (recompute)
        EstimateSelectedSizeMB();
    if (select && m_estimatedMB > kSizeLimitMB) {
        Repaint();
        Ask(this, MSG_SIZE_LIMIT.Get(), MSG_MAP_SIZE_CAPTION.Get(), MB_OK | MB_ICONEXCLAMATION);
        SetRegionSelected(region, 0, 1);
    }
}

void CPropertyPageL0::OnPictureClick(int region) {
    if (!IsAvailable(region))
        return;
    m_currentRegion = region;
    if (!ConfirmCombination(region))
        return;
    RegionRecord& record = ProgramRegions()[region];
    if (record.subAreas.empty()) {
        // A region too large to add is taken off again at once, and taking a region
        // off never asks: the click ends with a choice that fits or the region off.
        SetRegionSelected(region, record.chosen ? 0 : 1, 1);
        return;
    }
    // The dialog comes back while its choice is too large; Cancel keeps what was
    // there, and a region wholly off ends it even when others make the size too large.
    for (;;) {
        CSubAreaDlg dialog(this, region);
        if (dialog.DoModal() != IDOK)
            return;
        ApplySubAreaChoice(region);
        EstimateSelectedSizeMB();
        if (m_estimatedMB <= kSizeLimitMB || !record.chosen)
            return;
        Repaint();
        Ask(this, MSG_SIZE_LIMIT.Get(), MSG_MAP_SIZE_CAPTION.Get(), MB_OK | MB_ICONEXCLAMATION);
    }
}

void CPropertyPageL0::ApplySubAreaChoice(int region) {
    RegionRecord& record = ProgramRegions()[region];
    for (SubAreaRecord& sub : record.subAreas) {
        sub.chosen = sub.pendingChoice;
        m_tree.SetCheckState(reinterpret_cast<HTREEITEM>(sub.treeItem),
                             sub.chosen ? kImageSubAreaOn : kImageOff);
    }
    const int chosen = ChosenSubAreas(record);
    const int all = static_cast<int>(record.subAreas.size());
    record.chosen = chosen > 0 ? 1 : 0;
    m_tree.SetCheckState(reinterpret_cast<HTREEITEM>(record.treeItem), chosen == 0 ? kImageOff
                                                                       : chosen == all
                                                                           ? kImageWhole
                                                                           : kImagePartly);
}

void CPropertyPageL0::ToggleTreeItem(HTREEITEM item) {
    if (!item)
        return;
    const DWORD_PTR data = m_tree.GetItemData(item);
    const bool subArea = IsSubAreaData(data);
    const int region = subArea ? static_cast<int>(data >> 16) : static_cast<int>(data);
    if (region > 63 || !IsAvailable(region))
        return;
    if (!ConfirmCombination(region))
        return;
    if (subArea) {
        const int k = static_cast<int>((data >> 8) & 0xFF);
        const int image = m_tree.ToggleSubAreaImage(item);
        OnRegionToggled(region, k, image == kImageSubAreaOn ? 1 : 0);
    } else if (m_tree.GetStateImage(item) == kImageWhole) {
        SetRegionSelected(region, 0, 1);
    } else {
        SetRegionSelected(region, 1, 1);
    }
    Repaint();
}

void CPropertyPageL0::OnRegionToggled(int region, int subArea, int state) {
    RegionRecord& record = ProgramRegions()[region];
    if (subArea < 0 || subArea >= static_cast<int>(record.subAreas.size()))
        return;
    record.subAreas[subArea].chosen = state;
    const int chosen = ChosenSubAreas(record);
    const int all = static_cast<int>(record.subAreas.size());
    record.chosen = chosen > 0 ? 1 : 0;
    m_tree.SetCheckState(reinterpret_cast<HTREEITEM>(record.treeItem), chosen == 0 ? kImageOff
                                                                       : chosen == all
                                                                           ? kImageWhole
                                                                           : kImagePartly);
    EstimateSelectedSizeMB();
    if (state == 1 && m_estimatedMB > kSizeLimitMB) {
        Repaint();
        Ask(this, MSG_SIZE_LIMIT.Get(), MSG_MAP_SIZE_CAPTION.Get(), MB_OK | MB_ICONEXCLAMATION);
        HTREEITEM item = reinterpret_cast<HTREEITEM>(record.subAreas[subArea].treeItem);
        m_tree.ToggleSubAreaImage(item);
        OnRegionToggled(region, subArea, 0);
    }
}

void CPropertyPageL0::SelectAllRegions(int select) {
    for (HTREEITEM item = m_tree.GetRootItem(); item; item = m_tree.GetNextSiblingItem(item)) {
        const int region = static_cast<int>(m_tree.GetItemData(item));
        if (!IsAvailable(region))
            continue;
        if (select && region == kPrebuiltRegionNumber) {
            SetRegionSelected(region, 0, 0);
            continue;
        }
        if (select && m_tree.GetStateImage(item) != kImageWhole)
            SetRegionSelected(region, 1, 0);
        else if (!select && m_tree.GetStateImage(item) != kImageOff)
            SetRegionSelected(region, 0, 0);
    }
    Repaint();
    EstimateSelectedSizeMB();
    m_clickFlag = 1;
    SetModified(TRUE);
}

void CPropertyPageL0::OnSelectAll() {
    SelectAllRegions(1);
}

void CPropertyPageL0::OnClearAll() {
    SelectAllRegions(0);
}

void CPropertyPageL0::OnChangeTarget() {
    if (CPropertySheet* sheet = GetSheet())
        sheet->EndDialog(100);
}

BOOL CPropertyPageL0::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) {
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header && header->idFrom == kRegionTree) {
        if (header->code == NM_CLICK && m_tree.m_stateIconClicked) {
            m_tree.m_stateIconClicked = 0;
            ToggleTreeItem(m_tree.m_hitItem);
            SetModified(TRUE);
            return TRUE;
        }
        if (header->code == TVN_KEYDOWN) {
            const auto* key = reinterpret_cast<const NMTVKEYDOWN*>(lParam);
            if (key->wVKey == VK_SPACE) {
                ToggleTreeItem(m_tree.GetSelectedItem());
                SetModified(TRUE);
                return TRUE;
            }
            if (m_tree.m_ctrlHeld && (key->wVKey == 'A' || key->wVKey == 'C')) {
                SelectAllRegions(key->wVKey == 'A' ? 1 : 0);
                return TRUE;
            }
        }
    }
    return CPropertyPage::OnNotify(wParam, lParam, result);
}

void CPropertyPageL0::OnLButtonDown(UINT, CPoint point) {
    m_clickPoint = point;
    m_clickFlag = 0;
    const RegionTable& regions = ProgramRegions();
    for (int region = 0; region < 64 && region < static_cast<int>(regions.size()); ++region) {
        if (regions[region].HitTest(point.x, point.y)) {
            m_currentRegion = region;
            m_clickFlag = m_available[region] ? 1 : 0;
            break;
        }
    }
    if (m_clickFlag)
        GetDlgItem(kTargetCombo)->SetFocus();
}

void CPropertyPageL0::OnLButtonUp(UINT, CPoint) {
    if (!m_clickFlag)
        return;
    OnPictureClick(m_currentRegion);
    Repaint();
    SetModified(TRUE);
}

LRESULT CPropertyPageL0::OnShowWelcome(WPARAM, LPARAM) {
    ShowWelcome(this);
    return 0;
}

HBRUSH CPropertyPageL0::OnCtlColor(CDC* dc, CWnd*, UINT) {
    return FaceColoured(dc);
}

void CPropertyPageL0::Repaint() {
    if (m_hWnd) {
        Invalidate(FALSE);
        UpdateWindow();
    }
}

void CPropertyPageL0::OnPaint() {
    CPaintDC dc(this);
    CRect client;
    GetClientRect(&client);
    CDC source;
    source.CreateCompatibleDC(&dc);
    CBitmap* oldBitmap = source.SelectObject(&m_picture);
    dc.BitBlt(0, 0, client.Width(), client.Height(), &source, 0, 0, SRCCOPY);
    source.SelectObject(oldBitmap);

    const RegionTable& regions = ProgramRegions();
    CPen pen(PS_SOLID, 1, kChosenPen);
    CBrush whole(kChosenFill);
    CBrush part(kPartFill);
    CPen* oldPen = dc.SelectObject(&pen);
    CBrush* oldBrush = dc.SelectObject(&whole);
    for (int region = 0; region < 64 && region < static_cast<int>(regions.size()); ++region) {
        const RegionRecord& record = regions[region];
        if (!record.chosen)
            continue;
        const int chosen = ChosenSubAreas(record);
        if (!record.subAreas.empty() && chosen < static_cast<int>(record.subAreas.size())) {
            dc.SelectObject(&part);
            if (record.HasSubAreaOutlines()) {
                for (const SubAreaRecord& sub : record.subAreas)
                    if (sub.chosen)
                        FillOutlines(&dc, sub);
            } else {
                FillOutlines(&dc, record);
            }
            dc.SelectObject(&whole);
        } else {
            FillOutlines(&dc, record);
        }
    }
    dc.SelectObject(oldBrush);
    dc.SelectObject(oldPen);

    dc.SetBkMode(TRANSPARENT);
    CFont* ownFont = dc.SelectObject(&m_labelFont);
    for (const RegionRecord& record : regions) {
        if (!record.label.shown)
            continue;
        DrawCentredText(&dc, record.label.first.empty() ? record.name : record.label.first,
                        record.label.at);
    }
    dc.SelectObject(ownFont);
    dc.SetTextColor(RGB(255, 0, 0));
    const std::u16string hint1 = MSG_REGION_HINT_1.Get();
    const std::u16string hint2 = MSG_REGION_HINT_2.Get();
    dc.TextOut(80, 3, hint1.c_str(), static_cast<int>(hint1.size()));
    dc.TextOut(80, 17, hint2.c_str(), static_cast<int>(hint2.size()));
    dc.SetTextColor(RGB(0, 0, 0));
    CFont* before = dc.SelectObject(&m_captionFont);
    CRect combo;
    GetDlgItem(kTargetCombo)->GetWindowRect(&combo);
    ScreenToClient(&combo);
    CRect available;
    GetDlgItem(kAvailableSpace)->GetWindowRect(&available);
    ScreenToClient(&available);
    CRect selected;
    GetDlgItem(kSelectedSize)->GetWindowRect(&selected);
    ScreenToClient(&selected);
    const std::u16string location = MSG_TARGET_LOCATION.Get();
    const std::u16string space = MSG_AVAILABLE_SPACE.Get();
    const std::u16string size = MSG_SELECTED_SIZE.Get();
    dc.TextOut(combo.left, combo.top - 20, location.c_str(), static_cast<int>(location.size()));
    dc.TextOut(combo.left, available.top + 2, space.c_str(), static_cast<int>(space.size()));
    dc.TextOut(combo.left, selected.top + 2, size.c_str(), static_cast<int>(size.size()));
    dc.SelectObject(before);

    WCHAR text[32];
    wsprintfW(text, u"%d MB", static_cast<int>(m_estimatedMB));
    SetDlgItemText(kSelectedSize, text);
    SetModified(TRUE);
    m_painted = 1;
    m_target.UpdateAvailableSpace(0);
    SetDlgItemText(kTargetText, m_target.TargetText().c_str());
    // Shown after the paint, and only while the sheet still runs: a sheet closed
    // before its first paint was seen never opens the welcome.
    if (!g_helpOptions) {
        g_helpOptions = 1;
        PostMessage(kShowWelcomeMessage);
    }
}

BOOL CPropertyPageL0::OnApply() {
    OnOK();
    return TRUE;
}

void CPropertyPageL0::OnOK() {
    m_target.CloseDeviceProgram();
    CPropertySheet* sheet = GetSheet();
    if (sheet && sheet->GetActiveIndex() != 0)
        return;
    if (!m_painted || !m_target.Ready(m_estimatedMB, true))
        return;
    const std::vector<DWORD> words = ChoiceWords();
    const bool special = words.size() == 1 && (words[0] >> 16) == kPrebuiltRegionNumber;
    if (special)
        CopyPrebuiltRegion(this, m_target.Kind(), m_target.Index(), m_target.Link());
    else
        OnGenerateMap();
    m_target.UpdateAvailableSpace(1);
    Repaint();
}

void CPropertyPageL0::OnTargetDropDown() {
    m_target.OnDropDown();
}

void CPropertyPageL0::OnTargetCloseUp() {
    m_target.OnCloseUp();
}

void CPropertyPageL0::OnTargetChanged() {
    m_target.OnChanged();
    SetDlgItemText(kTargetText, m_target.TargetText().c_str());
    Repaint();
}

int CPropertyPageL0::OnGenerateMap() {
    const std::vector<DWORD> words = ChoiceWords();
    if (words.empty())
        return 0;
    if (!GetMapCut())
        EstimateSelectedSizeMB();
    CMapGenerator generator;
    generator.SetRegionTable(ProgramRegions());
    CGeneratingDialog dialog(this, &generator, words, static_cast<int>(words.size()), 0,
                             m_target.Kind(), m_target.Index());
    dialog.m_estimatedBytes = EstimateChoiceBytes(words);
    dialog.m_pDeviceLink = m_target.Link();
    dialog.DoModal();
    FinishGeneration(&generator);
    return 0;
}
