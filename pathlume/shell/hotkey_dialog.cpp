#include "pathlume/shell/hotkey_dialog.h"

#include <mutex>

#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/foundation/screen_background.h"
#include "pathlume/foundation/screen_draw.h"
#include "pathlume/shell/main_view.h"
#include "platform/shell/shell.h"
#include "platform/user/dialogs.h"

namespace {

constexpr uint32_t kFirstAppButton = 0xC1;
constexpr uint32_t kLastAppButton = 0xCF;
constexpr uint32_t kActionKey = VK_RETURN;
constexpr UINT kFaceWide = 385;
constexpr UINT kFaceShort = 380;
constexpr UINT kFaceOk = 367;
constexpr UINT kFaceClose = 369;
constexpr UINT kStringEnable = 6229;
constexpr UINT kStringDisable = 6230;
constexpr COLORREF kPromptColour = RGB(0x60, 0x60, 0xFF);

constexpr const char16_t* kFunctionNames[CHotkeyTable::kEntries] = {u"3D Mode",
                                                                    u"Current Position",
                                                                    u"Customize POI Icons",
                                                                    u"Detour",
                                                                    u"Display Options",
                                                                    u"Enter Destination",
                                                                    u"Fullscreen",
                                                                    u"GPS Info",
                                                                    u"Menu",
                                                                    u"Mute",
                                                                    u"North/Heading Up",
                                                                    u"POI Icons",
                                                                    u"Route List",
                                                                    u"Route Options",
                                                                    u"Rotate StatBox",
                                                                    u"Speed Alert",
                                                                    u"Volume"};

std::once_flag g_templateRegistered;

// Registers (on) or releases the dialog's keys: the application buttons and Enter,
// and with arrows the four direction keys too.
void RegisterDialogKeys(HWND window, BOOL on, bool arrows) {
    for (uint32_t key = kFirstAppButton; key <= kLastAppButton; ++key)
        CHotkeyTable::RegisterKey(window, key, on);
    CHotkeyTable::RegisterKey(window, kActionKey, on);
    if (arrows)
        for (uint32_t key = VK_LEFT; key <= VK_DOWN; ++key)
            CHotkeyTable::RegisterKey(window, key, on);
}

// The face stretched to the button's size, so that a caption wider than the face
// still stands on it.
void FitFaceToButton(CImageButton& button) {
    BITMAP face{};
    if (!button.face.GetSafeHandle() || !button.face.GetBitmap(&face))
        return;
    RECT rect{};
    button.GetClientRect(&rect);
    if (rect.right == face.bmWidth && rect.bottom == face.bmHeight)
        return;
    HDC screen = ::GetDC(nullptr);
    HDC source = CreateCompatibleDC(screen);
    HDC target = CreateCompatibleDC(screen);
    HBITMAP fitted = CreateCompatibleBitmap(screen, rect.right, rect.bottom);
    HGDIOBJ oldSource = SelectObject(source, button.face.GetSafeHandle());
    HGDIOBJ oldTarget = SelectObject(target, fitted);
    StretchBlt(target, 0, 0, rect.right, rect.bottom, source, 0, 0, face.bmWidth, face.bmHeight,
               SRCCOPY);
    SelectObject(source, oldSource);
    SelectObject(target, oldTarget);
    DeleteDC(source);
    DeleteDC(target);
    ::ReleaseDC(nullptr, screen);
    button.face.DeleteObject();
    button.face.Attach(fitted);
}

}  // namespace

std::u16string GetKeyName(uint32_t key) {
    switch (key) {
        case VK_RETURN:
            return u"Action";
        case VK_LEFT:
            return u"Left";
        case VK_UP:
            return u"Up";
        case VK_RIGHT:
            return u"Right";
        case VK_DOWN:
            return u"Down";
        default:
            break;
    }
    if (key >= kFirstAppButton && key <= kFirstAppButton + 5)
        return u"Button " + std::u16string(1, static_cast<char16_t>(u'1' + key - kFirstAppButton));
    const std::string number = std::to_string(key);
    return u"Button " + std::u16string(number.begin(), number.end());
}

