#include "pathlume/position/map_matcher.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/geometry.h"
#include "pathlume/mapdb/link_iterator.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/router_services.h"
#include "pathlume/mapdb/spatial_queries.h"
#include "pathlume/position/fix_source.h"
#include "pathlume/position/travel_direction.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/msgbox.h"

CMapMatcher g_mapMatcher;

namespace {

constexpr double kDegreesToRadians = 0.017453292;
constexpr FLOAT kJumpRadians = 8.9703719511369e-5f;       // 1,875 ft
constexpr FLOAT kAreaSpan = 0.013705718918988922f;        // 5,000 ft
constexpr FLOAT kSearchHalfSpan = 0.006852859459494461f;  // 2,500 ft
constexpr FLOAT kOneWayPenalty = 10.0f;
constexpr FLOAT kFreshSkipBelow = 1.0e-8f;
constexpr FLOAT kTrackScoreLimit = 1.0e-6f;
constexpr uint32_t kNoLinkSegment = 0xFFFFFFFF;
constexpr uint32_t kMatcherMark = 1u << 26;  // attribute bit: "already held" during an update
constexpr uint32_t kAttrRouteAdjust = 1u << 20;
constexpr uint32_t kOptions2SnapWarning = 0x80000000;
constexpr uint32_t kTagMatcher = 2;

bool IsDearKind(const MapLink& l) {
    return (l.attributes & 0xA00) == 0x800;
}

bool IsCounted(const MapLink* l) {
    return l && (l->flags & kLinkCounted);
}

FLOAT Squared(FLOAT x, FLOAT y) {
    return x * x + y * y;
}

}  // namespace

struct CMapMatcher::Candidate {
    FLOAT score = FLT_MAX;
    MapLink* link = nullptr;
    FLOAT footX = 0, footY = 0;
    FLOAT cross = 0;
    int32_t source = 0;
    uint32_t segment = kNoLinkSegment;
};

struct CMapMatcher::Pass {
    Candidate list[kMaxHypotheses];
    int count = 0;
    bool found = false;
    FLOAT x = 0, y = 0, cosLat = 1;
    bool scored = false;  // tracking scored a candidate link
    bool routeOption = false;

    Candidate& Best() { return list[count - 1]; }
    // Puts a fresh-search candidate into its ranked place (best last).
    void Rank(const Candidate& c) {
        if (!(c.score < list[0].score))
            return;
        int p = 0;
        while (p + 1 < count && c.score < list[p + 1].score) {
            list[p] = list[p + 1];
            ++p;
        }
        list[p] = c;
        if (p == count - 1)
            found = true;
    }
};

CMapMatcher::CMapMatcher() {
    // The registry is read by LoadSettings once the device root is chosen; a static
    // constructor runs before that.
    Configure([](LPCWSTR, DWORD fallback) { return fallback; });
}

void CMapMatcher::LoadSettings() {
    Configure([](LPCWSTR name, DWORD fallback) {
        return RegGetDword(HKEY_CURRENT_USER, kSettingsKey, name, fallback);
    });
}

void CMapMatcher::Configure(DWORD (*value)(LPCWSTR name, DWORD fallback)) {
    angleWeight = static_cast<FLOAT>(value(u"AngleWeight", 50)) * 0.1f;
    instWeight = static_cast<FLOAT>(value(u"AngleInstWeight", 0)) * 0.1f;
    const auto wanted = static_cast<int32_t>(value(u"NumDist", kMaxHypotheses));
    const int32_t used = std::clamp(wanted, 1, kMaxHypotheses);
    // Slots beyond a smaller count must not keep links no pass looks at.
    if (used < numDist)
        ReleaseHypothesisLinks();
    numDist = used;
    const DWORD numerator = value(u"ErrNormNumerator", 1);
    DWORD denominator = value(u"ErrNormDenominator", 5);
    // A zero denominator would make the bias share infinite: take the default.
    if (denominator == 0)
        denominator = 5;
    ratio = static_cast<FLOAT>(numerator) / static_cast<FLOAT>(denominator);
    const DWORD betaPct = value(u"ErrBetaAdjPct", 9);
    beta = (1.0f - ratio) / (1.0f + static_cast<FLOAT>(betaPct) * 0.01f);
    routeAllowance =
        static_cast<FLOAT>(static_cast<int32_t>(value(u"RouteAllowance", 500))) * 2.7411436e-6f;
    numPathsChecked = static_cast<int32_t>(value(u"NumPathsCheckedforRoute", 10));
    maxRouteAdjDist =
        static_cast<FLOAT>(static_cast<int32_t>(value(u"MaxRouteAdjDist", 150))) * 4.7841983e-8f;
    routeAdjOnlyHwy = static_cast<int32_t>(value(u"RouteAdjOnlyHwy", 1));
    pointX = pointY = lastFixX = lastFixY = 0;
}

