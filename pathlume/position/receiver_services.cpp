#include "pathlume/position/receiver_services.h"

#include "pathlume/mapdb/map_records.h"
#include "pathlume/position/map_matcher.h"
#include "pathlume/position/nmea_receiver.h"
#include "pathlume/position/travel_direction.h"

void ResetMapMatcher() {
    g_mapMatcher.Reset(0);
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
    return g_travelDirection.state;
}

bool ReceiverPositionServices::HasHypothesisLink(const MapLink* link) {
    return g_mapMatcher.HasHypothesisLink(link) != 0;
}

void ReceiverPositionServices::ReplaceLastHypothesisLink(MapLink* link) {
    g_mapMatcher.ReplaceLastHypothesisLink(link);
}
