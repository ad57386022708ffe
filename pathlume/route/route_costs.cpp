// The price of one search step: driving along link L into node P and leaving P by
// link A (the search runs backwards, so A was reached first). Single precision,
// except the turn-penalty polynomial, which is evaluated in double in the written
// order so that every method prices a turn the same on every build.
#include "pathlume/route/route_costs.h"

#include <cfloat>
#include <cmath>

#include "pathlume/mapdb/geodesy.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/route/router.h"

namespace {

constexpr uint32_t kClassMajorLow = 0x40;
constexpr uint32_t kClassMajor = 0x80;
constexpr uint32_t kClassMajorHigh = 0xC0;
constexpr uint32_t kClassCollector = 0x100;
constexpr uint32_t kClassLocal = 0x140;

uint32_t ClassOf(const MapLink* link) {
    return link->attributes & kAttrClassMask;
}

uint32_t SpeedOf(const MapLink* link) {
    return link->attributes & kAttrSpeedMask;
}

bool IsCarpool(const MapLink* link) {
    return (link->attributes & kAttrRoutableKinds) == kAttrKindCarpool;
}

// The kind penalty's test: L is avoided, of no routable kind, or routable and
// unrestricted while A is not.
bool TakesKindPenalty(const MapLink* L, const MapLink* A) {
    if (L->attributes & kAttrAvoidMark)
        return true;
    if (!(L->attributes & kAttrRoutableKinds))
        return true;
    if (L->attributes & kAttrRestricted)
        return false;
    return !A || !(A->attributes & kAttrRoutableKinds) || (A->attributes & kAttrRestricted);
}

// The speed table entry of a link: the override c, else (first link out of a
// junction) slow collector and local roads priced as categories 5 and 7, else the
// link's own category. Local Roads counts every class from local down as local.
FLOAT HoursPerDistance(const FLOAT* table, uint32_t c, bool withTurn, uint32_t cls, uint32_t speed,
                       uint32_t slowBelow, bool localAndBelow) {
    if (c < 8)
        return table[c];
    const bool local = localAndBelow ? cls >= kClassLocal : cls == kClassLocal;
    if (withTurn && cls == kClassCollector && speed < slowBelow)
        return table[5];
    if (withTurn && local && speed < slowBelow)
        return table[7];
    return table[speed];
}

}  // namespace

FLOAT ApproxBearing(FLOAT x, FLOAT y) {
    if (std::fabs(y) <= std::fabs(x)) {
        if (x > 0)
            return 45.0f * y / x;
        if (x == 0)
            return 0;
        FLOAT angle = 45.0f * y / x + 180.0f;
        if (angle >= 180.0f)
            angle -= 360.0f;
        return angle;
    }
    if (y > 0)
        return 90.0f - 45.0f * x / y;
    return -90.0f - 45.0f * x / y;
}

FLOAT TurnPenaltyUnits(FLOAT angle) {
    const double a = angle;
    double p;
    if (a < -135.0)
        p = 50.0 - 0.84 * a - 152.0;
    else if (a < -11.25)
        p = 12.0 - 0.1 * a - 13.1;
    else if (a < 33.75)
        p = 0;
    else if (a < 112.5)
        p = 0.06 * a - 2.1;
    else if (a < 146.25)
        p = 0.3 * a + 5.0 - 33.3;
    else if (a < 165.0)
        p = 0.8 * a + 15.0 - 117.0;
    else
        p = a + 30.0 - 165.0;
    return static_cast<FLOAT>(p);
}

CostPlace MakeCostPlace(const CRouter& router, const MapNode* P, uint32_t a, bool withTurn) {
    CostPlace place;
    place.P = P;
    place.a = a;
    place.A = a < P->SlotCapacity() ? P->Slots()[a] : nullptr;
    if (place.A && withTurn && router.routeAlgo != kRouteShortest) {
        const MapPoint pA = GetPointNextToNode(place.A, P);
        place.dAlat = pA.latitude - P->position.latitude;
        place.dAlon = pA.longitude - P->position.longitude;
    }
    place.restrictionCount = P->slotCount == MapNode::kSingleSlot ? 0 : P->NameLength();
    place.restrictions = place.restrictionCount ? const_cast<MapNode*>(P)->Name() : nullptr;
    place.insideLayer3 = withTurn && g_mapDatabase.layers[3].ContainsPoint(P->position.latitude,
                                                                           P->position.longitude);
    return place;
}