FLOAT CMapMatcher::ScoreSegment(FLOAT x1, FLOAT y1, FLOAT x2, FLOAT y2, FLOAT* outFootX,
                                FLOAT* outFootY) {
    const FLOAT dx = x2 - x1;
    const FLOAT dy = y2 - y1;
    const FLOAT length2 = dx * dx + dy * dy;
    const FLOAT along = moveY * dy + moveX * dx;
    // A segment of no length has no direction: all of the movement lies across it
    // (dividing by its length would give NaN and poison every comparison).
    crossTerm = length2 > 0 ? step2 - along * along / length2 : step2;
    FLOAT score = ProjectPointOnSegment({pointX, pointY}, x1, y1, x2, y2, outFootX, outFootY);
    if ((along > 0 && noForward) || (along < 0 && noBackward))
        score += kOneWayPenalty;
    return score;
}

void CMapMatcher::SetOneWay(const MapLink& scored) {
    switch (scored.attributes & 0x30) {
        case 0x10:
            noBackward = 1;
            noForward = 0;
            break;
        case 0x20:
            noBackward = 0;
            noForward = 1;
            break;
        default:
            // 0x30, and links with neither bit: a vehicle is seen on them either way.
            noBackward = 0;
            noForward = 0;
            break;
    }
}

FLOAT CMapMatcher::ScoreLink(const MapLink& scored, bool weighted, FLOAT* outFootX, FLOAT* outFootY,
                             FLOAT* outCross, uint32_t* outSegment) {
    SetOneWay(scored);
    const uint32_t n = scored.GetShapePointCount();
    FLOAT best = FLT_MAX;
    for (uint32_t k = 0; k <= n; ++k) {
        MapPoint a, b;
        scored.GetEndPositions(k, &a, &b);
        FLOAT fx = 0, fy = 0;
        FLOAT s = ScoreSegment(a.longitude * cosLat_, a.latitude, b.longitude * cosLat_, b.latitude,
                               &fx, &fy);
        if (weighted)
            s += angleWeight * crossTerm;
        if (s < best) {
            best = s;
            *outFootX = fx;
            *outFootY = fy;
            *outCross = crossTerm;
            *outSegment = n == 0 ? kNoLinkSegment : k;
        }
    }
    return best;
}

