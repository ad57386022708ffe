#include "pathlume/search/search_screen.h"

#include <mutex>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/message_dlg.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/foundation/screen_draw.h"
#include "platform/shell/shell.h"
#include "platform/user/dialogs.h"

namespace {

constexpr short kScreenWidthUnits = 160;
constexpr short kScreenHeightUnits = 213;
constexpr UINT kPressedFace = 348;
constexpr UINT kTextCentred = 18;

std::once_flag g_registered;

void RegisterAll() {
    // Set Destination: the seven ways, top to bottom, and the close key. (A dialog
    // unit is 1.5 pixels across and about 1.6 down on the QVGA screen.)
    RegisterScreenTemplate(kSetDestinationTemplate, {{500, u"Address", 20, 17, 120, 18},
                                                     {502, u"Intersection", 20, 38, 120, 18},
                                                     {505, u"City Center", 20, 59, 120, 18},
                                                     {504, u"Points of Interest", 20, 80, 120, 18},
                                                     {506, u"Contacts", 20, 101, 120, 18},
                                                     {501, u"Favorites", 20, 122, 120, 18},
                                                     {503, u"Recent", 20, 143, 120, 18},
                                                     {IDCANCEL, u"X", 137, 175, 20, 18}});
    RegisterScreenTemplate(kInputMethodTemplate, {{554, u"Change", 110, 39, 37, 15},
                                                  {551, u"Street First", 20, 60, 120, 18},
                                                  {552, u"City First", 20, 83, 120, 18},
                                                  {IDCANCEL, u"X", 137, 175, 20, 18}});
    // The list screens place their buttons at run time.
    RegisterScreenTemplate(kFavoritesTemplate, {{540, u"Nav", 0, 165, 40, 16},
                                                {539, u"Origin", 0, 165, 40, 16},
                                                {533, u"Del", 0, 165, 30, 16},
                                                {532, u"Edit", 0, 165, 40, 16},
                                                {IDCANCEL, u"X", 0, 165, 20, 20}});
    RegisterScreenTemplate(kRecentTemplate, {{540, u"Nav", 0, 165, 40, 16},
                                             {539, u"Origin", 0, 165, 40, 16},
                                             {533, u"Del", 0, 165, 30, 16},
                                             {501, u"Fav", 0, 165, 40, 16},
                                             {IDCANCEL, u"X", 0, 165, 20, 20}});
    RegisterScreenTemplate(kAddressListTemplate,
                           {{540, u"Nav", 0, 165, 40, 16},
                            {501, u"Fav", 0, 165, 40, 16},
                            {539, u"Origin", 0, 165, 40, 16},
                            {620, u"", 0, 165, 20, 16},
                            {537, u"", 140, 20, 20, 16},
                            {536, u"", 140, 40, 20, 16},
                            {IDCANCEL, u"X", 0, 165, 20, 20}},
                           {620, 537, 536});
    RegisterScreenTemplate(kKeyboardTemplate, {});
}

}  // namespace

void RegisterScreenTemplate(UINT id, const std::vector<ScreenButton>& buttons,
                            std::initializer_list<WORD> hidden) {
    platform::DialogTemplate screen;
    screen.style = WS_POPUP | DS_SETFONT;
    screen.cx = kScreenWidthUnits;
    screen.cy = kScreenHeightUnits;
    for (const ScreenButton& b : buttons) {
        bool shown = true;
        for (WORD h : hidden)
            shown = shown && h != b.id;
        const DWORD style = WS_TABSTOP | BS_OWNERDRAW | (shown ? WS_VISIBLE : 0);
        screen.items.push_back(
            platform::DialogItem(u"BUTTON", b.text, b.id, style, b.x, b.y, b.cx, b.cy));
    }
    platform::RegisterDialogTemplate(nullptr, static_cast<WORD>(id), screen);
}

void RegisterSearchTemplates() {
    std::call_once(g_registered, RegisterAll);
}

void StartScreen(CDialog& dialog) {
    SHINITDLGINFO info{SHIDIM_FLAGS, dialog.m_hWnd, SHIDIF_SIZEDLG};
    SHInitDialog(&info);
    SHSipPreference(dialog.m_hWnd, SIP_FORCEDOWN);
}

