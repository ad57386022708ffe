#include "pathlume/shell/ring_menu_dlg.h"

#include <mutex>
#include <string>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/foundation/screen_draw.h"
#include "platform/shell/shell.h"
#include "platform/user/dialogs.h"

namespace {

constexpr UINT kBackgroundBitmap = kBitmapBackgroundPlain;
constexpr UINT kLandscapeFace = 385;
constexpr UINT kFirstLabelString = 6133;
constexpr UINT kFirstButtonCommand = 500;
constexpr UINT kLastButtonCommand = 999;
// The handheld's task bar. The labels are placed from the buttons' screen rectangles,
// which on the handheld lie this much lower than the dialog's own coordinates (the
// dialog starts below the bar): so the labels stand under the buttons.
constexpr int kTaskBarHeight = 26;

// The buttons in member order, with their faces and places in the template.
struct RingButton {
    int id;
    UINT bitmap;
    short x, y, cx, cy;
};
constexpr RingButton kRing[CRingMenuDlg::kButtons] = {
    {kRingDestinations, 300, 60, 3, 22, 20},  {kRingGoToMap, 301, 100, 23, 22, 20},
    {kRingRouteOptions, 302, 14, 21, 22, 20}, {kRingDisplayOptions, 303, 112, 61, 22, 20},
    {kRingSpeedAlert, 304, 6, 61, 22, 20},    {kRingRecord, 305, 96, 94, 22, 20},
    {kRingVolume, 306, 21, 96, 22, 20},       {kRingGpsInfo, 307, 58, 111, 22, 19},
};

std::once_flag g_templateRegistered;

}  // namespace

void RegisterRingMenuTemplate() {
    platform::DialogTemplate ring;
    ring.style = WS_POPUP | DS_SETFONT;
    ring.cx = 137;
    ring.cy = 133;
    ring.caption = u"Travona";
    for (const RingButton& b : kRing)
        ring.items.push_back(ImageButtonItem(static_cast<WORD>(b.id), u"", b.x, b.y, b.cx, b.cy));
    // Two buttons along the bottom edge that no one presses.
    for (const auto& [id, x] : {std::pair<WORD, short>{517, 0}, {906, 71}})
        ring.items.push_back(ImageButtonItem(id, u"", x, 123, 66, 10, WS_DISABLED));
    platform::RegisterDialogTemplate(nullptr, static_cast<WORD>(kRingMenuTemplateId), ring);
}

BEGIN_MESSAGE_MAP(CRingMenuDlg, CDialog)
ON_WM_PAINT()
ON_WM_KEYDOWN()
ON_COMMAND_RANGE(kFirstButtonCommand, kLastButtonCommand, OnButton)
END_MESSAGE_MAP()

CRingMenuDlg::CRingMenuDlg(CWnd* parent) : CDialog(kRingMenuTemplateId, parent) {
    std::call_once(g_templateRegistered, RegisterRingMenuTemplate);
}

void CRingMenuDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    for (int i = 0; i < kButtons; ++i)
        DDX_Control(dx, kRing[i].id, m_buttons[i]);
}

BOOL CRingMenuDlg::OnInitDialog() {
    SHINITDLGINFO info{SHIDIM_FLAGS, m_hWnd, SHIDIF_SIZEDLG};
    SHInitDialog(&info);
    CDialog::OnInitDialog();
    SHSipPreference(m_hWnd, SIP_FORCEDOWN);
    CreateScaledFont(&m_font, 14, FW_BOLD, nullptr);
    const bool landscape = IsLandscapeScreen();
    for (int i = 0; i < kButtons; ++i) {
        const int id = kRing[i].id;
        const bool wide = landscape && (id == kRingVolume || id == kRingGpsInfo);
        m_buttons[i].SetImages(wide ? kLandscapeFace : kRing[i].bitmap, &m_font, 0, RGB(0, 0, 0), 0,
                               wide ? 18 : 1, 1);
        m_buttons[i].SizeToBitmap();
    }
    SetWindowText(u"Travona");
    return TRUE;
}

POINT CRingMenuDlg::LabelPosition(int index, const RECT& button, int width) {
    const float sx = g_screenScaleX.load();
    const float sy = g_screenScaleY.load();
    int d = ScaleSize(10, sx);
    int dx = 0;
    switch (index) {
        case 1:
            dx = -ScaleSize(5, sx);
            break;
        case 2:
            d -= ScaleSize(6, sy);
            break;
        case 5:
            dx = ScaleSize(5, sy);
            break;
        case 6:
            d -= ScaleSize(4, sy);
            break;
        default:
            break;
    }
    const int top = button.top + ScaleSize(kTaskBarHeight, sy);
    const int bottom = button.bottom + ScaleSize(kTaskBarHeight, sy);
    return {button.left + (button.right - button.left) / 2 - width / 2 + dx,
            top + (bottom - top) / 2 - d};
}

void CRingMenuDlg::OnPaint() {
    CPaintDC dc(this);
    PaintScreenBackground(dc, kBackgroundBitmap, RGB(255, 255, 255));
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(RGB(0, 0, 0));
    CFont labelFont;
    CreateScaledFont(&labelFont, 12, FW_BOLD, nullptr);
    CFont* before = dc.SelectObject(&labelFont);
    for (int i = 0; i < kButtons; ++i) {
        CWnd* button = GetDlgItem(kRingDestinations + i);
        if (!button)
            continue;
        RECT rect{};
        button->GetWindowRect(&rect);
        ScreenToClient(&rect);
        WCHAR label[260] = {};
        LoadResString(kFirstLabelString + static_cast<UINT>(i), label, 260, TRUE);
        SIZE extent{};
        GetTextExtentPoint32W(dc, label, lstrlenW(label), &extent);
        const POINT at = LabelPosition(i, rect, extent.cx);
        dc.ExtTextOut(at.x, at.y, 0, nullptr, label, lstrlenW(label), nullptr);
    }
    dc.SelectObject(before);
}

BOOL CRingMenuDlg::PreTranslateMessage(MSG* msg) {
    // Every key comes here, not to the button in focus (which takes none): Escape and
    // Home close the menu, the others go on to the map.
    if (msg->message == WM_KEYDOWN) {
        OnKeyDown(static_cast<UINT>(msg->wParam), LOWORD(msg->lParam), HIWORD(msg->lParam));
        return TRUE;
    }
    return CDialog::PreTranslateMessage(msg);
}

void CRingMenuDlg::OnKeyDown(UINT key, UINT repeat, UINT flags) {
    // Home leaves the menu as Escape does: the menu is no chain of screens.
    if (key == VK_ESCAPE || key == VK_HOME) {
        EndDialog(IDCANCEL);
        return;
    }
    HWND target = m_pParentWnd ? m_pParentWnd->GetSafeHwnd() : nullptr;
    if (!target) {
        IMainView* view = g_mainView.load();
        target = view ? view->GetViewWindow() : nullptr;
    }
    if (target)
        ::PostMessageW(target, WM_KEYDOWN, key, static_cast<LPARAM>(repeat | (flags << 16)));
}

void CRingMenuDlg::OnButton(UINT id) {
    EndDialog(static_cast<int>(id));
}
