#include "pathlume/foundation/app_services.h"

WCHAR g_installFolder[MAX_PATH];
WCHAR g_dataFolder[MAX_PATH];
WCHAR g_userDataFolder[MAX_PATH];

// 1.0 until the settings loader runs, so that sizes computed before it are not zero.
std::atomic<float> g_screenScaleX{1.0f};
std::atomic<float> g_screenScaleY{1.0f};

std::atomic<DWORD> g_options{0};
std::atomic<DWORD> g_map3DMode{0};
std::atomic<LONG> g_mapsLoading{0};
std::atomic<DWORD> g_mapRendering{0};
std::atomic<int> g_viewHeight{0};
std::atomic<DWORD> g_options2{0};
std::atomic<DWORD> g_colorMode{0};
std::atomic<DWORD> g_homeKeyPressed{0};
std::atomic<DWORD> g_recentLimit{25};
char g_currentRegionText[64];
std::atomic<DWORD> g_outOfMemory{0};
std::atomic<LONG> g_oomQuietDepth{0};

std::atomic<IMainView*> g_mainView{nullptr};

namespace {
std::atomic<AppMainWindowSource> g_mainWindowSource{nullptr};
}

CWnd* GetAppMainWindow() {
    AppMainWindowSource source = g_mainWindowSource.load();
    return source ? source() : nullptr;
}

void SetAppMainWindowSource(AppMainWindowSource source) {
    g_mainWindowSource.store(source);
}
