// A main view for the tools and the tests, which run without the program's own:
// every call does nothing and answers 0, and the description buffer is its own.
// Users derive from it and override what they serve or watch.
#pragma once

#include "pathlume/foundation/app_services.h"

class QuietMainView : public IMainView {
  public:
    HWND GetViewWindow() override { return nullptr; }
    BOOL GetReplayFlag() override { return FALSE; }
    void SetReplayFlag(BOOL) override {}
    DWORD GetScreenMode() override { return 0; }
    DWORD GetLastDataTime() override { return 0; }
    void SetLastDataTime(DWORD) override {}
    BOOL IsClosing() override { return FALSE; }
    BOOL IsSuspended() override { return FALSE; }
    BOOL IsPanMode() override { return FALSE; }
    void GetPanCentre(FLOAT*, FLOAT*) override {}
    BOOL IsShuttingDown() override { return FALSE; }
    void SetLastPosition(FLOAT, FLOAT) override {}
    char* GetDescriptionBuffer() override { return description; }
    BOOL IsFullScreen() override { return FALSE; }
    void SetPanMode(BOOL) override {}
    void Refresh() override {}
    void UpdateMenus() override {}
    void BringToFront() override {}
    int AddToFavorites(const AddressHit&, int, const char*, const char*, const char*, BOOL,
                       BOOL) override {
        return 0;
    }

    char description[kDescriptionBufferSize] = {};
};
