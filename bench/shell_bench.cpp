// The main view's hot paths in the running program, on the built-in town of seed 5
// with about 1,500 links (the view tests' town): the map screen's whole drawing
// pass (DrawOverlays, the map rendered afresh each time) with a route, at QVGA and
// VGA, and the fix handler (one WM_USER 0 message: matching, guidance, the speed
// alert and the redraw) per fix during a route demonstration, on the town and on
// Andorra (the shared OpenStreetMap extract, skipped when it is absent); on Andorra
// the map screen's commands: the ring menu's and the hotkey dialog's first frames, a
// hotkey to its command, the '3' key to the next frame, and Enter Destination's own
// work before its first screen; and the option dialogs: a command to its dialog's
// first complete frame, the roads to avoid and the detour's marking with the
// recalculations after them; and the full-screen child screens: the guidance
// screen's panel per fix in a demonstration, the route list's rows of Andorra's
// longest route, the GPS information screen's update per WM_USER 1 and the almanac's
// compute and paint.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_main.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/geocoder.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/snap.h"
#include "pathlume/position/gps_device.h"
#include "pathlume/position/nmea_receiver.h"
#include "pathlume/route/router.h"
#include "pathlume/shell/almanac.h"
#include "pathlume/shell/gps_info_view.h"
#include "pathlume/shell/hotkey_table.h"
#include "pathlume/shell/main_frame.h"
#include "pathlume/shell/nav_app.h"
#include "pathlume/shell/option_dialogs.h"
#include "pathlume/shell/route_list_view.h"
#include "pathlume/shell/route_marking.h"
#include "platform/gdi/gdi.h"
#include "platform/kernel/roots.h"
#include "platform/user/user.h"
#include "tools/discmaker/disc_builder.h"
#include "tools/discmaker/osm.h"
#include "tools/discmaker/town.h"
#include "tools/mkmaps/mkmaps.h"

namespace {

namespace fs = std::filesystem;

const discmaker::Network& Town() {
    static const discmaker::Network town = discmaker::BuildTown(5, 1500);
    return town;
}

MapPoint TownPoint(double east, double north) {
    const discmaker::LatLon point = Town().ExtentPoint(east, north);
    return {static_cast<FLOAT>(point.lat), static_cast<FLOAT>(point.lon)};
}

fs::path AndorraExtract() {
    return SharedOsmExtract("andorra.osm.pbf");
}

// A device root with the maps of the town (no extract) or of an OpenStreetMap extract,
// and stand-in voice files in the install folder.
class BenchRoot {
  public:
    explicit BenchRoot(const fs::path& extract = {}) {
        if (!extract.empty() && !fs::exists(extract)) {
            missing_ = true;
            return;
        }
        std::string pattern = (fs::temp_directory_path() / "shell_bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            return;
        base_ = pattern;
        platform::SetDeviceRoot(base_ / "device");
        {
            mkmaps::PrivateDesktop desktop;
            discmaker::Network network =
                extract.empty() ? Town() : discmaker::ReadOsm(extract, discmaker::kDefaultOsmState);
            discmaker::BuildDiscs(network, base_ / "disc", {});
            std::ostringstream out, err;
            ok_ = mkmaps::Generate({base_ / "disc", InstallFolder() / "Maps", {}}, out, err)
                      .completed;
            platform::SetCurrentSide(platform::Side::Device);
        }
        fs::create_directories(InstallFolder() / "Snd");
        for (const char* name : {"0.spx", "wait4gps.spx"})
            std::ofstream(InstallFolder() / "Snd" / name) << "stand-in";
        RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"CommPort", 1);
        RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"PlaybackDelay", 0);
    }
    ~BenchRoot() {
        if (base_.empty())
            return;
        platform::SetDeviceRoot({});
        std::error_code ignored;
        fs::remove_all(base_, ignored);
    }
    bool ok() const { return ok_; }
    bool missing() const { return missing_; }
    fs::path InstallFolder() const {
        return base_ / "device" / "Program Files" / "Zanter" / "Wayscribe";
    }

