#include "pathlume/shell/speed_alert.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <string>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/message_dlg.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/foundation/screen_background.h"
#include "pathlume/shell/app_settings.h"
#include "pathlume/shell/dialog_parts.h"
#include "pathlume/shell/main_view.h"
#include "platform/user/controls.h"

namespace {

constexpr UINT kStringSpeedAlert = 6138;
constexpr UINT kStringAutoNotice = 6161;
constexpr UINT kStringAutoTitle = 6162;
constexpr UINT kStringWarning = 6007;
constexpr UINT kStringConfirm = 6009;
constexpr UINT kStringCancel = 6010;
constexpr UINT kStringKmh = 6028;
constexpr UINT kStringMph = 6029;
constexpr UINT kFirstCommand = 500;
constexpr UINT kLastCommand = 999;

constexpr int8_t kBackspace = -1;
constexpr int kFieldDigits = 3;
constexpr LONG kLargestShownLimit = 999;
constexpr double kMilesPerKilometre = 0.621371192237334;
constexpr double kKilometresPerMile = 1.609344;

constexpr ScreenItem kSpeedAlertItems[] = {
    {CSpeedAlertDlg::kAutoId, u"Enable Auto Speed Alert", 36, 26, 14, 14, ScreenItem::kCheckBox},
    {CSpeedAlertDlg::kFixedId, u"Enable Fixed Speed Alert", 36, 49, 14, 14, ScreenItem::kCheckBox},
    {CSpeedAlertDlg::kLimitId, u"", 60, 66, 50, 22, ScreenItem::kNumberField},
    {IDOK, u"OK", 16, 284, 64, 26},
    {IDCANCEL, u"", 160, 284, 64, 26},
};

void RegisterSpeedAlertTemplate() {
    RegisterScreenTemplate(kSpeedAlertTemplateId, u"Speed Alert", kSpeedAlertItems);
}

std::once_flag g_speedAlertTemplate;

LONG Magnitude(LONG value) {
    return static_cast<LONG>(
        std::min<long long>(std::llabs(static_cast<long long>(value)), kLargestShownLimit));
}

// 1 to 3 digits; false for anything else.
bool ParseLimit(const std::u16string& text, int* value) {
    if (text.empty() || text.size() > static_cast<size_t>(kFieldDigits))
        return false;
    int parsed = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9')
            return false;
        parsed = parsed * 10 + (c - u'0');
    }
    *value = parsed;
    return true;
}

HFONT MakeFont(int height, int weight) {
    LOGFONTW spec{};
    spec.lfHeight = height;
    spec.lfWeight = weight;
    const std::u16string face = u"Tahoma";
    std::copy(face.begin(), face.end(), spec.lfFaceName);
    return CreateFontIndirectW(&spec);
}

}  // namespace

SpeedLimits ConvertSpeedLimit(int typed, bool metric) {
    SpeedLimits limits;
    if (metric) {
        limits.km = typed;
        limits.mi = typed == 160 ? 100 : static_cast<LONG>(typed * kMilesPerKilometre);
    } else {
        limits.mi = typed;
        limits.km = typed == 100 ? 160 : static_cast<LONG>(typed * kKilometresPerMile);
    }
    return limits;
}

std::u16string SpeedLimitFieldText(LONG storedMi, LONG storedKm, bool metric) {
    const std::string digits = std::to_string(Magnitude(metric ? storedKm : storedMi));
    return std::u16string(digits.begin(), digits.end());
}

SpeedAlertSettingsChosen AcceptSpeedAlert(const std::u16string& field, bool fixedChecked,
                                          bool autoChecked, bool metric, LONG storedMi,
                                          LONG storedKm) {
    SpeedAlertSettingsChosen chosen;
    int typed = 0;
    if (ParseLimit(field, &typed)) {
        chosen.limits = ConvertSpeedLimit(typed, metric);
    } else {
        chosen.limits.mi = Magnitude(storedMi);
        chosen.limits.km = Magnitude(storedKm);
    }
    if (!fixedChecked) {
        chosen.limits.mi = -chosen.limits.mi;
        chosen.limits.km = -chosen.limits.km;
    }
    chosen.autoLimit = autoChecked ? 1 : 0;
    return chosen;
}

// ---- The dialog ------------------------------------------------------------------

