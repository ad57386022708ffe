#include "tests/position/drives.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <numbers>
#include <random>
#include <regex>
#include <sstream>

namespace position_test {

namespace {

constexpr double kMetresPerDegree = 6370973.27862 * std::numbers::pi / 180.0;

struct Flat {
    double x, y;
};

Flat ToFlat(discmaker::LatLon p, double cosLat) {
    return {p.lon * cosLat * kMetresPerDegree, p.lat * kMetresPerDegree};
}

double BearingDegrees(discmaker::LatLon a, discmaker::LatLon b) {
    const double c = std::cos(a.lat * std::numbers::pi / 180.0);
    const double angle = std::atan2((b.lon - a.lon) * c, b.lat - a.lat) * 180.0 / std::numbers::pi;
    return angle < 0 ? angle + 360.0 : angle;
}

double Metres(discmaker::LatLon a, discmaker::LatLon b) {
    const double c = std::cos(a.lat * std::numbers::pi / 180.0);
    const Flat fa = ToFlat(a, c), fb = ToFlat(b, c);
    return std::hypot(fa.x - fb.x, fa.y - fb.y);
}

}  // namespace

double MetresFromLink(const discmaker::Network& town, uint32_t link, discmaker::LatLon point) {
    const std::vector<discmaker::LatLon> points = town.LinkPoints(link);
    const double c = std::cos(point.lat * std::numbers::pi / 180.0);
    const Flat p = ToFlat(point, c);
    double best = 1e30;
    for (size_t i = 0; i + 1 < points.size(); ++i) {
        const Flat a = ToFlat(points[i], c), b = ToFlat(points[i + 1], c);
        const double dx = b.x - a.x, dy = b.y - a.y;
        const double length2 = dx * dx + dy * dy;
        double t = length2 > 0 ? ((p.x - a.x) * dx + (p.y - a.y) * dy) / length2 : 0;
        t = std::clamp(t, 0.0, 1.0);
        best = std::min(best, std::hypot(a.x + t * dx - p.x, a.y + t * dy - p.y));
    }
    return best;
}

std::vector<DriveFix> MakeDrive(const discmaker::Network& town, double km, double noiseMetres,
                                uint32_t seed) {
    // Links leaving each node in a direction one may drive: (link, forwards).
    std::multimap<uint32_t, std::pair<uint32_t, bool>> leaving;
    for (uint32_t i = 0; i < town.links.size(); ++i) {
        const discmaker::Link& l = town.links[i];
        if (l.direction != discmaker::Direction::Backward)
            leaving.insert({l.from, {i, true}});
        if (l.direction != discmaker::Direction::Forward)
            leaving.insert({l.to, {i, false}});
    }
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    // Start on a two-way street of the detailed network, near the town's middle.
    uint32_t link = 0;
    for (uint32_t i = 0; i < town.links.size(); ++i) {
        if (town.links[i].roadClass == discmaker::RoadClass::Street &&
            town.links[i].direction == discmaker::Direction::Both && town.LinkLengthKm(i) > 0.1) {
            link = i;
            if (unit(random) < 0.05)
                break;
        }
    }
    bool forwards = true;
    std::vector<DriveFix> drive;
    std::map<uint32_t, int> used;
    double driven = 0, carried = 0;
    while (driven < km * 1000.0) {
        std::vector<discmaker::LatLon> points = town.LinkPoints(link);
        if (!forwards)
            std::reverse(points.begin(), points.end());
        const double speed = town.links[link].Speed() / 3.6;  // m/s
        // Positions one second apart along the link, carrying the remainder over.
        double at = carried;
        for (size_t i = 0; i + 1 < points.size(); ++i) {
            const double length = Metres(points[i], points[i + 1]);
            while (at <= length) {
                const double t = length > 0 ? at / length : 0;
                DriveFix fix;
                fix.truth = {points[i].lat + t * (points[i + 1].lat - points[i].lat),
                             points[i].lon + t * (points[i + 1].lon - points[i].lon)};
                const double r = noiseMetres * unit(random);
                const double angle = 2 * std::numbers::pi * unit(random);
                const double c = std::cos(fix.truth.lat * std::numbers::pi / 180.0);
                fix.reported = {fix.truth.lat + r * std::cos(angle) / kMetresPerDegree,
                                fix.truth.lon + r * std::sin(angle) / (kMetresPerDegree * c)};
                fix.headingDegrees = BearingDegrees(points[i], points[i + 1]);
                fix.metresPerSecond = speed;
                fix.link = link;
                drive.push_back(fix);
                at += speed;
            }
            at -= length;
            driven += length;
        }
        carried = at;
        ++used[link];
        // The straightest way on, least used first; a dead end turns round.
        const uint32_t node = forwards ? town.links[link].to : town.links[link].from;
        const double inBearing = BearingDegrees(points[points.size() - 2], points.back());
        double bestCost = 1e30;
        std::pair<uint32_t, bool> next{link, !forwards};
        for (auto [it, end] = leaving.equal_range(node); it != end; ++it) {
            if (it->second.first == link)
                continue;
            std::vector<discmaker::LatLon> p = town.LinkPoints(it->second.first);
            if (!it->second.second)
                std::reverse(p.begin(), p.end());
            double turn = std::fabs(BearingDegrees(p[0], p[1]) - inBearing);
            turn = std::min(turn, 360.0 - turn);
            const double cost = turn + 90.0 * used[it->second.first];
            if (cost < bestCost) {
                bestCost = cost;
                next = it->second;
            }
        }
        link = next.first;
        forwards = next.second;
    }
    return drive;
}

std::vector<discmaker::LatLon> ReadGpxTrack(const std::filesystem::path& gpx) {
    std::ifstream in(gpx);
    std::stringstream text;
    text << in.rdbuf();
    const std::string body = text.str();
    const std::regex point(R"re(<trkpt lat="([-0-9.]+)" lon="([-0-9.]+)")re");
    std::vector<discmaker::LatLon> line;
    for (auto it = std::sregex_iterator(body.begin(), body.end(), point);
         it != std::sregex_iterator(); ++it)
        line.push_back({std::stod((*it)[1]), std::stod((*it)[2])});
    return line;
}

std::vector<DriveFix> Resample(const std::vector<discmaker::LatLon>& line, double metres) {
    std::vector<DriveFix> fixes;
    double at = 0;
    for (size_t i = 0; i + 1 < line.size(); ++i) {
        const double length = Metres(line[i], line[i + 1]);
        for (; at <= length; at += metres) {
            const double t = length > 0 ? at / length : 0;
            DriveFix fix;
            fix.truth = {line[i].lat + t * (line[i + 1].lat - line[i].lat),
                         line[i].lon + t * (line[i + 1].lon - line[i].lon)};
            fix.reported = fix.truth;
            fix.headingDegrees = BearingDegrees(line[i], line[i + 1]);
            fix.metresPerSecond = metres;
            fixes.push_back(fix);
        }
        at -= length;
    }
    return fixes;
}

std::string NmeaSentence(const std::string& body) {
    unsigned sum = 0;
    for (size_t i = 1; i < body.size(); ++i)
        sum ^= static_cast<unsigned char>(body[i]);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return body + tail;
}

namespace {

// "ddmm.mmmm,N" or "dddmm.mmmm,E" and their southern and western forms.
std::string NmeaCoordinate(double degrees, int degreeDigits, char positive, char negative) {
    const char hemisphere = degrees < 0 ? negative : positive;
    degrees = std::fabs(degrees);
    int whole = static_cast<int>(degrees);
    double minutes = (degrees - whole) * 60;
    if (minutes >= 59.99995) {  // would print as 60.0000
        ++whole;
        minutes = 0;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%0*d%07.4f,%c", degreeDigits, whole, minutes, hemisphere);
    return text;
}

}  // namespace

std::string DriveAsNmea(const std::vector<DriveFix>& drive, int firstSecond) {
    std::string nmea;
    for (size_t i = 0; i < drive.size(); ++i) {
        const DriveFix& f = drive[i];
        const long second = 12 * 3600 + firstSecond + static_cast<long>(i);
        char time[16];
        std::snprintf(time, sizeof time, "%02ld%02ld%02ld", second / 3600 % 24, second / 60 % 60,
                      second % 60);
        const std::string where = NmeaCoordinate(f.reported.lat, 2, 'N', 'S') + "," +
                                  NmeaCoordinate(f.reported.lon, 3, 'E', 'W');
        char rest[64];
        std::snprintf(rest, sizeof rest, ",%.1f,%.1f,101226,,", f.metresPerSecond * 1.943844,
                      f.headingDegrees);
        nmea += NmeaSentence("$GPGGA," + std::string(time) + "," + where + ",1,08,0.9,100,M,0,M,,");
        nmea += NmeaSentence("$GPRMC," + std::string(time) + ",A," + where + rest);
    }
    return nmea;
}

}  // namespace position_test