  private:
    fs::path base_;
    bool ok_ = false;
    bool missing_ = false;
};

// The program started on the root, its view routed across the town.
class RunningProgram {
  public:
    RunningProgram() {
        commandLine_ = u"nowarning";
        app_.m_lpCmdLine = commandLine_.data();
        started_ = app_.InitInstance() != FALSE;
        platform::PumpUntilIdle();
    }
    ~RunningProgram() {
        if (started_ && app_.m_pMainWnd && app_.m_pMainWnd->GetSafeHwnd()) {
            ::PostMessageW(app_.m_pMainWnd->GetSafeHwnd(), WM_CLOSE, 0, 0);
            platform::PumpUntilIdle();
        }
        app_.ExitInstance();
        MSG quit;
        while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }
    CMainView* View() {
        auto* frame = started_ ? dynamic_cast<CMainFrame*>(app_.m_pMainWnd) : nullptr;
        return frame ? &frame->View() : nullptr;
    }
    // The vehicle put on the road nearest `fromPoint`, then routed from its matched
    // link to the road nearest `toPoint`. The router gets the map's own links: the
    // search walks from them to their neighbours, which a copy would not lead to once
    // the map spans several chunks.
    bool Route(int noGuidance, const MapPoint& fromPoint, const MapPoint& toPoint) {
        CMainView* view = View();
        if (!view || !g_router)
            return false;
        const LinkSnap from = SnapToNearestLink(g_mapDatabase, fromPoint, 2000);
        if (!from.Found())
            return false;
        PlaceVehicleAt(g_mapDatabase, from.link, static_cast<int32_t>(from.segment), from.point);
        view->SetPanMode(FALSE);
        // Placing the vehicle loads its area afresh: snap the destination after it.
        const LinkSnap to = SnapToNearestLink(g_mapDatabase, toPoint, 2000);
        MapLink* start = g_vehicleLocation.GetLink(true);
        if (!to.Found() || !start)
            return false;
        g_router->CalculateRoute(start, g_vehicleLocation.segment, from.point,
                                 SnappedTarget(to, to.link), 0, noGuidance);
        return (g_router->state & kRouterRouteState) != 0;
    }

  private:
    CNavApp app_;
    std::u16string commandLine_;
    bool started_ = false;
};

// The screen set, the root and the running program with its route, in that order;
// null with the run skipped when any of them fails.
struct RoutedRun {
    RoutedRun(int width, int height, int dpi, const fs::path& extract = {}) : root(extract) {
        platform::SetScreenMode(width, height, dpi);
    }
    CMainView* Start(benchmark::State& state, int noGuidance, const MapPoint& from,
                     const MapPoint& to) {
        if (root.missing()) {
            state.SkipWithError("no shared Andorra extract beside the repository");
            return nullptr;
        }
        if (!root.ok()) {
            state.SkipWithError("the maps could not be made");
            return nullptr;
        }
        program = std::make_unique<RunningProgram>();
        CMainView* view = program->View();
        if (!view || !program->Route(noGuidance, from, to)) {
            state.SkipWithError("the program did not start or found no route");
            return nullptr;
        }
        return view;
    }
    BenchRoot root;
    std::unique_ptr<RunningProgram> program;
};

void DrawOverlaysAt(benchmark::State& state, int width, int height, int dpi) {
    RoutedRun run(width, height, dpi);
    // In the town's middle, as the view tests' goldens.
    CMainView* view = run.Start(state, 1, TownPoint(0.45, 0.4), TownPoint(0.55, 0.6));
    if (!view)
        return;
    HWND window = view->GetViewWindow();
    HDC dc = ::GetDC(window);
    for (auto _ : state) {
        view->forceRedraw = TRUE;
        view->DrawOverlays(dc);
    }
    ::ReleaseDC(window, dc);
    state.counters["links"] = view->MapView().LastFrame().linksDrawn;
}

