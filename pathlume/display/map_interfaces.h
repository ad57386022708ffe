// What the map display needs of the modules above and beside it: the main view that
// owns it, the router and the vehicle's receiver, queue and matcher. Each is a small
// interface with a harmless default (no main view, no route, no fix), installed at
// start-up by whoever implements it; tests install fakes.
#pragma once

#include <cstdint>
#include <vector>

#include "pathlume/display/poi_layer.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/mapdb/map_records.h"
#include "platform/user/user.h"

struct RouteTarget;

// Bits of the router's state word the display reads.
inline constexpr uint32_t kRouteStateRouteExists = 0x20000000;
inline constexpr uint32_t kRouteStateAvoidMarksApplied = 0x2000000;

// The main view, as the map view sees it.
class IMapViewHost : public IMainView {
  public:
    // Sets the 250 ms redraw timer when a key or mouse message waits: true when the
    // update is to be deferred.
    virtual BOOL ScheduleRedraw() = 0;
    // The colour of the GPS status marker.
    virtual COLORREF GetFixColor() = 0;
    virtual int GetMapWidth() = 0;
    virtual int GetMapHeight() = 0;
    virtual int GetClientHeight() = 0;
    // Caption and menu heights in full-screen mode, else 0.
    virtual int GetFullScreenExtraHeight() = 0;
    virtual BOOL IsWindowVisible() = 0;
    // Shows the hold menu at a point of the map; its command goes to the main view.
    virtual void ShowHoldMenu(HMENU menu, int x, int y);
    // The "Location Information" box with the text and its Confirm and Cancel buttons.
    virtual void ShowInformation(LPCWSTR caption, LPCWSTR text);
    // Stops the long-press timer (2): a tap on points of interest is no long press.
    virtual void KillLongPressTimer() {}
    // The "POI(s) at Current Location" list of the points under a tap: the dialog's
    // result, with the chosen row in `chosen`.
    virtual int ShowPoiHereList(const std::vector<PoiRecord>& hits, int* chosen) {
        (void)hits;
        (void)chosen;
        return 0;
    }
    // Acts on a point picked on the map: 0 nothing, 1 route origin, 2 navigate to it,
    // 3 add it to the favourites under `name`.
    virtual void FormatPoiEntry(const PoiLayerEntry& entry, int action, const char* name) {
        (void)entry;
        (void)action;
        (void)name;
    }
    // The boxes the screen draws over the map in this frame (its banner, buttons,
    // status box and texts), in map pixels: labels keep clear of them.
    virtual void GetMapCovers(std::vector<RECT>* covers) { (void)covers; }

  protected:
    ~IMapViewHost() = default;
};

// A route entry resolved to its node and its leaving link.
struct RouteStep {
    MapNode* node = nullptr;
    MapLink* link = nullptr;
};

// The router, as the map view sees it. The default holds no route.
class IMapRoute {
  public:
    virtual uint32_t GetState() { return 0; }
    // Route entry `index` resolved: false when the entry is unresolvable (a reduced
    // chunk without the reference-form bit) or the index lies outside the route.
    virtual bool ResolveEntry(int32_t index, RouteStep* step) { return false; }
    // Entries of the route list; entry 0 names the route's first node and the start
    // link, the last entry the last node and the destination link.
    virtual int32_t GetRouteEntryCount() { return 0; }
    // The route's start: its link and the shape index the start position lies before.
    virtual MapLink* GetStartLink() { return nullptr; }
    virtual uint32_t GetStartShapeIndex() { return 0; }
    virtual int32_t GetManeuverCount() { return 0; }
    virtual int32_t GetCurrentManeuver() { return 0; }
    // The route index of maneuver `maneuver` (-1 for the arrival).
    virtual int32_t GetManeuverRouteIndex(int32_t maneuver) { return -1; }
    // Radians of arc to the next maneuver.
    virtual float GetDistanceToNextManeuver() { return 0; }
    virtual MapPoint GetStartLocation() { return {}; }
    virtual MapLink* GetDestinationLink() { return nullptr; }
    virtual uint32_t GetDestinationSegment() { return 0; }
    virtual MapPoint GetDestinationPoint() { return {}; }
    // Guidance phase and its street-name variant, and the link guidance waits for.
    virtual int32_t GetGuidancePhase() { return 0; }
    virtual bool IsStreetNameVariant() { return false; }
    virtual MapLink* GetNextRouteLink() { return nullptr; }
    virtual void SetZoomBand(int32_t band) {}
    virtual void ApplyAvoidMarks() {}
    // The hold actions: the avoid marks on or off, the route and its search state
    // cleared, and a route from a point of a link's shape segment to the target.
    virtual void SetAvoidMarks(int on) {}
    virtual void ResetRoute() {}
    virtual void CalculateRoute(MapLink* startLink, uint32_t startSegment, MapPoint startPoint,
                                const RouteTarget& target) {}

  protected:
    ~IMapRoute() = default;
};

// The receiver's fix as the map view reads it.
struct VehicleFix {
    float longitude = 0;
    float latitude = 0;
    float heading = 0;  // degrees
    bool valid = false;
};

// The receiver, the position queue and the matcher. The default has no fix and
// matches nothing.
class IMapVehicle {
  public:
    virtual VehicleFix GetFix() { return {}; }
    virtual void ClearFixValid() {}
    virtual void SetPosition(float longitude, float latitude) {}
    // Reads "LastLat", "LastLon" and "LastHead" into the fix.
    virtual void LoadLastPosition() {}
    virtual void PushPosition() {}
    virtual void Snap(int run, int reset, uint32_t flags) {}
    // 0 when the matcher finished inside the budget.
    virtual int SnapWithTimeout(uint32_t budgetMs) { return 0; }
    // Posts the vehicle's new position to the main view (WM_USER, kNewFixMessage, kVehicleMovedFix)
    // unless a post is pending.
    virtual void PostPosition() {}

  protected:
    ~IMapVehicle() = default;
};

// The router and vehicle in use: the defaults until installed (null goes back).
IMapRoute& GetMapRoute();
void SetMapRoute(IMapRoute* route);
IMapVehicle& GetMapVehicle();
void SetMapVehicle(IMapVehicle* vehicle);