const char16_t* HotkeyFunctionName(int code) {
    return code >= 0 && code < CHotkeyTable::kEntries ? kFunctionNames[code] : u"";
}

bool AssignKeyInTable(CHotkeyTable& table, uint32_t command, uint32_t key,
                      std::vector<int>* blankRows) {
    constexpr uint32_t kFree = CHotkeyTable::kHotkeyUnassigned;
    int freeEntry = -1, keyEntry = -1, commandEntry = -1;
    for (int i = 0; i < CHotkeyTable::kEntries; ++i) {
        const uint32_t entryCommand = table.GetCommand(i);
        if (entryCommand == kFree) {
            if (freeEntry < 0)
                freeEntry = i;
            continue;
        }
        if (keyEntry < 0 && table.GetKey(i) == key)
            keyEntry = i;
        if (commandEntry < 0 && entryCommand == command)
            commandEntry = i;
    }
    int target = -1;
    if (keyEntry >= 0) {
        blankRows->push_back(static_cast<int>(table.GetCommand(keyEntry)));
        table.SetEntry(keyEntry, table.GetKey(keyEntry), kFree);
        if (commandEntry >= 0) {
            blankRows->push_back(static_cast<int>(command));
            target = commandEntry;
        } else {
            target = keyEntry;
        }
    } else if (commandEntry >= 0) {
        target = commandEntry;
    } else {
        target = freeEntry;
    }
    if (target < 0)
        return false;
    table.SetEntry(target, key, command);
    return true;
}

void RegisterHotkeyDlgTemplate() {
    platform::DialogTemplate dialog;
    dialog.style = WS_POPUP | DS_SETFONT;
    dialog.cx = 137;
    dialog.cy = 134;
    dialog.caption = u"Set Wayscribe Hotkeys";
    dialog.items.push_back(platform::DialogItem(WC_LISTVIEW, u"", static_cast<WORD>(kHotkeyListId),
                                                WS_VISIBLE | WS_TABSTOP | WS_BORDER | LVS_REPORT |
                                                    LVS_SINGLESEL | LVS_SHOWSELALWAYS |
                                                    LVS_NOSORTHEADER,
                                                5, 24, 129, 74));
    struct Button {
        int id;
        const char16_t* text;
        short x, cx;
    };
    for (const Button& b :
         {Button{IDOK, u"OK", 0, 30}, Button{IDCANCEL, u"X", 121, 16},
          Button{kHotkeyEnableId, u"Disable", 34, 30}, Button{kHotkeyAllId, u"All", 102, 16},
          Button{kHotkeyClearKeyId, u"Clear Key", 67, 30}})
        dialog.items.push_back(
            ImageButtonItem(static_cast<WORD>(b.id), b.text, b.x, 120, b.cx, 14));
    platform::RegisterDialogTemplate(nullptr, static_cast<WORD>(kHotkeyDlgTemplateId), dialog);
}

BEGIN_MESSAGE_MAP(CHotkeyDlg, CDialog)
ON_WM_ACTIVATE()
ON_WM_PAINT()
ON_WM_CTLCOLOR()
ON_WM_HOTKEY()
ON_WM_KEYDOWN()
ON_NOTIFY(NM_CLICK, kHotkeyListId, OnListClick)
ON_COMMAND(kHotkeyClearKeyId, OnClearKey)
ON_COMMAND(kHotkeyAllId, OnClearAll)
ON_COMMAND(kHotkeyEnableId, OnEnable)
END_MESSAGE_MAP()

CHotkeyDlg::CHotkeyDlg(CWnd* parent) : CDialog(kHotkeyDlgTemplateId, parent) {
    std::call_once(g_templateRegistered, RegisterHotkeyDlgTemplate);
    table = g_hotkeyTable;
}

CHotkeyDlg::~CHotkeyDlg() {
    if (m_hWnd)
        RegisterDialogKeys(m_hWnd, FALSE, false);
}

void CHotkeyDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDOK, m_okButton);
    DDX_Control(dx, IDCANCEL, m_closeButton);
    DDX_Control(dx, kHotkeyEnableId, m_enableButton);
    DDX_Control(dx, kHotkeyAllId, m_allButton);
    DDX_Control(dx, kHotkeyClearKeyId, m_clearButton);
    DDX_Control(dx, kHotkeyListId, m_list);
}

BOOL CHotkeyDlg::OnInitDialog() {
    SHINITDLGINFO info{SHIDIM_FLAGS, m_hWnd, SHIDIF_SIZEDLG};
    SHInitDialog(&info);
    CDialog::OnInitDialog();
    CreateScaledFont(&m_boldFont, 14, FW_BOLD, nullptr);
    const struct {
        CImageButton& button;
        UINT face;
    } buttons[] = {{m_enableButton, kFaceWide},
                   {m_clearButton, kFaceWide},
                   {m_allButton, kFaceShort},
                   {m_okButton, kFaceOk},
                   {m_closeButton, kFaceClose}};
    for (const auto& b : buttons)
        b.button.SetImages(b.face, &m_boldFont, 0, RGB(255, 255, 255), 348, 18, 1);
    LayOutButtons();
    // The list fills the full-screen dialog down to the buttons, so that more of the
    // seventeen rows and the whole function names show.
    RECT client{}, list{}, okRect{};
    GetClientRect(&client);
    m_list.GetWindowRect(&list);
    ScreenToClient(&list);
    m_okButton.GetWindowRect(&okRect);
    ScreenToClient(&okRect);
    m_list.SetWindowPos(nullptr, list.left, list.top, client.right - 2 * list.left,
                        std::max<LONG>(list.bottom - list.top, okRect.top - ScaleY(8) - list.top),
                        SWP_NOZORDER | SWP_NOACTIVATE);

    const float sy = g_screenScaleY.load();
    m_list.SetExtendedStyle(LVS_EX_FULLROWSELECT);
    const std::u16string function = LoadResStringOr(6231, u"Function");
    const std::u16string button = LoadResStringOr(6232, u"Button");
    m_list.InsertColumn(0, function.c_str(), LVCFMT_LEFT, ScaleSize(80, sy));
    m_list.InsertColumn(1, button.c_str(), LVCFMT_LEFT, ScaleSize(80, sy), 1);
    const std::u16string widest = LoadResStringOr(6293, u"Button 6");
    const int textWidth = static_cast<int>(
        m_list.SendMessage(LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(widest.c_str())));
    m_list.GetClientRect(&client);
    m_list.SetColumnWidth(0, client.right - ScaleSize(45, sy) - textWidth);
    m_list.SetColumnWidth(1, ScaleSize(30, sy) + textWidth);
    for (int code = 0; code < CHotkeyTable::kEntries; ++code)
        m_list.InsertItem(code, kFunctionNames[code]);
    for (int i = 0; i < CHotkeyTable::kEntries; ++i) {
        const uint32_t command = table.GetCommand(i);
        if (command < static_cast<uint32_t>(CHotkeyTable::kEntries))
            m_list.SetItemText(static_cast<int>(command), 1, GetKeyName(table.GetKey(i)).c_str());
    }
    RegisterDialogKeys(m_hWnd, TRUE, false);
    ShowEnableCaption();
    SetWindowText(u"Travona");
    return TRUE;
}