// clang-format off
const uint8_t CSpeedAlertDlg::kPadLayout[kColumns * kRows] = {
    0, 0, '1', '2', '3', 0, 0, 0,
    0, 0, '4', '5', '6', 0, 0, 0,
    0, 0, '7', '8', '9', 0, 0, 0,
    0, 0, 0, '0', static_cast<uint8_t>(kBackspace), 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0,
};
// clang-format on

BEGIN_MESSAGE_MAP(CSpeedAlertDlg, CFullScreenDialog)
ON_BN_CLICKED(kFixedId, OnFixedClicked)
ON_BN_CLICKED(kAutoId, OnAutoClicked)
ON_WM_LBUTTONDOWN()
// A quick second tap comes as a double click: a pen-down like any other.
AFX_WM_ENTRY(WM_LBUTTONDBLCLK, AfxSig_vwp, void (CWnd::*)(UINT, CPoint), OnLButtonDown)
ON_WM_LBUTTONUP()
ON_WM_CTLCOLOR()
ON_COMMAND_RANGE(kFirstCommand, kLastCommand, OnOtherCommand)
END_MESSAGE_MAP()

CSpeedAlertDlg::CSpeedAlertDlg(CWnd* parent)
    : CFullScreenDialog(kSpeedAlertTemplateId, parent, TakenKeys::kEscapeAndHome, true),
      m_keyWidth(ScaleX(29)),
      m_keyHeight(ScaleY(29)),
      m_unitX(ScaleX(116)),
      m_unitY(ScaleY(70)),
      m_padLeft(ScaleX(15)),
      m_padTop(ScaleY(96)) {
    std::call_once(g_speedAlertTemplate, RegisterSpeedAlertTemplate);
}

CSpeedAlertDlg::~CSpeedAlertDlg() {
    for (HBITMAP image : m_keyImages) {
        if (image)
            DeleteObject(image);
    }
    if (m_fieldFont)
        DeleteObject(m_fieldFont);
}

void CSpeedAlertDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    BindControls(dx, {{kLimitId, &m_limit},
                      {kFixedId, &m_fixed},
                      {kAutoId, &m_auto},
                      {IDOK, &m_ok},
                      {IDCANCEL, &m_cancel}});
}

BOOL CSpeedAlertDlg::OnInitDialog() {
    BeginScreen();
    PlaceScreenItems(*this, kSpeedAlertItems);
    for (size_t i = 0; i < kKeyImageCount; ++i)
        m_keyImages[i] = LoadBitmapW(nullptr, MAKEINTRESOURCEW(kKeyImageBitmaps[i]));
    m_fixed.SetCheck(g_speedLimitMi.load() >= 1 || g_speedLimitKm.load() >= 1 ? BST_CHECKED
                                                                              : BST_UNCHECKED);
    m_auto.SetCheck(g_autoSpeedLimit.load() ? BST_CHECKED : BST_UNCHECKED);
    OnFixedCheck();
    const bool metric = (g_options.load() & kOptionMetric) != 0;
    m_limit.SetWindowText(
        SpeedLimitFieldText(g_speedLimitMi.load(), g_speedLimitKm.load(), metric).c_str());
    m_limit.SendMessage(EM_LIMITTEXT, kFieldDigits);
    m_fieldFont = MakeFont(-ScaleY(13), FW_BOLD);
    for (CWnd* control :
         {static_cast<CWnd*>(&m_limit), static_cast<CWnd*>(&m_fixed), static_cast<CWnd*>(&m_auto)})
        control->SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(m_fieldFont), TRUE);
    m_limit.SetFocus();
    m_limit.SendMessage(EM_SETSEL, 0, -1);
    m_limit.SendMessage(EM_SCROLLCARET);
    SetFace(m_ok, kFaceOk);
    SetFace(m_cancel, kFaceCancel);
    title_ = LoadResStringOr(kStringSpeedAlert, u"Speed Alert");
    FinishScreen();
    return FALSE;  // the field has the focus
}

