#include "pathlume/shell/main_view.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "pathlume/display/receiver_map_vehicle.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/guidance/resume_trip.h"
#include "pathlume/mapdb/timeout_record.h"
#include "pathlume/position/fix_delivery.h"
#include "pathlume/position/gps_ports.h"
#include "pathlume/position/map_matcher.h"
#include "pathlume/position/nmea_receiver.h"
#include "pathlume/position/position_queue.h"
#include "pathlume/route/route_hooks.h"
#include "pathlume/route/router.h"
#include "pathlume/shell/app_settings.h"
#include "pathlume/shell/disclaimer.h"
#include "pathlume/shell/hotkey_table.h"
#include "pathlume/shell/nav_app.h"
#include "pathlume/shell/receiver_control.h"
#include "pathlume/voice/voice_prompt.h"

std::atomic<UINT> g_bannerIconId{63};

namespace {

// A link's attribute bit: no road-class speed alert on it.
constexpr uint32_t kAttrNoClassAlert = 0x100000;
// Mouse and key message ranges a redraw gives way to.
constexpr UINT kFirstKeyMessage = 0x100, kLastKeyMessage = 0x108;
constexpr UINT kFirstMouseMessage = 0x200, kLastMouseMessage = 0x209;
// The value of the view's own repost of the new-fix message.
constexpr LPARAM kSelfRepost = 1;
// The matcher's budget per fix message.
constexpr DWORD kSnapBudgetMs = 300;

// CF-card GPS drivers whose port is chosen again at the next start.
constexpr const WCHAR* kCardGpsDrivers[] = {
    u"PRETEC",     u"Fortuna",         u"MEW_CFGPS",        u"CFGPS",
    u"CF+_Serial", u"CF_CARD-GENERIC", u"TFAC__-CF30___GPS"};

ScreenMaker g_screenMakers[4] = {};

int ScreenSlot(DWORD mode) {
    switch (mode) {
        case kScreenGpsInfo:
            return 0;
        case kScreenGuidance:
            return 1;
        case kScreenRouteList:
            return 2;
        case kScreenAlmanac:
            return 3;
        default:
            return -1;
    }
}

UINT ScreenControlId(DWORD mode) {
    switch (mode) {
        case kScreenGpsInfo:
            return kGpsInfoScreenId;
        case kScreenGuidance:
            return kGuidanceScreenId;
        case kScreenRouteList:
            return kRouteListScreenId;
        default:
            return kAlmanacScreenId;
    }
}

bool RouterBusy() {
    return g_router && g_router->busyCount > 0;
}

}  // namespace

void SetScreenMaker(DWORD mode, ScreenMaker maker) {
    const int slot = ScreenSlot(mode);
    if (slot >= 0)
        g_screenMakers[slot] = maker;
}

ScreenMaker GetScreenMaker(DWORD mode) {
    const int slot = ScreenSlot(mode);
    return slot >= 0 ? g_screenMakers[slot] : nullptr;
}

