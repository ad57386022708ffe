#include "pathlume/shell/disclaimer.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>

#include "pathlume/display/map_view.h"
#include "pathlume/foundation/message_dlg.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/shell/app_settings.h"
#include "pathlume/shell/dialog_parts.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/registry.h"
#include "platform/shell/shell.h"
#include "platform/user/dialogs.h"

namespace {

constexpr UINT kAcceptFaceBitmap = 367;
constexpr UINT kCloseFaceBitmap = 369;
constexpr UINT kPictureControl = 611;
constexpr UINT kPictureBitmap = 251;
constexpr COLORREF kGrey = 0x666666;
constexpr COLORREF kTitleRed = 0x0000FF;
constexpr UINT kSelectKey = 41;
constexpr UINT kButtonTextCentred = 18;
// The text's font: its own height, or smaller down to the last where a form is
// too small for all of it.
constexpr int kTextFontHeights[] = {13, 12, 11, 10, 9};
// The picture gives way before the text grows smaller than this.
constexpr int kSmallestFontWithPicture = 11;

std::once_flag g_templateRegistered;
std::atomic<bool> g_skippedThisStart{false};

// "nowarning" for this start, or a stored "ShowWarning" of 0: accepted once.
bool AcceptsWithoutAsking() {
    return g_skippedThisStart.load() ||
           RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"ShowWarning", 1) == 0;
}

void RegisterDisclaimerTemplate() {
    platform::DialogTemplate box = FullScreenDialogTemplate(160, 200);
    auto button = [](UINT id, const char16_t* text, short x) {
        return ImageButtonItem(static_cast<WORD>(id), text, x, 182, 40, 15, WS_VISIBLE);
    };
    box.items.push_back(button(IDOK, u"I Accept", 10));
    box.items.push_back(button(IDCANCEL, u"Cancel", 120));
    box.items.push_back(PictureItem(kPictureControl, 60, 150, 40, 25));
    platform::RegisterDialogTemplate(nullptr, static_cast<WORD>(kDisclaimerTemplateId), box);
}

}  // namespace

void WaitServingSentMessages(HANDLE object) {
    while (MsgWaitForMultipleObjects(1, &object, FALSE, INFINITE, QS_SENDMESSAGE) !=
           WAIT_OBJECT_0) {
        MSG ignored;
        // Serves the sent messages; posted ones stay queued for the loop outside.
        PeekMessageW(&ignored, nullptr, 0, 0, PM_NOREMOVE);
    }
}

BEGIN_MESSAGE_MAP(CDisclaimerDlg, CDialog)
ON_WM_PAINT()
ON_WM_KEYDOWN()
END_MESSAGE_MAP()

CDisclaimerDlg::CDisclaimerDlg(HANDLE mapLoader, CMapView* mapView, CWnd* parent)
    : CDialog(kDisclaimerTemplateId, parent), mapLoader_(mapLoader), mapView_(mapView) {
    std::call_once(g_templateRegistered, RegisterDisclaimerTemplate);
}

void CDisclaimerDlg::DoDataExchange(CDataExchange* dx) {
    CDialog::DoDataExchange(dx);
    DDX_Control(dx, IDOK, acceptButton_);
    DDX_Control(dx, IDCANCEL, closeButton_);
}

BOOL CDisclaimerDlg::OnInitDialog() {
    SHINITDLGINFO info{SHIDIM_FLAGS, m_hWnd, SHIDIF_SIZEDLG};
    SHInitDialog(&info);
    CDialog::OnInitDialog();
    const bool accepted = AcceptsWithoutAsking();
    // Saved only when it is not 1 already: the next start asks again.
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"ShowWarning", 1);
    if (accepted) {
        // Accepted once and never shown: nothing of it is drawn or laid out.
        g_skippedThisStart.store(false);
        OnOK();
        return TRUE;
    }
    greyPen_.CreatePen(PS_SOLID, 1, kGrey);
    CreateScaledFont(&boldFont_, 14, FW_BOLD, nullptr);
    CreateScaledFont(&normalFont_, 13, FW_NORMAL, nullptr);
    acceptButton_.SetImages(kAcceptFaceBitmap, &boldFont_, 0, 0, 0, kButtonTextCentred, 1);
    acceptButton_.SizeToBitmap();
    closeButton_.SetImages(kCloseFaceBitmap, &boldFont_, 0, 0, 0, kButtonTextCentred, 1);
    closeButton_.SizeToBitmap();
    ShowPicture(*this, kPictureControl, kPictureBitmap);
    LayOut();
    SetWindowText(u"Travona");
    // The keys come to the dialog itself: a focused image button would take Enter.
    SetFocus();
    return FALSE;
}

