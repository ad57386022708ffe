// One map frame (or a run of frames) drawn headless from a folder of device map
// files, as the main view's repaint draws it, written as PNG with its figures. A
// library, so that the tests draw their frames the same way.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "pathlume/display/map_interfaces.h"
#include "pathlume/display/map_view.h"

namespace render {

struct Options {
    std::filesystem::path maps;
    double latitude = 0;
    double longitude = 0;
    int zoom = 2;
    int width = 480;
    int height = 640;
    bool view3D = false;
    bool night = false;
    float heading = 0;
    std::filesystem::path theme;  // empty: the built-in theme
    int frames = 1;
    std::filesystem::path out;
    // --route: a route between the two points, drawn with the frame.
    bool route = false;
    double fromLatitude = 0, fromLongitude = 0;
    double toLatitude = 0, toLongitude = 0;
};

// A bad option value (exit code 2).
class OptionError : public std::invalid_argument {
  public:
    using std::invalid_argument::invalid_argument;
};

// "LAT,LON" and "WxH"; OptionError when they do not parse or lie out of range.
void ParsePoint(const std::string& text, double* latitude, double* longitude);
void ParseSize(const std::string& text, int* width, int* height);
// "FROM_LAT,FROM_LON:TO_LAT,TO_LON" into the options' route ends.
void ParseRoute(const std::string& text, Options* options);
// --at and --route (either may be empty): the vehicle stands at --at, else at the
// route's start. OptionError when neither is given or one does not parse.
void ParsePlaces(const std::string& at, const std::string& route, Options* options);

struct Figures {
    bool ok = false;
    std::string error;  // what failed when not ok
    double firstFrameMs = 0;
    double medianFrameMs = 0;
    double wholeRunMs = 0;                 // from the start to the written PNG
    int linksDrawn = 0;                    // in the last frame
    std::vector<CMapLabels::Slot> labels;  // placed in the last frame
    std::vector<IconLabel> shields;
    std::vector<DrawnPoiIcon> pois;  // the point-of-interest icons drawn
    UINT vehicleBitmap = 0;
    long peakMemoryKb = 0;
    int frames = 0;
    // With --route: "route", "arrived" (the start already at the destination) or empty;
    // the route's entries and maneuvers.
    std::string route;
    int routeEntries = 0;
    int maneuvers = 0;
};

// Draws the frames and writes the PNG. Throws OptionError for a bad option.
Figures Render(const Options& options);

void PrintText(const Figures& figures, const Options& options, std::ostream& out);
void PrintJson(const Figures& figures, const Options& options, std::ostream& out);

// The main view of a headless frame: a map area of the client's width and 268
// scaled pixels, never panning, never deferring.
class HeadlessMapHost : public IMapViewHost {
  public:
    HeadlessMapHost(int width, int clientHeight, int mapHeight)
        : width_(width), clientHeight_(clientHeight), mapHeight_(mapHeight) {}
    virtual ~HeadlessMapHost() = default;
    HWND GetViewWindow() override { return nullptr; }
    BOOL GetReplayFlag() override { return FALSE; }
    void SetReplayFlag(BOOL) override {}
    DWORD GetScreenMode() override { return 1; }
    DWORD GetLastDataTime() override { return 0; }
    void SetLastDataTime(DWORD) override {}
    BOOL IsClosing() override { return FALSE; }
    BOOL IsSuspended() override { return FALSE; }
    BOOL IsPanMode() override { return panMode; }
    void GetPanCentre(FLOAT* latitude, FLOAT* longitude) override {
        *latitude = panLatitude;
        *longitude = panLongitude;
    }
    BOOL IsShuttingDown() override { return FALSE; }
    void SetLastPosition(FLOAT, FLOAT) override {}
    char* GetDescriptionBuffer() override { return description_; }
    BOOL IsFullScreen() override { return FALSE; }
    void SetPanMode(BOOL on) override { panMode = on; }
    void Refresh() override {}
    void UpdateMenus() override {}
    void BringToFront() override {}
    int AddToFavorites(const AddressHit&, int, const char*, const char*, const char*, BOOL,
                       BOOL) override {
        return 1;
    }
    BOOL ScheduleRedraw() override { return FALSE; }
    COLORREF GetFixColor() override { return 0x00FF00; }
    int GetMapWidth() override { return width_; }
    int GetMapHeight() override { return mapHeight_; }
    int GetClientHeight() override { return clientHeight_; }
    int GetFullScreenExtraHeight() override { return 0; }
    BOOL IsWindowVisible() override { return TRUE; }

    BOOL panMode = FALSE;
    FLOAT panLatitude = 0;
    FLOAT panLongitude = 0;

  private:
    int width_;
    int clientHeight_;
    int mapHeight_;
    char description_[kDescriptionBufferSize] = {};
};

// A vehicle that stands at one fix: valid, at the given heading.
class StandingVehicle : public IMapVehicle {
  public:
    VehicleFix GetFix() override { return fix; }
    void ClearFixValid() override { fix.valid = false; }
    void SetPosition(float longitude, float latitude) override {
        fix.longitude = longitude;
        fix.latitude = latitude;
    }
    VehicleFix fix;
};

// The set-up of a run: the screen, the theme, a device root of its own, the vehicle
// at the point and the map view with its maps loaded. Throws OptionError for a bad
// option; Loaded() tells whether the maps could be read.
class Session {
  public:
    // Makes the main view of the session (tests record what the view asks of it).
    using HostFactory = std::unique_ptr<HeadlessMapHost> (*)(int width, int clientHeight,
                                                             int mapHeight);
    explicit Session(const Options& options, HostFactory makeHost = nullptr);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool Loaded() const { return loaded_; }
    // With --route: whether the start is already at the destination (one link, within
    // the arrival distance: no route, nothing to draw).
    bool Arrived() const { return arrived_; }
    const std::string& Error() const { return error_; }
    // One frame as the main view's repaint draws it after a move; its milliseconds.
    double DrawFrame();
    CMapView& View() { return *view_; }
    HDC BackBuffer();
    StandingVehicle& Vehicle() { return vehicle_; }
    HeadlessMapHost& Host() { return *host_; }

  private:
    class RunRoot;
    // Snaps the ends, routes with the program's router and shows the route through
    // the map view's router adapter; false with error_ set when it cannot.
    bool RouteBetweenEnds(const Options& options);

    std::unique_ptr<RunRoot> root_;
    StandingVehicle vehicle_;
    std::unique_ptr<HeadlessMapHost> host_;
    std::unique_ptr<CMapView> view_;
    std::string boxes_;
    std::string error_;
    bool loaded_ = false;
    bool routed_ = false;
    bool arrived_ = false;
    bool indexFilesOpen_ = false;
};

}  // namespace render