BEGIN_MESSAGE_MAP(CMainView, CWnd)
ON_WM_CREATE()
ON_WM_DESTROY()
ON_WM_PAINT()
ON_WM_ERASEBKGND()
AFX_WM_ENTRY(WM_TIMER, AfxSig_vt, void (CWnd::*)(UINT_PTR), OnTimerMessage)
ON_MESSAGE(WM_USER, OnUserMessageEntry)
ON_WM_LBUTTONDOWN()
ON_WM_MOUSEMOVE()
ON_WM_LBUTTONUP()
ON_WM_KEYDOWN()
ON_WM_SYSKEYDOWN()
ON_WM_HOTKEY()
ON_COMMAND(3000, OnToggleGpsPort)
ON_COMMAND(3001, OnSaveLocation)
ON_COMMAND_RANGE(3003, 3010, OnMapPopupCommand)
ON_COMMAND(3012, OnRouteList)
ON_COMMAND(3013, OnRecordTrack)
ON_COMMAND(3014, OnGuidanceView)
ON_COMMAND(3015, OnGpsInfo)
ON_COMMAND(3017, OnEnterDestinationCommand)
ON_COMMAND(3018, OnMapView)
ON_COMMAND(3021, OnPlayTrack)
ON_COMMAND(3022, OnZoomIn)
ON_COMMAND(3023, OnZoomOut)
ON_COMMAND(3024, OnNorthUp)
ON_COMMAND(3025, OnSpeedAlert)
ON_COMMAND(3026, CancelRoute)
ON_COMMAND(3030, OnAlmanac)
ON_COMMAND(3031, OnRecordTrack)
ON_COMMAND(3032, OnGuidanceVolume)
ON_COMMAND(3033, OnDisplayOptions)
ON_COMMAND(3034, OnRouteOptions)
ON_COMMAND_RANGE(3036, 3051, OnComPort)
ON_COMMAND_RANGE(3052, 3057, OnBaudRate)
ON_COMMAND(3058, OnFogDriving)
ON_COMMAND(3059, OnSystemKeyboard)
ON_COMMAND(3060, OnOwnKeyboard)
ON_COMMAND(3061, OnNorthUp)
ON_COMMAND(3062, OnAutoDetect)
ON_COMMAND(3063, OnHelp)
ON_COMMAND(3064, OnUnitsKm)
ON_COMMAND(3065, OnUnitsMileFeet)
ON_COMMAND(3066, OnUnitsMileYards)
ON_COMMAND(3067, OnHotkeyOptions)
ON_COMMAND(3068, OnDemoRoute)
END_MESSAGE_MAP()

namespace {

// Commands that open a modal screen (a dialog, a file dialog, a question or a box).
bool CommandOpensModalScreen(UINT id) {
    switch (id) {
        case 3001:
        case 3013:
        case 3017:
        case 3021:
        case 3025:
        case 3031:
        case 3032:
        case 3033:
        case 3034:
        case 3067:
        case ID_APP_ABOUT:
            return true;
        default:
            return id >= 3003 && id <= 3010;
    }
}

}  // namespace

BOOL CMainView::OnCmdMsg(UINT id, int code, void* extra, AFX_CMDHANDLERINFO* handlerInfo) {
    if (!handlerInfo && code == CN_COMMAND && modalCount.load() > 0 && CommandOpensModalScreen(id))
        return TRUE;  // dropped: one modal screen at a time
    const BOOL handled = CWnd::OnCmdMsg(id, code, extra, handlerInfo);
    if (handled && !handlerInfo && code == CN_COMMAND)
        UpdateMenus();
    return handled;
}

void CMainView::OnEnterDestinationCommand() {
    EnterDestination();
}

CMainView::CMainView() {
    const DWORD mode3D = g_map3DMode.load();
    threeDModeMemory = mode3D != 0 ? mode3D : 2;
    poiModeMemory = static_cast<DWORD>(g_poiIconMode);
    screenMode.store(0);
    previousMode = kScreenMap;
    // A new view of a program started again in the same process runs again.
    g_shutDown.store(0);
    g_mainView.store(this);
    statBoxMode = static_cast<int>(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"StatBoxMode", 1));
    savedStatBoxMode = statBoxMode;
    dragStart = {-500, -500};
    ResetSpeedFilter();
    forceRedraw = TRUE;
    firstPaintState = 1;
    const DWORD now = GetTickCount();
    lastGuidanceUpdate = now;
    lastStatBoxDraw = now;
    g_hotkeyTable.Load();
}

CMainView::~CMainView() {
    WCHAR port[32];
    for (const WCHAR* driver : kCardGpsDrivers) {
        if (FindActiveDriverPort(port, sizeof port, driver)) {
            RegSetDword(HKEY_CURRENT_USER, kSettingsKey, kCommPortValue, 0);
            break;
        }
    }
    StopPowerThread(TRUE);
    Shutdown();
    InstallReceiverMapVehicle(nullptr);
    delete g_gpsReceiver.exchange(nullptr);
    if (memDC)
        DeleteDC(memDC);
    if (backBitmap)
        DeleteObject(backBitmap);
    if (heapBuffer)
        ReleaseHeapBuffer();
}

