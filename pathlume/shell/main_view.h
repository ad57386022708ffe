// The main view: the child window that fills the frame and carries the running
// program. It owns the map view and the current screen window, turns every
// position message into matching, guidance, the speed alert and a redraw, runs the
// program's timers, draws the map screen's overlays and status box, and answers the
// WM_USER requests of the rest of the program.
//
// main_view.cpp: creation, the fix messages, the speed alert, screen switching.
// main_view_timers.cpp: the timers. main_view_draw.cpp: the map screen's drawing.
// main_view_commands.cpp: the map-screen commands. power.cpp: the power thread and
// the shutdown.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "pathlume/display/map_interfaces.h"
#include "pathlume/display/map_view.h"
#include "platform/afx/afx.h"

class CMainView;

// Screen modes (CMainView::screenMode).
inline constexpr DWORD kScreenMap = 1;
inline constexpr DWORD kScreenGpsInfo = kScreenModeGpsInfo;
inline constexpr DWORD kScreenGuidance = 4;
inline constexpr DWORD kScreenRouteList = 8;
inline constexpr DWORD kScreenAlmanac = 16;
// Bit of a switch request: stay in pan mode.
inline constexpr DWORD kScreenKeepPan = 0x80000000;

// Control ids of the child screens.
inline constexpr UINT kRouteListScreenId = 7000;
inline constexpr UINT kGpsInfoScreenId = 7002;
inline constexpr UINT kGuidanceScreenId = 7003;
inline constexpr UINT kAlmanacScreenId = 7004;

// The main view's timers.
inline constexpr UINT_PTR kTimerHousekeeping = 1;
inline constexpr UINT_PTR kTimerLongPress = 2;
inline constexpr UINT_PTR kTimerArrival = 3;
inline constexpr UINT_PTR kTimerRecalcMark = 6;
inline constexpr UINT_PTR kTimerOffRoad = 8;
inline constexpr UINT_PTR kTimerRedraw = 10;
inline constexpr UINT_PTR kTimerResume = 100;

// The flags of a press the program makes itself: open the menu, leave pan mode. The
// pointer is neither captured nor released for them.
inline constexpr UINT kInputOpenMenu = 0x40000000;
inline constexpr UINT kInputLeavePan = 0x80000000;

// The tick that keeps the GPS watchdog quiet.
inline constexpr DWORD kNoDataTick = 0xFFFFFFFF;

// Status box modes.
inline constexpr int kStatBoxEta = 0;
inline constexpr int kStatBoxDest = 1;
inline constexpr int kStatBoxSpeed = 2;
inline constexpr int kStatBoxRemaining = 3;

// GPS status colours (0x00BBGGRR).
inline constexpr COLORREF kFixColorSilent = 0x404040;
inline constexpr COLORREF kFixColorGood = 0x00C000;
inline constexpr COLORREF kFixColorNone = 0x0000FF;
inline constexpr COLORREF kFixColorPoor = 0x00FFFF;

// A full-screen child of the main view (GPS information, guidance, route list,
// almanac). The screens override what they answer; the defaults do nothing.
class CChildScreen : public CWnd {
  public:
    // The guidance screen's panel after a fix.
    virtual void DrawPanel() {}
    // WM_USER 1 from the position threads, while the GPS information screen shows.
    virtual void OnGpsUpdate(LPARAM value) { (void)value; }
    // The route list after a fix.
    virtual void RefreshRouteList() {}
    virtual BOOL IsRouteListActive() { return FALSE; }
    // The guidance screen's zoom step, stored at shutdown.
    virtual int GetZoomIndex() { return -1; }
    // Lays the screen out again after the view's mode changed (2D or 3D, the screen
    // metrics).
    virtual void Relayout() {}
    // The boxes the screen draws over the map it shows, in map pixels: labels keep
    // clear of them.
    virtual void GetMapCovers(std::vector<RECT>* covers) { (void)covers; }
};

// Makes the screen of one mode as a child of the view with the given control id:
// the screen, or null when it could not be made. Modes whose maker is not set
// leave the screen as it is.
using ScreenMaker = CChildScreen* (*)(CMainView& view, UINT controlId);
void SetScreenMaker(DWORD mode, ScreenMaker maker);
ScreenMaker GetScreenMaker(DWORD mode);

// The maneuver icon the banner chose last (63: none); the guidance screen reads it.
extern std::atomic<UINT> g_bannerIconId;

