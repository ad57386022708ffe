// The program's top-level window: the command bar with menu 2000, the main view,
// the hardware-key hotkeys while it is active, and the requests other programs
// send the main window.
#pragma once

#include "pathlume/shell/main_view.h"
#include "platform/afx/afx.h"

inline constexpr const WCHAR* kMainWindowClass = u"TravonaWCls";
inline constexpr UINT kMainMenuId = 2000;
inline constexpr int kToolTipCount = 7;

// The check marks of the "Tools" menu for a port number and a baud rate: the item
// of each group to mark, 0 when none matches.
UINT PortMenuItem(int portNumber);
UINT BaudMenuItem(DWORD baud);
// The GPS port's number from "COM%d:", else "CommPort" (default 8).
int CurrentPortNumber();
// Sets menu 2000's check marks from the settings: the port and baud rate, the
// keyboard, the units, the speed alert and fog driving.
void MarkMainMenu(HMENU menu, BOOL fogDriving);
// Registers menu 2000 for the program's module (done once by the frame).
void RegisterMainMenu();

class CMainFrame : public CFrameWnd {
  public:
    CMainFrame();
    ~CMainFrame() override;

    BOOL OnCmdMsg(UINT id, int code, void* extra, AFX_CMDHANDLERINFO* handlerInfo) override;
    // Sets the menu's check marks from the current settings.
    void BuildPortMenu();

    CMainView& View() { return view_; }
    HMENU Menu() const;

  protected:
    BOOL PreCreateWindow(CREATESTRUCT& cs) override;
    int OnCreate(LPCREATESTRUCT cs);
    void OnSetFocus(CWnd* oldWnd);
    void OnActivate(UINT state, CWnd* other, BOOL minimized);
    void OnKeyDown(UINT key, UINT repeat, UINT flags);
    void OnKeyUp(UINT key, UINT repeat, UINT flags);
    void OnDestroy();
    void OnClose();
    LRESULT OnUserMessage(WPARAM code, LPARAM value);
    // Whether the view still takes messages (its shutdown clears that).
    bool ViewRegistered() const;

    CCommandBar commandBar_;
    CMainView view_;
    DWORD spare_ = 0;
    WCHAR* toolTips_[kToolTipCount] = {};
    // Closes asked for while a modal screen ran, each answered by closing the screen
    // in front first.
    int closesDeferred_ = 0;

    DECLARE_MESSAGE_MAP()
};

// A heap copy of string `id`, at most 255 characters.
WCHAR* LoadToolTipString(UINT id);