BOOL CMainView::PreCreateWindow(CREATESTRUCT& cs) {
    cs.style &= ~static_cast<LONG>(WS_BORDER);
    cs.lpszClass = AfxRegisterWndClass(CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS, nullptr,
                                       reinterpret_cast<HBRUSH>(static_cast<UINT_PTR>(0x40000006)));
    return TRUE;
}

int CMainView::OnCreate(LPCREATESTRUCT cs) {
    if (CWnd::OnCreate(cs) == -1)
        return -1;
    statBoxWidth = ScaleX(70);
    statBoxHeight = ScaleY(30);
    statBoxBottom = ScaleY(20);
    statBoxSpare = 0;
    auto* receiver = new CNmeaReceiver;
    receiver->SetNotifyWindow(m_hWnd);
    // The map view draws, centres on and matches this receiver's fix from its first load.
    InstallReceiverMapVehicle(receiver);
    delete g_gpsReceiver.exchange(receiver);

    WCHAR linkInfo[MAX_PATH];
    swprintf(linkInfo, MAX_PATH, u"%slinkinfo.bin", g_dataFolder);
    if (g_dataFolder[0] != 0 && FileExists(linkInfo)) {
        mapLoader = mapView.StartMapLoading();
        const int answer = RunSafetyDisclaimer(this, mapLoader, &mapView);
        if (answer != IDOK || g_mapsLoading.load() != 0) {
            CNavApp::NoteRefusedStart(answer == IDOK);
            BeginModalScreen();
            closing.store(TRUE);
            Shutdown();
            if (CWnd* parent = GetParent())
                parent->PostMessage(WM_CLOSE);
            return -1;
        }
        if (mapLoader) {
            CloseHandle(mapLoader);
            mapLoader = nullptr;
        }
        SwitchScreen(kScreenMap);
        if (g_colorModeSetting == 2)
            UpdateDayNightMode();
        else
            SetColorMode(static_cast<int>(g_colorModeSetting));
        // The port opens once the map shows, so that a box it brings (no Bluetooth
        // radio, no receiver) stands over the map, not over an empty window.
        gpsOpenPending = TRUE;
        const DWORD now = GetTickCount();
        lastDataTick.store(now);
        creationTick = now;
        SetTimer(kTimerHousekeeping, 1000, MainViewTimerProc);
    }
    StartPowerThread();
    g_autoPanTimeout.SetTarget(
        RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"AutoPanTimeout", kDefaultAutoPanTimeoutMs),
        m_hWnd);
    return 0;
}

BOOL CMainView::OnEraseBkgnd(CDC*) {
    return TRUE;
}

void CMainView::OnPaint() {
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(m_hWnd, &paint);
    if (RouterBusy() || modalCount.load() > 0) {
        ::EndPaint(m_hWnd, &paint);
        return;
    }
    if (g_windowActive) {
        if (CWnd* frame = GetParent())
            ::SetForegroundWindow(frame->m_hWnd);
        const DWORD mode = screenMode.load();
        if (mode == kScreenGuidance && guidanceScreen)
            guidanceScreen->SetFocus();
        else if (mode == kScreenMap)
            ::SetFocus(m_hWnd);
    }
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    if (!memDC || !EqualRect(&client, &clientRect)) {
        StoreScreenMetrics(m_hWnd);
        SetMap3DMode(g_map3DMode.load());
        clientRect = client;
        HDC newDC = memDC ? memDC : CreateCompatibleDC(dc);
        if (!newDC) {
            ::EndPaint(m_hWnd, &paint);
            FatalErrorExit(2);
            return;
        }
        memDC = newDC;
        HBITMAP bitmap = CreateCompatibleBitmap(dc, std::max<LONG>(client.right, 1),
                                                std::max<LONG>(client.bottom, 1));
        if (!bitmap) {
            ::EndPaint(m_hWnd, &paint);
            FatalErrorExit(1);
            return;
        }
        SelectObject(memDC, bitmap);
        if (backBitmap)
            DeleteObject(backBitmap);
        backBitmap = bitmap;
        mapView.CreateBackBuffer(dc, client.right, client.bottom);
        // The loader laid the view out before the window had a size.
        g_viewHeight.store(RoundHalfAway(268.0f * g_screenScaleY.load()));
        mapView.ResetViewSpan();
        mapView.Force();
    }
    const DWORD mode = screenMode.load();
    if (mode == kScreenMap) {
        if (firstPaintState < 1) {
            DrawOverlays(dc);
            if (firstPaintState == 0) {
                EndWaitCursor();
                firstPaintState = -1;
                if (gpsOpenPending) {
                    gpsOpenPending = FALSE;
                    PostMessageW(m_hWnd, WM_USER, kViewOpenGpsPort, 0);
                }
            }
        } else {
            firstPaintState = 0;
            BeginWaitCursor();
            WCHAR itinerary[MAX_PATH];
            DeleteFileW(FormatDataFilePath(kListItinerary, itinerary));
            FillRect(dc, &client, GetBackgroundBrush());
            ::InvalidateRect(m_hWnd, nullptr, FALSE);
        }
    } else if (mode == kScreenGuidance && guidanceScreen) {
        guidanceScreen->DrawPanel();
    }
    ::EndPaint(m_hWnd, &paint);
}

