// The destination search as the program runs it: the chains over the real screens,
// the favourite and recent lists, the address list the geocoder offers, and the
// favourite prompt and name screen the main view's favourites use.
#pragma once

#include <cstdint>
#include <string>

#include "platform/afx/afx.h"

class IMainView;
struct DestRecord;

// Set Destination and every chain after it (RunDestinationChains), parented by the
// main view.
int RunDestinationSearchScreens(CWnd* parent, IMainView* view, uint8_t region);
// The recent (0) or favourite (1) destinations: 540, 539 or IDCANCEL.
int RunDestinationListScreen(CWnd* parent, IMainView* view, int kind);
// The address list for a street the geocoder found at several places.
int RunAddressListScreen(CWnd* parent, uint32_t nameId, int32_t city, int32_t houseNumber,
                         uint8_t region);
