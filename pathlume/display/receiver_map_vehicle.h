// The map view's IMapVehicle over the program's receiver, the position queue and the
// map matcher: the fix the view draws and centres on, and the matching it asks for
// when it loads its maps and while it redraws.
#pragma once

#include "pathlume/display/map_interfaces.h"

class CNmeaReceiver;

class CReceiverMapVehicle final : public IMapVehicle {
  public:
    explicit CReceiverMapVehicle(CNmeaReceiver& receiver) : receiver_(receiver) {}

    VehicleFix GetFix() override;
    // Only the valid flag: the position stays where the view put it.
    void ClearFixValid() override;
    void SetPosition(float longitude, float latitude) override;
    void LoadLastPosition() override;
    // Queues the receiver's position and heading for the matcher.
    void PushPosition() override;
    void Snap(int run, int reset, uint32_t flags) override;
    int SnapWithTimeout(uint32_t budgetMs) override;
    void PostPosition() override;

  private:
    CNmeaReceiver& receiver_;
};

// Makes the map view read this receiver (the one the main view creates, at its
// creation); null goes back to no vehicle, before the receiver is deleted. The
// adapter lives until the next call.
void InstallReceiverMapVehicle(CNmeaReceiver* receiver);
