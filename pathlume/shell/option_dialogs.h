// The option dialogs as the main view runs them: each slot runs its modal dialog
// with the given parent (the main view) and answers the dialog's result. The dialogs
// install themselves at start-up (InstallProgramObjects); the main view does what
// comes around each one (leaving full screen, the modal-screen count, the Home
// test). An empty slot opens nothing and answers IDCANCEL; an empty routeManagement
// answers 1 ("New").
#pragma once

#include <functional>

class CWnd;

// The display options' answer that opens the point-of-interest filter.
inline constexpr int kDisplayOptionsIcons = 631;
// The route management answers.
inline constexpr int kRouteManagementNew = 1;
inline constexpr int kRouteManagementDemo = 518;
inline constexpr int kRouteManagementShowDestination = 539;
inline constexpr int kRouteManagementDetour = 602;
inline constexpr int kRouteManagementStopover = 606;
inline constexpr int kRouteManagementClearDest = 607;
inline constexpr int kRouteManagementAvoidRoad = 629;

struct OptionDialogs {
    using Dialog = std::function<int(CWnd* parent)>;
    // Route Management: the id of the button that ended it (1, 518, 539, 602, 606,
    // 607, 629) or IDCANCEL.
    Dialog routeManagement;
    // Detour Options, given the route distance left (radians of arc).
    std::function<int(CWnd* parent, float remainingLength)> detourOptions;
    Dialog avoidRoads;
    Dialog routeOptions;
    // Display Options: IDOK, IDCANCEL or kDisplayOptionsIcons.
    Dialog displayOptions;
    Dialog poiFilter;
    Dialog guidanceVolume;
    Dialog speedAlert;
};

// Installs the dialogs; an empty OptionDialogs removes them.
void SetOptionDialogs(OptionDialogs dialogs);
// The installed dialogs (each slot may be empty).
const OptionDialogs& GetOptionDialogs();

// Each runs its slot with the parent; the empty slot's answer when there is none.
int RunRouteManagement(CWnd* parent);
int RunDetourOptions(CWnd* parent, float remainingLength);
int RunAvoidRoads(CWnd* parent);
int RunRouteOptions(CWnd* parent);
int RunDisplayOptions(CWnd* parent);
int RunPoiFilter(CWnd* parent);
int RunGuidanceVolume(CWnd* parent);
int RunSpeedAlert(CWnd* parent);