// ---------------------------------------------------------------------------------
// WM_USER.

LRESULT CMainView::OnUserMessageEntry(WPARAM code, LPARAM value) {
    return OnUserMessage(code, value);
}

LRESULT CMainView::OnUserMessage(WPARAM code, LPARAM value) {
    if (code == kViewOpenGpsPort) {
        if (!g_shutDown.load())
            OpenGpsPortAtStart();
        return 0;
    }
    if (g_shutDown.load() || RouterBusy() || resumePending.load()) {
        // A fix message the view cannot take now keeps its post counted, so that a
        // feed waits instead of pushing its fixes out of the five-entry queue; the
        // view posts it again as soon as it can (RepostParkedMessages).
        if (code == kNewFixMessage) {
            if (g_shutDown.load())
                ReleasePendingPost(false);
            else
                parkedFixPost = TRUE;
        }
        // The end of a replay waits too: without it the menu keeps its "Stop" texts
        // and the live port stays closed.
        if (!g_shutDown.load() && code == kViewPlaybackEnded)
            parkedPlaybackEnd = TRUE;
        if (!g_shutDown.load() && code == kViewSimulationEnded)
            parkedSimulationEnd = TRUE;
        return 0;
    }
    switch (code) {
        case kNewFixMessage:
            ProcessFix(value);
            return 0;
        case kGpsInfoUpdateMessage:
            if ((screenMode.load() & kScreenGpsInfo) && gpsInfoScreen)
                gpsInfoScreen->OnGpsUpdate(value);
            return 0;
        case kViewSwitchScreen:
            SwitchScreen(static_cast<int>(value));
            return 0;
        case kViewPlaybackEnded:
            OnPlaybackEnded();
            if (modalCount.load() <= 0)
                Refresh();
            return 0;
        case kViewRefresh:
            if (modalCount.load() > 0)
                return 0;
            if (static_cast<DWORD>(value) & 0x80000000u) {
                forceRedraw = TRUE;
                Refresh();
            } else if (value == 1) {
                const DWORD mode = screenMode.load();
                if ((mode == kScreenMap || mode == kScreenGuidance) &&
                    GetFixColor(FALSE) != storedFixColor)
                    Refresh();
            } else {
                Refresh();
            }
            return 0;
        case kViewSimulationEnded:
            EndRouteDemo();
            if (modalCount.load() <= 0)
                Refresh();
            return 0;
        case kViewLeavePanMode:
            SetPanMode(FALSE);
            return 0;
        case kViewPanQuery:
            return panMode.load() ? kViewPanning : 0;
        case kViewResumeTrip:
            OfferResumeTrip(static_cast<int>(value));
            return 0;
        default:
            return 0;
    }
}

void CMainView::ReleasePendingPost(bool repost) {
    ReleaseNewFixPost(m_hWnd, repost);
}

