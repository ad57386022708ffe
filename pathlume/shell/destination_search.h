// The destination search as the main view's destination flow calls it: the Set
// Destination screen with every search chain after it, and the recent and favourite
// destination lists. The search screens install themselves at start-up
// (InstallProgramObjects); until then, or with a slot left empty, the flow sees the
// search closed and nothing opens.
#pragma once

#include <functional>

class CMainView;

// What the search answers the flow.
inline constexpr int kSearchClosed = 0xBDBD;  // the driver closed the search
inline constexpr int kSearchShowOnMap = 539;  // a place was shown on the map
// The list kinds of runList.
inline constexpr int kListKindRecent = 0;
inline constexpr int kListKindFavorites = 1;

struct DestinationSearch {
    // Set Destination and every search chain after it, in the region given (255:
    // none). Returns the last result (kSearchClosed, kSearchShowOnMap, or the code of
    // the screen that ended it); a screen left with Home leaves g_homeKeyPressed set
    // for the flow to test.
    std::function<int(CMainView& view, int region)> runSearch;
    // The recent (kListKindRecent) or favourite (kListKindFavorites) destinations
    // list: the list screen's result.
    std::function<int(CMainView& view, int kind)> runList;
};

// Installs the search; an empty DestinationSearch removes it.
void SetDestinationSearch(DestinationSearch search);
// Runs the installed slot; an empty one answers kSearchClosed.
int RunDestinationSearch(CMainView& view, int region);
// Runs the installed slot; an empty one answers IDCANCEL (2).
int RunDestinationList(CMainView& view, int kind);
