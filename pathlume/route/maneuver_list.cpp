#include "pathlume/route/maneuver_list.h"

#include <cmath>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/chunk_payload.h"
#include "pathlume/foundation/heap.h"
#include "pathlume/mapdb/geodesy.h"
#include "pathlume/mapdb/geometry.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/street_texts.h"
#include "pathlume/route/maneuver_texts.h"
#include "pathlume/route/router.h"
#include "platform/afx/afx.h"

FLOAT g_lastManeuverAngle = 0;

uint32_t ManeuverKindFromAngle(FLOAT angle, bool exitFlag, bool keepFlag) {
    const bool right = angle > 0;
    if (exitFlag) {
        if (angle == 0)
            return 0;
        if (keepFlag)
            return right ? kManeuverKeepRight : kManeuverKeepLeft;
        return right ? kManeuverExitRight : kManeuverExitLeft;
    }
    const FLOAT a = std::fabs(angle);
    if (a <= 10) {
        if (keepFlag && angle != 0)
            return right ? kManeuverKeepRight : kManeuverKeepLeft;
        return kManeuverStraight;
    }
    if (a <= 40) {
        if (keepFlag)
            return right ? kManeuverKeepRight : kManeuverKeepLeft;
        return right ? kManeuverBearRight : kManeuverBearLeft;
    }
    if (a >= 120 && a <= 150)
        return right ? kManeuverSharpRight : kManeuverSharpLeft;
    return right ? kManeuverTurnRight : kManeuverTurnLeft;
}

int ManeuverPhraseId(uint32_t kind) {
    // Prompt-word indexes: exitr, exitl, straight, uturn, turnr, turnl, bearr,
    // bearl, keepr, keepl, sharpr, sharpl, dest, tcirc (twice), entfwyr, entfwyl,
    // entfwyr, entfwyl, ofruturn.
    static constexpr int kWords[] = {101, 100, 64, 70, 69, 68,  41,  40,  51,  50,
                                     62,  61,  42, 65, 65, 103, 102, 103, 102, 94};
    return kind >= 1 && kind <= std::size(kWords) ? kWords[kind - 1] : -1;
}

namespace {

namespace payload = formats::chunk_payload;

constexpr FLOAT kRadiansToDegrees = 57.29578f;
constexpr FLOAT kFiveFeet = 5.0f / 20902144.0f;
constexpr FLOAT kFiftyFeet = 2.392099e-6f;
constexpr FLOAT kTwentyFeet = 9.568397e-7f;
constexpr uint32_t kClassMask = 0x1C0;
constexpr uint32_t kSpecialRoad = 0x2000000;
// Junction value of a chain node: at most two links meet there.
constexpr uint32_t kChainUse = 2;

using Identity = std::pair<int32_t, int32_t>;
constexpr Identity kNoIdentity{-1, -1};

// What the builder knows of the link the route arrives by.
struct Arriving {
    MapLink* link = nullptr;
    uint32_t attributes = 0;
    int32_t linkId = kDeadLinkId;
    bool flagged = false;
    bool roundabout = false;
    Identity identity = kNoIdentity;

    bool Ramp() const { return (attributes & payload::kRamp) != 0; }
    uint32_t Class() const { return attributes & kClassMask; }
};

// Point k (1: the one next to the node) of the link counted from the node's end,
// held at the far end so a short link cannot be read past its last point.
MapPoint PointFromNode(const MapLink* link, const MapNode* node, uint32_t k) {
    const uint32_t shapes = link->shapePoints ? link->GetShapePointCount() : 0;
    const bool fromEnd = link->fromNode == node;
    if (k <= shapes)
        return fromEnd ? link->shapePoints[k - 1] : link->shapePoints[shapes - k];
    const MapNode* far = fromEnd ? link->toNode : link->fromNode;
    return far ? far->position : node->position;
}

uint32_t PointsFromNode(const MapLink* link) {
    return (link->shapePoints ? link->GetShapePointCount() : 0) + 1;
}

FLOAT TurnDegrees(const MapPoint& a, const MapPoint& b, const MapPoint& c) {
    return ApproxTurnAngle(a, b, c) * kRadiansToDegrees;
}

bool DrivableAway(const MapLink* link, const MapNode* node) {
    switch (link->attributes & payload::kDirectionMask) {
        case payload::kDirectionBoth:
            return true;
        case payload::kDirectionForward:
            return link->fromNode == node;
        case payload::kDirectionBackward:
            return link->toNode == node;
        default:
            return false;
    }
}

class ManeuverBuilder {
  public:
    explicit ManeuverBuilder(CRouter& router) : r_(router) {}