void CMainView::RepostParkedMessages() {
    if (g_shutDown.load() || RouterBusy() || resumePending.load())
        return;
    if (parkedPlaybackEnd) {
        parkedPlaybackEnd = FALSE;
        PostMessageW(m_hWnd, WM_USER, kViewPlaybackEnded, 0);
    }
    if (parkedSimulationEnd) {
        parkedSimulationEnd = FALSE;
        PostMessageW(m_hWnd, WM_USER, kViewSimulationEnded, 0);
    }
    if (!parkedFixPost)
        return;
    parkedFixPost = FALSE;
    if (!PostMessageW(m_hWnd, WM_USER, kNewFixMessage, 1))
        ReleasePendingPost(false);
}

bool CMainView::InputWaiting() const {
    MSG message;
    return PeekMessageW(&message, nullptr, kFirstKeyMessage, kLastKeyMessage, PM_NOREMOVE) ||
           PeekMessageW(&message, nullptr, kFirstMouseMessage, kLastMouseMessage, PM_NOREMOVE);
}

void CMainView::ProcessFix(LPARAM value) {
    lastDataTick.store(GetTickCount());
    const bool forced = (static_cast<DWORD>(value) & 0x80000000u) != 0;
    bool goOn = true;
    const int queued = g_positionQueue.Count();
    const bool held = g_positionHold.load() != 0;
    if (!held && queued > 0)
        g_mapMatcher.SnapWithTimeout(kSnapBudgetMs);
    else
        // A demonstration moves on only through guidance here, and its feed waits for
        // that step: a message whose positions a map drawing already matched (one
        // posted again after the view was busy, or for positions left over) must
        // still take it, or no fix ever comes again.
        goOn = forced || (!held && demoRunning.load());
    if (goOn) {
        if (forced)
            forceRedraw = TRUE;
        if (g_router) {
            GetRouteGuidance().UpdateGuidance(*g_router, 0);
            RefreshRouteList();
        }
        CheckSpeedAlert();
        if (g_windowActive && modalCount.load() == 0 && (forced || !InputWaiting())) {
            const DWORD mode = screenMode.load();
            if (mode == kScreenGuidance && guidanceScreen) {
                guidanceScreen->DrawPanel();
            } else if (mode == kScreenMap && !panMode.load() && m_hWnd && !g_shutDown.load()) {
                HDC dc = ::GetDC(m_hWnd);
                DrawOverlays(dc);
                ::ReleaseDC(m_hWnd, dc);
            }
        }
    }
    ReleasePendingPost(g_positionQueue.Count() < queued);
}

void CMainView::CheckSpeedAlert() {
    CNmeaReceiver* receiver = g_gpsReceiver.load();
    if (!receiver)
        return;
    SpeedAlertSettings settings;
    settings.limitMi = g_speedLimitMi;
    settings.limitKm = g_speedLimitKm;
    settings.autoLimit = g_autoSpeedLimit;
    settings.metric = (g_options.load() & kOptionMetric) != 0;
    const int speed = RoundHalfAway(receiver->GetSpeed(settings.metric));
    const MapLink* link = g_vehicleLocation.GetLink(false);
    const int classLimit = link ? RoadClassSpeedLimit(link->attributes & 7, settings.metric) : 0;
    const bool allowed = link && !(link->attributes & kAttrNoClassAlert);
    switch (DecideSpeedAlert(settings, speed, classLimit, allowed, speedAlert)) {
        case SpeedAlertChange::Raise:
            savedStatBoxMode = statBoxMode;
            statBoxMode = kStatBoxSpeed;
            speedAlert.active = true;
            if (!(g_options.load() & kOptionVoiceMuted))
                GetRouteGuidance().SpeakWord(kWordAlarm1);
            break;
        case SpeedAlertChange::Clear:
            speedAlert.active = false;
            statBoxMode = savedStatBoxMode;
            break;
        case SpeedAlertChange::None:
            break;
    }
}

