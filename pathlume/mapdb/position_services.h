// What the map database asks of positioning, which implements this interface and
// installs itself: the map matcher's reset, the saved last position, the speed and
// the travel direction. The geocoder and the street texts need them; positioning
// in turn calls the map database, so it is kept as this small interface. Until
// positioning is installed a default does nothing and answers 0.
#pragma once

#include <cstdint>

struct MapLink;
struct MapPoint;

// The travel direction on the matched link, as the street texts read it.
enum TravelDirection : int {
    kTravelUnknown = 0,
    kTravelBackward = 1,  // against the link's shape, to-node towards from-node
    kTravelForward = 2,   // along the link's shape, from-node towards to-node
};

class IPositionServices {
  public:
    // Forgets the map matcher's hypotheses, keeping no links.
    virtual void ResetMatcher() = 0;
    // Saves the position as the receiver's last one; null saves the current fix.
    virtual void SaveLastPosition(const MapPoint* position) = 0;
    virtual float GetSpeedMph() = 0;
    virtual TravelDirection GetTravelDirection() = 0;
    // Whether a hypothesis of the map matcher names that very link, and, after a
    // reload moved the matched location to another copy of its link, the matcher's
    // last hypothesis follows it. Without a matcher: no, and nothing.
    virtual bool HasHypothesisLink(const MapLink* link) {
        (void)link;
        return false;
    }
    virtual void ReplaceLastHypothesisLink(MapLink* link) { (void)link; }

  protected:
    ~IPositionServices() = default;
};

// Positioning in use: the default until one is installed (null goes back to it).
IPositionServices& GetPositionServices();
void SetPositionServices(IPositionServices* position);