// The speed alert's decision, apart from the window: the speed (rounded) and the
// road-class limit in the chosen unit, the settings, and the state it keeps.
struct SpeedAlertSettings {
    LONG limitMi = -55;
    LONG limitKm = -90;
    DWORD autoLimit = 0;
    bool metric = false;
};
struct SpeedAlertState {
    bool active = false;
    int lastLimit = 0;
};
enum class SpeedAlertChange { None, Raise, Clear };
// The class limit of a road (the low three bits of its attribute word) in mph or km/h.
int RoadClassSpeedLimit(uint32_t roadClass, bool metric);
// The speed alert's step for one fix: what to do and the limit recorded.
SpeedAlertChange DecideSpeedAlert(const SpeedAlertSettings& settings, int speed, int classLimit,
                                  bool classAlertsAllowed, SpeedAlertState& state);
// Whether an alert can be active at all with these settings (the status box keeps
// SPEED while one is).
bool SpeedAlertPossible(const SpeedAlertSettings& settings);

// The status box's value texts, apart from the drawing. Each writes at most size
// bytes (terminator included) and returns false when the value is "N/A".
bool FormatEtaValue(float hoursLeft, int localHour, int localMinute, char* buffer, size_t size);
bool FormatRemainingValue(float hoursLeft, char* buffer, size_t size);
// The SPEED value: the rounded speed (1 shows 0) and the unit, or the bare number.
void FormatSpeedValue(float speed, bool metric, bool bareNumber, char* buffer, size_t size);
// Cuts a road name at its last '/' while it is longer than maxChars.
void ShortenRoadName(char* text, size_t maxChars);
// Whether a remaining time (hours) can be shown: finite, above 0 and at most 9999 h.
bool IsShowableHours(float hours);
// The string of the compass point of a heading (degrees): 6031 "NE" above 22.5 up
// to 67.5, then E, SE, S, SW, W, NW by 45 degrees, else 6038 "N".
UINT CompassStringId(float degrees);

class CMainView : public CWnd, public IMapViewHost {
  public:
    CMainView();
    ~CMainView() override;

    // IMainView.
    HWND GetViewWindow() override { return m_hWnd; }
    BOOL GetReplayFlag() override { return demoRunning.load(); }
    void SetReplayFlag(BOOL flag) override;
    DWORD GetScreenMode() override { return screenMode.load(); }
    DWORD GetLastDataTime() override { return lastDataTick.load(); }
    void SetLastDataTime(DWORD tick) override { lastDataTick.store(tick); }
    BOOL IsClosing() override { return closing.load(); }
    BOOL IsSuspended() override { return resumePending.load(); }
    BOOL IsPanMode() override { return panMode.load(); }
    void GetPanCentre(FLOAT* latitude, FLOAT* longitude) override;
    void SetPanCentre(FLOAT latitude, FLOAT longitude) override;
    BOOL IsShuttingDown() override;
    void SetLastPosition(FLOAT latitude, FLOAT longitude) override;
    char* GetDescriptionBuffer() override { return description_; }
    BOOL IsFullScreen() override { return fullScreen; }
    void SetPanMode(BOOL on) override;
    void Refresh() override;
    void UpdateMenus() override;
    void BringToFront() override;
    int AddToFavorites(const AddressHit& hit, int listKind, const char* twoLineText,
                       const char* houseNumberText, const char* caption, BOOL ask,
                       BOOL silent) override;
    void SwitchScreen(int request) override;
    void LayoutWindow(int full) override;
    void DrawCenteredMessage(int kind) override { DrawCenteredMessage(kind, nullptr); }
    BOOL IsRouteListActive() override;
    void ResetSpeedFilter() override;
    void EndRouteDemo() override;
    void ReleaseHeapBuffer() override;
    void SetRouteResetFlag(BOOL flag) override { routeResetFlag = flag; }
    void UpdateAverageSpeedRatio() override;
    FLOAT GetSpeedFactor() override { return speedFactor; }
    BOOL IsFogDriving() override { return fogDriving; }
    void SetGuidanceTick(DWORD tick) override { lastGuidanceUpdate = tick; }

    // IMapViewHost.
    BOOL ScheduleRedraw() override;
    COLORREF GetFixColor() override { return GetFixColor(FALSE); }
    int GetMapWidth() override;
    int GetMapHeight() override;
    int GetClientHeight() override;
    int GetFullScreenExtraHeight() override;
    BOOL IsWindowVisible() override { return CWnd::IsWindowVisible(); }
    void GetMapCovers(std::vector<RECT>* covers) override;

