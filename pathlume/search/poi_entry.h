// Where the point-of-interest search joins the destination flow: Set Destination's
// "Points of Interest" (504) and "City Center" (505) run it in the flow's region.
#pragma once

#include <cstdint>

class CWnd;

// The search's last result; IDCANCEL goes back to Set Destination. The
// point-of-interest screens are not built yet: it answers IDCANCEL at once.
int RunPointsOfInterestSearch(CWnd* parent, int button, uint8_t region);
