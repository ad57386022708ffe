#include "tools/render/render.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>
#include <vector>

#include "pathlume/display/map_theme.h"
#include "pathlume/display/map_view.h"
#include "pathlume/display/router_map_route.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/map_errors.h"
#include "pathlume/mapdb/map_index_files.h"
#include "pathlume/mapdb/poi_file.h"
#include "pathlume/mapdb/snap.h"
#include "pathlume/route/router.h"

#include "platform/gdi/gdi.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/paths.h"
#include "platform/kernel/roots.h"
#include "platform/kernel/sync.h"
#include "platform/kernel/text.h"

namespace render {

namespace fs = std::filesystem;

namespace {

constexpr DWORD kDefaultOptions = 0x5005 & 0x8002F7FF;  // the registry's default "Options"
constexpr int kMaxSide = 4096;
// How far from a road a route end may lie, as the route tool allows.
constexpr double kSnapRadiusMetres = 1000;

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

long PeakMemoryKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void CheckOptions(const Options& options) {
    if (options.maps.empty())
        throw OptionError("no --maps folder given");
    if (options.out.empty())
        throw OptionError("no --out file given");
    if (options.zoom < 0 || options.zoom >= CMapTheme::kLevels)
        throw OptionError("--zoom must be 0 to 8");
    if (options.width < 1 || options.height < 1 || options.width > kMaxSide ||
        options.height > kMaxSide)
        throw OptionError("--size must be WxH, each 1 to 4096");
    if (options.frames < 1 || options.frames > 100000)
        throw OptionError("--frames must be 1 to 100000");
    if (!std::isfinite(options.heading))
        throw OptionError("--heading must be a number of degrees");
    if (!(options.latitude >= -90 && options.latitude <= 90) ||
        !(options.longitude >= -180 && options.longitude <= 180))
        throw OptionError("--at must be LAT,LON in degrees");
}

void LoadTheme(const fs::path& file) {
    g_mapTheme = CMapTheme();
    if (file.empty())
        return;
    if (g_mapTheme.ReadThemeFile(file.c_str()) != 0)
        throw OptionError("cannot read the theme " + file.string());
}

void SetDataFolder(const fs::path& folder) {
    const std::u16string text = platform::HostPathText(fs::absolute(folder)) + u"/";
    if (text.size() >= MAX_PATH)
        throw std::runtime_error(folder.string() + ": the path is too long for the map database");
    std::copy(text.begin(), text.end(), g_dataFolder);
    g_dataFolder[text.size()] = 0;
}

}  // namespace

// A device root of its own for the run: the view stores its zoom step in the
// registry, which must not be the user's.
class Session::RunRoot {
  public:
    RunRoot() {
        previousSide_ = platform::CurrentSide();
        previousRoot_ = platform::DeviceRoot();
        std::string pattern = (fs::temp_directory_path() / "render-root-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot make a temporary device root");
        root_ = pattern;
        platform::SetDeviceRoot(root_);
        platform::SetCurrentSide(platform::Side::Device);
        // The root goes at the end of the run and no other process reads it: its
        // registry is kept in memory (waiting for the disk was half of a frame's whole
        // run, and writing the file without waiting still a twentieth).
        platform::SetRegistryKeptInMemory(true);
    }
    ~RunRoot() {
        platform::SetRegistryKeptInMemory(false);
        platform::SetDeviceRoot(previousRoot_);
        platform::SetCurrentSide(previousSide_);
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    RunRoot(const RunRoot&) = delete;
    RunRoot& operator=(const RunRoot&) = delete;

  private:
    fs::path root_;
    fs::path previousRoot_;
    platform::Side previousSide_;
};

void ParsePoint(const std::string& text, double* latitude, double* longitude) {
    char extra = 0;
    if (std::sscanf(text.c_str(), "%lf,%lf%c", latitude, longitude, &extra) != 2 ||
        !std::isfinite(*latitude) || !std::isfinite(*longitude) || std::fabs(*latitude) > 90 ||
        std::fabs(*longitude) > 180)
        throw OptionError("--at must be LAT,LON in degrees, not " + text);
}

void ParseRoute(const std::string& text, Options* options) {
    const size_t colon = text.find(':');
    try {
        if (colon == std::string::npos)
            throw OptionError("");
        ParsePoint(text.substr(0, colon), &options->fromLatitude, &options->fromLongitude);
        ParsePoint(text.substr(colon + 1), &options->toLatitude, &options->toLongitude);
    } catch (const OptionError&) {
        throw OptionError("--route must be FROM_LAT,FROM_LON:TO_LAT,TO_LON in degrees, not " +
                          text);
    }
    options->route = true;
}

void ParsePlaces(const std::string& at, const std::string& route, Options* options) {
    if (!route.empty())
        ParseRoute(route, options);
    if (!at.empty()) {
        ParsePoint(at, &options->latitude, &options->longitude);
    } else if (options->route) {
        options->latitude = options->fromLatitude;
        options->longitude = options->fromLongitude;
    } else {
        throw OptionError("no --at point given");
    }
}

void ParseSize(const std::string& text, int* width, int* height) {
    char extra = 0;
    if (std::sscanf(text.c_str(), "%dx%d%c", width, height, &extra) != 2 || *width < 1 ||
        *height < 1 || *width > kMaxSide || *height > kMaxSide)
        throw OptionError("--size must be WxH, each 1 to 4096, not " + text);
}

Session::Session(const Options& options, HostFactory makeHost) {
    CheckOptions(options);
    root_ = std::make_unique<RunRoot>();
    const float scale = (options.width >= 480 || options.height >= 480) ? 2.0f : 1.0f;
    platform::SetScreenMode(options.width, options.height, static_cast<int>(96 * scale));
    g_screenScaleX.store(scale);
    g_screenScaleY.store(scale);
    g_screenWidth.store(options.width);
    g_screenHeight.store(options.height);
    const int mapHeight = std::min(RoundHalfAway(268.0f * scale), options.height);
    g_viewHeight.store(mapHeight);
    g_options.store(kDefaultOptions);
    g_options2.store(0);
    g_map3DMode.store(options.view3D ? 2 : 0);
    LoadTheme(options.theme);
    g_mapTheme.ScaleForScreen(scale);
    g_mapTheme.colourMode = options.night ? 1 : 0;
    SetDataFolder(options.maps);

    platform::SetMessageBoxHandler(
        [this](HWND, const std::u16string& text, const std::u16string&, UINT type) {
            boxes_ += (boxes_.empty() ? "" : "; ") + platform::WideToUtf8(text);
            return platform::DefaultMessageBoxAnswer(type);
        });
    auto placeVehicle = [&] {
        vehicle_.fix.latitude = static_cast<float>(options.latitude);
        vehicle_.fix.longitude = static_cast<float>(options.longitude);
        vehicle_.fix.heading = options.heading;
        vehicle_.fix.valid = true;
    };
    placeVehicle();
    SetMapVehicle(&vehicle_);
    host_ = makeHost ? makeHost(options.width, options.height, mapHeight)
                     : std::make_unique<HeadlessMapHost>(options.width, options.height, mapHeight);
    view_ = std::make_unique<CMapView>(host_.get());
    // The loader's work on this thread: the run waits for it anyway, and on a busy
    // machine the hand-over to a thread of its own and back cost a wake-up each way.
    g_mapsLoading.store(1);
    view_->LoadMaps();
    if (g_mapsLoading.load() != 0) {
        error_ = "the maps in " + options.maps.string() + " cannot be read" +
                 (boxes_.empty() ? "" : " (" + boxes_ + ")");
        return;
    }
    // The loader may have moved a fix outside the map: the receiver's next fix puts
    // it back.
    placeVehicle();
    // The street names come from the index files the program opens at start-up.
    const bool indexFilesWhole = OpenMapIndexFiles() == 0;
    indexFilesOpen_ = true;
    if (!indexFilesWhole) {
        error_ = "damaged map data in " + options.maps.string() + " (" + boxes_ + ")";
        return;
    }
    // The points of interest, opened as the settings loader opens them.
    OpenPoiFile();
    view_->OpenPoiFile();
    view_->StoreZoomIndex(options.zoom);
    view_->ResetViewSpan();
    HDC screen = GetDC(nullptr);
    view_->CreateBackBuffer(screen, options.width, options.height);
    ReleaseDC(nullptr, screen);
    if (options.route && !RouteBetweenEnds(options))
        return;
    loaded_ = true;
}

bool Session::RouteBetweenEnds(const Options& options) {
    // The maneuvers name their roads from the index files the session opened.
    routed_ = true;
    CRouter& router = CreateRouter();
    InstallRouterMapRoute(&router);
    const MapPoint from{static_cast<FLOAT>(options.fromLatitude),
                        static_cast<FLOAT>(options.fromLongitude)};
    const MapPoint to{static_cast<FLOAT>(options.toLatitude),
                      static_cast<FLOAT>(options.toLongitude)};
    // The destination first, then the start, so that the start's area stays loaded.
    // The router takes copies of the snapped links and finds them again by id.
    const LinkSnap toSnap = SnapToNearestLink(g_mapDatabase, to, kSnapRadiusMetres);
    MapLink toLink{};
    if (toSnap.Found())
        toLink = *toSnap.link;
    const LinkSnap fromSnap = SnapToNearestLink(g_mapDatabase, from, kSnapRadiusMetres);
    if (!toSnap.Found() || !fromSnap.Found()) {
        error_ = std::string("no road within 1 km of the route's ") +
                 (fromSnap.Found() ? "destination" : "start");
        return false;
    }
    MapLink fromLink = *fromSnap.link;
    router.CalculateRoute(&fromLink, fromSnap.segment, fromSnap.point,
                          SnappedTarget(toSnap, &toLink), 0, 1);
    if (router.lastSearch.arrived) {
        arrived_ = true;
        return true;
    }
    if (!router.HasRouteToFollow()) {
        error_ = "no route between the two points" + (boxes_.empty() ? "" : " (" + boxes_ + ")");
        return false;
    }
    return true;
}

Session::~Session() {
    // The router lets go of its search state in the chunks while they are there.
    if (routed_) {
        InstallRouterMapRoute(nullptr);
        DestroyRouter();
        g_avoidList.Clear();
    }
    view_.reset();
    SetMapVehicle(nullptr);
    if (indexFilesOpen_) {
        CloseMapIndexFiles();
        ClosePoiFile();
    }
    // The map files close before the process's file mappings go.
    g_mapDatabase.mapFile1.Close();
    g_mapDatabase.mapFile2.Close();
    g_mapDatabase.mapFileT.Close();
    platform::SetMessageBoxHandler({});
}

HDC Session::BackBuffer() {
    return view_->GetBackBufferDC();
}

double Session::DrawFrame() {
    const Clock::time_point start = Clock::now();
    float lon = 0, lat = 0, heading = 0;
    view_->UpdateCentreAndHeading(&lon, &lat, &heading, 0, 1);
    view_->Force();
    view_->UpdateView(lon, lat, heading, view_->GetBackBufferDC(), 0);
    // The main view's repaint: the vehicle and the scale bar with its zoom buttons.
    view_->DrawVehicle(nullptr, nullptr);
    const RECT map = {0, 0, g_screenWidth.load(), g_viewHeight.load()};
    view_->DrawScaleBar(map, nullptr);
    return MsSince(start);
}

Figures Render(const Options& options) {
    const Clock::time_point start = Clock::now();
    Figures figures;
    const int readErrors = MapReadErrorCount();
    {
        Session session(options);
        if (!session.Loaded()) {
            figures.error = session.Error();
        } else {
            std::vector<double> times;
            for (int i = 0; i < options.frames; ++i)
                times.push_back(session.DrawFrame());
            figures.frames = options.frames;
            figures.firstFrameMs = times.front();
            std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
            figures.medianFrameMs = times[times.size() / 2];
            figures.linksDrawn = session.View().LastFrame().linksDrawn;
            if (options.route) {
                figures.route = session.Arrived() ? "arrived" : "route";
                if (g_router && !session.Arrived()) {
                    figures.routeEntries = g_router->routeCount;
                    figures.maneuvers = g_router->maneuverCount;
                }
            }
            figures.labels = session.View().PlacedLabels();
            figures.shields = session.View().PlacedIcons();
            figures.pois = session.View().Pois().DrawnIcons();
            figures.vehicleBitmap = session.View().LoadedVehicleBitmap();
            // A frame with cells that could not be read is no picture of the map. The PNG
            // is written beside its target and renamed over it: a failed write leaves
            // nothing that looks whole.
            if (MapReadErrorCount() != readErrors)
                figures.error = "damaged map data in " + options.maps.string() + " (" +
                                LastMapReadError() + ")";
            else if (platform::SaveDCAsPng(session.BackBuffer(), options.out))
                figures.ok = true;
            else
                figures.error = "cannot write " + options.out.string();
        }
    }
    figures.wholeRunMs = MsSince(start);
    figures.peakMemoryKb = PeakMemoryKb();
    return figures;
}

void PrintText(const Figures& figures, const Options& options, std::ostream& out) {
    if (figures.ok)
        out << "wrote " << options.out.string() << " (" << options.width << "x" << options.height
            << (options.view3D ? ", 3D" : ", 2D") << (options.night ? ", night" : "")
            << ", zoom step " << options.zoom << ")\n";
    char line[256];
    std::snprintf(line, sizeof line,
                  "figures: frames %d, first frame %.2f ms, median %.2f ms per frame, whole run "
                  "%.1f ms, links drawn %d, labels %zu, shields %zu, POI icons %zu, peak memory "
                  "%.1f MB\n",
                  figures.frames, figures.firstFrameMs, figures.medianFrameMs, figures.wholeRunMs,
                  figures.linksDrawn, figures.labels.size(), figures.shields.size(),
                  figures.pois.size(), figures.peakMemoryKb / 1024.0);
    out << line;
    if (!figures.route.empty())
        out << "route: " << figures.route << ", entries " << figures.routeEntries << ", maneuvers "
            << figures.maneuvers << "\n";
}

void PrintJson(const Figures& figures, const Options& options, std::ostream& out) {
    nlohmann::json json = {{"ok", figures.ok},
                           {"out", options.out.string()},
                           {"width", options.width},
                           {"height", options.height},
                           {"zoom", options.zoom},
                           {"view3D", options.view3D},
                           {"night", options.night},
                           {"frames", figures.frames},
                           {"firstFrameMs", figures.firstFrameMs},
                           {"medianFrameMs", figures.medianFrameMs},
                           {"wholeRunMs", figures.wholeRunMs},
                           {"linksDrawn", figures.linksDrawn},
                           {"peakMemoryKb", figures.peakMemoryKb}};
    if (!figures.route.empty())
        json["route"] = {{"result", figures.route},
                         {"entries", figures.routeEntries},
                         {"maneuvers", figures.maneuvers}};
    nlohmann::json labels = nlohmann::json::array();
    for (const CMapLabels::Slot& slot : figures.labels) {
        nlohmann::json corners = nlohmann::json::array();
        for (const LabelPoint& p : slot.corners)
            corners.push_back({p.x, p.y});
        labels.push_back({{"text", slot.text}, {"angle", slot.angle}, {"corners", corners}});
    }
    json["labels"] = labels;
    nlohmann::json shields = nlohmann::json::array();
    for (const IconLabel& icon : figures.shields)
        shields.push_back({{"number", icon.text},
                           {"icon", icon.id},
                           {"centre", {icon.x + icon.width / 2, icon.y + icon.height / 2}}});
    json["shields"] = shields;
    nlohmann::json pois = nlohmann::json::array();
    for (const DrawnPoiIcon& icon : figures.pois)
        pois.push_back({{"id", icon.id}, {"centre", {icon.x, icon.y}}});
    json["pois"] = pois;
    json["vehicleBitmap"] = figures.vehicleBitmap;
    if (!figures.ok)
        json["error"] = figures.error;
    out << json.dump() << "\n";
}

}  // namespace render
