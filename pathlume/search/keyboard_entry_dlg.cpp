#include "pathlume/search/keyboard_entry_dlg.h"

#include <algorithm>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/foundation/screen_draw.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/text.h"
#include "platform/shell/shell.h"

namespace {

constexpr COLORREF kTransparent = RGB(255, 255, 255);
constexpr UINT kLabelFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
constexpr int kShortListBottom = 188;
constexpr size_t kFieldChars = 256;

bool OwnKeyboardOff() {
    return (g_options.load() & kOptionOwnKeyboardOff) != 0;
}

}  // namespace

BEGIN_MESSAGE_MAP(KeyboardEntryDlg, CDialog)
ON_WM_PAINT()
ON_WM_LBUTTONDOWN()
// A second tap soon after one at the same key comes as a double click: a press too.
ON_WM_LBUTTONDBLCLK()
ON_WM_LBUTTONUP()
ON_WM_TIMER()
ON_WM_KEYDOWN()
ON_WM_CTLCOLOR()
ON_EN_CHANGE(kKeyboardFieldId, OnEditChange)
ON_LBN_SELCHANGE(kKeyboardListId, OnListSelChange)
END_MESSAGE_MAP()

KeyboardEntryDlg::KeyboardEntryDlg(CWnd* parent, const KeyboardSetup& setup)
    : CDialog(kKeyboardTemplate, parent), setup_(setup) {
    RegisterSearchTemplates();
    const float x = g_screenScaleX.load();
    const float y = g_screenScaleY.load();
    m_grid = KeyGridGeometry::ForScale(x, y, setup.gridLeft);
    m_listBottom = ScaleY(88);
    m_fieldRight = ScaleX(241);
    m_listRight = ScaleX(208);
    m_fieldTop = ScaleY(18);
    m_fieldBottom = ScaleY(36);
    m_repeatPeriod = setup.firstScrollStepMs;
}

KeyboardEntryDlg::~KeyboardEntryDlg() {
    if (m_list) {
        if (m_list->GetSafeHwnd())
            m_list->DestroyWindow();
        delete m_list;
    }
}

RECT KeyboardEntryDlg::FieldRect() const {
    return RECT{m_grid.gridLeft, m_fieldTop, m_fieldRight, m_fieldBottom};
}

BOOL KeyboardEntryDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    StartScreen(*this);
    if (OwnKeyboardOff())
        m_listBottom = setup_.scaledShortList ? ScaleY(kShortListBottom) : kShortListBottom;
    for (size_t i = 0; i < kKeyImageCount; ++i)
        m_images[i].LoadBitmap(kKeyImageBitmaps[i]);
    Field().Create(WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, FieldRect(), this, kKeyboardFieldId);
    const float scaleY = g_screenScaleY.load();
    LOGFONTW font{};
    font.lfHeight = RoundHalfAway((scaleY > 1.0f ? -14.0f : -13.0f) * scaleY);
    font.lfWeight = FW_BOLD;
    std::char_traits<char16_t>::copy(font.lfFaceName, u"Tahoma", 7);
    m_fieldFont.CreateFontIndirect(&font);
    Field().SetFont(&m_fieldFont);
    if (setup_.hasList) {
        m_list = new CTextListWnd();
        const RECT rect{m_grid.gridLeft, ScaleY(20) + m_fieldTop, m_listRight, m_listBottom};
        m_list->Create(WS_VSCROLL, rect, this, kKeyboardListId);
        m_list->listFont = static_cast<HFONT>(m_fieldFont.GetSafeHandle());
        m_list->ShowWindow(SW_SHOW);
    }
    {
        CWaitCursor wait;
        FillList();
    }
    Field().SetFocus();
    SetWindowText(kProductName);
    return FALSE;
}

const KeyLayout& KeyboardEntryDlg::CurrentLayout() const {
    if (OwnKeyboardOff())
        return kMinimalPage;
    return m_symbolsPage ? kSymbolsPage : *setup_.letters;
}

const char* KeyboardEntryDlg::SelectedRow() const {
    if (!m_list || m_list->selection < 0 || m_list->selection >= m_list->GetCount() ||
        !m_list->Matches(m_list->selection))
        return nullptr;
    return static_cast<const char*>(m_list->GetSelectedItem());
}

std::u16string KeyboardEntryDlg::FieldText() const {
    WCHAR text[kFieldChars + 1] = {};
    ::GetWindowTextW(const_cast<KeyboardEntryDlg*>(this)->Field().GetSafeHwnd(), text,
                     static_cast<int>(kFieldChars + 1));
    return text;
}

void KeyboardEntryDlg::OnPaint() {
    CPaintDC dc(this);
    PaintScreenBackground(dc, 0, RGB(255, 255, 255));
    HandleKeyAction(dc, kPaint, POINT{});
}

HBRUSH KeyboardEntryDlg::OnCtlColor(CDC*, CWnd*, UINT) {
    return nullptr;
}