    // The fix messages, the speed alert, the GPS status colour.
    LRESULT OnUserMessage(WPARAM code, LPARAM value);
    COLORREF GetFixColor(BOOL stored);
    void CheckSpeedAlert();
    // Raises the modal-screen count before a modal screen; EndModalScreen lowers it.
    void BeginModalScreen() { modalCount.fetch_add(1); }

    // The timers.
    void OnTimer(UINT_PTR id);

    // The map screen's drawing.
    void DrawOverlays(HDC dc);
    void DrawSpeedEta(HDC dc, const RECT& rect);
    void DrawGpsStatusText(HDC dc, const RECT& rect);
    void DrawTurnDistance(HDC dc, const RECT& rect, bool guidanceScreen);
    void DrawStreetName(HDC dc, const RECT& rect);
    // The rectangle the scale bar stands on: above the current street's name line.
    RECT ScaleBarRect(const RECT& client) const;
    void DrawHeadingIndicator(const RECT& rect, HDC dc);
    void LayoutMapButtons(const RECT& rect, HDC dc);
    void DrawSpeakerIcon(const RECT& rect, HDC dc, BOOL faded);
    void DrawPoiButton(const RECT& rect, HDC dc);
    void DrawFrameBitmaps(const RECT& rect, BOOL withBanner, HDC dc);
    void DrawCenteredMessage(int kind, HDC dc);
    static void DrawHeadingArrow(HDC dc, int x, int y, float headingRadians);
    static void DrawHeadingBox(HDC dc, const RECT& rect, float headingDegrees);
    int CycleStatBoxMode(HWND window, int x, int y, int cycle);
    void EndModalScreen(BOOL refresh);
    // The status-box text lines for the current mode (label, value), for the
    // drawing and the tests.
    void GetStatusTexts(WCHAR* label, size_t labelChars, WCHAR* value, size_t valueChars);
    // The banner's text and icon as DrawGpsStatusText would draw them; false when
    // no banner is drawn.
    bool GetBannerText(WCHAR* text, size_t chars, UINT* iconId, bool* placed);

    // Power, resume and shutdown (power.cpp).
    void StartPowerThread();
    static UINT PowerThreadProc(LPVOID view);
    void StopPowerThread(BOOL wait);
    void Shutdown();
    void TearDownScreen(DWORD mode);

    // The stylus and the keys (main_view_input.cpp).
    void OnLButtonDown(UINT flags, CPoint point);
    void OnMouseMove(UINT flags, CPoint point);
    void OnLButtonUp(UINT flags, CPoint point);
    void OnKeyDown(UINT key, UINT repeat, UINT flags);
    // Alt opens the menu screen.
    void OnSysKeyDown(UINT key, UINT repeat, UINT flags);
    // Escape: back to the map screen, or out of pan mode on it.
    void OnEscape();
    // The next (forward) or previous screen: map, guidance, route list (with a route).
    void StepScreen(BOOL forward);
    // Runs a hotkey command code (HotkeyCommand); a code that comes while another
    // runs is dropped.
    void ExecuteCommand(int code);

    // The map-screen commands.
    void CancelRoute();
    void OnPlaybackEnded();
    void OnPlayTrack();
    void OnDemoRoute();
    void ReopenGpsPort();
    // The start's open of the GPS port, once the map shows.
    void OpenGpsPortAtStart();
    void RefreshRouteList();
    // After a 2D/3D change: the screen metrics, the 3D mode, and (once the map has a
    // zoom step) the view's layout, its span when resetSpan, the guidance screen's
    // layout and, with redraw, a refresh.
    void ApplyViewMode(BOOL redraw, BOOL resetSpan);
    // The 3D mode '3' and the 3D hotkey switch back to, and the point-of-interest
    // icon mode the POI button returns to; set by the display options.
    void Set3DModeMemory(DWORD mode) { threeDModeMemory = mode; }
    void SetPoiModeMemory(DWORD mode) { poiModeMemory = mode; }
    // The menu commands (menu_commands.cpp). Each dialog command leaves full screen
    // and runs its dialog with the modal-screen count raised.
    void OnRouteOptions();
    void OnDisplayOptions();
    void OnGuidanceVolume();
    void OnSpeedAlert();
    void OnPoiFilter();
    void OnAvoidRoads();
    void OnFogDriving();
    void OnUnitsKm();
    void OnUnitsMileFeet();
    void OnUnitsMileYards();
    void OnSystemKeyboard();
    void OnOwnKeyboard();
    void OnComPort(UINT id);
    void OnBaudRate(UINT id);
    void OnZoomIn();
    void OnZoomOut();
    void OnToggleGpsPort();
    // The hold menu's commands (3003 to 3010).
    void OnMapPopupCommand(UINT id);
    // The ring menu and what its buttons start.
    void OnMenuScreen();
    // Kinds 0 (recent) and 1 (favourites): the list's result; 4 route options, 5
    // display options, 6 GPS information, 7 speed alert, 9 guidance volume, 10 route
    // list: 0.
    int OpenDestinationList(int kind);
    // Says the next maneuver again.
    void RepeatGuidance();
    // Records the matched position and its street as the view's location.
    void ShowLocationInfo();
    void ToggleMute(BOOL redraw);
    void TogglePoiIcons(BOOL redraw);
    // The view and file commands (view_commands.cpp).
    void OnMapView();
    void OnGuidanceView();
    void OnRouteList();
    void ToggleRouteList();
    void OnGpsInfo();
    void ToggleGpsInfo();
    void OnAlmanac();
    void OnNorthUp();
    void OnAutoDetect();
    void OnHelp();
    void OnRecordTrack();
    // The destination flow and saving places (destination_flow.cpp): the flow's
    // last result (kSearchClosed when it was closed).
    int EnterDestination();
    void OnSaveLocation();
    // Hotkeys (hotkey_dialog.cpp).
    void OnHotKey(UINT id, UINT modifiers, UINT key);
    void OnHotkeyOptions();
    // Commands that open a modal screen are dropped while one is open.
    BOOL OnCmdMsg(UINT id, int code, void* extra, AFX_CMDHANDLERINFO* handlerInfo) override;