void CMapMatcher::FreshSearch(Pass& pass, int startMode, int wholeWindow, uint32_t classLimit) {
    CMapDatabase& db = *database;
    const bool limitClass = startMode && wholeWindow && classLimit;
    for (int layerIndex : {2, 0}) {
        MapLayer& layer = db.layers[layerIndex];
        if (layer.windowW <= 0 || layer.windowH <= 0)
            continue;
        int64_t x0 = 0, y0 = 0, x1 = layer.windowW - 1, y1 = layer.windowH - 1;
        if (!wholeWindow) {
            const double halfLon = double{kSearchHalfSpan} * pass.cosLat;
            const double lon = pass.cosLat != 0 ? pass.x / pass.cosLat : 0;
            x0 = std::max<int64_t>(0, layer.FileColumnOf(lon - halfLon) - layer.windowX0);
            x1 = std::min<int64_t>(x1, layer.FileColumnOf(lon + halfLon) - layer.windowX0);
            y0 = std::max<int64_t>(0, layer.FileRowOf(pass.y - kSearchHalfSpan) - layer.windowY0);
            y1 = std::min<int64_t>(y1, layer.FileRowOf(pass.y + kSearchHalfSpan) - layer.windowY0);
            if (x1 < x0 || y1 < y0)
                continue;
        }
        LinkIterator walk{};
        walk.SelectLayer(db, 1, layerIndex != 0);
        walk.pinMask = layerIndex == 0 ? 1 : 0;
        walk.reloadFromMain = 0;
        if (walk.Init(layer, static_cast<int32_t>(x0), static_cast<int32_t>(y0),
                      static_cast<int32_t>(x1), static_cast<int32_t>(y1), 0x140, 7) != 0)
            continue;
        while (MapLink* l = walk.Next()) {
            if (limitClass && (l->attributes & kAttrClassMask) > classLimit)
                continue;
            Candidate c;
            c.link = l;
            c.score = ScoreLink(*l, false, &c.footX, &c.footY, &c.cross, &c.segment);
            if (pass.routeOption && IsDearKind(*l) && c.score < kFreshSkipBelow)
                continue;
            c.source = pass.count - 1;
            pass.Rank(c);
        }
    }
    for (int i = 0; i < numDist; ++i)
        biasX[i] = biasY[i] = 0;
}

void CMapMatcher::Track(Pass& pass, const MapLink* previousLink) {
    const int n = pass.count;
    for (int i = n - 1; i >= 0; --i) {
        if (!link[i])
            continue;
        pointX = pass.x + biasX[i];
        pointY = pass.y + biasY[i];
        MapLink* own = link[i];
        for (MapNode* node : {own->fromNode, own->toNode}) {
            if (!node)
                continue;
            MapLink* const* slots = node->Slots();
            for (uint32_t s = 0; s < node->SlotCapacity(); ++s) {
                MapLink* l = slots[s];
                if (!l || l->IsDead())
                    continue;
                Candidate c;
                c.link = l;
                c.source = i;
                FLOAT score = ScoreLink(*l, true, &c.footX, &c.footY, &c.cross, &c.segment);
                pass.scored = true;
                if (pass.routeOption && previousLink && !IsDearKind(*previousLink) &&
                    IsDearKind(*l))
                    continue;
                if (i == n - 1 && previousLink && l->linkId == previousLink->linkId &&
                    l->fromNode && l->toNode) {
                    const MapPoint ends[2] = {l->fromNode->position, l->toNode->position};
                    for (int e = 0; e < 2; ++e) {
                        const FLOAT ex = ends[e].longitude * cosLat_;
                        const FLOAT ey = ends[e].latitude;
                        const FLOAT d2 = Squared(pointX - ex, pointY - ey);
                        if (d2 < score) {
                            score = d2;
                            c.footX = ex;
                            c.footY = ey;
                            c.cross = 0;
                            const uint32_t count = l->GetShapePointCount();
                            c.segment = count == 0 ? kNoLinkSegment : (e == 0 ? 0 : count);
                        }
                    }
                }
                c.score = error[i] + score;
                if (!(c.score < pass.list[0].score) || !(score < kTrackScoreLimit))
                    continue;
                int k = n - 1;
                while (k > 0 && c.score > pass.list[k].score && pass.list[k].link != l)
                    --k;
                if (!(c.score < pass.list[k].score))
                    continue;
                if (pass.list[k].link != l) {
                    for (int j = 1; j <= k; ++j)
                        pass.list[j - 1] = pass.list[j];
                }
                pass.list[k] = c;
                if (k == n - 1)
                    pass.found = true;
            }
        }
    }
    pass.found = true;
}

bool CMapMatcher::Names(const MapLink* candidate, int skipSlot) const {
    if (!candidate)
        return false;
    if (g_vehicleLocation.link == candidate)
        return true;
    for (int i = 0; i < numDist; ++i) {
        if (i != skipSlot && link[i] == candidate)
            return true;
    }
    return false;
}

void CMapMatcher::TakeHold(MapLink* held) {
    if (!IsCounted(held) || (held->flags & kLinkHeld))
        return;
    held->flags |= kLinkHeld;
    ++CountedLink::FromLink(held)->refCount;
}