// One route demonstration across the town's middle, or on Andorra from Andorra la
// Vella to Canillo (about 12 km); each iteration is one handled fix message, timed by
// itself (median and 95th percentile besides); with `guidance` on the guidance
// screen, whose panel each fix draws. One demonstration runs per process: pick one
// with --benchmark_filter.
void FixHandlerInDemonstration(benchmark::State& state, int width, int height, int dpi,
                               DWORD mode3D, bool andorra, bool guidance = false) {
    RoutedRun run(width, height, dpi, andorra ? AndorraExtract() : fs::path());
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"3DMode", mode3D);
    if (andorra) {
        // The program starts where the drive does, as after an earlier drive there.
        RegSetDword(HKEY_CURRENT_USER, kSettingsKey, kLastLatValue, std::bit_cast<DWORD>(42.5063f));
        RegSetDword(HKEY_CURRENT_USER, kSettingsKey, kLastLonValue, std::bit_cast<DWORD>(1.5218f));
    }
    CMainView* view =
        andorra ? run.Start(state, 0, MapPoint{42.5063f, 1.5218f}, MapPoint{42.5670f, 1.5980f})
                : run.Start(state, 0, TownPoint(0.3, 0.3), TownPoint(0.7, 0.7));
    if (!view)
        return;
    if (guidance) {
        // The guidance screen stays: it would give way to the map after each maneuver.
        g_options.store(g_options.load() & ~kOptionAutoGuidance);
        view->SwitchScreen(kScreenGuidance);
    }
    view->OnDemoRoute();
    std::vector<double> times;
    for (auto _ : state) {
        MSG message;
        bool timed = false;
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!timed && std::chrono::steady_clock::now() < limit) {
            if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                std::this_thread::yield();
                continue;
            }
            const bool fix = message.message == WM_USER && message.wParam == kNewFixMessage;
            const auto start = std::chrono::steady_clock::now();
            DispatchMessageW(&message);
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (fix) {
                state.SetIterationTime(seconds);
                times.push_back(seconds * 1000.0);
                timed = true;
            }
        }
        if (!timed) {
            state.SkipWithError("the demonstration ended before the fixes asked for");
            break;
        }
    }
    state.counters["fixes"] = static_cast<double>(times.size());
    if (times.empty())
        return;
    std::sort(times.begin(), times.end());
    state.counters["median_ms"] = times[times.size() / 2];
    state.counters["p95_ms"] = times[std::min(times.size() - 1, times.size() * 95 / 100)];
    state.counters["longest_ms"] = times.back();
}

// ---- The option dialogs -----------------------------------------------------------

// Andorra end to end, from south of Sant Julia de Loria to Pas de la Casa (38.1 km).
constexpr MapPoint kAndorraSouthWest{42.4700f, 1.4900f};
constexpr MapPoint kAndorraEast{42.5425f, 1.7336f};

// The program on Andorra at VGA with a route across the country. As for the fix
// handler, no volume override: a recalculation's phrase would hold the search's
// caller for the voice's tail.
CMainView* StartAcrossAndorra(benchmark::State& state, RoutedRun& run) {
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"VolOvr", 0);
    return run.Start(state, 1, kAndorraSouthWest, kAndorraEast);
}

// Milliseconds since `start`.
double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

void ReportMedian(benchmark::State& state, std::vector<double> times) {
    if (times.empty())
        return;
    std::sort(times.begin(), times.end());
    state.counters["median_ms"] = times[times.size() / 2];
    state.counters["longest_ms"] = times.back();
}

