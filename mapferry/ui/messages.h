// The installer's screen texts, one message-table record each (the copy threads'
// texts are in mapferry/convert/installer_services.h).
#pragma once

#include <string>

#include "mapferry/convert/installer_services.h"

extern CMessageTable MSG_SELECT_TARGET_DEVICE;
extern CMessageTable MSG_TARGET_STORAGE_CARD;
extern CMessageTable MSG_TARGET_MAIN_MEMORY;
extern CMessageTable MSG_REGION_HINT_1;
extern CMessageTable MSG_REGION_HINT_2;
extern CMessageTable MSG_TARGET_LOCATION;
extern CMessageTable MSG_AVAILABLE_SPACE;
extern CMessageTable MSG_SELECTED_SIZE;
extern CMessageTable MSG_NOT_AVAILABLE;
extern CMessageTable MSG_PC_LOCAL_DRIVE;
extern CMessageTable MSG_UNKNOWN_TARGET;
extern CMessageTable MSG_EXISTING_MAP_CAPTION;
extern CMessageTable MSG_EXISTING_MAP_ERASED;
extern CMessageTable MSG_CLICK_OK_OVERWRITE;
extern CMessageTable MSG_INVALID_LOCAL_DRIVE;
extern CMessageTable MSG_INVALID_DRIVE_CAPTION;
extern CMessageTable MSG_MAP_TOO_LARGE_FOR_DEVICE;
extern CMessageTable MSG_SIZE_LIMIT;
extern CMessageTable MSG_MAP_SIZE_CAPTION;
extern CMessageTable MSG_SELECT_A_TARGET;
extern CMessageTable MSG_MISSING_TARGET_CAPTION;
extern CMessageTable MSG_SPACE_NOT_AVAILABLE;
extern CMessageTable MSG_UNAVAILABLE_SPACE_CAPTION;
extern CMessageTable MSG_CITY_HINT;
extern CMessageTable MSG_REGION_LABEL;
extern CMessageTable MSG_CITY_LABEL;
extern CMessageTable MSG_MAP_RADIUS_LABEL;
extern CMessageTable MSG_GENERATE_MAP;
extern CMessageTable MSG_INVALID_CITY;
extern CMessageTable MSG_INVALID_REGION;
extern CMessageTable MSG_SELECT_A_CITY;
extern CMessageTable MSG_SELECT_A_REGION;
extern CMessageTable MSG_GENERATING_FILE;
extern CMessageTable MSG_GENERATING_FILES;
extern CMessageTable MSG_PREPARING_FILES;
extern CMessageTable MSG_MAP_LOCATION;
extern CMessageTable MSG_CONFIRM_ABORT;
extern CMessageTable MSG_ABORT_CAPTION;
extern CMessageTable MSG_OVERALL_PROGRESS;
extern CMessageTable MSG_TAB_REGIONS;
extern CMessageTable MSG_TAB_CITY_RADIUS;
extern CMessageTable MSG_EXISTING_CITY_MI;
extern CMessageTable MSG_CANNOT_COMBINE_OTHERS;
extern CMessageTable MSG_SELECTION_CAPTION;
extern CMessageTable MSG_CANNOT_COMBINE_WITH;

// A message text with its arguments filled in (wsprintf's rules, %s taking wide text).
std::u16string FormatMessageText(const CMessageTable& message, ...);
