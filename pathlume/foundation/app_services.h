// What the foundation and the layers above it use of the application shell: the
// settings the start-up loader sets, the out-of-memory state, the main window
// and the main view. The shell sets the globals and implements IMainView; the
// lower layers reach it only through this header.
#pragma once

#include <atomic>

#include "platform/kernel/wintypes.h"

class CWnd;
struct AddressHit;

// Set by the settings loader before any other thread starts, read-only afterwards.
extern WCHAR g_installFolder[MAX_PATH];
extern WCHAR g_dataFolder[MAX_PATH];  // ends in a backslash; every map file open uses it
extern WCHAR g_userDataFolder[MAX_PATH];

// Every pixel size is multiplied by one of these (LOGPIXELSX or LOGPIXELSY / 96,
// or the registry's "XScale" and "YScale").
extern std::atomic<float> g_screenScaleX;
extern std::atomic<float> g_screenScaleY;

// Bits of g_options (registry "Options").
inline constexpr DWORD kOptionHeadingArrow = 0x1;  // the heading as an arrow, not a box
inline constexpr DWORD kOptionMetric = 0x2;
inline constexpr DWORD kOptionAutoGuidance =
    0x4;  // and the guidance view widens towards a maneuver
inline constexpr DWORD kOptionNorthUp = 0x8;
inline constexpr DWORD kOptionMatchedCircles =
    0x10;  // rings round the raw fix and the matched position
inline constexpr DWORD kOptionOwnKeyboardOff = 0x80;
inline constexpr DWORD kOptionVoiceMuted = 0x200;
inline constexpr DWORD kOptionYards = 0x400;  // yards instead of feet for short imperial distances
inline constexpr DWORD kOptionTwelveHourClock = 0x1000;
inline constexpr DWORD kOptionCyclingStatusBox = 0x2000;
extern std::atomic<DWORD> g_options;

extern std::atomic<DWORD> g_map3DMode;  // registry "3DMode"

// Map display state. g_mapsLoading is 1 while the map-loading thread runs, then the
// map database's open result (0 success); g_mapRendering is 1 while a frame is
// drawn (the matcher reads it); g_viewHeight is the map area's height in pixels.
extern std::atomic<LONG> g_mapsLoading;
extern std::atomic<DWORD> g_mapRendering;
extern std::atomic<int> g_viewHeight;

// Bits of g_options2 (registry "Options2").
inline constexpr DWORD kOptions2NoPoi = 0x1000000;
inline constexpr DWORD kOptions2NoAreas = 0x2000000;
inline constexpr DWORD kOptions2NoStreetLabels = 0x4000000;
inline constexpr DWORD kOptions2NoPoiLabels = 0x8000000;
extern std::atomic<DWORD> g_options2;

inline constexpr DWORD kColorModeNight = 1;
extern std::atomic<DWORD> g_colorMode;  // set by the shell's colour switch

// 1 when the user left a screen with the Home key (or a route search started from a
// screen, or an option dialog's OK asks for the map): whoever runs a chain of screens
// tests it after each screen, clears it and ends the chain back to the map.
extern std::atomic<DWORD> g_homeKeyPressed;

// "RecentLimit": the number of records "recent.dat" is cut to before a new one is added.
extern std::atomic<DWORD> g_recentLimit;
// The current region's name (single-byte); empty when none is chosen.
extern char g_currentRegionText[64];

// Set to 1 by the heap when memory ran out, before it raises the memory exception.
extern std::atomic<DWORD> g_outOfMemory;
// Above zero while a route search runs: the fatal out-of-memory path then only
// sets g_outOfMemory, and the search reports the shortage itself.
extern std::atomic<LONG> g_oomQuietDepth;

// WM_USER wParams to the main view.
inline constexpr WPARAM kNewFixMessage = 0;         // posted: positions are queued
inline constexpr WPARAM kGpsInfoUpdateMessage = 1;  // sent by the position threads
inline constexpr WPARAM kViewSwitchScreen = 2;      // lParam: the screen mode
inline constexpr WPARAM kViewPlaybackEnded = 3;     // posted when log playback ends
inline constexpr WPARAM kViewRefresh = 4;
inline constexpr WPARAM kViewSimulationEnded = 6;  // posted when the simulation feed ends
inline constexpr WPARAM kViewLeavePanMode = 7;     // posted: follow the vehicle again
inline constexpr WPARAM kViewPanQuery = 8;         // sent: answered kViewPanning while panning
inline constexpr WPARAM kViewResumeTrip = 9;       // lParam: OfferResumeTrip's argument
// Posted by the view to itself once the first map frame is drawn: the start's GPS
// open, whose boxes then show over the map.
inline constexpr WPARAM kViewOpenGpsPort = 0x101;
inline constexpr LRESULT kViewPanning = static_cast<LRESULT>(0xBDBDBDBD);
// lParams of kNewFixMessage and kViewRefresh: bit 31 forces the redraw.
inline constexpr LPARAM kSimulatedFix = static_cast<LPARAM>(0x80000000u);
inline constexpr LPARAM kVehicleMovedFix = static_cast<LPARAM>(0x80000003u);
inline constexpr LPARAM kRouteSearchRefresh = static_cast<LPARAM>(0x80000004u);