    // The records in driving order, the arrival not yet added; the running distance
    // after the last junction stays in running_.
    void Walk();
    int Store();

  private:
    struct Survey {
        int competitors = 0;
        bool behind = false;
        FLOAT minAngle = 1e9f, maxAngle = -1e9f;
        FLOAT minAbsDifference = 1e9f;
    };

    Identity IdentityOf(int32_t linkId) {
        int32_t first = -1, second = -1;
        if (r_.GetLinkEndpoints(linkId, &first, &second) != 0)
            return kNoIdentity;
        return {first, second};
    }
    // The leaving link's identity, or that of the first link after it that has one
    // (not past a ramp).
    Identity LeavingIdentity(int32_t index, Identity own) {
        for (int32_t j = index + 1; own == kNoIdentity && j < r_.routeCount; ++j) {
            if (r_.routeList[j].attributes & payload::kRamp)
                break;
            own = IdentityOf(r_.routeList[j].linkId);
        }
        return own;
    }
    MapLink* LeavingLink(const RouteEntry& entry, MapNode* node) const {
        if (!node || entry.Slot() >= node->SlotCapacity())
            return nullptr;
        return node->Slots()[entry.Slot()];
    }
    // The point beside the node on the link, one further when it lies within 5 feet.
    MapPoint ChosenPoint(const MapLink* link, const MapNode* node, uint32_t* k) const {
        *k = 1;
        MapPoint point = PointFromNode(link, node, 1);
        if (PointDistance(node->position, point, 0) < kFiveFeet && PointsFromNode(link) > 1) {
            *k = 2;
            point = PointFromNode(link, node, 2);
        }
        return point;
    }
    FLOAT ConnectorAngles(int32_t index);
    bool LeadsOntoFreeway(int32_t index) const;
    std::string StreetText(int32_t linkId, uint32_t attributes) const {
        char text[kStreetTextSize];
        GetLinkStreetName(g_linkInfo, linkId, attributes, kPrimaryNames, text, sizeof text, false);
        return text;
    }
    bool IsNamedStreet(const std::string& name) const {
        char word[kStreetWordSize];
        return !name.empty() && name != LoadStringText(6204, word, sizeof word) &&
               name != LoadStringText(6205, word, sizeof word);
    }