void KeyboardEntryDlg::HandleKeyAction(HDC dc, Action action, POINT point) {
    SHSipPreference(m_hWnd, OwnKeyboardOff() ? SIP_UP : SIP_FORCEDOWN);
    const KeyLayout& layout = CurrentLayout();
    enum class Pending { kNone, kOk, kToggle, kCancel } pending = Pending::kNone;
    SetBkMode(dc, TRANSPARENT);
    if (action == kRelease)
        ReleaseCapture();
    else if (action == kPress)
        ::SetCapture(m_hWnd);
    else
        DrawTitleBar(dc, m_hWnd, ScreenText(TitleId()).c_str());

    CFont labelFont;
    CreateScaledFont(&labelFont, 20, FW_BOLD, nullptr);
    HGDIOBJ before = SelectObject(dc, labelFont.GetSafeHandle());
    if (action == kPaint)
        PaintExtras(dc);

    if (!HandleScrollButtons(dc, action, point)) {
        for (int cell = 0; cell < kKeyCells; cell += KeyGridGeometry::SpanAt(layout, cell)) {
            const uint8_t code = layout[static_cast<size_t>(cell)];
            if (code == 0 || (action == kRelease && cell != m_pressedKey))
                continue;
            if (action == kPress && RectHolds(m_grid.KeyRect(layout, cell), point)) {
                m_pressedKey = cell;
                m_pressPoint = point;
            }
            if (action == kPaint || cell == m_pressedKey)
                DrawKey(dc, layout, cell, action == kPaint ? kKeyPainting : action);
            if (action != kRelease || cell != m_pressedKey)
                continue;
            switch (ActionOf(code)) {
                case KeyAction::kType:
                    Field().SendMessage(WM_CHAR, KeyCharacter(code), 1);
                    break;
                case KeyAction::kBackspace:
                    Field().SendMessage(WM_CHAR, 8, 1);
                    break;
                case KeyAction::kSpace:
                    Field().SendMessage(WM_CHAR, u' ', 1);
                    break;
                case KeyAction::kSearch:
                    if (m_list && m_list->selection < m_list->GetCount())
                        m_list->SetSelection(0, TRUE, FALSE);
                    break;
                case KeyAction::kOk:
                    pending = Pending::kOk;
                    break;
                case KeyAction::kTogglePage:
                    pending = Pending::kToggle;
                    break;
                case KeyAction::kCancel:
                    pending = Pending::kCancel;
                    break;
                case KeyAction::kNone:
                    break;
            }
        }
    }
    SelectObject(dc, before);

    switch (pending) {
        case Pending::kOk:
            OnOK();
            break;
        case Pending::kToggle:
            m_symbolsPage = !m_symbolsPage;
            Invalidate(TRUE);
            break;
        case Pending::kCancel:
            EndDialog(IDCANCEL);
            break;
        case Pending::kNone:
            break;
    }
}

bool KeyboardEntryDlg::HandleScrollButtons(HDC dc, Action action, POINT point) {
    if (!m_list)
        return false;
    const float x = g_screenScaleX.load();
    const float y = g_screenScaleY.load();
    const RECT up = m_grid.ScrollButtonRect(true, x, y);
    const RECT down = m_grid.ScrollButtonRect(false, x, y);
    if (action == kPaint) {
        DrawScrollButton(dc, up, true, kKeyPainting);
        DrawScrollButton(dc, down, false, kKeyPainting);
        return false;
    }
    if (action == kRelease) {
        if (m_scrollDirection != 0) {
            m_scrollDirection = 0;
            KillTimer(kScrollTimer);
            m_repeatPeriod = setup_.firstScrollStepMs;
        }
        // Every tap moves at least one row.
        for (const bool isUp : {true, false}) {
            if (RectHolds(isUp ? up : down, m_pressPoint)) {
                isUp ? m_list->SelectPrev() : m_list->SelectNext();
                DrawScrollButton(dc, isUp ? up : down, isUp, kKeyReleased);
                return true;
            }
        }
        return false;
    }
    // A press on a scroll button starts the repeat.
    for (const bool isUp : {true, false}) {
        const RECT& rect = isUp ? up : down;
        if (!RectHolds(rect, point))
            continue;
        m_pressPoint = point;
        m_scrollDirection = isUp ? -1 : 1;
        m_repeatPeriod = setup_.firstScrollStepMs;
        SetTimer(kScrollTimer, m_repeatPeriod, nullptr);
        DrawScrollButton(dc, rect, isUp, kKeyPressed);
        return true;
    }
    return false;
}

void KeyboardEntryDlg::DrawScrollButton(HDC dc, const RECT& rect, bool up, int state) {
    // Drawn in the style of the page's first key, from the top and the bottom of its face.
    const KeyImage image = SelectKeyStyle(dc, CurrentLayout(), 0, state, *setup_.styles);
    const HBITMAP face = static_cast<HBITMAP>(m_images[static_cast<size_t>(image)].GetSafeHandle());
    const int height = m_grid.imageHeight - m_grid.scrollShortening;
    const int top = height / 2;
    const int bottom = height - top;
    const int width = rect.right - rect.left;
    TransparentImage(dc, rect.left, rect.top, width, top, face, 0, 0, m_grid.imageWidth, top,
                     kTransparent);
    TransparentImage(dc, rect.left, rect.top + top, width, bottom, face, 0,
                     m_grid.imageHeight - bottom, m_grid.imageWidth, bottom, kTransparent);
    RECT label = rect;
    DrawTextW(dc, up ? u"^" : u"v", 1, &label, kLabelFormat);
}

