// Drives along a road network for the matcher's tests and benchmark: positions one
// second apart along connected links, reported with seeded noise.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/discmaker/network.h"

namespace position_test {

// One fix of a drive: where the vehicle really is, on which network link, and the
// noisy position the receiver reports.
struct DriveFix {
    discmaker::LatLon truth;
    discmaker::LatLon reported;
    double headingDegrees = 0;
    uint32_t link = 0;
};

// A drive of at least `km` along connected links the town lets one drive (one-way
// streets forwards), straightest way at each node, one fix a second at the links'
// speeds, each reported up to `noiseMetres` off.
std::vector<DriveFix> MakeDrive(const discmaker::Network& town, double km, double noiseMetres,
                                uint32_t seed);

// Points along a polyline every `metres`, with the bearing of their segment.
std::vector<DriveFix> Resample(const std::vector<discmaker::LatLon>& line, double metres);

// Metres from a point to a network link's polyline.
double MetresFromLink(const discmaker::Network& town, uint32_t link, discmaker::LatLon point);

}  // namespace position_test
