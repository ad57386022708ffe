// Drives along a road network for the matcher's tests and benchmark: positions one
// second apart along connected links, reported with seeded noise.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/discmaker/network.h"

namespace position_test {

// One fix of a drive: where the vehicle really is, on which network link, and the
// noisy position the receiver reports.
struct DriveFix {
    discmaker::LatLon truth;
    discmaker::LatLon reported;
    double headingDegrees = 0;
    double metresPerSecond = 0;
    uint32_t link = 0;
};

// A drive of at least `km` along connected links the town lets one drive (one-way
// streets forwards), straightest way at each node, one fix a second at the links'
// speeds, each reported up to `noiseMetres` off.
std::vector<DriveFix> MakeDrive(const discmaker::Network& town, double km, double noiseMetres,
                                uint32_t seed);

// The track points of a GPX file, in order.
std::vector<discmaker::LatLon> ReadGpxTrack(const std::filesystem::path& gpx);

// Points along a polyline every `metres`, with the bearing of their segment.
std::vector<DriveFix> Resample(const std::vector<discmaker::LatLon>& line, double metres);

// The drive as a receiver reports it, one second a fix from 12:00:00 UTC on
// 2026-12-10 plus firstSecond: a GGA (3D, 8 satellites, HDOP 0.9) and an RMC for
// each fix, with checksums and "\r\n".
std::string DriveAsNmea(const std::vector<DriveFix>& drive, int firstSecond = 0);
// One sentence: the body from '$' up to the checksum, which is added with "\r\n".
std::string NmeaSentence(const std::string& body);

// Metres from a point to a network link's polyline.
double MetresFromLink(const discmaker::Network& town, uint32_t link, discmaker::LatLon point);

}  // namespace position_test