// From asking for the dialog to its first complete frame (the thread idle in the
// dialog, everything painted): Route Options, Route Management (Enter Destination),
// Display Options, Guidance Volume and Speed Alert by their menu commands; Roads to
// Avoid and Icons to Display as Route Management and the POI hotkey run them, Detour
// Options through its slot as Route Management's Detour does.
void OptionDialogFirstFrame(benchmark::State& state, int which) {
    RoutedRun run(480, 640, 192, AndorraExtract());
    CMainView* view = StartAcrossAndorra(state, run);
    if (!view)
        return;
    HWND window = view->GetViewWindow();
    HWND frame = view->GetParent()->GetSafeHwnd();
    constexpr UINT kCommands[] = {3034, 0, 3017, 0, 3033, 0, 3032, 3025};
    std::vector<double> times;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        // The first screen shown is timed and closed; Escape on Route Management
        // ends Enter Destination's flow.
        platform::CallWhenIdle(window, [&] {
            times.push_back(Since(start));
            platform::PostKeyPress(VK_ESCAPE);
        });
        if (kCommands[which])
            ::SendMessageW(frame, WM_COMMAND, kCommands[which], 0);
        else if (which == 1)
            RunDetourOptions(view, g_router->routeLength);
        else if (which == 3)
            view->OnAvoidRoads();
        else
            view->OnPoiFilter();
        state.SetIterationTime(times.empty() ? 0 : times.back() / 1000.0);
        platform::PumpUntilIdle();
    }
    ReportMedian(state, times);
}

// ---- The full-screen child screens ----------------------------------------------

// `kind` 0: the route list's rows filled from Andorra's longest route; 1: the GPS
// information screen's update for one WM_USER 1 (the texts, the sky plot and the
// bars of 12 satellites, painted); 2: the almanac's compute and paint. VGA.
void ChildScreenWork(benchmark::State& state, int kind) {
    RoutedRun run(480, 640, 192, AndorraExtract());
    CMainView* view = StartAcrossAndorra(state, run);
    if (!view)
        return;
    constexpr DWORD kModes[] = {kScreenRouteList, kScreenGpsInfo, kScreenAlmanac};
    view->SwitchScreen(static_cast<int>(kModes[kind]));
    platform::PumpUntilIdle();
    CChildScreen* screen = view->ScreenOf(kModes[kind]);
    if (!screen) {
        state.SkipWithError("the screen did not come up");
        return;
    }
    if (kind == 1) {
        g_gpsReceiver.load()->UpdateFix([](GpsFix& fix) {
            fix.valid = true;
            fix.fixMode = kFixMode3D;
            fix.latitude = 42.5063f;
            fix.longitude = 1.5218f;
            fix.satellitesInView = 12;
            fix.satellitesUsed = 8;
            for (int i = 0; i < 12; ++i) {
                fix.satellites[i] = {i + 1, 10 + 6 * i, 30 * i, 20 + 2 * i};
                if (i < 8)
                    fix.usedSatellites[i] = i + 1;
            }
        });
    }
    HDC dc = ::GetDC(screen->GetSafeHwnd());
    std::vector<double> times;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (kind == 0) {
            static_cast<CRouteListView*>(screen)->FillRows();
        } else if (kind == 1) {
            auto* info = static_cast<CGpsInfoView*>(screen);
            info->OnGpsUpdate(1);
            ::UpdateWindow(info->SkyPlot().GetSafeHwnd());
            ::UpdateWindow(info->SignalBars().GetSafeHwnd());
        } else {
            auto* almanac = static_cast<CAlmanacWnd*>(screen);
            almanac->Compute();
            almanac->Draw(dc);
        }
        times.push_back(Since(start));
        state.SetIterationTime(times.back() / 1000.0);
    }
    ::ReleaseDC(screen->GetSafeHwnd(), dc);
    if (kind == 0)
        state.counters["maneuvers"] = g_router->maneuverCount;
    ReportMedian(state, times);
}

// Drops every avoid mark and the avoid list, as a new route would.
void ClearAvoidance() {
    g_avoidList.Clear();
    for (int32_t i = 0; i < g_router->routeCount; ++i) {
        if (MapLink* link = EntryLink(g_router->routeList[i]))
            link->attributes &= ~kAttrAvoidMark;
    }
}