    // The command bar's menu (null without one) and the text of one of its items.
    HMENU CommandMenu() const;
    void SetMenuText(UINT commandId, UINT stringId);

    // The child screen shown for a mode (GPS information, guidance, route list,
    // almanac), or null.
    CChildScreen* ScreenOf(DWORD mode) const;
    CMapView& MapView() { return mapView; }

    // Fields, in the order of the view's state. The GPS threads read the atomics.
    UINT timerBusy = 0;
    int statBoxWidth = 0;
    int statBoxHeight = 0;
    int statBoxBottom = 0;
    int statBoxSpare = 0;
    std::atomic<BOOL> demoRunning{FALSE};
    BOOL fullScreen = FALSE;
    BOOL fullScreenByUser = FALSE;
    int fastTickCount = 0;
    DWORD lastStatBoxCycle = 0;
    DWORD lastFixColorCheck = 0;
    // The ETA speed filter.
    int speedFilterMin = 0x7FFFFFFF;
    DWORD speedFilterStart = 0;
    int speedFilterSum = 0;
    FLOAT speedFactor = 1.0f;
    int firstPaintState = 1;
    // The start's GPS open waits for the first map frame.
    BOOL gpsOpenPending = FALSE;
    HDC memDC = nullptr;
    HBITMAP backBitmap = nullptr;
    CMapView mapView{this};
    COLORREF storedFixColor = kFixColorSilent;
    std::atomic<DWORD> screenMode{0};
    DWORD previousMode = 1;
    int statBoxMode = kStatBoxDest;
    int savedStatBoxMode = kStatBoxDest;
    CChildScreen* gpsInfoScreen = nullptr;
    CChildScreen* guidanceScreen = nullptr;
    CChildScreen* routeListScreen = nullptr;
    CChildScreen* almanacScreen = nullptr;
    BOOL forceRedraw = FALSE;
    DWORD creationTick = 0;
    BOOL longPressHandled = FALSE;
    DWORD lastDayNightCheck = 0;
    std::atomic<DWORD> lastDataTick{kNoDataTick};
    DWORD lastGuidanceUpdate = 0;
    DWORD lastStatBoxDraw = 0;
    SpeedAlertState speedAlert;
    std::atomic<int> modalCount{0};
    POINT dragStart = {-500, -500};
    POINT dragLast = {-500, -500};
    int dragState = 0;
    BOOL tapHandled = FALSE;
    RECT clientRect = {};
    std::atomic<BOOL> resumePending{FALSE};
    std::atomic<BOOL> recheckStorage{FALSE};
    std::atomic<BOOL> panMode{FALSE};
    std::atomic<FLOAT> panCentreLat{0};
    std::atomic<FLOAT> panCentreLon{0};
    BOOL redrawPending = FALSE;
    // A new-fix message was taken while the view could not handle it; its post is
    // still counted.
    BOOL parkedFixPost = FALSE;
    // The end of a log playback (WM_USER 3) or of a demonstration (6) came meanwhile.
    BOOL parkedPlaybackEnd = FALSE;
    BOOL parkedSimulationEnd = FALSE;
    // The power thread.
    std::atomic<HANDLE> powerQueue{nullptr};
    std::atomic<HANDLE> powerNotifications{nullptr};
    CWinThread* powerThread = nullptr;
    // The map-loading thread while start-up waits for it; shutdown waits for it too.
    HANDLE mapLoader = nullptr;
    std::atomic<BOOL> closing{FALSE};
    // The drawn buttons' hit rectangles and the window rectangle before full screen.
    RECT menuButtonRect = {};
    RECT panExitRect = {};
    RECT speakerRect = {};
    RECT poiButtonRect = {};
    RECT savedWindowRect = {};
    // Input and command state.
    BOOL commandBusy = FALSE;
    BOOL menuFromTap = FALSE;
    BOOL locationFromTap = FALSE;
    BOOL fogDriving = FALSE;
    BOOL routeResetFlag = FALSE;
    DWORD threeDModeMemory = 2;
    DWORD poiModeMemory = 0;
    // UpdateAverageSpeedRatio's state: the class speed (chosen unit) and the road
    // class of the previous call.
    int classSpeedValue = 0;
    int previousRoadClass = -1;
    DWORD lastRatioTick = 0;
    bool ratioTicked = false;
    // The location ShowLocationInfo recorded last.
    struct ViewLocation {
        bool valid = false;
        MapLink* link = nullptr;
        int32_t linkId = 0;
        char street[80] = {};
        FLOAT cosLat = 0;
        MapPoint position{};
        uint32_t segment = 0;
        uint32_t linkAttributes = 0;
    };
    ViewLocation location;
    // A heap buffer the view keeps (the location record), given back before a search.
    void* heapBuffer = nullptr;
    DWORD heapBufferCount = 0;

