#include "pathlume/search/poi_entry.h"

#include "platform/kernel/wintypes.h"
#include "platform/user/user.h"

int RunPointsOfInterestSearch(CWnd*, int, uint8_t) {
    return IDCANCEL;
}
