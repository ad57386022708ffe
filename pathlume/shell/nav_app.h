// The navigation program's application object: start-up, settings and the About box.
#pragma once

#include "platform/afx/afx.h"

inline constexpr UINT kCommandEnterDestination = 3017;
inline constexpr const WCHAR* kInstanceMutexName = u"OxloInstanceMtx";
// The name other programs find the main window's class by.
inline constexpr const WCHAR* kMainWindowClassFound = u"WCE_TravonaWCls";

class CNavApp : public CWinApp {
  public:
    CNavApp();
    ~CNavApp() override;

    BOOL InitInstance() override;
    int ExitInstance() override;
    void OnAppAbout();

    // Whether the last start found its map data.
    bool MapDataMissing() const { return mapDataMissing_; }
    // Why the main view refused its creation: the disclaimer was refused (failed
    // false) or the maps failed to load after it (true, ExitInstance returns 1).
    static void NoteRefusedStart(bool failed);

  private:
    // Step 4: another instance runs; bring it forward (and ask it for destination
    // entry with "search"). Always FALSE.
    BOOL HandOverToRunningInstance(const CString& startWord);
    bool RegisterMainWindowClass();
    // The refusals after the frame exists: map data or voice files missing.
    BOOL RefuseStart(UINT messageId, UINT headingId);
    bool VoiceFilesMissing() const;
    void DestroyMainWindow();

    HANDLE instanceMutex_ = nullptr;
    bool mapDataMissing_ = false;
    // The start ended for something missing or broken: map data, voice files, the
    // window class or window. ExitInstance returns 1 then, else 0.
    bool startFailed_ = false;

    DECLARE_MESSAGE_MAP()
};

// The About box: the product picture, version, notices and the map data's credit.
class CAboutDlg : public CDialog {
  public:
    static constexpr UINT kTemplateId = 1000;

    explicit CAboutDlg(CWnd* parent = nullptr);
    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* msg) override;

  protected:
    void OnPaint();

    CPen greyPen_;
    CFont boldFont_;
    CFont normalFont_;

    DECLARE_MESSAGE_MAP()
};
