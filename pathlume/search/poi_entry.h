// Where the point-of-interest search joins the destination flow: Set Destination's
// "Points of Interest" (504) and "City Center" (505) run it in the flow's region.
#pragma once

#include <cstdint>

class CWnd;

// The categories, picker or food types, list options and the name search or nearby
// list, until a place is chosen (IDOK: a route, a favourite or a new start), Home is
// pressed, or the driver goes back from the first screen (IDCANCEL, back to Set
// Destination).
int RunPointsOfInterestSearch(CWnd* parent, int button, uint8_t region);