void CSpeedAlertDlg::OnFixedClicked() {
    m_fixed.SetCheck(m_fixed.GetCheck() == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
    OnFixedCheck();
}

void CSpeedAlertDlg::OnAutoClicked() {
    m_auto.SetCheck(m_auto.GetCheck() == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
    OnAutoCheck();
}

void CSpeedAlertDlg::OnFixedCheck() {
    if (m_fixed.GetCheck() == BST_CHECKED) {
        m_auto.SetCheck(BST_UNCHECKED);
        m_limit.EnableWindow(TRUE);
        m_limit.SetFocus();
    } else if (m_auto.GetCheck() == BST_CHECKED) {
        m_fixed.SetCheck(BST_UNCHECKED);
        m_limit.EnableWindow(FALSE);
    }
}

void CSpeedAlertDlg::OnAutoCheck() {
    if (m_auto.GetCheck() != BST_CHECKED)
        return;
    m_fixed.SetCheck(BST_UNCHECKED);
    m_limit.EnableWindow(FALSE);
    const std::u16string title = LoadResStringOr(kStringAutoTitle, u"Auto Speed Alert");
    const std::u16string text =
        LoadResStringOr(kStringAutoNotice,
                        u"Auto Speed Alert is based on road class and may not necessarily "
                        u"reflect actual speed limit.\r\n\r\nPlease use this feature only as "
                        u"a reference.");
    const std::u16string warning = LoadResStringOr(kStringWarning, u"Warning");
    const std::u16string confirm = LoadResStringOr(kStringConfirm, u"Confirm");
    const std::u16string cancel = LoadResStringOr(kStringCancel, u"Cancel");
    CMessageDlg notice(this, title.c_str(), text.c_str(), warning.c_str(), confirm.c_str(),
                       cancel.c_str(), 1);
    notice.DoModal();
}

void CSpeedAlertDlg::OnOK() {
    WCHAR field[81] = {};
    m_limit.GetWindowText(field, 81);
    const bool metric = (g_options.load() & kOptionMetric) != 0;
    const SpeedAlertSettingsChosen chosen =
        AcceptSpeedAlert(field, m_fixed.GetCheck() == BST_CHECKED, m_auto.GetCheck() == BST_CHECKED,
                         metric, g_speedLimitMi.load(), g_speedLimitKm.load());
    g_speedLimitMi.store(chosen.limits.mi);
    g_speedLimitKm.store(chosen.limits.km);
    g_autoSpeedLimit.store(chosen.autoLimit);
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"SpeedLimitMI",
                static_cast<DWORD>(chosen.limits.mi));
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"SpeedLimitKM",
                static_cast<DWORD>(chosen.limits.km));
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"AutoSpeedLimit", chosen.autoLimit);
    g_homeKeyPressed.store(1);
    EndDialog(IDOK);
}

void CSpeedAlertDlg::OnOtherCommand(UINT id) {
    EndDialog(static_cast<int>(id));
}

RECT CSpeedAlertDlg::KeyRect(int cell) const {
    const int row = cell / kColumns;
    const int column = cell % kColumns;
    const int code = KeyCodeAt(kPadLayout, cell, kKeypadKeyStyles);
    const bool wide = column + 1 < kColumns && code != 0 &&
                      KeyCodeAt(kPadLayout, cell + 1, kKeypadKeyStyles) == code;
    const int left = m_padLeft + (m_keyWidth + 1) * column;
    const int top = m_padTop + (m_keyHeight + 1) * row;
    return RECT{left, top, left + (wide ? 2 * m_keyWidth + 1 : m_keyWidth), top + m_keyHeight};
}

