#include "pathlume/position/receiver_services.h"

#include <atomic>

#include "pathlume/mapdb/map_records.h"
#include "pathlume/position/nmea_receiver.h"

namespace {
std::atomic<MatcherReset> g_matcherReset{nullptr};
}

void ResetMapMatcher() {
    if (MatcherReset reset = g_matcherReset.load())
        reset();
}

void SetMatcherReset(MatcherReset reset) {
    g_matcherReset.store(reset);
}

void ReceiverPositionServices::ResetMatcher() {
    ResetMapMatcher();
}

void ReceiverPositionServices::SaveLastPosition(const MapPoint* position) {
    if (!position) {
        receiver_.SaveLastPosition(nullptr);
        return;
    }
    const FLOAT point[2] = {position->latitude, position->longitude};
    receiver_.SaveLastPosition(point);
}

float ReceiverPositionServices::GetSpeedMph() {
    return receiver_.GetSpeed(FALSE);
}

TravelDirection ReceiverPositionServices::GetTravelDirection() {
    return kTravelUnknown;  // the travel direction comes with the map matcher
}