void CHotkeyDlg::LayOutButtons() {
    // One row along the bottom, each button as wide as its caption needs (at least
    // its face), the row spread over the screen's width.
    RECT client{};
    GetClientRect(&client);
    CImageButton* row[] = {&m_okButton, &m_enableButton, &m_clearButton, &m_allButton,
                           &m_closeButton};
    const char16_t* widest[] = {u"OK", u"Disable", u"Clear Key", u"All", u"X"};
    HDC dc = ::GetDC(m_hWnd);
    HGDIOBJ old = SelectObject(dc, static_cast<HFONT>(m_boldFont));
    int widths[5];
    int total = 0;
    for (int i = 0; i < 5; ++i) {
        SIZE extent{};
        GetTextExtentPoint32W(dc, widest[i], lstrlenW(widest[i]), &extent);
        widths[i] = extent.cx + ScaleX(10);
        total += widths[i];
    }
    SelectObject(dc, old);
    ::ReleaseDC(m_hWnd, dc);
    const int height = ScaleY(26);
    const int gap = std::max(0, (client.right - total) / 6);
    int x = gap;
    const int y = client.bottom - height - ScaleY(8);
    for (int i = 0; i < 5; ++i) {
        row[i]->SetWindowPos(nullptr, x, y, widths[i], height, SWP_NOZORDER | SWP_NOACTIVATE);
        FitFaceToButton(*row[i]);
        x += widths[i] + gap;
    }
}

void CHotkeyDlg::ShowEnableCaption() {
    const std::u16string caption = table.enabled ? LoadResStringOr(kStringDisable, u"Disable")
                                                 : LoadResStringOr(kStringEnable, u"Enable");
    WCHAR shown[32] = {};
    m_enableButton.GetWindowText(shown, 32);
    if (caption != shown)
        m_enableButton.SetWindowText(caption.c_str());
}

void CHotkeyDlg::OnActivate(UINT state, CWnd* other, BOOL minimized) {
    CDialog::OnActivate(state, other, minimized);
    RegisterDialogKeys(m_hWnd, state != WA_INACTIVE, true);
}

void CHotkeyDlg::OnPaint() {
    CPaintDC dc(this);
    RECT client{};
    GetClientRect(&client);
    dc.FillSolidRect(&client, RGB(255, 255, 255));
    const float sy = g_screenScaleY.load();
    const std::u16string prompt =
        LoadResStringOr(6276, u"Select a function and press desired button");
    // A prompt wider than the screen is drawn two sizes smaller.
    CFont font;
    CreateScaledFont(&font, 14, FW_NORMAL, nullptr);
    CFont* before = dc.SelectObject(&font);
    SIZE extent{};
    GetTextExtentPoint32W(dc, prompt.c_str(), static_cast<int>(prompt.size()), &extent);
    CFont smaller;
    if (extent.cx > client.right - 2 * ScaleSize(3, sy)) {
        CreateScaledFont(&smaller, 12, FW_NORMAL, nullptr);
        dc.SelectObject(&smaller);
    }
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(kPromptColour);
    dc.ExtTextOut(ScaleSize(3, sy), ScaleSize(25, sy), 0, nullptr, prompt.c_str(),
                  static_cast<UINT>(prompt.size()), nullptr);
    dc.SelectObject(before);
    ShowEnableCaption();
}

HBRUSH CHotkeyDlg::OnCtlColor(CDC* dc, CWnd* wnd, UINT kind) {
    // The buttons stand on the program's background pattern.
    if (kind == CTLCOLOR_BTN)
        return GetBackgroundBrush();
    return CDialog::OnCtlColor(dc, wnd, kind);
}

int CHotkeyDlg::SelectedRow() const {
    return static_cast<int>(m_list.SendMessage(LVM_GETSELECTIONMARK));
}

void CHotkeyDlg::OnListClick(NMHDR* header, LRESULT* result) {
    const auto* click = reinterpret_cast<const NMITEMACTIVATE*>(header);
    if (click->iItem >= 0) {
        row = click->iItem;
        rowChosen = TRUE;
    }
    *result = 0;
}

std::u16string CHotkeyDlg::RowKeyText(int index) {
    return std::u16string(m_list.GetItemText(index, 1).GetString());
}