void KeyboardEntryDlg::DrawKey(HDC dc, const KeyLayout& layout, int cell, int state) {
    const KeyImage image = SelectKeyStyle(dc, layout, cell, state, *setup_.styles);
    const HBITMAP face = static_cast<HBITMAP>(m_images[static_cast<size_t>(image)].GetSafeHandle());
    RECT rect = m_grid.KeyRect(layout, cell);
    const int width = rect.right - rect.left;
    if (!m_grid.IsWide(width)) {
        TransparentImage(dc, rect.left, rect.top, m_grid.imageWidth, m_grid.imageHeight, face, 0, 0,
                         m_grid.imageWidth, m_grid.imageHeight, kTransparent);
    } else {
        // Stretched in four slices, so that the rounded ends keep their shape.
        for (const KeySlice& slice : kWideKeySlices) {
            TransparentImage(dc, rect.left + ScaleX(slice.destinationX), rect.top,
                             ScaleX(slice.width), m_grid.imageHeight, face, ScaleX(slice.sourceX),
                             0, ScaleX(slice.width), m_grid.imageHeight, kTransparent);
        }
    }
    const std::u16string label = KeyLabel(layout[static_cast<size_t>(cell)], m_symbolsPage);
    if (!label.empty())
        DrawTextW(dc, label.c_str(), static_cast<int>(label.size()), &rect, kLabelFormat);
}

void KeyboardEntryDlg::OnLButtonDown(UINT, CPoint point) {
    m_pressedKey = kNoKeyPressed;
    CClientDC dc(this);
    const DWORD now = GetTickCount();
    if (setup_.debounce && m_anyPenDown &&
        static_cast<int32_t>(now - m_lastPenDown) < static_cast<int32_t>(kPenDebounceMs)) {
        m_ignoreRelease = true;
        return;
    }
    HandleKeyAction(dc, kPress, point);
    m_lastPenDown = now;
    m_anyPenDown = true;
    m_ignoreRelease = false;
}

void KeyboardEntryDlg::OnLButtonUp(UINT, CPoint) {
    if (m_ignoreRelease)
        return;
    CClientDC dc(this);
    HandleKeyAction(dc, kRelease, m_pressPoint);
    m_pressedKey = kNoKeyPressed;
}

void KeyboardEntryDlg::OnEditChange() {
    if (m_suppressChange) {
        m_suppressChange = false;
        return;
    }
    OnTextChanged();
}

void KeyboardEntryDlg::OnTextChanged() {
    if (!m_list)
        return;
    const std::u16string text = FieldText();
    if (!text.empty()) {
        const std::string typed = platform::WideToAnsi(text);
        const int row = m_list->FindTyped(typed.c_str(), FALSE);
        m_list->EnsureVisibleUp(row, FALSE);
    } else {
        m_list->SetFilter(nullptr);
        m_list->SetSelection(0, FALSE, FALSE);
        m_list->EnsureVisibleUp(0, FALSE);
    }
}

void KeyboardEntryDlg::OnTimer(UINT_PTR id) {
    if (id != kScrollTimer || !m_list || m_scrollDirection == 0)
        return;
    const int selection = std::max(m_list->selection, 0);
    const int last = m_list->GetCount() - 1;
    const int target =
        std::clamp(selection + kScrollRowsPerStep * m_scrollDirection, 0, std::max(last, 0));
    if (last >= 0 && target != m_list->selection)
        m_list->SetSelection(target, TRUE, FALSE);
    if (m_repeatPeriod == setup_.firstScrollStepMs) {
        m_repeatPeriod = kScrollStepMs;
        SetTimer(kScrollTimer, kScrollStepMs, nullptr);
    }
}

BOOL KeyboardEntryDlg::PreTranslateMessage(MSG* msg) {
    if (setup_.takesKeys && IsScreenKey(*msg, VK_HOME)) {
        OnKeyDown(static_cast<UINT>(msg->wParam), LOWORD(msg->lParam), HIWORD(msg->lParam));
        return TRUE;
    }
    return CDialog::PreTranslateMessage(msg);
}

void KeyboardEntryDlg::OnKeyDown(UINT key, UINT, UINT) {
    const bool listKeys = m_list && setup_.listKeys;
    const ScreenKeys keys{
        listKeys ? std::function<void()>([this] { m_list->SelectPrev(); }) : nullptr,
        listKeys ? std::function<void()>([this] { m_list->SelectNext(); }) : nullptr,
        [this] { OnOK(); }, [this] { OnCancel(); }, setup_.homeCancels};
    if (!ActOnScreenKey(key, keys))
        Default();
}
