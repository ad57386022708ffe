// Places of the built-in town for the end-to-end runs: its streets, their middles,
// distances between places, and a place as the programs' controls write it.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/discmaker/town.h"

namespace programs_test {

inline double Metres(const discmaker::LatLon& a, const discmaker::LatLon& b) {
    const double k = 111320.0;
    const double dy = (a.lat - b.lat) * k;
    const double dx = (a.lon - b.lon) * k * std::cos(a.lat * M_PI / 180.0);
    return std::hypot(dx, dy);
}

inline discmaker::LatLon Middle(const discmaker::Network& town, const discmaker::Link& link) {
    const discmaker::LatLon a = town.nodes[link.from].position;
    const discmaker::LatLon b = town.nodes[link.to].position;
    return {(a.lat + b.lat) / 2, (a.lon + b.lon) / 2};
}

// "LAT,LON" with six decimals.
inline std::string Position(const discmaker::LatLon& p) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f,%.6f", p.lat, p.lon);
    return text;
}

// The town's links of street class, in link order.
inline std::vector<const discmaker::Link*> TownStreets(const discmaker::Network& town) {
    std::vector<const discmaker::Link*> streets;
    for (const discmaker::Link& link : town.links)
        if (link.roadClass == discmaker::RoadClass::Street)
            streets.push_back(&link);
    return streets;
}

// Where the end-to-end runs put the car: the middle of the street a third into the
// town's streets.
inline discmaker::LatLon CarPlace(const discmaker::Network& town) {
    const std::vector<const discmaker::Link*> streets = TownStreets(town);
    return streets.empty() ? discmaker::LatLon{} : Middle(town, *streets[streets.size() / 3]);
}

// The middle of the last street in link order about `metres` (within 200 m of that)
// from the place; the place itself when there is none.
inline discmaker::LatLon StreetAbout(const discmaker::Network& town, const discmaker::LatLon& from,
                                     double metres) {
    discmaker::LatLon found = from;
    for (const discmaker::Link* link : TownStreets(town))
        if (std::abs(Metres(from, Middle(town, *link)) - metres) < 200)
            found = Middle(town, *link);
    return found;
}

}  // namespace programs_test
