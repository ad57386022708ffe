#include "pathlume/mapdb/house_numbers.h"

#include <algorithm>
#include <cmath>

#include "pathlume/mapdb/geometry.h"

namespace li = formats::link_info;

namespace {

constexpr double kDegToRad = 0.017453292;

// The side's range when its numbers serve addresses (left kind 2, right kind 1).
bool UsableRange(const LinkInfoRecord& record, int side, li::HouseRange* range,
                 li::Parity* parity) {
    if (side == kSideLeft) {
        *range = record.left;
        *parity = li::LeftParity(record.addressWord);
        return li::LeftKind(record.addressWord) == li::kLeftRangeKind;
    }
    *range = record.right;
    *parity = li::RightParity(record.addressWord);
    return li::RightKind(record.addressWord) == li::kRightRangeKind;
}

bool ParityAdmits(li::Parity parity, int32_t number) {
    const bool even = number % 2 == 0;
    return parity == li::kParityBoth || (parity == li::kParityEven && even) ||
           (parity == li::kParityOdd && !even);
}

// Vertex v of the link's shape: -1 the from-node, `count` the to-node, else shape
// point v.
MapPoint Vertex(const MapLink& link, int32_t v, uint32_t count) {
    if (v < 0)
        return link.fromNode->position;
    if (static_cast<uint32_t>(v) >= count)
        return link.toNode->position;
    return link.shapePoints[v];
}

// The house number at distance d of a link of length `length`: from + k, k the
// share of the range (span / length x d) kept on from's parity, or rounded when the
// side has both parities.
int32_t NumberAtDistance(const li::HouseRange& range, li::Parity parity, double d, double length) {
    const int64_t span = int64_t{range.to} - range.from;
    // A link of length 0 has every number at its start.
    if (span == 0 || !(length > 0))
        return range.from;
    // Multiplied before dividing: half of a link gives exactly half of the span.
    const double x = static_cast<double>(span) * std::clamp(d, 0.0, length) / length;
    int64_t k;
    if (parity == li::kParityBoth) {
        k = std::llround(x);
    } else {
        k = static_cast<int64_t>(x);
        if (k % 2 != 0)
            k += k < 0 ? -1 : 1;
    }
    const int64_t low = std::min(range.from, range.to);
    const int64_t high = std::max(range.from, range.to);
    return static_cast<int32_t>(std::clamp(int64_t{range.from} + k, low, high));
}

}  // namespace

bool SideCarriesNumber(const LinkInfoRecord& record, int side, int32_t number) {
    li::HouseRange range;
    li::Parity parity;
    if (!UsableRange(record, side, &range, &parity) || !ParityAdmits(parity, number))
        return false;
    return number >= std::min(range.from, range.to) && number <= std::max(range.from, range.to);
}

int MatchHouseNumberOnLink(int32_t number, const LinkInfoRecord& record, int* side, int32_t place,
                           bool needRange) {
    *side = kSideEither;
    if (place > 0 && !record.HasPlace(place))
        return 0;
    if (number < 0)
        return 1;
    if (needRange && !(record.addressWord & (li::kLeftKindMask | li::kRightKindMask)))
        return -1;
    for (int candidate : {kSideLeft, kSideRight}) {
        if (SideCarriesNumber(record, candidate, number)) {
            *side = candidate;
            return 1;
        }
    }
    return 0;
}

int PositionForHouseNumber(const MapLink& link, int32_t number, int side, int32_t* shapeIndex,
                           MapPoint* point, int* exact) {
    LinkInfoRecord record;
    if (g_linkInfo.ReadRecord(link.linkId, record, false) != 0)
        return 1;
    return PositionForHouseNumber(link, record, number, side, shapeIndex, point, exact);
}

