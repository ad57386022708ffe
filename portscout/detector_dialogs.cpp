#include "portscout/detector_dialogs.h"

#include <cstring>
#include <mutex>

#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/position/gps_ports.h"
#include "platform/shell/shell.h"
#include "platform/user/dialogs.h"

namespace {

constexpr COLORREF kTitleBlue = RGB(0, 0, 255);
constexpr COLORREF kSubtitleRed = RGB(255, 0, 0);
constexpr COLORREF kGrey = 0x666666;
constexpr int kScreenWidth = 240;
constexpr RECT kFirstArea{50, 220, 110, 249};
constexpr RECT kSecondArea{135, 220, 195, 249};
constexpr RECT kBodyArea{40, 80, 200, 200};
constexpr const char16_t* kTitle = u"Quellix Navigation System";
constexpr const char16_t* kChecker = u"GPS Port/Baud Checker";
// The pictures' controls: (left, right) per template.
constexpr int kIntroLeft = 1, kIntroRight = 2;
constexpr int kScanLeft = 2, kScanRight = 8;

platform::DialogItemTemplate PictureControl(int id) {
    return platform::DialogItem(u"STATIC", u"", static_cast<WORD>(id), WS_VISIBLE | SS_BITMAP);
}

void RegisterTemplates() {
    platform::DialogTemplate screen;
    screen.style = WS_POPUP | DS_SETFONT;
    screen.cx = 160;
    screen.cy = 200;
    screen.caption = u"GPS Detector";
    screen.items = {PictureControl(kIntroLeft), PictureControl(kIntroRight)};
    platform::RegisterDialogTemplate(nullptr, static_cast<WORD>(kDetectorTemplateId), screen);
    screen.items = {PictureControl(kScanLeft), PictureControl(kScanRight)};
    platform::RegisterDialogTemplate(nullptr, static_cast<WORD>(kScanTemplateId), screen);
}

void CreateFont(CFont* font, int heightPixels, int weight) {
    LOGFONTW logFont{};
    logFont.lfHeight = heightPixels;
    logFont.lfWeight = weight;
    std::memcpy(logFont.lfFaceName, u"Tahoma", sizeof(u"Tahoma"));
    font->CreateFontIndirect(&logFont);
}

// Puts a picture over a tap area.
void PlacePicture(CDialog& dialog, int id, UINT bitmap, const RECT& area) {
    CWnd* picture = dialog.GetDlgItem(id);
    if (!picture)
        return;
    picture->MoveWindow(area.left, area.top, area.right - area.left, area.bottom - area.top, FALSE);
    picture->SendMessage(
        STM_SETIMAGE, IMAGE_BITMAP,
        reinterpret_cast<LPARAM>(LoadBitmapW(AfxGetResourceHandle(), MAKEINTRESOURCEW(bitmap))));
}

}  // namespace

// ---- The shared screen -------------------------------------------------------------

BEGIN_MESSAGE_MAP(CDetectorScreen, CDialog)
ON_WM_PAINT()
END_MESSAGE_MAP()

CDetectorScreen::CDetectorScreen(UINT templateId, std::u16string subtitle, CWnd* parent)
    : CDialog(templateId, parent), m_templateId(templateId), m_subtitle(std::move(subtitle)) {
    static std::once_flag registered;
    std::call_once(registered, RegisterTemplates);
}

BOOL CDetectorScreen::OnInitDialog() {
    SHINITDLGINFO info{SHIDIM_FLAGS, m_hWnd, SHIDIF_SIZEDLGFULLSCREEN};
    SHInitDialog(&info);
    CDialog::OnInitDialog();
    CreateFont(&m_boldFont, 14, FW_BOLD);
    CreateFont(&m_normalFont, 13, FW_NORMAL);
    m_greyPen.CreatePen(PS_SOLID, 1, kGrey);
    m_icon = AfxGetApp() ? AfxGetApp()->LoadIcon(kDetectorIcon) : nullptr;
    const bool scan = m_templateId == kScanTemplateId;
    PlacePicture(*this, scan ? kScanLeft : kIntroLeft, kOkBitmap, kFirstArea);
    PlacePicture(*this, scan ? kScanRight : kIntroRight, scan ? kScanAgainBitmap : kQuitBitmap,
                 kSecondArea);
    return TRUE;
}

BOOL CDetectorScreen::PreTranslateMessage(MSG* msg) {
    // A tap anywhere on the screen, pictures included, is the dialog's.
    if (msg->message == WM_LBUTTONUP && m_hWnd &&
        (msg->hwnd == m_hWnd || ::IsChild(m_hWnd, msg->hwnd))) {
        POINT point{GET_X_LPARAM(msg->lParam), GET_Y_LPARAM(msg->lParam)};
        ::MapWindowPoints(msg->hwnd, m_hWnd, &point, 1);
        if (PtInRect(&kFirstArea, point)) {
            OnFirstArea();
            return TRUE;
        }
        if (PtInRect(&kSecondArea, point)) {
            OnSecondArea();
            return TRUE;
        }
    }
    return CDialog::PreTranslateMessage(msg);
}