void CSpeedAlertDlg::DrawKeypad(HDC dc, int mode, POINT point) {
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF oldColour = GetTextColor(dc);
    if (mode == kKeyPainting) {
        HFONT unitFont = MakeFont(ScaleY(16), FW_BOLD);
        HGDIOBJ before = SelectObject(dc, unitFont);
        SetTextColor(dc, RGB(0, 0, 0));
        const std::u16string unit = (g_options.load() & kOptionMetric)
                                        ? LoadResStringOr(kStringKmh, u"km/h")
                                        : LoadResStringOr(kStringMph, u"mph");
        ExtTextOutW(dc, m_unitX, m_unitY, 0, nullptr, unit.c_str(), static_cast<UINT>(unit.size()),
                    nullptr);
        SelectObject(dc, before);
        DeleteObject(unitFont);
    }
    if (mode == kKeyPressed)
        SetCapture();
    else if (mode == kKeyReleased)
        ::ReleaseCapture();
    HFONT labelFont = MakeFont(ScaleY(16), FW_BOLD);
    HGDIOBJ oldFont = SelectObject(dc, labelFont);
    int acting = kNoKey;
    for (int cell = 0; cell < kColumns * kRows; ++cell) {
        const int code = KeyCodeAt(kPadLayout, cell, kKeypadKeyStyles);
        const RECT rect = KeyRect(cell);
        const bool wide = rect.right - rect.left > m_keyWidth;
        if (code != 0 && (mode != kKeyReleased || cell == m_pressedKey)) {
            if (mode == kKeyPressed && point.x >= rect.left && point.x <= rect.right &&
                point.y >= rect.top && point.y <= rect.bottom) {
                m_pressedKey = cell;
                m_pressPoint = point;
            }
            if (mode == kKeyPainting || cell == m_pressedKey) {
                const int state = mode == kKeyPressed ? kKeyPressed : kKeyReleased;
                const KeyImage image =
                    SelectKeyStyle(dc, kPadLayout, cell, state, kKeypadKeyStyles);
                HBITMAP face = m_keyImages[static_cast<size_t>(image)];
                BITMAP size{};
                if (face && GetObjectW(face, sizeof size, &size))
                    TransparentImage(dc, rect.left, rect.top, rect.right - rect.left,
                                     rect.bottom - rect.top, face, 0, 0, size.bmWidth,
                                     size.bmHeight, RGB(255, 255, 255));
                WCHAR label[3] = {};
                if (code == kBackspace) {
                    label[0] = u'<';
                    label[1] = u'-';
                } else {
                    label[0] = static_cast<WCHAR>(code);
                }
                RECT text = rect;
                DrawTextW(dc, label, -1, &text,
                          DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
                if (mode == kKeyReleased)
                    acting = code;
            }
        }
        if (wide)
            ++cell;
    }
    SelectObject(dc, oldFont);
    DeleteObject(labelFont);
    SetTextColor(dc, oldColour);
    SetBkMode(dc, oldMode);
    if (acting == kBackspace)
        m_limit.SendMessage(WM_CHAR, 8, 1);
    else if (acting >= '0' && acting <= '9')
        m_limit.SendMessage(WM_CHAR, static_cast<WPARAM>(acting), 1);
}

void CSpeedAlertDlg::OnLButtonDown(UINT, CPoint point) {
    m_pressedKey = kNoKey;
    const DWORD now = GetTickCount();
    if (m_penDownSeen && TickDiff(now, m_lastPenDown) < kRepeatTapMs) {
        m_ignoreRelease = true;
        return;
    }
    CClientDC dc(this);
    DrawKeypad(dc, kKeyPressed, point);
    m_lastPenDown = now;
    m_penDownSeen = true;
    m_ignoreRelease = false;
}

void CSpeedAlertDlg::OnLButtonUp(UINT, CPoint) {
    if (m_ignoreRelease)
        return;
    CClientDC dc(this);
    DrawKeypad(dc, kKeyReleased, m_pressPoint);
    m_pressedKey = kNoKey;
}

HBRUSH CSpeedAlertDlg::OnCtlColor(CDC* dc, CWnd* wnd, UINT kind) {
    if (wnd && wnd->GetSafeHwnd() == m_limit.GetSafeHwnd())
        return CDialog::OnCtlColor(dc, wnd, kind);
    if (dc)
        dc->SetBkMode(TRANSPARENT);
    return GetBackgroundBrush();
}

LPCWSTR CSpeedAlertDlg::ScreenTitle() {
    return title_.c_str();
}

void CSpeedAlertDlg::DrawScreen(CDC& dc) {
    CFont* oldFont = dc.SelectObject(&m_labelFont);
    dc.SetTextColor(RGB(0, 0, 0));
    dc.SetBkMode(TRANSPARENT);
    const struct {
        UINT id;
        int y;
    } texts[] = {{kAutoId, 25}, {kFixedId, 48}};
    for (const auto& text : texts) {
        WCHAR caption[81] = {};
        GetDlgItemText(static_cast<int>(text.id), caption, 81);
        dc.ExtTextOut(ScaleX(55), ScaleY(text.y), 0, nullptr, caption,
                      static_cast<UINT>(std::char_traits<WCHAR>::length(caption)), nullptr);
    }
    dc.SelectObject(oldFont);
    DrawKeypad(dc, kKeyPainting, POINT{});
}

int RunSpeedAlertDialog(CWnd* parent) {
    CSpeedAlertDlg dialog(parent);
    return static_cast<int>(dialog.DoModal());
}
