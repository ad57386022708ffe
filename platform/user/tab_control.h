// The tab control ("SysTabControl32"): a row of tabs, one of them current. A tap on
// another tab sends TCN_SELCHANGING (a nonzero answer keeps the current tab), makes
// it current and sends TCN_SELCHANGE; TCM_SETCURSEL sends nothing. Tabs are as wide
// as their text in the control's font, plus a margin.
#pragma once

#include "platform/user/user.h"

#define WC_TABCONTROL u"SysTabControl32"

#define TCM_FIRST 0x1300
#define TCM_GETITEMCOUNT (TCM_FIRST + 4)
#define TCM_DELETEITEM (TCM_FIRST + 8)
#define TCM_GETITEMRECT (TCM_FIRST + 10)
#define TCM_GETCURSEL (TCM_FIRST + 11)
#define TCM_SETCURSEL (TCM_FIRST + 12)
#define TCM_GETITEMW (TCM_FIRST + 60)
#define TCM_INSERTITEMW (TCM_FIRST + 62)

#define TCIF_TEXT 0x0001
#define TCIF_PARAM 0x0008

struct TCITEMW {
    UINT mask;
    DWORD dwState;
    DWORD dwStateMask;
    LPWSTR pszText;
    int cchTextMax;
    int iImage;
    LPARAM lParam;
};
typedef TCITEMW* LPTCITEMW;

#define TCN_FIRST (0U - 550U)
#define TCN_SELCHANGE (TCN_FIRST - 1)
#define TCN_SELCHANGING (TCN_FIRST - 2)