void CDisclaimerDlg::LayOut() {
    CRect client;
    GetClientRect(&client);
    const int margin = ScaleX(14);
    const int gap = ScaleY(6);
    CRect accept, close;
    acceptButton_.GetWindowRect(&accept);
    closeButton_.GetWindowRect(&close);
    const int buttonTop = client.bottom - gap - std::max(accept.Height(), close.Height());
    // Each button in the middle of its half of the width.
    acceptButton_.SetWindowPos(nullptr, client.Width() / 4 - accept.Width() / 2, buttonTop, 0, 0,
                               SWP_NOSIZE | SWP_NOZORDER);
    closeButton_.SetWindowPos(nullptr, client.Width() * 3 / 4 - close.Width() / 2, buttonTop, 0, 0,
                              SWP_NOSIZE | SWP_NOZORDER);

    textRect_ = CRect(margin, ScaleY(30), client.right - margin, buttonTop - gap);
    const std::u16string text = LoadResStringOr(6058, u"") + LoadResStringOr(6218, u"");
    CClientDC dc(this);
    auto textHeightAt = [&](int fontHeight) {
        normalFont_.DeleteObject();
        CreateScaledFont(&normalFont_, fontHeight, FW_NORMAL, nullptr);
        CFont* old = dc.SelectObject(&normalFont_);
        CRect measured(textRect_.left, textRect_.top, textRect_.right, textRect_.top);
        dc.DrawText(text.c_str(), -1, &measured, DT_LEFT | DT_TOP | DT_WORDBREAK | DT_CALCRECT);
        dc.SelectObject(old);
        return static_cast<int>(measured.Height());
    };
    CWnd* picture = GetDlgItem(static_cast<int>(kPictureControl));
    CRect shape;
    if (picture)
        picture->GetWindowRect(&shape);
    // With the picture below the text while a font near the text's own keeps it whole;
    // else the text alone, in the largest font that fits.
    const int withPicture = textRect_.Height() - (picture ? shape.Height() + gap : 0);
    int textHeight = 0;
    bool pictureShown = false;
    for (int fontHeight : kTextFontHeights) {
        if (!picture || fontHeight < kSmallestFontWithPicture)
            break;
        textHeight = textHeightAt(fontHeight);
        if (textHeight <= withPicture) {
            pictureShown = true;
            break;
        }
    }
    for (int fontHeight : kTextFontHeights) {
        if (pictureShown)
            break;
        textHeight = textHeightAt(fontHeight);
        if (textHeight <= textRect_.Height())
            break;
    }
    textRect_.bottom = std::min<LONG>(textRect_.bottom, textRect_.top + textHeight);
    if (!picture)
        return;
    if (!pictureShown) {
        picture->ShowWindow(SW_HIDE);
        return;
    }
    // In the middle of what is left between the text and the buttons.
    const int room = buttonTop - gap - textRect_.bottom - gap;
    picture->SetWindowPos(nullptr, (client.Width() - shape.Width()) / 2,
                          textRect_.bottom + gap + (room - shape.Height()) / 2, 0, 0,
                          SWP_NOSIZE | SWP_NOZORDER);
}

bool CDisclaimerDlg::LoaderRunning() const {
    return mapLoader_ && WaitForSingleObject(mapLoader_, 0) == WAIT_TIMEOUT;
}