int PositionForHouseNumber(const MapLink& link, const LinkInfoRecord& record, int32_t number,
                           int side, int32_t* shapeIndex, MapPoint* point, int* exact) {
    const double c = std::cos(link.fromNode->position.latitude * kDegToRad);
    const double length = std::max(double{link.Length()}, 0.0);
    double t = length;
    bool single = false;
    if (number >= 0) {
        const li::HouseRange& range = side == kSideLeft ? record.left : record.right;
        if (range.to == range.from) {
            single = true;
        } else {
            // A number outside the range goes to the range's nearer end.
            const double share = (static_cast<double>(number) - range.from) /
                                 (static_cast<double>(range.to) - range.from);
            t = length * std::clamp(share, 0.0, 1.0);
        }
    }
    if (exact)
        *exact = single ? 1 : 0;

    const uint32_t count = link.GetShapePointCount();
    MapPoint start = link.fromNode->position;
    MapPoint end = link.toNode->position;
    double segmentLength = length;
    double remainder = t;
    if (count == 0) {
        *shapeIndex = -1;
    } else {
        double before = 0;
        uint32_t k = 0;
        for (;; ++k) {
            start = Vertex(link, static_cast<int32_t>(k) - 1, count);
            end = Vertex(link, static_cast<int32_t>(k), count);
            segmentLength = PointDistance(start, end, c);
            // Past the shape's end (its measured length is a little short of the
            // stored one) the last segment is taken.
            if (before + segmentLength >= t || k == count)
                break;
            before += segmentLength;
        }
        *shapeIndex = static_cast<int32_t>(k);
        remainder = t - before;
    }
    // A segment of length 0 has every point at its start; past its end is its end.
    const double fraction =
        segmentLength > 0 ? std::clamp(remainder / segmentLength, 0.0, 1.0) : 0.0;
    point->latitude =
        static_cast<FLOAT>(start.latitude + (end.latitude - start.latitude) * fraction);
    point->longitude =
        static_cast<FLOAT>(start.longitude + (end.longitude - start.longitude) * fraction);
    return 0;
}

int HouseNumbersAtPoint(const MapLink& link, int32_t shapeIndex, const MapPoint& point,
                        int32_t* left, int32_t* right) {
    *left = -1;
    *right = -1;
    LinkInfoRecord record;
    if (g_linkInfo.ReadRecord(link.linkId, record, false) != 0)
        return 1;
    return HouseNumbersAtPoint(link, record, shapeIndex, point, left, right);
}

int HouseNumbersAtPoint(const MapLink& link, const LinkInfoRecord& record, int32_t shapeIndex,
                        const MapPoint& point, int32_t* left, int32_t* right) {
    const double d = DistanceAlongLink(link, true, shapeIndex, point);
    const double length = link.Length();
    li::HouseRange range;
    li::Parity parity;
    *left = UsableRange(record, kSideLeft, &range, &parity)
                ? NumberAtDistance(range, parity, d, length)
                : -1;
    *right = UsableRange(record, kSideRight, &range, &parity)
                 ? NumberAtDistance(range, parity, d, length)
                 : -1;
    return 0;
}

FLOAT DistanceAlongLink(const MapLink& link, bool fromStart, int32_t shapeIndex,
                        const MapPoint& point) {
    const double c = std::cos(point.latitude * kDegToRad);
    const int32_t count = static_cast<int32_t>(link.GetShapePointCount());
    if (fromStart) {
        // An index past the shape (a link found again with fewer points) is held to it.
        const int32_t i = std::min(shapeIndex, count);
        if (i <= 0)
            return PointDistance(link.fromNode->position, point, c);
        return ShapeLength(link, true, i, c) + PointDistance(link.shapePoints[i - 1], point, c);
    }
    if (shapeIndex >= 0 && shapeIndex < count)
        return ShapeLength(link, false, shapeIndex, c) +
               PointDistance(link.shapePoints[shapeIndex], point, c);
    return PointDistance(link.toNode->position, point, c);
}

FLOAT ShapeLength(const MapLink& link, bool fromStart, int32_t index, double cosLat) {
    const uint32_t count = link.GetShapePointCount();
    const int32_t i = std::clamp<int32_t>(index, 0, static_cast<int32_t>(count));
    // From the start: vertices -1 .. i - 1; from the end: i .. count.
    const int32_t first = fromStart ? -1 : i;
    const int32_t last = fromStart ? i - 1 : static_cast<int32_t>(count);
    double sum = 0;
    for (int32_t v = first; v < last; ++v)
        sum += PointDistance(Vertex(link, v, count), Vertex(link, v + 1, count), cosLat);
    return static_cast<FLOAT>(sum);
}
