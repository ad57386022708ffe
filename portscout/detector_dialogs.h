// The detector's three full-screen dialogs: the instructions, the scan result and
// the confirmation. They share one layout drawn for a 240-pixel-wide screen: the
// title, a subtitle, a body text and two pictures over two tap areas.
#pragma once

#include <string>

#include "platform/afx/afx.h"
#include "portscout/port_scan.h"

inline constexpr UINT kDetectorTemplateId = 102;  // instructions and confirmation
inline constexpr UINT kScanTemplateId = 129;
inline constexpr UINT kOkBitmap = 133;
inline constexpr UINT kQuitBitmap = 132;
inline constexpr UINT kScanAgainBitmap = 140;
inline constexpr UINT kDetectorIcon = 128;
// The scan dialog's result that asks for another scan.
inline constexpr int kScanAgain = 8;

class CDetectorScreen : public CDialog {
  public:
    CDetectorScreen(UINT templateId, std::u16string subtitle, CWnd* parent);
    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* msg) override;

  protected:
    // A tap in the left area (over the OK picture) and in the right one.
    virtual void OnFirstArea() = 0;
    virtual void OnSecondArea() = 0;
    // The body: the rectangle (40, 80)-(200, 200) word-wrapped by default.
    virtual void DrawBody(CDC& dc);
    void SetBody(std::u16string body) { m_body = std::move(body); }

    void OnPaint();
    DECLARE_MESSAGE_MAP()

    CFont m_boldFont;
    CFont m_normalFont;

  private:
    UINT m_templateId;
    std::u16string m_subtitle;
    std::u16string m_body;
    CPen m_greyPen;
    HICON m_icon = nullptr;
};

// The instructions: OK scans (again while the scan dialog asks), the right area quits.
class CDetectIntroDlg : public CDetectorScreen {
  public:
    explicit CDetectIntroDlg(CWnd* parent = nullptr);

  protected:
    void OnFirstArea() override;
    void OnSecondArea() override;
};

// The scan: ports found and probed as the dialog is set up; OK confirms the lowest
// port found, the right area or command 8 asks for another scan.
class CPortScanDlg : public CDetectorScreen {
  public:
    explicit CPortScanDlg(CWnd* parent = nullptr);
    BOOL OnInitDialog() override;
    const PortTable& Ports() const { return m_ports; }

  protected:
    void OnFirstArea() override;
    void OnSecondArea() override;
    void DrawBody(CDC& dc) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

  private:
    PortTable m_ports;
};

// The confirmation: OK writes "CommPort" and "NMEABaud", the right area quits.
class CPortConfirmDlg : public CDetectorScreen {
  public:
    CPortConfirmDlg(int portNumber, int baudRate, CWnd* parent = nullptr);

  protected:
    void OnFirstArea() override;
    void OnSecondArea() override;

  private:
    int m_port;
    int m_baud;
};