INT_PTR CDisclaimerDlg::DoModal() {
    // "nowarning" accepts in OnInitDialog without showing anything.
    if (AcceptsWithoutAsking() || !OwnBoxesAnsweredAsMessageBoxes())
        return CDialog::DoModal();
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"ShowWarning", 1);
    const std::u16string title = LoadResStringOr(6007, u"Warning");
    const std::u16string text = LoadResStringOr(6058, u"") + LoadResStringOr(6218, u"");
    if (MessageBoxW(MessageBoxOwner(m_pParentWnd), text.c_str(), title.c_str(),
                    MB_OKCANCEL | MB_DEFBUTTON2) == IDOK) {
        WaitForLoader();
        return IDOK;
    }
    StopLoader();
    return IDCANCEL;
}

void CDisclaimerDlg::WaitForLoader() {
    if (LoaderRunning()) {
        SetThreadPriority(mapLoader_, THREAD_PRIORITY_NORMAL);
        WaitServingSentMessages(mapLoader_);
    }
}

void CDisclaimerDlg::StopLoader() {
    CWaitCursor wait;
    // The loader is asked to stop, never killed: it may hold the map database's
    // locks. Whoever tears the database down waits for the thread first.
    if (LoaderRunning() && mapView_)
        mapView_->StopMapLoading();
}

void CDisclaimerDlg::OnOK() {
    WaitForLoader();
    EndDialog(IDOK);
}

void CDisclaimerDlg::OnCancel() {
    StopLoader();
    EndDialog(IDCANCEL);
}

BOOL CDisclaimerDlg::PreTranslateMessage(MSG* msg) {
    if (msg->message == WM_KEYDOWN || msg->message == WM_KEYUP) {
        const UINT key = static_cast<UINT>(msg->wParam);
        if (key == VK_RETURN || key == VK_ESCAPE || key == VK_HOME || key == kSelectKey) {
            if (msg->message == WM_KEYDOWN)
                OnKeyDown(key, LOWORD(msg->lParam), HIWORD(msg->lParam));
            return TRUE;
        }
    }
    return CDialog::PreTranslateMessage(msg);
}

void CDisclaimerDlg::OnKeyDown(UINT key, UINT repeat, UINT flags) {
    switch (key) {
        case VK_RETURN:
            OnOK();
            return;
        case VK_ESCAPE:
            OnCancel();
            return;
        case VK_HOME:
            g_homeKeyPressed.store(1);
            OnCancel();
            return;
        default:
            CDialog::OnKeyDown(key, repeat, flags);
    }
}

void CDisclaimerDlg::OnPaint() {
    CPaintDC paint(this);
    CRect client;
    GetClientRect(&client);
    CDC buffer;
    buffer.CreateCompatibleDC(&paint);
    CBitmap picture;
    picture.CreateCompatibleBitmap(&paint, client.Width(), client.Height());
    CBitmap* oldBitmap = buffer.SelectObject(&picture);
    buffer.FillSolidRect(&client, RGB(255, 255, 255));
    buffer.SetBkMode(TRANSPARENT);
    CPen* oldPen = buffer.SelectObject(&greyPen_);

    CFont* oldFont = buffer.SelectObject(&boldFont_);
    buffer.SetTextColor(kTitleRed);
    const std::u16string title = LoadResStringOr(6007, u"Warning");
    CRect titleRect(0, ScaleY(8), client.right, ScaleY(30));
    buffer.DrawText(title.c_str(), -1, &titleRect, DT_CENTER | DT_TOP | DT_SINGLELINE);

    buffer.SelectObject(&normalFont_);
    buffer.SetTextColor(0);
    const std::u16string text = LoadResStringOr(6058, u"") + LoadResStringOr(6218, u"");
    CRect textRect = textRect_;
    buffer.DrawText(text.c_str(), -1, &textRect, DT_LEFT | DT_TOP | DT_WORDBREAK);

    paint.BitBlt(0, 0, client.Width(), client.Height(), &buffer, 0, 0, SRCCOPY);
    buffer.SelectObject(oldFont);
    buffer.SelectObject(oldPen);
    buffer.SelectObject(oldBitmap);
}

void SetDisclaimerSkippedThisStart(bool skipped) {
    g_skippedThisStart.store(skipped);
}

int RunSafetyDisclaimer(CWnd* parent, HANDLE mapLoader, CMapView* mapView) {
    CDisclaimerDlg dialog(mapLoader, mapView, parent);
    return static_cast<int>(dialog.DoModal());
}
