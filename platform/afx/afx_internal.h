// Shared inside the class library: the per-thread temporary wrapper maps.
#pragma once

#include <map>
#include <memory>

#include "platform/afx/afx.h"

namespace platform::afx {

// Wrappers made by FromHandle for handles no wrapper owns; they never own their
// handle and are dropped by AfxDeleteTempObjects.
struct TempMaps {
    std::map<HGDIOBJ, std::unique_ptr<CGdiObject>> gdi;
    std::map<HDC, std::unique_ptr<CDC>> dc;
    std::map<HWND, std::unique_ptr<CWnd>> wnd;
    ~TempMaps();
    void Clear();
};

TempMaps& ThreadTempMaps();

}  // namespace platform::afx