void CMapMatcher::DropHold(MapLink* old, uint16_t flags) {
    if (!old || !(flags & kLinkCounted) || !(old->flags & kLinkHeld))
        return;
    old->flags &= static_cast<uint16_t>(~kLinkHeld);
    old->attributes &= ~kMatcherMark;
    MapLink::Release(CountedLink::FromLink(old), true);
}

void CMapMatcher::SetSlot(int slot, MapLink* newLink) {
    link[slot] = newLink;
    keys_[slot] =
        newLink ? SlotKey{newLink->linkId, newLink->attributes, newLink->flags} : SlotKey{};
}

MapLink* CMapMatcher::FindAgain(const SlotKey& key, const MapPoint& near) {
    if (!database)
        return nullptr;
    const int first = (key.attributes & kAttrClassMask) > 0xC0 ? 2 : 0;
    const auto kind = static_cast<uint32_t>(MapLink::GetClassLayer(key.flags));
    MapLink* found = database->FindLink(first, near, key.linkId, kind, 0);
    if (!found)
        found = database->FindLink(first == 2 ? 0 : 2, near, key.linkId, kind, 0);
    return found;
}

void CMapMatcher::FollowReloads() {
    if (g_mapStorageGeneration == seenGeneration_)
        return;
    // Counted links outlive their chunk (the matcher holds them); a plain link may
    // lie in freed memory, so it is only found again by what was kept of it.
    for (int i = 0; i < numDist; ++i) {
        if (!link[i] || (keys_[i].flags & kLinkCounted))
            continue;
        const FLOAT c = cosLat_ != 0 ? cosLat_ : 1.0f;
        MapLink* found = FindAgain(keys_[i], {footY[i], footX[i] / c});
        SetSlot(i, nullptr);
        if (found && !Names(found, -1)) {
            TakeHold(found);
            SetSlot(i, found);
        }
    }
    MapLocation& at = g_vehicleLocation;
    if (at.link && !(at.linkFlags & kLinkCounted)) {
        const SlotKey key{at.linkId, at.linkAttributes, at.linkFlags};
        const MapPoint near{at.lat, at.cosLat != 0 ? at.scaledLon / at.cosLat : at.scaledLon};
        at.link = nullptr;
        if (MapLink* found = FindAgain(key, near)) {
            TakeHold(found);
            at.Set(found, at.tag);
        } else {
            at.stale = 1;
        }
    }
    seenGeneration_ = g_mapStorageGeneration;
}

void CMapMatcher::ReleaseOtherHypothesisLinks() {
    if (!link[numDist - 1])
        return;
    for (int i = 0; i < numDist - 1; ++i) {
        MapLink* old = link[i];
        if (!IsCounted(old) || !(keys_[i].flags & kLinkCounted))
            continue;
        SetSlot(i, nullptr);
        if (!Names(old, -1))
            DropHold(old, kLinkCounted);
    }
}

void CMapMatcher::ReleaseHypothesisLinks() {
    for (int i = 0; i < numDist; ++i) {
        MapLink* old = link[i];
        const uint16_t flags = keys_[i].flags;
        SetSlot(i, nullptr);
        if (!old)
            continue;
        if (g_vehicleLocation.link == old)
            g_vehicleLocation.link = nullptr;
        if (!Names(old, -1))
            DropHold(old, flags);
    }
}

void CMapMatcher::Reset(int keepLinks) {
    (void)keepLinks;
    // Runners-up no slot names after the reset could never be let go later: their
    // holds go in either case. The last slot's hold stays with the matched location
    // when it names the same link.
    for (int i = 0; i < numDist; ++i) {
        MapLink* old = link[i];
        const uint16_t flags = keys_[i].flags;
        SetSlot(i, nullptr);
        error[i] = sourceBiasX[i] = sourceBiasY[i] = biasX[i] = biasY[i] = 0;
        if (old && !Names(old, -1))
            DropHold(old, flags);
    }
}

int CMapMatcher::HasHypothesisLink(const MapLink* candidate) const {
    for (int i = 0; i < numDist; ++i) {
        if (candidate && link[i] == candidate)
            return 1;
    }
    return 0;
}

