// Choosing where the map goes: connecting to the handheld behind the "Connecting"
// dialog (the connect thread does the work, the dialog only waits for it) with the
// "Connection To Pocket PC Failed" dialog's Retry, or measuring the PC drive that
// holds the program.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "mapferry/ui/device_link.h"
#include "platform/afx/afx.h"

// The application's holder of the device link and of the figures the sheet gives its
// pages.
class CDeviceLinkHolder {
  public:
    CDeviceLinkHolder() = default;
    ~CDeviceLinkHolder() = default;
    CDeviceLinkHolder(const CDeviceLinkHolder&) = delete;
    CDeviceLinkHolder& operator=(const CDeviceLinkHolder&) = delete;

    // The link, made on first use.
    CDeviceLink* GetDeviceLink();
    CDeviceLink* PeekDeviceLink() const { return m_pDeviceLink.get(); }

    // 1 before each connect attempt, then the connect thread's result.
    std::atomic<int> m_connectResult{1};
    // Free space in megabytes of the storage card and the main memory (0 at start).
    double m_storageCardFree = 0.0;
    double m_mainMemoryFree = 0.0;
    // The chosen target: free space in megabytes, drive index (A = 0) and kind.
    double m_chosenFree = 0.0;
    int m_chosenDrive = 0;
    int m_chosenKind = 0;

  private:
    std::unique_ptr<CDeviceLink> m_pDeviceLink;
};

// The connect thread: the holder's link's Connect result into its connect result.
UINT ConnectThreadProc(LPVOID holder);

// The handheld's operating-system version, as the last connecting sequence read it
// (size field 276; zero figures when unknown).
CEOSVERSIONINFO DeviceVersion();

// Templates of the two dialogs and their controls.
inline constexpr UINT kConnectingTemplateId = 137;
inline constexpr UINT kConnectFailedTemplateId = 176;
inline constexpr UINT kLinkPictureBitmap = 141;
inline constexpr UINT kProgramIcon = 128;
inline constexpr UINT kProgramTitleString = 102;
inline constexpr int kConnectingPicture = 1011;
inline constexpr int kConnectingProgress = 1020;
inline constexpr int kConnectFailedExit = 5;
// Results of the connection-failed dialog.
inline constexpr int kFailedRetry = 1;
inline constexpr int kFailedAbort = 2;
inline constexpr int kFailedExit = 100;

// The desktop's dialog look: texts on the dialog's own face.
class CLinkDialog : public CDialog {
  public:
    using CDialog::CDialog;

  protected:
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);
    DECLARE_MESSAGE_MAP()
};

// "Connecting": a bar that moves once a second until the connect thread has ended;
// no button, so only the thread's end closes it (with 1).
class CConnectingDlg : public CLinkDialog {
  public:
    CConnectingDlg(CWinThread* thread, CWnd* parent);
    BOOL OnInitDialog() override;

  protected:
    void OnTimer(UINT_PTR id);
    DECLARE_MESSAGE_MAP()

  private:
    CWinThread* m_thread;
    int m_position = 0;
};

// "Connection To Pocket PC Failed": Retry (1), Abort (2) or Exit (100).
class CConnectFailedDlg : public CLinkDialog {
  public:
    explicit CConnectFailedDlg(CWnd* parent);
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

  protected:
    void OnExit();
    DECLARE_MESSAGE_MAP()
};

// localOnly 1: the PC drive of the program folder becomes the holder's chosen target
// (kind 3); returns 1. localOnly 0: connects to the handheld, offering Retry while it
// fails; 0 when the user gave up (Abort or Exit), else 1, the pages then measuring
// the handheld through the holder's link.
int ChooseTargetLocation(int localOnly, CDeviceLinkHolder& holder, CWnd* parent);