std::u16string ScreenText(UINT id) {
    WCHAR buffer[260];
    return LoadResString(id, buffer, 260, FALSE) ? std::u16string(buffer) : std::u16string();
}

void PaintScreenBackgroundAndTitle(CDC& dc, CWnd& window, UINT titleId) {
    PaintScreenBackground(dc, 0, RGB(255, 255, 255));
    dc.SetBkMode(TRANSPARENT);
    if (titleId != 0)
        DrawTitleBar(dc, window.m_hWnd, ScreenText(titleId).c_str());
}

void SetUpImageButton(CImageButton& button, UINT bitmapId, CFont* font, COLORREF textColour) {
    button.SetImages(bitmapId, font, 0, textColour, kPressedFace, kTextCentred, 1);
    button.SizeToBitmap();
}

HBRUSH ScreenBrush::Get() {
    if (!brush_.GetSafeHandle()) {
        if (picture_.LoadBitmap(kBitmapBackgroundPortrait))
            brush_.CreatePatternBrush(&picture_);
        else
            brush_.CreateSolidBrush(RGB(255, 255, 255));
    }
    return brush_;
}

bool IsScreenKey(const MSG& msg, UINT firstKey) {
    return msg.message == WM_KEYDOWN && (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE ||
                                         (msg.wParam >= firstKey && msg.wParam <= VK_SELECT));
}

bool ActOnScreenKey(UINT key, const ScreenKeys& keys) {
    switch (key) {
        case VK_UP:
            if (keys.up)
                keys.up();
            return true;
        case VK_DOWN:
            if (keys.down)
                keys.down();
            return true;
        case VK_RETURN:
            keys.ok();
            return true;
        case VK_ESCAPE:
            keys.cancel();
            return true;
        case VK_HOME:
            if (!keys.homeCancels)
                return false;
            g_homeKeyPressed.store(1);
            keys.cancel();
            return true;
        default:
            return false;
    }
}

void ShowWarningBox(CWnd* parent, UINT messageId, LPCWSTR heading) {
    const std::u16string caption = LoadResStringOr(6007, u"Warning");
    const std::u16string message = LoadResStringOr(messageId, u"");
    const std::u16string confirm = LoadResStringOr(6009, u"Confirm");
    const std::u16string cancel = LoadResStringOr(6010, u"Cancel");
    CMessageDlg box(parent, caption.c_str(), message.c_str(), heading ? heading : u"",
                    confirm.c_str(), cancel.c_str(), 1);
    box.DoModal();
}

void LayoutButtonRows(CWnd& dialog, const std::vector<CWnd*>& buttons, int top) {
    RECT client{};
    dialog.GetClientRect(&client);
    const int width = client.right - client.left;
    const int gap = ScaleX(4);
    std::vector<std::pair<CWnd*, CRect>> shown;
    for (CWnd* button : buttons) {
        if (!button || !button->GetSafeHwnd() || !(button->GetStyle() & WS_VISIBLE))
            continue;
        CRect rect;
        button->GetWindowRect(&rect);
        shown.emplace_back(button, rect);
    }
    size_t first = 0;
    int y = top;
    while (first < shown.size()) {
        // As many as fit, at least one.
        size_t last = first;
        int rowWidth = shown[first].second.Width();
        int rowHeight = shown[first].second.Height();
        while (last + 1 < shown.size() &&
               rowWidth + gap + shown[last + 1].second.Width() <= width - 2 * gap) {
            ++last;
            rowWidth += gap + shown[last].second.Width();
            rowHeight = std::max(rowHeight, shown[last].second.Height());
        }
        const int count = static_cast<int>(last - first + 1);
        const int spacing = (width - (rowWidth - gap * (count - 1))) / (count + 1);
        int x = spacing;
        for (size_t i = first; i <= last; ++i) {
            const CRect& r = shown[i].second;
            shown[i].first->SetWindowPos(nullptr, x, y + (rowHeight - r.Height()) / 2, 0, 0,
                                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            x += r.Width() + spacing;
        }
        y += rowHeight + gap;
        first = last + 1;
    }
}