void CMapMatcher::ReplaceLastHypothesisLink(MapLink* replacement) {
    const int last = numDist - 1;
    MapLink* old = link[last];
    if (!old || old == replacement)
        return;
    const uint16_t flags = keys_[last].flags;
    // The location took a count of the replacement; a second slot naming it keeps
    // only one.
    if (IsCounted(replacement) && HasHypothesisLink(replacement) &&
        CountedLink::FromLink(replacement)->refCount > 1)
        --CountedLink::FromLink(replacement)->refCount;
    SetSlot(last, replacement);
    if (!Names(old, -1))
        DropHold(old, flags);
}

void CMapMatcher::UpdateHypotheses(Pass& pass) {
    const int n = pass.count;
    for (int p = n - 1; p > 0; --p) {
        if (!pass.list[p].link)
            continue;
        for (int q = 0; q < p; ++q) {
            if (pass.list[q].link == pass.list[p].link)
                pass.list[q].link = nullptr;
        }
    }
    for (int i = 0; i < n; ++i) {
        sourceBiasX[i] = biasX[pass.list[i].source];
        sourceBiasY[i] = biasY[pass.list[i].source];
    }
    Candidate& best = pass.Best();
    best.score -= instWeight * best.cross;
    best.cross = 0;
    // New holds first, so that a link both the old and the new slots name is never
    // let go in between.
    MapLink* old[kMaxHypotheses];
    uint16_t oldFlags[kMaxHypotheses];
    for (int i = 0; i < n; ++i) {
        old[i] = link[i];
        oldFlags[i] = keys_[i].flags;
        TakeHold(pass.list[i].link);
    }
    for (int i = 0; i < n; ++i) {
        const Candidate& c = pass.list[i];
        error[i] = c.score - best.score - instWeight * c.cross;
        SetSlot(i, c.link);
        biasX[i] = (c.footX - pass.x) * ratio + sourceBiasX[i] * beta;
        biasY[i] = (c.footY - pass.y) * ratio + sourceBiasY[i] * beta;
        footX[i] = c.footX;
        footY[i] = c.footY;
    }
    for (int i = 0; i < n; ++i) {
        if (old[i] && !Names(old[i], -1))
            DropHold(old[i], oldFlags[i]);
    }
}

void CMapMatcher::PreferRoute(Pass& pass) {
    const MapLocation& at = g_vehicleLocation;
    IRouterServices& router = GetRouterServices();
    if (!at.link || !(router.GetState() & kRouterRoutePresent))
        return;
    if (!((at.linkAttributes & kAttrClassMask) <= 0x80 || (at.linkAttributes & kAttrRouteAdjust) ||
          routeAdjOnlyHwy == 0))
        return;
    MapLink* first = nullptr;
    MapLink* second = nullptr;
    router.GetGuidanceLinks(&first, &second);
    auto idOf = [](const MapLink* l) { return l ? l->linkId : kDeadLinkId; };
    const int32_t id1 = idOf(first), id2 = idOf(second);
    const int32_t matchedId = at.linkId;
    const int n = pass.count;
    Candidate& best = pass.Best();
    const int32_t bestId = idOf(best.link);
    auto isRouteHypothesis = [&](const MapLink* l) {
        const int32_t id = idOf(l);
        return l && ((id == id2 && matchedId != id1) || id == id1);
    };
    auto search = [&](bool onlyFirst) -> int {
        const int lowest = std::max(0, n - numPathsChecked);
        for (int p = n - 2; p >= lowest; --p) {
            const Candidate& c = pass.list[p];
            const bool wanted =
                onlyFirst ? (c.link && c.link->linkId == id1) : isRouteHypothesis(c.link);
            if (wanted && !(best.score <= c.score - routeAllowance))
                return p;
        }
        return -1;
    };
    int target = -1;
    if (!routeSnap) {
        if (bestId == id1 || bestId == id2)
            return;
        target = search(false);
    } else if ((bestId == id2 && matchedId != id1) || bestId == id1) {
        target = -1;
    } else if (bestId == id2 && matchedId == id1) {
        target = search(true);
    } else {
        target = search(false);
    }
    routeSnap = target >= 0;
    if (!routeSnap)
        return;
    Candidate& t = pass.list[target];
    pointX = pass.x;
    pointY = pass.y;
    Candidate moved = t;
    const FLOAT score =
        ScoreLink(*t.link, true, &moved.footX, &moved.footY, &moved.cross, &moved.segment);
    const MapPoint snapped{at.lat, at.cosLat != 0 ? at.scaledLon / at.cosLat : at.scaledLon};
    const MapPoint fix{pass.y, pass.cosLat != 0 ? pass.x / pass.cosLat : pass.x};
    if (score < kOneWayPenalty && PointDistance(snapped, fix, 0) < maxRouteAdjDist)
        pass.Best() = moved;
    else
        routeSnap = 0;
}