    CRouter& r_;
    std::vector<Maneuver> records_;
    FLOAT running_ = 0;
    // A left turn off a named street that the next turn may make a U-turn of.
    bool pendingLeft_ = false;
    FLOAT pendingAngle_ = 0;
    std::string pendingStreet_;
};

// The turns along the connector links from entry `index` on: at their shape points
// and at their far ends toward the next route link.
FLOAT ManeuverBuilder::ConnectorAngles(int32_t index) {
    FLOAT sum = 0;
    for (int32_t j = index; j < r_.routeCount; ++j) {
        const RouteEntry& entry = r_.routeList[j];
        if (!(entry.attributes & payload::kConnector))
            break;
        MapNode* node = ResolveNodeRef(entry);
        const MapLink* link = LeavingLink(entry, node);
        if (!link)
            break;
        const uint32_t points = PointsFromNode(link);
        MapPoint before = node->position;
        for (uint32_t k = 1; k < points; ++k) {
            const MapPoint at = PointFromNode(link, node, k);
            sum += TurnDegrees(before, at, PointFromNode(link, node, k + 1));
            before = at;
        }
        if (j + 1 >= r_.routeCount)
            break;
        MapNode* next = ResolveNodeRef(r_.routeList[j + 1]);
        const MapLink* nextLink = LeavingLink(r_.routeList[j + 1], next);
        if (!nextLink)
            break;
        sum += TurnDegrees(before, next->position, GetPointNextToNode(nextLink, next));
    }
    return sum;
}

// From a road that is neither a ramp nor a freeway: whether the ramps from entry
// `index` on lead onto a freeway before any other road.
bool ManeuverBuilder::LeadsOntoFreeway(int32_t index) const {
    for (int32_t j = index; j < r_.routeCount; ++j) {
        const RouteEntry& entry = r_.routeList[j];
        if (entry.nodeRef & RouteEntry::kFlaggedLink)
            return true;
        if (!(entry.attributes & payload::kRamp) && j > index)
            return false;
    }
    return false;
}

void ManeuverBuilder::Walk() {
    Arriving arriving;
    if (MapLink* start = r_.routeStartLink) {
        arriving.link = start;
        arriving.attributes = start->attributes;
        arriving.linkId = start->linkId;
        arriving.flagged = (start->shapeInfo & kShapeFlagged) != 0;
        arriving.roundabout = (start->attributes & payload::kRoundabout) != 0;
        arriving.identity = IdentityOf(start->linkId);
    }
    FLOAT carry = 0;
    bool first = true;
    for (int32_t index = 0; index < r_.routeCount; ++index) {
        const RouteEntry& entry = r_.routeList[index];
        // Entries of a reduced chunk's full detail cannot be resolved later.
        if (!(entry.nodeRef & RouteEntry::kRoutingLevel))
            continue;
        // a. The node, the leaving link and its words.
        MapNode* node = ResolveNodeRef(entry);
        MapLink* leaving = LeavingLink(entry, node);
        const uint32_t attributes = entry.attributes;
        const bool leaveRamp = (attributes & payload::kRamp) != 0;
        const bool leaveFlagged = (entry.nodeRef & RouteEntry::kFlaggedLink) != 0;
        const uint32_t leaveClass = attributes & kClassMask;
        const bool leaveConnector = (attributes & payload::kConnector) != 0;
        const uint32_t roundWord = leaveConnector && index + 1 < r_.routeCount
                                       ? r_.routeList[index + 1].attributes
                                       : attributes;
        const bool leaveRound = (roundWord & payload::kRoundabout) != 0;
        // b. The distance.
        if (first)
            running_ += r_.startPartLength;
        else if (arriving.link)
            running_ += arriving.link->Length();
        first = false;

        Arriving next;
        next.link = leaving;
        next.attributes = attributes;
        next.linkId = entry.linkId;
        next.flagged = leaveFlagged;
        next.roundabout = leaveRound;
        next.identity = IdentityOf(entry.linkId);
        if (!node || !leaving || !arriving.link || leaving->IsDead() || arriving.link->IsDead()) {
            // Nothing to judge the junction by (a chunk gone since the route list).
            arriving = next;
            continue;
        }
        // c. Street identity.
        const Identity leaveIdentity = LeavingIdentity(index, next.identity);
        const bool streetChanges = arriving.identity != leaveIdentity;
        // d. The turn angle.
        uint32_t beforeK = 0, afterK = 0;
        const MapPoint before = ChosenPoint(arriving.link, node, &beforeK);
        const MapPoint after = ChosenPoint(leaving, node, &afterK);
        FLOAT angle = TurnDegrees(before, node->position, after);
        if (!leaveConnector && arriving.Class() > 0x80 && std::fabs(angle) < 30 &&
            afterK < PointsFromNode(leaving)) {
            const FLOAT limit = node == leaving->fromNode ? kFiftyFeet : kTwentyFeet;
            if (PointDistance(node->position, after, 0) < limit)
                angle +=
                    TurnDegrees(node->position, after, PointFromNode(leaving, node, afterK + 1));
        }
        // e. Leaving a roundabout.
        if (arriving.roundabout && !leaveRound)
            angle = 40;
        // f. Gentle bends at chain nodes add up into the next junction's angle.
        const bool chain = node->UseCount() <= kChainUse;
        const bool last = index == r_.routeCount - 1;
        if (chain && !last && std::fabs(angle) < 30 && arriving.Ramp() == leaveRamp) {
            carry += angle;
            arriving = next;
            continue;
        }
        angle += carry;
        carry = 0;
        FLOAT absAngle = std::fabs(angle);
        // g. A chain node needs a sharp bend or a new street.
        if (chain && absAngle <= 40 && !streetChanges) {
            arriving = next;
            continue;
        }
        // h. Evaluation.
        if (running_ == 0 || (arriving.roundabout && leaveRound)) {
            arriving = next;
            continue;
        }
        const bool arrRamp = arriving.Ramp();
        const bool enterOrLeave = arriving.roundabout != leaveRound;
        bool announce = (!arrRamp && leaveRamp && arriving.identity != kNoIdentity) ||
                        (absAngle > 30 && !(arrRamp && leaveRamp)) || enterOrLeave;
        const bool newStreetBend =
            absAngle < 40 && absAngle > 10 && streetChanges && node->UseCount() > 2;
        Survey survey;
        MapLink* const* slots = node->Slots();
        for (uint32_t s = 0; s < node->SlotCapacity(); ++s) {
            const MapLink* branch = slots[s];
            if (!branch || branch == leaving || branch == arriving.link || branch->IsDead() ||
                !DrivableAway(branch, node))
                continue;
            const FLOAT b = TurnDegrees(before, node->position, GetPointNextToNode(branch, node));
            const FLOAT absB = std::fabs(b);
            const FLOAT difference = b - angle;
            if (newStreetBend && absB <= 40)
                announce = true;
            if (absB >= 120 && std::fabs(difference) >= 120) {
                survey.behind = true;
                continue;
            }
            survey.minAngle = std::min(survey.minAngle, b);
            survey.maxAngle = std::max(survey.maxAngle, b);
            survey.minAbsDifference = std::min(survey.minAbsDifference, std::fabs(difference));
            const uint32_t bClass = branch->attributes & kClassMask;
            const bool bRamp = (branch->attributes & payload::kRamp) != 0;
            if (arriving.Class() == leaveClass && leaveClass <= 0x80 && !arrRamp && !leaveRamp &&
                bClass > leaveClass && bClass > 0xBF)
                continue;
            if (arriving.Class() > 0x80 && leaveClass > 0x80 && !arrRamp && !leaveRamp &&
                absAngle <= 10 && leaveIdentity != kNoIdentity &&
                IdentityOf(branch->linkId) == kNoIdentity)
                continue;
            if (!leaveFlagged) {
                bool apart = false;
                if (absB > 10) {
                    const FLOAT tolerance = absAngle > 10 ? 45.0f : 10.0f;
                    const FLOAT d = std::fabs(difference);
                    const bool far = absAngle <= absB ? d > tolerance : d >= tolerance;
                    apart = far && std::fabs(absB - absAngle) >= 25;
                    if (apart && arriving.Class() > 0xBF && leaveClass > 0xBF && bClass > 0xBF &&
                        absAngle <= 10 && absB <= 30)
                        apart = false;
                }
                if (!apart && !(branch->attributes & payload::kConnector))
                    announce = true;
                if (bRamp && leaveRamp)
                    announce = true;
            } else if (bRamp && bClass <= 0x80 && absB <= 80 && !streetChanges &&
                       static_cast<int>(branch->attributes & payload::kSpeedCategoryMask) -
                               static_cast<int>(attributes & payload::kSpeedCategoryMask) <
                           3) {
                announce = true;
            }
            ++survey.competitors;
        }
        auto otherRoads = [&] {
            if (announce && leaveFlagged && survey.competitors < 2 && !streetChanges &&
                !leaveRamp && absAngle <= 40) {
                if (!enterOrLeave)
                    announce = false;
            } else if ((survey.competitors > 0 || survey.behind) && !arrRamp && !leaveRamp &&
                       (absAngle > 40 || (absAngle > 30 && streetChanges))) {
                announce = true;
            }
        };
        if ((arriving.attributes & kSpecialRoad) && (survey.competitors > 0 || absAngle > 40))
            announce = true;
        else
            otherRoads();
        const bool arrConnector = (arriving.attributes & payload::kConnector) != 0;
        if (leaveConnector && !arrConnector) {
            angle += ConnectorAngles(index);
            absAngle = std::fabs(angle);
        }
        if ((arrConnector && !leaveConnector) || !announce) {
            g_lastManeuverAngle = angle;
            arriving = next;
            continue;
        }
        // The keep adjustment.
        bool keep = false;
        if (((leaveClass <= 0xC0 && arriving.Class() <= 0x80) || (arrRamp && leaveRamp) ||
             survey.competitors == 1) &&
            absAngle <= 40 && survey.competitors > 0) {
            bool adjusted = false;
            if (absAngle <= 10) {
                if (node->SlotCapacity() == 3 && ((angle > survey.maxAngle && angle < 0) ||
                                                  (angle < survey.minAngle && angle > 0))) {
                    angle = -angle;
                    adjusted = true;
                }
            } else if (survey.minAbsDifference < 80) {
                const bool several = survey.competitors > 1;
                if (angle < survey.minAngle) {
                    angle = angle > 0 && several ? -10.0f : -39.0f;
                    adjusted = true;
                } else if (angle > survey.maxAngle) {
                    angle = angle < 0 && several ? 10.0f : 39.0f;
                    adjusted = true;
                }
            }
            keep = adjusted && !streetChanges;
            absAngle = std::fabs(angle);
        }
        // i. The kind.
        uint32_t kind;
        if (leaveRound && !arriving.roundabout) {
            kind = angle >= 0 ? kManeuverRoundaboutRight : kManeuverRoundaboutLeft;
        } else if (!arrRamp && !arriving.flagged &&
                   (leaveRamp || leaveFlagged ||
                    (index + 1 < r_.routeCount &&
                     (r_.routeList[index + 1].attributes & payload::kRamp)))) {
            const bool freeway = LeadsOntoFreeway(index);
            const bool right = angle > 0;
            if (absAngle <= 10)
                kind = kManeuverStraight;
            else if (absAngle <= 40)
                kind = freeway ? (right ? kManeuverFreewayBearRight : kManeuverFreewayBearLeft)
                               : (right ? kManeuverBearRight : kManeuverBearLeft);
            else
                kind = freeway ? (right ? kManeuverFreewayRight : kManeuverFreewayLeft)
                               : (right ? kManeuverTurnRight : kManeuverTurnLeft);
        } else if (leaving == arriving.link || (absAngle > 120 && !streetChanges) ||
                   (absAngle >= 150 && absAngle <= 210)) {
            kind = kManeuverUTurn;
        } else {
            const bool exit = (arriving.flagged && (!leaveFlagged || (!arrRamp && leaveRamp))) ||
                              (arriving.roundabout && !leaveRound);
            if (arriving.flagged && leaveFlagged && !exit)
                keep = true;
            kind = ManeuverKindFromAngle(angle, exit, keep);
            // An exit straight ahead has no side: it is told as a keep or straight.
            if (kind == 0)
                kind = ManeuverKindFromAngle(angle, false, keep);
        }
        // A left turn off a named street and a second left back onto it: one U-turn,
        // at the second node.
        if (pendingLeft_ && !records_.empty() && angle < 0 && pendingAngle_ + angle < -150 &&
            StreetText(entry.linkId, attributes) == pendingStreet_) {
            Maneuver& previous = records_.back();
            previous = {index, kManeuverUTurn, previous.distance + running_};
            pendingLeft_ = false;
        } else {
            pendingLeft_ = false;
            if (angle < -10 && kind != kManeuverUTurn) {
                std::string street = StreetText(arriving.linkId, arriving.attributes);
                if (IsNamedStreet(street)) {
                    pendingLeft_ = true;
                    pendingAngle_ = angle;
                    pendingStreet_ = std::move(street);
                }
            }
            // Decided: a maneuver names the node where it happens, also after a run of
            // bends, because guidance and the screens put its arrow and road name there;
            // the run's first node would name the road before the turn.
            records_.push_back({index, kind, running_});
        }
        // j. The record.
        running_ = 0;
        g_lastManeuverAngle = angle;
        arriving = next;
    }
}

int ManeuverBuilder::Store() {
    const size_t collected = records_.size();
    const FLOAT tail = running_ + r_.destPartLength;
    const char* name = r_.request.shortName;
    const size_t nameLength = strnlen(name, sizeof r_.request.shortName);
    // A destination right at the last junction: that record becomes the arrival.
    const bool merge = (nameLength == 0 || name[0] == '-') && tail == 0 && collected > 0;
    const size_t count = merge ? collected : collected + 1;
    auto* array = static_cast<Maneuver*>(g_heap.Alloc(count * sizeof(Maneuver)));
    std::copy(records_.begin(), records_.end(), array);
    if (merge) {
        array[count - 1].routeIndex = -1;
        array[count - 1].kind = kManeuverArrival;
    } else {
        array[count - 1] = {-1, kManeuverArrival, tail};
    }
    r_.maneuvers = array;
    r_.maneuverCount = static_cast<int32_t>(count);
    r_.currentManeuver = 0;
    r_.nextManeuverDistance = array[0].distance;
    return 0;
}

}  // namespace

int CRouter::BuildManeuverList() {
    g_heap.Compact();
    FreeManeuvers();
    if (!routeList || routeCount <= 0)
        return 1;
    try {
        ManeuverBuilder builder(*this);
        builder.Walk();
        return builder.Store();
    } catch (CMemoryException* e) {
        e->Delete();
    } catch (const std::bad_alloc&) {
    }
    FreeManeuvers();
    return 1;
}
