#include "pathlume/mapdb/map_errors.h"

#include <atomic>
#include <mutex>
#include <string>

#include "pathlume/foundation/app_services.h"
#include "platform/afx/afx_wnd.h"
#include "platform/kernel/msgbox.h"

namespace {
std::atomic<int> g_readErrors{0};
std::mutex g_lastLock;
std::string g_last;
}  // namespace

int MapReadErrorCount() {
    return g_readErrors.load();
}

std::string LastMapReadError() {
    std::lock_guard<std::mutex> guard(g_lastLock);
    return g_last;
}

void ReportMapReadError(const char* text) {
    {
        std::lock_guard<std::mutex> guard(g_lastLock);
        g_last = text;
        while (!g_last.empty() && (g_last.back() == '\n' || g_last.back() == '\r'))
            g_last.pop_back();
    }
    ++g_readErrors;
    std::u16string wide;
    for (const char* c = text; *c; ++c)
        wide.push_back(static_cast<unsigned char>(*c));
    MessageBoxW(nullptr, wide.c_str(), u"ERROR", MB_OK | MB_ICONSTOP);
    // The frame's ordinary close path ends the program.
    if (CWnd* main = GetAppMainWindow())
        main->PostMessage(WM_CLOSE, 0, 0);
}