int CMapMatcher::SnapWithTimeout(DWORD budgetMs) {
    if (GetFixSource().PositionHold())
        return 1;
    const DWORD start = GetTickCount();
    int result;
    do {
        result = Snap(0, 0, 0);
    } while (result == 0 && GetTickCount() - start < budgetMs);
    return result;
}

int CMapMatcher::Snap(int startMode, int wholeWindow, uint32_t classLimit) {
    if (!database)
        database = &g_mapDatabase;
    IFixSource& feed = GetFixSource();
    if (feed.PositionHold())
        return 1;
    bool keepFix = false;
    bool retried = false;
    QueuedFix fix;
    bool havePrevious = false;
    for (int passIndex = 0;; ++passIndex) {
        if (g_mapRendering.load()) {
            if (g_options2.load() & kOptions2SnapWarning)
                MessageBoxW(nullptr, u"Snap during DrawMemDC", u"", MB_OK);
            return 1;
        }
        if (!keepFix) {
            QueuedFix popped;
            if (feed.PopFix(&popped) == 0) {
                fix = popped;
                havePrevious = true;
            } else if (!havePrevious) {
                return 1;
            }
        }
        Pass pass;
        pass.count = numDist;
        pass.cosLat = static_cast<FLOAT>(std::cos(fix.latitude * kDegreesToRadians));
        cosLat_ = pass.cosLat;
        pass.x = fix.longitude * pass.cosLat;
        pass.y = fix.latitude;
        const MapPoint fixPoint{fix.latitude, fix.longitude};
        FollowReloads();
        MapLocation& at = g_vehicleLocation;
        if (PointDistance(fixPoint, at.position, 0) > kJumpRadians)
            Reset(0);
        ReleaseOtherHypothesisLinks();
        if (!IsInsideMapBounds(*database, fix.latitude, fix.longitude))
            return 1;
        database->LoadArea(2, fixPoint, kAreaSpan * pass.cosLat, kAreaSpan, 0, 0, true, true);
        // The load may have freed the chunks of the hypotheses' plain links.
        FollowReloads();

        const FLOAT heading = feed.FixHeading();
        const MapLink* previousLink = nullptr;
        if (at.link && at.cosLat != 0) {
            const MapPoint snapped{at.lat, at.scaledLon / at.cosLat};
            if (PointDistance(snapped, fixPoint, 0) < kJumpRadians)
                previousLink = at.link;
        }
        pointX = pass.x;
        pointY = pass.y;
        const FLOAT dx = pass.x - lastFixX, dy = pass.y - lastFixY;
        step2 = std::max(std::min(dx * dx + dy * dy, maxStep2), minStep2);
        const FLOAT s = std::sqrt(step2);
        const double headingRadians = heading * kDegreesToRadians;
        moveX = static_cast<FLOAT>(std::sin(headingRadians)) * s;
        moveY = static_cast<FLOAT>(std::cos(headingRadians)) * s;
        lastFixX = pass.x;
        lastFixY = pass.y;
        pass.routeOption = (GetRouterServices().GetState() & kRouterRouteOption) != 0;

        const bool fresh = link[numDist - 1] == nullptr;
        if (fresh)
            FreshSearch(pass, startMode, wholeWindow, classLimit);
        else
            Track(pass, previousLink);
        Candidate* best = pass.found && pass.Best().link ? &pass.Best() : nullptr;
        const bool forced = startMode && wholeWindow;
        const FLOAT bestDist2 = best ? Squared(best->footX - pass.x, best->footY - pass.y) : 0;

        bool notAccepted = fresh;
        bool skipUpdate = false;
        if (best) {
            bool lost = false;
            if (best->cross > 0.75f * step2 && best->link->fromNode && best->link->toNode) {
                const MapPoint a = best->link->fromNode->position;
                const MapPoint b = best->link->toNode->position;
                const FLOAT cx = (b.longitude - a.longitude) * pass.cosLat;
                const FLOAT cy = b.latitude - a.latitude;
                const FLOAT chord2 = cx * cx + cy * cy;
                const FLOAT dot = cx * moveX + cy * moveY;
                if (chord2 > 0 && dot * dot / (chord2 * step2) < chordCos2Limit &&
                    bestDist2 > lostDist2)
                    lost = true;
            }
            if (!fresh && !pass.routeOption && pass.scored) {
                const uint32_t a = best->link->attributes;
                if (bestDist2 > offLinkDist2) {
                    if (IsDearKind(*best->link) || (a & 0x8200) == 0x8000) {
                        if (offLinkCount >= 4) {
                            Reset(0);
                            offLinkCount = 0;
                            return 1;
                        }
                        ++offLinkCount;
                    }
                } else {
                    offLinkCount = 0;
                }
            }
            if (lost && !forced) {
                notAccepted = true;
                skipUpdate = true;
            } else if (forced) {
                notAccepted = false;
            } else if (fresh) {
                notAccepted = !(bestDist2 < acceptDist2 &&
                                (best->cross < acceptCross * step2 || feed.FixSpeedMph() <= 1.0f));
                skipUpdate = notAccepted;
            }
        }
        MapLink* resultLink = nullptr;
        FLOAT resultX = 0, resultY = 0;
        uint32_t resultSegment = kNoLinkSegment;
        if (best && !skipUpdate) {
            UpdateHypotheses(pass);
            if (!fresh && Squared(biasX[numDist - 1], biasY[numDist - 1]) > maxBias * maxBias) {
                Reset(0);
                return 1;
            }
            PreferRoute(pass);
        }
        if (best) {
            resultLink = pass.Best().link;
            resultX = pass.Best().footX;
            resultY = pass.Best().footY;
            resultSegment = pass.Best().segment;
        }

        pointX = pass.x;
        pointY = pass.y;
        at.cosLat = pass.cosLat;
        // Through SetPosition: the GPS threads' stationary filter and the saved last
        // position read the shared copy.
        at.SetPosition(forced && resultLink ? MapPoint{resultY, resultX / pass.cosLat} : fixPoint);
        at.matcherValue = heading;
        at.scaledLon = resultX;
        at.lat = resultY;
        at.stale = retried ? 1 : (notAccepted ? 1 : 0);
        if (notAccepted)
            Reset(0);
        if (resultLink) {
            MapLink* previous = at.link;
            const uint16_t previousFlags = at.linkFlags;
            TakeHold(resultLink);
            at.Set(resultLink, kTagMatcher);
            at.SetShapeIndex(resultSegment);
            if (previous && previous != resultLink && !Names(previous, -1))
                DropHold(previous, previousFlags);
            // A location without a link is not matched: only a written link is.
            g_travelDirection.Update();
            return retried ? 1 : 0;
        }

        // Nothing found: the whole window, then the nearest cell with links.
        retried = true;
        if (forced) {
            MapPoint moved = fixPoint;
            if (database->layers[0].FindNearestCellWithLinks(moved) != 0) {
                // No cell of the overview has links: the location stays stale.
                at.stale = 1;
                return 1;
            }
            database->layers[2].FindNearestCellWithLinks(moved);
            fix.latitude = moved.latitude;
            fix.longitude = moved.longitude;
            keepFix = true;
            classLimit = 0;
        }
        startMode = 1;
        wholeWindow = 1;
        if (feed.PositionHold())
            return 1;
        // Each retry moves to a cell with links; a second failure there ends it.
        if (passIndex >= 3) {
            at.stale = 1;
            return 1;
        }
    }
}