// Roads to Avoid on Andorra's longest route: the list filled from the route, then
// Nav with every road marked; and the detour's marking of the whole route ahead.
// The recalculation after them is timed on its own.
void AvoidMarking(benchmark::State& state, bool detour) {
    RoutedRun run(480, 640, 192, AndorraExtract());
    CMainView* view = StartAcrossAndorra(state, run);
    if (!view)
        return;
    g_router->currentManeuver = 0;
    size_t rows = 0;
    int marked = 0;
    for (auto _ : state) {
        if (detour) {
            marked = MarkDetourAhead(*g_router, g_router->routeLength);
        } else {
            const std::vector<RoutedRoad> roads = ListRoutedRoads(
                *g_router, FindRouteEntryOfLink(*g_router, g_vehicleLocation.GetLink(true)));
            rows = roads.size();
            marked = 0;
            for (size_t i = 0; i < roads.size(); ++i) {
                const int32_t end =
                    i + 1 < roads.size() ? roads[i + 1].routeIndex : g_router->routeCount;
                marked += MarkRouteRange(*g_router, roads[i].routeIndex, end);
            }
        }
        state.PauseTiming();
        ClearAvoidance();
        state.ResumeTiming();
    }
    state.counters["route_entries"] = g_router->routeCount;
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["links_marked"] = marked;
    // The recalculation that follows, with the marks of the last run.
    if (detour)
        MarkDetourAhead(*g_router, g_router->routeLength / 2);
    else
        MarkRouteRange(*g_router, 0, g_router->routeCount / 2);
    RecalculateAvoiding(*g_router, true);
    state.counters["recalc_ms"] = g_router->lastSearch.totalSeconds * 1000.0;
    state.counters["route_after"] = (g_router->state & kRouterRouteState) ? 1 : 0;
}

// The route options' recalculation: Shortest with toll roads excluded.
void RouteOptionsRecalculation(benchmark::State& state) {
    RoutedRun run(480, 640, 192, AndorraExtract());
    CMainView* view = StartAcrossAndorra(state, run);
    if (!view)
        return;
    bool shortest = true;
    for (auto _ : state) {
        ApplyRouteOptions(*g_router, shortest ? kRouteShortest : kRouteQuickest,
                          shortest ? kRouterTollExcluded : 0);
        state.SetIterationTime(g_router->lastSearch.totalSeconds);
        shortest = !shortest;
    }
}

// The map screen's commands on Andorra at VGA, the vehicle in Andorra la Vella with a
// route to Canillo: `kind` 0 the ring menu and 1 the hotkey dialog, from the command
// to their first complete frame (the thread idle in the dialog, everything painted);
// 2 a bound button's press to its command running; 3 the '3' key to the next map
// frame (3D on and off in turn); 4 Enter Destination's own work (the GPS hold, the
// modal count, the region) until its first screen.
void MapCommand(benchmark::State& state, int kind) {
    RoutedRun run(480, 640, 192, AndorraExtract());
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"3DMode", 0);
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, kLastLatValue, std::bit_cast<DWORD>(42.5063f));
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, kLastLonValue, std::bit_cast<DWORD>(1.5218f));
    CMainView* view = run.Start(state, 1, MapPoint{42.5063f, 1.5218f}, MapPoint{42.5670f, 1.5980f});
    if (!view)
        return;
    HWND window = view->GetViewWindow();
    std::chrono::steady_clock::time_point reached;
    OptionDialogs dialogs;
    dialogs.routeOptions = [&](CWnd*) {
        reached = std::chrono::steady_clock::now();
        return IDCANCEL;
    };
    dialogs.routeManagement = [&](CWnd*) {
        reached = std::chrono::steady_clock::now();
        return IDCANCEL;  // Close: the flow ends at once
    };
    SetOptionDialogs(dialogs);
    if (kind == 2) {
        g_hotkeyTable.SetEntry(0, VK_APP1, kHotkeyRouteOptions);
        g_hotkeyTable.RegisterAll(window, TRUE);
    }
    std::vector<double> times;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        switch (kind) {
            case 0:
            case 1:
                platform::CallWhenIdle(window, [&] {
                    times.push_back(Since(start));
                    platform::PostKeyPress(VK_ESCAPE);
                });
                if (kind == 0)
                    view->OnMenuScreen();
                else
                    view->OnHotkeyOptions();
                break;
            case 2:
                platform::PostKeyPress(VK_APP1);
                platform::PumpUntilIdle();
                times.push_back(std::chrono::duration<double, std::milli>(reached - start).count());
                break;
            case 3:
                ::SendMessageW(window, WM_KEYDOWN, '3', 1);
                platform::PumpUntilIdle();
                times.push_back(Since(start));
                break;
            default:
                view->EnterDestination();
                times.push_back(std::chrono::duration<double, std::milli>(reached - start).count());
                break;
        }
        state.SetIterationTime(times.empty() ? 0 : times.back() / 1000.0);
        platform::PumpUntilIdle();
    }
    if (kind == 2) {
        g_hotkeyTable.RegisterAll(window, FALSE);
        g_hotkeyTable = CHotkeyTable();
    }
    SetOptionDialogs({});
    ReportMedian(state, times);
}

}  // namespace

