#include "pathlume/mapdb/map_errors.h"

#include <string>

#include "pathlume/foundation/app_services.h"
#include "platform/afx/afx_wnd.h"
#include "platform/kernel/msgbox.h"

void ReportMapReadError(const char* text) {
    std::u16string wide;
    for (const char* c = text; *c; ++c)
        wide.push_back(static_cast<unsigned char>(*c));
    MessageBoxW(nullptr, wide.c_str(), u"ERROR", MB_OK | MB_ICONSTOP);
    // The frame's ordinary close path ends the program.
    if (CWnd* main = GetAppMainWindow())
        main->PostMessage(WM_CLOSE, 0, 0);
}
