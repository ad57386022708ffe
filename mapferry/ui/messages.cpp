#include "mapferry/ui/messages.h"

#include <cstdarg>

constinit CMessageTable MSG_SELECT_TARGET_DEVICE(u"Please select target device");
constinit CMessageTable MSG_TARGET_STORAGE_CARD(u"PocketPC Storage Card");
constinit CMessageTable MSG_TARGET_MAIN_MEMORY(u"PocketPC Main Memory");
constinit CMessageTable MSG_REGION_HINT_1(
    u"Click on the Region(s), up to 512MB, that you would like to install,");
constinit CMessageTable MSG_REGION_HINT_2(
    u"then select the Target Device and click on \"Generate Map\"");
constinit CMessageTable MSG_TARGET_LOCATION(u"Target Location:");
constinit CMessageTable MSG_AVAILABLE_SPACE(u"Available Space:");
constinit CMessageTable MSG_SELECTED_SIZE(u"Selected Size:");
constinit CMessageTable MSG_NOT_AVAILABLE(u"Not Available");
constinit CMessageTable MSG_PC_LOCAL_DRIVE(u"PC Local Drive %c:");
constinit CMessageTable MSG_UNKNOWN_TARGET(u"unknown");
constinit CMessageTable MSG_EXISTING_MAP_CAPTION(u"Existing map");
constinit CMessageTable MSG_EXISTING_MAP_ERASED(
    u"Existing map data found in selected storage location. This data will be erased when new map "
    u"is generated.\n\n");
constinit CMessageTable MSG_CLICK_OK_OVERWRITE(
    u"\nClick OK to overwrite, or Cancel to select another storage location.");
constinit CMessageTable MSG_INVALID_LOCAL_DRIVE(
    u"Selected local drive is invalid, please select another device");
constinit CMessageTable MSG_INVALID_DRIVE_CAPTION(u"Invalid Drive");
constinit CMessageTable MSG_MAP_TOO_LARGE_FOR_DEVICE(
    u"Selected map size is larger than device capacity (%luMB).");
constinit CMessageTable MSG_SIZE_LIMIT(
    u"Map data exceeds size limit.  Please only select state[s] up to 512MB in size.");
constinit CMessageTable MSG_MAP_SIZE_CAPTION(u"Map size");
constinit CMessageTable MSG_SELECT_A_TARGET(u"Please select a target device");
constinit CMessageTable MSG_MISSING_TARGET_CAPTION(u"Missing target");
constinit CMessageTable MSG_SPACE_NOT_AVAILABLE(u"Space not available in the selected device");
constinit CMessageTable MSG_UNAVAILABLE_SPACE_CAPTION(u"Unavailable space");
constinit CMessageTable MSG_CITY_HINT(
    u"Create a custom map around the city of your choice, then determine the map coverage by "
    u"adjusting the Radius slider.");
constinit CMessageTable MSG_REGION_LABEL(u"Region:");
constinit CMessageTable MSG_CITY_LABEL(u"City:");
constinit CMessageTable MSG_MAP_RADIUS_LABEL(u"Map Radius:");
constinit CMessageTable MSG_GENERATE_MAP(u"Generate Map");
constinit CMessageTable MSG_INVALID_CITY(u"Invalid city");
constinit CMessageTable MSG_INVALID_REGION(u"Invalid region");
constinit CMessageTable MSG_SELECT_A_CITY(u"Please select a city");
constinit CMessageTable MSG_SELECT_A_REGION(u"Please select a region");
constinit CMessageTable MSG_GENERATING_FILE(u"Generating Map Data - %s                      ");
constinit CMessageTable MSG_GENERATING_FILES(u"Generating Map Data Files...");
constinit CMessageTable MSG_PREPARING_FILES(u"Preparing Map Data Files...");
constinit CMessageTable MSG_MAP_LOCATION(u"Map Location (%s)");
constinit CMessageTable MSG_CONFIRM_ABORT(u"Are you sure you want to abort ?");
constinit CMessageTable MSG_ABORT_CAPTION(u"Abort");
constinit CMessageTable MSG_OVERALL_PROGRESS(u"Overall Progress");
constinit CMessageTable MSG_TAB_REGIONS(u"     Regions     ");
constinit CMessageTable MSG_TAB_CITY_RADIUS(u"     City/Radius     ");
constinit CMessageTable MSG_EXISTING_CITY_MI(u"%sCity : %s\nRegions : %s\nCountry : %s Mi\n%s");
constinit CMessageTable MSG_CANNOT_COMBINE_OTHERS(
    u"%s state map data cannot be combined with other states map data. Other selected state(s) "
    u"will be disabled");
constinit CMessageTable MSG_SELECTION_CAPTION(u"%s selection");
constinit CMessageTable MSG_CANNOT_COMBINE_WITH(
    u"Selected state map data cannot be combined with %s state map data. %s selection will be "
    u"disabled");

std::u16string FormatMessageText(const CMessageTable& message, ...) {
    WCHAR buffer[2048];
    va_list args;
    va_start(args, message);
    const int written = vswprintf(buffer, std::size(buffer), message.Get(), args);
    va_end(args);
    (void)written;  // a text too long is cut, never lost
    return std::u16string(buffer);
}