BENCHMARK_CAPTURE(OptionDialogFirstFrame, route_options, 0)
    ->UseManualTime()
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OptionDialogFirstFrame, detour_options, 1)
    ->UseManualTime()
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OptionDialogFirstFrame, route_management, 2)
    ->UseManualTime()
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OptionDialogFirstFrame, roads_to_avoid, 3)
    ->UseManualTime()
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OptionDialogFirstFrame, display_options, 4)
    ->UseManualTime()
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OptionDialogFirstFrame, icons_to_display, 5)
    ->UseManualTime()
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OptionDialogFirstFrame, guidance_volume, 6)
    ->UseManualTime()
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(OptionDialogFirstFrame, speed_alert, 7)
    ->UseManualTime()
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(AvoidMarking, roads_to_avoid, false)
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(AvoidMarking, detour, true)->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(RouteOptionsRecalculation)
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(MapCommand, andorra_vga_ring_menu, 0)
    ->UseManualTime()
    ->Iterations(30)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(MapCommand, andorra_vga_hotkey_dialog, 1)
    ->UseManualTime()
    ->Iterations(30)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(MapCommand, andorra_vga_hotkey_press, 2)
    ->UseManualTime()
    ->Iterations(100)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(MapCommand, andorra_vga_3d_key, 3)
    ->UseManualTime()
    ->Iterations(40)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(MapCommand, andorra_vga_flow_start, 4)
    ->UseManualTime()
    ->Iterations(100)
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_CAPTURE(FixHandlerInDemonstration, andorra_vga_guidance, 480, 640, 192, 0, true, true)
    ->Iterations(100)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ChildScreenWork, andorra_vga_route_list_rows, 0)
    ->Iterations(20)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ChildScreenWork, vga_gps_info_update, 1)
    ->Iterations(50)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ChildScreenWork, vga_almanac, 2)
    ->Iterations(50)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DrawOverlaysAt, qvga, 240, 320, 96)
    ->Iterations(50)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DrawOverlaysAt, vga, 480, 640, 192)
    ->Iterations(50)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(FixHandlerInDemonstration, qvga_2d, 240, 320, 96, 0, false)
    ->UseManualTime()
    ->Iterations(100)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(FixHandlerInDemonstration, vga_2d, 480, 640, 192, 0, false)
    ->UseManualTime()
    ->Iterations(100)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(FixHandlerInDemonstration, vga_3d, 480, 640, 192, 2, false)
    ->UseManualTime()
    ->Iterations(100)
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_CAPTURE(FixHandlerInDemonstration, andorra_vga_2d, 480, 640, 192, 0, true)
    ->UseManualTime()
    ->Iterations(100)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(FixHandlerInDemonstration, andorra_vga_3d, 480, 640, 192, 2, true)
    ->UseManualTime()
    ->Iterations(100)
    ->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    return RunBenchmarksAndPrintPeakMemory(argc, argv);
}
