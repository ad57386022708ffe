// What the menu-like destination screens share (Set Destination, the input method):
// a button from 500 to 999 ends the screen with its id; Escape cancels, Home sets
// g_homeKeyPressed and cancels, and every other key goes on to the window behind.
#pragma once

#include "pathlume/search/search_screen.h"

class CMenuScreenDlg : public CDialog {
  public:
    CMenuScreenDlg(UINT templateId, CWnd* parent);

    // Every key: the image buttons would otherwise take those the screen passes on.
    BOOL PreTranslateMessage(MSG* msg) override;

  protected:
    void OnKeyDown(UINT key, UINT repeat, UINT flags);
    void OnButton(UINT id);

    DECLARE_MESSAGE_MAP()
};