void CDetectorScreen::DrawBody(CDC& dc) {
    RECT body = kBodyArea;
    dc.DrawText(m_body.c_str(), -1, &body, DT_LEFT | DT_TOP | DT_WORDBREAK);
}

void CDetectorScreen::OnPaint() {
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

    CFont* oldFont = buffer.SelectObject(&m_boldFont);
    buffer.SetTextColor(kTitleBlue);
    RECT title{10, 10, kScreenWidth, 30};
    buffer.DrawText(kTitle, -1, &title, DT_LEFT | DT_TOP | DT_SINGLELINE);
    CPen* oldPen = buffer.SelectObject(&m_greyPen);
    buffer.MoveTo(10, 32);
    buffer.LineTo(kScreenWidth - 10, 32);
    buffer.SetTextColor(kSubtitleRed);
    RECT subtitle{0, 55, kScreenWidth, 75};
    buffer.DrawText(m_subtitle.c_str(), -1, &subtitle, DT_CENTER | DT_TOP | DT_SINGLELINE);

    buffer.SelectObject(&m_normalFont);
    buffer.SetTextColor(RGB(0, 0, 0));
    DrawBody(buffer);

    paint.BitBlt(0, 0, client.Width(), client.Height(), &buffer, 0, 0, SRCCOPY);
    buffer.SelectObject(oldPen);
    buffer.SelectObject(oldFont);
    buffer.SelectObject(oldBitmap);
}

// ---- Instructions ------------------------------------------------------------------

CDetectIntroDlg::CDetectIntroDlg(CWnd* parent)
    : CDetectorScreen(kDetectorTemplateId, kChecker, parent) {
    SetBody(u"Disconnect/Reconnect your GPS Receiver. Press OK to proceed.");
}

void CDetectIntroDlg::OnFirstArea() {
    INT_PTR result;
    do {
        CPortScanDlg* scan = new CPortScanDlg(this);
        result = scan->DoModal();
        delete scan;
        Sleep(1000);
    } while (result == kScanAgain);
    EndDialog(IDOK);
}

void CDetectIntroDlg::OnSecondArea() {
    PostQuitMessage(0);
}

// ---- Scan --------------------------------------------------------------------------

CPortScanDlg::CPortScanDlg(CWnd* parent) : CDetectorScreen(kScanTemplateId, kChecker, parent) {
    SetBody(u"Cannot find the GPS receiver, or the COM port may be in use.");
}

BOOL CPortScanDlg::OnInitDialog() {
    const BOOL result = CDetectorScreen::OnInitDialog();
    CWaitCursor wait;
    EnumerateSerialPorts(m_ports);
    for (int port = 1; port <= kPortCount; ++port)
        if (m_ports[port - 1].candidate == 1)
            ProbePortBaud(m_ports, port);
    return result;
}

void CPortScanDlg::DrawBody(CDC& dc) {
    int y = 80;
    bool any = false;
    for (int index = 0; index < kPortCount; ++index) {
        const CandidatePort& port = m_ports[index];
        if (port.candidate != 1 || port.detectedBaud == 0)
            continue;
        any = true;
        WCHAR line[64];
        swprintf(line, 64, u"COM%d: %d bps\n", index + 1, port.detectedBaud);
        RECT portRect{40, y, 200, y + 20};
        dc.DrawText(line, -1, &portRect, DT_CENTER | DT_TOP);
        if (port.displayName) {
            const std::u16string name = u"(" + *port.displayName + u")\n";
            RECT nameRect{40, y + 15, 200, y + 35};
            dc.DrawText(name.c_str(), -1, &nameRect, DT_CENTER | DT_TOP);
            y += 35;
        } else {
            y += 20;
        }
    }
    if (!any)
        CDetectorScreen::DrawBody(dc);
}

void CPortScanDlg::OnFirstArea() {
    if (const int port = FirstDetectedPort(m_ports)) {
        CPortConfirmDlg confirm(port, m_ports[port - 1].detectedBaud, this);
        confirm.DoModal();
    }
    EndDialog(IDOK);
}

void CPortScanDlg::OnSecondArea() {
    EndDialog(kScanAgain);
}

BOOL CPortScanDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (LOWORD(wParam) == kScanAgain) {
        EndDialog(kScanAgain);
        return TRUE;
    }
    return CDetectorScreen::OnCommand(wParam, lParam);
}

// ---- Confirmation ------------------------------------------------------------------

CPortConfirmDlg::CPortConfirmDlg(int portNumber, int baudRate, CWnd* parent)
    : CDetectorScreen(kDetectorTemplateId, u"COM Port Setting", parent),
      m_port(portNumber),
      m_baud(baudRate) {
    WCHAR body[128];
    swprintf(body, 128, u"Press OK to set Quellix Navigation System to use COM%d: Baud %d",
             portNumber, baudRate);
    SetBody(body);
}

void CPortConfirmDlg::OnFirstArea() {
    RegWriteDword(HKEY_CURRENT_USER, kSettingsKey, kCommPortValue, static_cast<DWORD>(m_port));
    RegWriteDword(HKEY_CURRENT_USER, kSettingsKey, kNmeaBaudValue, static_cast<DWORD>(m_baud));
    EndDialog(IDOK);
}

void CPortConfirmDlg::OnSecondArea() {
    PostQuitMessage(0);
}