// WM_USER wParams to the main frame, also from other programs.
inline constexpr WPARAM kFramePublishFix = 1;  // copy the fix into the shared memory
inline constexpr WPARAM kFrameReopenPort = 4;  // re-read "CommPort"/"NMEABaud", reopen
inline constexpr WPARAM kFrameClosePort = 5;   // sent: close the GPS port

// The application's main window object of the calling thread, or null.
CWnd* GetAppMainWindow();
// The shell installs where GetAppMainWindow gets its answer; null clears it.
using AppMainWindowSource = CWnd* (*)();
void SetAppMainWindowSource(AppMainWindowSource source);

// Bit of IMainView::GetScreenMode: the GPS information screen is showing. The view's
// own mode constant is this one, so the position threads and the view agree.
inline constexpr DWORD kScreenModeGpsInfo = 0x2;
// Size of the single-byte description text buffer.
inline constexpr size_t kDescriptionBufferSize = 257;

// The main view as the lower layers see it. Its fields are shared with the GPS
// threads, so the implementation keeps them atomic or under its lock.
class IMainView {
  public:
    // The view's window, target of the WM_USER notifications.
    virtual HWND GetViewWindow() = 0;

    // Non-zero during log playback or the route demonstration.
    virtual BOOL GetReplayFlag() = 0;
    virtual void SetReplayFlag(BOOL flag) = 0;
    virtual DWORD GetScreenMode() = 0;
    // A tick count of the last GPS data; 0xFFFFFFFF disarms the GPS watchdog.
    virtual DWORD GetLastDataTime() = 0;
    virtual void SetLastDataTime(DWORD tick) = 0;
    // Raised when start-up is refused.
    virtual BOOL IsClosing() = 0;
    // Set after a power resume; GPS logging writes nothing meanwhile.
    virtual BOOL IsSuspended() = 0;
    virtual BOOL IsPanMode() = 0;
    virtual void GetPanCentre(FLOAT* latitude, FLOAT* longitude) = 0;
    // Centres the panned map on a point (a place made the current position); the
    // view overrides it, the default does nothing.
    virtual void SetPanCentre(FLOAT latitude, FLOAT longitude) {
        (void)latitude;
        (void)longitude;
    }
    // While set no chunk is reloaded and the vehicle's link is not searched again.
    virtual BOOL IsShuttingDown() = 0;
    // Written when a place becomes the current position.
    virtual void SetLastPosition(FLOAT latitude, FLOAT longitude) = 0;
    // kDescriptionBufferSize bytes.
    virtual char* GetDescriptionBuffer() = 0;
    virtual BOOL IsFullScreen() = 0;

    // 1: stop following the vehicle, pan point on the current position; 0: follow
    // the vehicle again and clear g_positionHold.
    virtual void SetPanMode(BOOL on) = 0;
    // Invalidates and updates the current screen while in the foreground.
    virtual void Refresh() = 0;
    virtual void UpdateMenus() = 0;
    virtual void BringToFront() = 0;
    // Adds a destination built from the hit and texts to list kind 0 (favourites)
    // or 1 (recent); 0 on success. The hit stays the caller's.
    virtual int AddToFavorites(const AddressHit& hit, int listKind, const char* twoLineText,
                               const char* houseNumberText, const char* caption, BOOL flag1,
                               BOOL flag2) = 0;

    // What the route search asks of the view; a view that lacks a step does nothing.
    // Screen modes: 1 map, 2 GPS information, 4 guidance, 8 route list, 16 almanac.
    virtual void SwitchScreen(int mode) { (void)mode; }
    virtual void LayoutWindow(int mode) { (void)mode; }
    // Draws centred progress message `id` (1: recalculating) over the map.
    virtual void DrawCenteredMessage(int id) { (void)id; }
    virtual BOOL IsRouteListActive() { return FALSE; }
    virtual void ResetSpeedFilter() {}
    // Ends a route demonstration or log replay and updates the menus.
    virtual void EndRouteDemo() {}
    // Gives the map view's heap buffer back before a search.
    virtual void ReleaseHeapBuffer() {}
    // Set to 1 by a route reset: the view lays itself out again at its next paint.
    virtual void SetRouteResetFlag(BOOL flag) { (void)flag; }

    // What guidance asks of the view once per update: the averaged-speed factor
    // that scales the time to go (refreshed, then read), the fog-driving switch,
    // and the tick count of the update's start.
    virtual void UpdateAverageSpeedRatio() {}
    virtual FLOAT GetSpeedFactor() { return 1.0f; }
    virtual BOOL IsFogDriving() { return FALSE; }
    virtual void SetGuidanceTick(DWORD tick) { (void)tick; }

  protected:
    ~IMainView() = default;
};

// The one main view: set when it is constructed, null before and after its shutdown.
extern std::atomic<IMainView*> g_mainView;