// Steps shared by both functions after the base is known; withTurn adds the speed
// rules of the first link out of a junction and the class-transition count.
static FLOAT FinishCost(const CRouter& router, const CostPlace& at, const MapLink* L, uint32_t n,
                        uint32_t mask, uint32_t c, FLOAT base, bool withTurn,
                        int32_t* classTransitions) {
    // Turn restriction: (slot in << 4 | slot out), driving direction; L is driven in.
    for (uint32_t k = 0; k < at.restrictionCount; ++k) {
        if ((at.restrictions[k] >> 4) == n && (at.restrictions[k] & 0x0F) == at.a)
            return FLT_MAX;
    }
    const uint32_t direction = L->attributes & kAttrDirectionMask;
    if (direction != kAttrDirectionMask && !(L->attributes & mask))
        return FLT_MAX;

    const FLOAT* table = router.speedTable;
    const uint32_t cls = ClassOf(L);
    const uint32_t speed = SpeedOf(L);
    FLOAT cost = base;
    switch (router.routeAlgo) {
        case kRouteShortest:
            break;
        case kRouteQuickest:
            cost = base * HoursPerDistance(table, c, withTurn, cls, speed, 3, false);
            if (cls == kClassCollector)
                cost *= 1.17f;
            else if (cls == kClassLocal)
                cost *= 1.27f;
            break;
        case kRouteMajorRoads:
            if (cls == kClassMajorLow || cls == kClassMajor)
                cost = base * 1.0f;
            else if (cls == kClassMajorHigh)
                cost = base * 1.5f;
            else if (cls == kClassCollector)
                cost = base * 2.0f;
            else
                cost = base * 5.0f;
            break;
        case kRouteLocalRoads:
            cost = base * HoursPerDistance(table, c, withTurn, cls, speed, 4, true);
            if (cls == kClassCollector)
                cost *= 1.17f;
            else if (cls == kClassMajorLow || cls == kClassMajor)
                cost *= 10.0f;
            else if (cls == kClassLocal)
                cost *= 1.27f;
            break;
        default:
            break;
    }
    if (cost >= FLT_MAX)
        return cost;

    const MapLink* A = at.A;
    if (TakesKindPenalty(L, A))
        cost += router.transitionPenalty;

    const uint32_t options = router.state;
    const bool excluded = (IsCarpool(L) && (options & kRouterCarpoolExcluded)) ||
                          ((L->attributes & kAttrToll) && (options & kRouterTollExcluded)) ||
                          ((L->attributes & kAttrFerry) && (options & kRouterFerriesExcluded));
    if (excluded)
        cost *= 10.0f;
    else if (IsCarpool(L))
        return cost * 0.8f;
    // Long routes keep to the major network: the search parks nodes far from the
    // start once the route has stepped on and off local roads often enough.
    if (withTurn && A && at.insideLayer3) {
        const uint32_t clsA = ClassOf(A);
        const bool leavesLocal = clsA == kClassLocal && cls < kClassLocal;
        const bool entersLocal = cls == kClassLocal && clsA < kClassLocal;
        if (excluded ? leavesLocal : entersLocal)
            ++*classTransitions;
    }
    return cost;
}

FLOAT CRouter::LinkCostAt(const CostPlace& at, const MapLink* L, uint32_t n, uint32_t m, uint32_t c,
                          bool u) const {
    FLOAT base = L->Length();
    if (n == at.a) {
        if (!u)
            return FLT_MAX;
        base += kThousandFeet;
    }
    return FinishCost(*this, at, L, n, m, c, base, false, nullptr);
}

FLOAT CRouter::LinkCostWithTurnAt(const CostPlace& at, const MapLink* L, FLOAT base, uint32_t n,
                                  uint32_t m, uint32_t c, bool u) {
    if (n == at.a) {
        if (!u)
            return FLT_MAX;
        base += kThousandFeet;
    } else if (routeAlgo != kRouteShortest && at.A) {
        const MapPoint pL = GetPointNextToNode(L, at.P);
        const FLOAT dLlat = pL.latitude - at.P->position.latitude;
        const FLOAT dLlon = pL.longitude - at.P->position.longitude;
        const FLOAT x = -(dLlon * at.dAlon + dLlat * at.dAlat);
        const FLOAT y = dLlon * at.dAlat - dLlat * at.dAlon;
        const FLOAT p = TurnPenaltyUnits(ApproxBearing(x, y));
        const uint32_t cls = ClassOf(L);
        const FLOAT unit = cls == kClassCollector ? 3.014e-6f
                           : cls == kClassLocal   ? 2.774e-6f
                                                  : 3.525e-6f;
        base += p * unit;
    }
    return FinishCost(*this, at, L, n, m, c, base, true, &classTransitions);
}

FLOAT CRouter::LinkCost(const MapLink* L, const MapNode* P, uint32_t a, uint32_t n, uint32_t m,
                        uint32_t c, bool u) const {
    return LinkCostAt(MakeCostPlace(*this, P, a, false), L, n, m, c, u);
}

FLOAT CRouter::LinkCostWithTurn(const MapLink* L, FLOAT base, const MapNode* P, uint32_t a,
                                uint32_t n, uint32_t m, uint32_t c, bool u) {
    return LinkCostWithTurnAt(MakeCostPlace(*this, P, a, true), L, base, n, m, c, u);
}

FLOAT CategorySpeed(const MapLink& link, bool metric) {
    const uint32_t category = link.attributes & kAttrSpeedMask;
    const double perHour = metric ? kCategorySpeedKmh[category] / kEarthRadiusKm
                                  : kCategorySpeedMph[category] / kEarthRadiusMiles;
    return static_cast<FLOAT>(perHour / 3600.0);
}

FLOAT ArrivalDistance(const MapLink& link, bool metric) {
    return 4 * CategorySpeed(link, metric);
}
