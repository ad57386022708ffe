#include "tools/geocode/geocode.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>

#include "formats/names.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/area_zone_file.h"
#include "pathlume/mapdb/geocoder.h"
#include "pathlume/mapdb/house_numbers.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/map_index_files.h"
#include "pathlume/mapdb/place_queries.h"
#include "pathlume/mapdb/street_texts.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/paths.h"
#include "platform/kernel/text.h"
#include "tools/mapstat/mapstat.h"

namespace geocode {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;
using Clock = std::chrono::steady_clock;

namespace {

// Degrees of latitude to metres (364,811.22 ft a degree).
constexpr double kMetresPerDegree = 364811.22 * 0.3048;
// The layer the program loads around a place it routes to.
constexpr int kRouteLayer = 3;

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A message of the string table on one line.
std::string MessageText(unsigned id) {
    std::string text = platform::WideToUtf8(LoadResStringOr(id, u""));
    std::string line;
    for (const char c : text) {
        if (c == '\r' || c == '\n') {
            if (!line.empty() && line.back() != ' ')
                line.push_back(' ');
        } else {
            line.push_back(c);
        }
    }
    return Trim(line);
}

// Map names are single-byte Latin-1; the output is UTF-8.
std::string Utf8(const std::string& latin1) {
    std::u16string wide;
    for (const char c : latin1)
        wide.push_back(static_cast<unsigned char>(c));
    return platform::WideToUtf8(wide);
}

// The index files stay open for one run.
struct IndexFilesScope {
    IndexFilesScope() { OpenMapIndexFiles(); }
    ~IndexFilesScope() { CloseMapIndexFiles(); }
    IndexFilesScope(const IndexFilesScope&) = delete;
    IndexFilesScope& operator=(const IndexFilesScope&) = delete;
};

std::string PlaceText(int32_t linkId, int side) {
    LinkInfoRecord record;
    if (g_linkInfo.ReadRecord(linkId, record, false) != 0)
        return {};
    char place[kPlaceTextSize];
    g_areaZones.FormatPlaceText(record, place, sizeof place, side == 0 ? kSideLeft : side, true);
    return Utf8(place);
}

std::string StreetText(const MapLink& link, bool withRange) {
    char street[kStreetTextSize];
    GetLinkStreetName(g_linkInfo, link.linkId, link.attributes, 0, street, sizeof street,
                      withRange);
    return Utf8(street);
}

void Forward(CMapDatabase& db, Answer& answer) {
    const std::optional<std::vector<std::string>> parts = SplitAddress(answer.query.text);
    std::vector<std::string> named;
    for (const std::string& part : *parts)
        named.push_back(formats::names::ToNameText(part, formats::names::kMaxWrittenNameLength));
    if (named.size() < 3)
        named.push_back("");
    const AddressSearch search =
        FindAddress(named[0].c_str(), named[1].c_str(), named[2].c_str(), "");
    answer.houseText = search.houseText;
    answer.street = Utf8(search.street);
    answer.direction = search.direction;
    answer.typeText = Utf8(search.typeText.empty() ? search.typeWord : search.typeText);
    char area[kPlaceTextSize] = "";
    g_areaZones.FormatAreaName(static_cast<size_t>(search.areaIndex), area, sizeof area);
    answer.area = Utf8(area);
    std::string city;
    int32_t parent = 0;
    if (search.city != 0 && g_areaZones.ReadPlace(search.city, city, parent))
        answer.city = Utf8(city);
    answer.result = AddressResultText(search.result);
    if (search.result != AddressResult::kFound) {
        answer.message = MessageText(search.messageId);
        return;
    }
    for (const AddressCandidate& candidate : search.candidates) {
        ResolvedAddress place;
        // A record whose link is not on the map is no place to go to.
        if (ResolveAddressHit(db, candidate, search.houseNumber, kRouteLayer, place) != 0)
            continue;
        Candidate out;
        out.link = candidate.recordOffset;
        out.side = candidate.side;
        out.latitude = place.point.latitude;
        out.longitude = place.point.longitude;
        out.street = StreetText(*place.link, true);
        out.place = PlaceText(candidate.recordOffset, candidate.side);
        answer.candidates.push_back(std::move(out));
    }
    if (answer.candidates.empty()) {
        answer.result = AddressResultText(AddressResult::kNotFound);
        answer.message = MessageText(kMsgAddressNotFound);
    }
}

void Reverse(CMapDatabase& db, Answer& answer) {
    const MapPoint point{static_cast<FLOAT>(answer.query.latitude),
                         static_cast<FLOAT>(answer.query.longitude)};
    const NearestLink nearest = FindNearestLinkAt(db, kRouteLayer, point, 0, 0);
    if (!nearest.nearest) {
        answer.result = AddressResultText(AddressResult::kNotFound);
        return;
    }
    const MapLink& link = *nearest.nearest;
    answer.result = AddressResultText(AddressResult::kFound);
    answer.link = link.linkId;
    answer.distanceMetres = nearest.distanceDegrees * kMetresPerDegree;
    answer.street = StreetText(link, false);
    answer.range = StreetText(link, true);
    HouseNumbersAtPoint(link, nearest.segment, nearest.point, &answer.left, &answer.right);
    answer.city = PlaceText(link.linkId, kSideLeft);
    answer.latitude = nearest.point.latitude;
    answer.longitude = nearest.point.longitude;
}

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

const char* SideText(int side) {
    return side == kSideLeft ? "left" : side == kSideRight ? "right" : "either";
}

std::string Degrees(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

double Rounded(double value, int decimals) {
    const double scale = std::pow(10.0, decimals);
    return std::round(value * scale) / scale;
}

}  // namespace

std::optional<std::vector<std::string>> SplitAddress(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        parts.push_back(Trim(text.substr(start, comma - start)));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    if (parts.size() < 2 || parts.size() > 3 || parts[0].empty() || parts[1].empty())
        return std::nullopt;
    return parts;
}

Report Run(const fs::path& folder, const std::vector<Query>& queries) {
    Report report;
    mapstat::DatabaseScope scope(folder);
    const Clock::time_point opening = Clock::now();
    auto db = std::make_unique<CMapDatabase>();
    if (db->Open() != 0) {
        throw MapError(folder.string() + ": the map database cannot open the files" +
                       (scope.FirstBox().empty() ? "" : " (" + Trim(scope.FirstBox()) + ")"));
    }
    const IndexFilesScope indexFiles;
    report.openMs = Milliseconds(Clock::now() - opening);

    double total = 0;
    for (const Query& query : queries) {
        Answer answer;
        answer.query = query;
        const Clock::time_point start = Clock::now();
        if (query.reverse)
            Reverse(*db, answer);
        else
            Forward(*db, answer);
        const double ms = Milliseconds(Clock::now() - start);
        total += ms;
        if (report.answers.size() > 0)
            report.msPerQueryAfterFirst += ms;
        report.found += answer.Found() ? 1 : 0;
        report.answers.push_back(std::move(answer));
    }
    if (!queries.empty())
        report.msPerQuery = total / static_cast<double>(queries.size());
    if (queries.size() > 1)
        report.msPerQueryAfterFirst /= static_cast<double>(queries.size() - 1);
    return report;
}

std::string FiguresLine(const Report& report) {
    char line[160];
    std::snprintf(line, sizeof line,
                  "queries %zu, found %zu, %.3f ms per query, map opened in %.1f ms",
                  report.answers.size(), report.found, report.msPerQuery, report.openMs);
    return line;
}

void PrintText(const Report& report, std::ostream& out) {
    for (const Answer& a : report.answers) {
        out << a.query.text << "\n";
        if (a.query.reverse) {
            if (!a.Found()) {
                out << "  not found: no road within 2,500 ft\n";
                continue;
            }
            out << "  link " << a.link << ", " << Rounded(a.distanceMetres, 1) << " m: " << a.range
                << "\n  numbers left " << a.left << ", right " << a.right << "\n  place " << a.city
                << "\n  at " << Degrees(a.latitude) << " " << Degrees(a.longitude) << "\n";
            continue;
        }
        out << "  house " << (a.houseText.empty() ? "-" : a.houseText) << ", street " << a.street
            << ", direction " << (a.direction.empty() ? "-" : a.direction) << ", type "
            << (a.typeText.empty() ? "-" : a.typeText) << "\n  area " << a.area << ", city "
            << (a.city.empty() ? "-" : a.city) << "\n";
        if (!a.Found()) {
            out << "  " << a.result << ": " << a.message << "\n";
            continue;
        }
        for (const Candidate& c : a.candidates) {
            out << "  " << Degrees(c.latitude) << " " << Degrees(c.longitude) << " link " << c.link
                << " " << SideText(c.side) << ": " << c.street << "; " << c.place << "\n";
        }
    }
    out << FiguresLine(report) << "\n";
}

void PrintJson(const Report& report, std::ostream& out) {
    Json queries = Json::array();
    for (const Answer& a : report.answers) {
        Json q;
        q["query"] = a.query.text;
        q["result"] = a.result;
        if (a.query.reverse) {
            if (a.Found()) {
                q["link"] = a.link;
                q["distance_m"] = Rounded(a.distanceMetres, 1);
                q["street"] = a.street;
                q["range"] = a.range;
                q["left"] = a.left;
                q["right"] = a.right;
                q["place"] = a.city;
                q["lat"] = Rounded(a.latitude, 6);
                q["lon"] = Rounded(a.longitude, 6);
            }
        } else {
            q["house"] = a.houseText;
            q["street"] = a.street;
            q["direction"] = a.direction;
            q["type"] = a.typeText;
            q["area"] = a.area;
            q["city"] = a.city;
            if (!a.Found())
                q["message"] = a.message;
            Json candidates = Json::array();
            for (const Candidate& c : a.candidates) {
                candidates.push_back({{"link", c.link},
                                      {"side", c.side},
                                      {"lat", Rounded(c.latitude, 6)},
                                      {"lon", Rounded(c.longitude, 6)},
                                      {"street", c.street},
                                      {"place", c.place}});
            }
            q["candidates"] = std::move(candidates);
        }
        queries.push_back(std::move(q));
    }
    Json figures{{"queries", report.answers.size()},
                 {"found", report.found},
                 {"ms_per_query", Rounded(report.msPerQuery, 3)},
                 {"ms_per_query_after_first", Rounded(report.msPerQueryAfterFirst, 3)},
                 {"map_open_ms", Rounded(report.openMs, 1)}};
    Json all{{"queries", std::move(queries)}, {"figures", std::move(figures)}};
    out << all.dump(2) << "\n";
}

}  // namespace geocode
