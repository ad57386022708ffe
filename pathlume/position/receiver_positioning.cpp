#include "pathlume/position/receiver_positioning.h"

#include "pathlume/foundation/app_services.h"
#include "pathlume/position/map_matcher.h"
#include "pathlume/position/nmea_receiver.h"
#include "pathlume/position/position_queue.h"
#include "pathlume/position/travel_direction.h"
#include "platform/kernel/sync.h"

int ReceiverPositioningServices::GetFixQuality() {
    return receiver_.GetFixQuality();
}

FLOAT ReceiverPositioningServices::GetSpeed(int metric) {
    return receiver_.GetSpeed(metric);
}

void ReceiverPositioningServices::ClearFix() {
    receiver_.ClearFix();
}

BOOL ReceiverPositioningServices::IsOpenInProgress() {
    return receiver_.IsOpenInProgress();
}

void ReceiverPositioningServices::SetPaused(int run) {
    receiver_.SetPaused(run);
}

BOOL ReceiverPositioningServices::IsFixValid() {
    return receiver_.GetFix().valid;
}

int ReceiverPositioningServices::GetSatellitesUsed() {
    return receiver_.GetFix().satellitesUsed;
}

FLOAT ReceiverPositioningServices::GetHeading() {
    return receiver_.GetFix().headingDegrees;
}

FLOAT ReceiverPositioningServices::GetFixLatitude() {
    return receiver_.GetFix().latitude;
}

void ReceiverPositioningServices::ResetMatcher(int keep) {
    g_mapMatcher.Reset(keep);
}

int ReceiverPositioningServices::SnapWithTimeout(DWORD budgetMs, int) {
    return g_mapMatcher.SnapWithTimeout(budgetMs);
}

TravelDirection ReceiverPositioningServices::UpdateTravelDirection() {
    g_travelDirection.Update();
    return g_travelDirection.state;
}

int ReceiverPositioningServices::GetQueueCount() {
    return g_positionQueue.Count();
}

BOOL ReceiverPositioningServices::IsInputSuspended() {
    IMainView* view = g_mainView.load();
    return view && view->IsSuspended();
}

BOOL ReceiverPositioningServices::IsFixEstimated() {
    return receiver_.GetFix().estimated;
}

void ReceiverPositioningServices::StopReplay() {
    SetEvent(receiver_.StopEvent());
}