COLORREF CMainView::GetFixColor(BOOL stored) {
    if (stored)
        return storedFixColor;
    CNmeaReceiver* receiver = g_gpsReceiver.load();
    if (!receiver)
        return kFixColorSilent;
    const bool replay = (receiver->GetFlags() & kGpsReplayActive) != 0 || demoRunning.load();
    if (!replay && TickDiff(GetTickCount(), receiver->LastSentenceTick()) > 3000)
        return kFixColorSilent;
    if (replay)
        return kFixColorGood;
    switch (receiver->GetFixQuality()) {
        case kFixQualityNone:
            return kFixColorNone;
        case kFixQualityGood:
            return kFixColorGood;
        default:
            return kFixColorPoor;
    }
}

// ---------------------------------------------------------------------------------
// Screens.

CChildScreen* CMainView::ScreenOf(DWORD mode) const {
    switch (mode) {
        case kScreenGpsInfo:
            return gpsInfoScreen;
        case kScreenGuidance:
            return guidanceScreen;
        case kScreenRouteList:
            return routeListScreen;
        case kScreenAlmanac:
            return almanacScreen;
        default:
            return nullptr;
    }
}

void CMainView::SwitchScreen(int request) {
    DWORD keep = static_cast<DWORD>(request) & kScreenKeepPan;
    const DWORD mode = static_cast<DWORD>(request) & 0x3FFFFFFF;
    const DWORD current = screenMode.load();
    if (mode == current)
        return;
    // A screen whose maker is not there yet leaves the screen as it is.
    const int slot = ScreenSlot(mode);
    ScreenMaker maker = slot >= 0 ? g_screenMakers[slot] : nullptr;
    if (slot >= 0 && !maker)
        return;
    if (current == 2 || current == 8 || current == 16 || current == 32 || current == 128)
        keep = kScreenKeepPan;
    if (!keep)
        SetPanMode(FALSE);
    TearDownScreen(current);
    if (maker) {
        CChildScreen* screen = maker(*this, ScreenControlId(mode));
        switch (mode) {
            case kScreenGpsInfo:
                gpsInfoScreen = screen;
                break;
            case kScreenGuidance:
                guidanceScreen = screen;
                break;
            case kScreenRouteList:
                routeListScreen = screen;
                break;
            default:
                almanacScreen = screen;
                break;
        }
    }
    previousMode = current;
    screenMode.store(mode);
}

void CMainView::RefreshRouteList() {
    if ((screenMode.load() & kScreenRouteList) && routeListScreen)
        routeListScreen->RefreshRouteList();
}

BOOL CMainView::IsRouteListActive() {
    return (screenMode.load() & kScreenRouteList) && routeListScreen &&
           routeListScreen->IsRouteListActive();
}

// ---------------------------------------------------------------------------------
// What the lower layers read.

void CMainView::GetPanCentre(FLOAT* latitude, FLOAT* longitude) {
    *latitude = panCentreLat.load();
    *longitude = panCentreLon.load();
}

void CMainView::SetPanCentre(FLOAT latitude, FLOAT longitude) {
    panCentreLat.store(latitude);
    panCentreLon.store(longitude);
}

BOOL CMainView::IsShuttingDown() {
    return g_shutDown.load() != 0;
}

void CMainView::SetLastPosition(FLOAT latitude, FLOAT longitude) {
    lastPositionLat_ = latitude;
    lastPositionLon_ = longitude;
}

int CMainView::GetMapWidth() {
    return g_screenWidth.load();
}

int CMainView::GetMapHeight() {
    // The map area is 268 scaled pixels high; the projection stores it at its first use.
    const int height = g_viewHeight.load();
    return height > 0 ? height : RoundHalfAway(268.0f * g_screenScaleY.load());
}

int CMainView::GetClientHeight() {
    RECT client = {};
    if (m_hWnd)
        ::GetClientRect(m_hWnd, &client);
    return client.bottom > 0 ? client.bottom : g_viewHeight.load();
}

int CMainView::GetFullScreenExtraHeight() {
    // SM_CYCAPTION and SM_CYDLGFRAME (8).
    return fullScreen ? GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(8) : 0;
}

void CMainView::ResetSpeedFilter() {
    speedFilterMin = 0x7FFFFFFF;
    speedFilterStart = GetTickCount();
    speedFilterSum = 0;
    speedFactor = 1.0f;
}