void CHotkeyDlg::AssignKey(uint32_t key) {
    if (!rowChosen || row < 0 || row >= CHotkeyTable::kEntries)
        return;
    std::vector<int> blank;
    if (!AssignKeyInTable(table, static_cast<uint32_t>(row), key, &blank))
        return;
    for (int blanked : blank)
        if (blanked >= 0 && blanked < CHotkeyTable::kEntries)
            m_list.SetItemText(blanked, 1, u"");
    m_list.SetItemText(row, 1, GetKeyName(key).c_str());
    dirty = TRUE;
}

void CHotkeyDlg::OnHotKey(UINT, UINT, UINT key) {
    const int selected = SelectedRow();
    if (selected >= 0) {
        row = selected;
        rowChosen = TRUE;
    }
    AssignKey(key);
}

BOOL CHotkeyDlg::PreTranslateMessage(MSG* msg) {
    if (msg->message == WM_KEYDOWN) {
        switch (msg->wParam) {
            case VK_RETURN:
            case VK_ESCAPE:
            case VK_SPACE:
            case VK_LEFT:
            case VK_RIGHT:
            case VK_SELECT:
                OnKeyDown(static_cast<UINT>(msg->wParam), LOWORD(msg->lParam), HIWORD(msg->lParam));
                return TRUE;
            default:
                break;
        }
    }
    return CDialog::PreTranslateMessage(msg);
}

void CHotkeyDlg::OnKeyDown(UINT key, UINT, UINT) {
    if (key == VK_ESCAPE) {
        OnCancel();
        return;
    }
    AssignKey(key);
    Invalidate(FALSE);
}

void CHotkeyDlg::OnClearKey() {
    m_clearButton.SendMessage(BM_SETSTATE, 0);
    // The row the list shows selected is the one cleared, as a key pressed binds it.
    const int selected = SelectedRow();
    if (selected >= 0) {
        row = selected;
        rowChosen = TRUE;
    }
    if (rowChosen && row >= 0) {
        const int entry = table.IndexOfCommand(static_cast<uint32_t>(row));
        if (entry >= 0) {
            m_list.SetItemText(row, 1, u"");
            table.SetEntry(entry, table.GetKey(entry), CHotkeyTable::kHotkeyUnassigned);
        }
    }
    dirty = TRUE;
}

void CHotkeyDlg::OnClearAll() {
    m_allButton.SendMessage(BM_SETSTATE, 0);
    for (int i = 0; i < CHotkeyTable::kEntries; ++i) {
        const uint32_t command = table.GetCommand(i);
        if (command == CHotkeyTable::kHotkeyUnassigned)
            continue;
        if (command < static_cast<uint32_t>(CHotkeyTable::kEntries))
            m_list.SetItemText(static_cast<int>(command), 1, u"");
        table.SetEntry(i, table.GetKey(i), CHotkeyTable::kHotkeyUnassigned);
    }
    dirty = TRUE;
}

void CHotkeyDlg::OnEnable() {
    m_enableButton.SendMessage(BM_SETSTATE, 0);
    table.enabled = table.enabled ? 0 : 1;
    ShowEnableCaption();
    dirty = TRUE;
}

void CHotkeyDlg::OnOK() {
    if (dirty) {
        g_hotkeyTable = table;
        g_hotkeyTable.Save();
    }
    EndDialog(IDOK);
}

// ---------------------------------------------------------------------------------
// The main view's side.

void CMainView::OnHotKey(UINT, UINT, UINT key) {
    const int32_t command = g_hotkeyTable.CommandForKey(key);
    if (command < 0)
        return;
    // A button pressed under a modal screen opens no second one on top of it.
    if (modalCount.load() > 0 && OpensModalScreen(command))
        return;
    ExecuteCommand(command);
}

void CMainView::OnHotkeyOptions() {
    g_hotkeyTable.RegisterAll(m_hWnd, FALSE);
    if (fullScreen)
        LayoutWindow(0);
    BeginModalScreen();
    {
        CHotkeyDlg dialog(this);
        dialog.DoModal();
    }
    EndModalScreen(FALSE);
    g_hotkeyTable.RegisterAll(m_hWnd, TRUE);
}
