#include "pathlume/display/receiver_map_vehicle.h"

#include <memory>

#include "pathlume/position/fix_delivery.h"
#include "pathlume/position/map_matcher.h"
#include "pathlume/position/nmea_receiver.h"
#include "pathlume/position/position_queue.h"
#include "platform/user/user.h"

namespace {

// lParam of the view's own new-position message.
constexpr LPARAM kMapViewPositionPost = static_cast<LPARAM>(0x80000003u);

}  // namespace

VehicleFix CReceiverMapVehicle::GetFix() {
    const GpsFix fix = receiver_.GetFix();
    VehicleFix vehicle;
    vehicle.longitude = fix.longitude;
    vehicle.latitude = fix.latitude;
    vehicle.heading = fix.headingDegrees;
    vehicle.valid = fix.valid;
    return vehicle;
}

void CReceiverMapVehicle::ClearFixValid() {
    receiver_.UpdateFix([](GpsFix& fix) { fix.valid = false; });
}

void CReceiverMapVehicle::SetPosition(float longitude, float latitude) {
    receiver_.UpdateFix([&](GpsFix& fix) {
        fix.longitude = longitude;
        fix.latitude = latitude;
    });
}

void CReceiverMapVehicle::LoadLastPosition() {
    receiver_.LoadLastPosition();
}

void CReceiverMapVehicle::PushPosition() {
    const GpsFix fix = receiver_.GetFix();
    g_positionQueue.Push({fix.latitude, fix.longitude, fix.headingDegrees});
}

void CReceiverMapVehicle::Snap(int run, int reset, uint32_t flags) {
    g_mapMatcher.Snap(run, reset, flags);
}

int CReceiverMapVehicle::SnapWithTimeout(uint32_t budgetMs) {
    return g_mapMatcher.SnapWithTimeout(budgetMs);
}

void CReceiverMapVehicle::PostPosition() {
    IMainView* view = g_mainView.load();
    const HWND window = view ? view->GetViewWindow() : nullptr;
    if (window && IsWindow(window))
        PostNewFixMessage(window, kMapViewPositionPost);
}

namespace {
std::unique_ptr<CReceiverMapVehicle> g_receiverMapVehicle;
}  // namespace

void InstallReceiverMapVehicle(CNmeaReceiver* receiver) {
    // The view reads the new adapter before the old one goes.
    std::unique_ptr<CReceiverMapVehicle> next;
    if (receiver)
        next = std::make_unique<CReceiverMapVehicle>(*receiver);
    SetMapVehicle(next.get());
    g_receiverMapVehicle = std::move(next);
}
