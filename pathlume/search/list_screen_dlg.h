// What the list screens share (the favourite and recent destinations, the address
// list, the contact's addresses): the destination list under the title with the
// focus, the screen's brush behind every control but the list, and the keys taken
// before the dialog manager: Up and Down move the list, Enter is OK (Nav), Escape
// cancels, and Home, where the screen takes it, sets g_homeKeyPressed and cancels.
#pragma once

#include "pathlume/search/dest_list_ctrl.h"
#include "pathlume/search/search_screen.h"

inline constexpr UINT kDestinationListId = 597;

class CListScreenDlg : public CDialog {
  public:
    // homeCloses: the screen takes Home.
    CListScreenDlg(UINT templateId, CWnd* parent, bool homeCloses);
    ~CListScreenDlg() override;

    BOOL PreTranslateMessage(MSG* msg) override;
    virtual void SelectNext() { m_list->SelectNext(); }
    virtual void SelectPrev() { m_list->SelectPrev(); }

    CDestListCtrl& List() { return *m_list; }

  protected:
    // Makes the list under the title, down to the buttons, with the focus (a focused
    // image button would take Enter).
    void CreateList();

    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT kind);
    void OnKeyDown(UINT key, UINT repeat, UINT flags);

    ScreenBrush m_brush;
    CFont m_buttonFont;
    CDestListCtrl* m_list = nullptr;

    DECLARE_MESSAGE_MAP()

  private:
    bool homeCloses_;
};
