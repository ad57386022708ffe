// The end of a detour or stopover: the driver is asked whether to go on to the
// trip's final destination, the next record of the itinerary file.
#pragma once

// Clears the avoid marks and the route, then offers the itinerary's first record
// (after dropping the reached one when dropFirst is set). Yes routes to it. No
// drops it from a two-record itinerary (returning 1) or deletes the itinerary.
// Returns 0 otherwise, also when there is no readable itinerary.
int OfferResumeTrip(int dropFirst);