  protected:
    BOOL PreCreateWindow(CREATESTRUCT& cs) override;

    int OnCreate(LPCREATESTRUCT cs);
    void OnDestroy();
    void OnPaint();
    BOOL OnEraseBkgnd(CDC* dc);
    LRESULT OnUserMessageEntry(WPARAM code, LPARAM value);
    void OnTimerMessage(UINT_PTR id) { OnTimer(id); }
    void OnEnterDestinationCommand();

    DECLARE_MESSAGE_MAP()

  private:
    // Leaves full screen, raises the modal-screen count, runs the dialog and lowers
    // the count again without a redraw: the dialog's result.
    int RunModalDialog(const std::function<int()>& dialog);
    // The fix message's steps.
    void ProcessFix(LPARAM value);
    void ReleasePendingPost(bool repost);
    // A fix message, or the end of a playback or demonstration, parked while the
    // router was busy or a resume pending is posted again once the view can take it.
    void RepostParkedMessages();
    // Positions left queued with no post pending: the housekeeping tick posts for
    // them.
    void PostForLeftPositions();
    bool InputWaiting() const;
    // The timers' steps.
    void OnLongPress();
    void OnResumeRestart(DWORD now);
    bool Housekeeping(DWORD now);
    void AutomaticLayout();
    bool InTapZone(POINT point);
    // The view's tap zones for its client rectangle: the heading indicator (top
    // right), the top-left button, the banner strip and the route-list strip.
    struct TapZones {
        RECT heading, topLeft, banner, bottomStrip;
    };
    TapZones GetTapZones() const;
    // A short tap on the map screen: true when a button or area took it.
    bool TapOnMapScreen(POINT point);
    // The last frame shown moved by a drag, the uncovered strips in the background colour.
    void ShowShiftedMap(int dx, int dy);
    // Ends a press taken as a long press: releases the pointer, forgets the press.
    void FinishStylusAction();
    // The status box drawn again at once, on the map or the guidance screen.
    void RedrawStatusBox();
    // The status box and text box rectangles for a client rectangle.
    RECT StatusTextRect(const RECT& client) const;

    char description_[kDescriptionBufferSize] = {};
    FLOAT lastPositionLat_ = 0;
    FLOAT lastPositionLon_ = 0;
};

// Whether a hotkey command code opens a modal screen (a dialog or the menu screen).
bool OpensModalScreen(int code);

// The one main view's timer callback: forwards to the current view's OnTimer.
void CALLBACK MainViewTimerProc(HWND window, UINT message, UINT_PTR id, DWORD time);

// Tick arithmetic that survives the wrap of GetTickCount: the milliseconds from
// `since` to `now` as a signed difference.
inline int32_t TickDiff(DWORD now, DWORD since) {
    return static_cast<int32_t>(now - since);
}
