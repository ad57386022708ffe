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
// Junctions closer than this after a maneuver belong to its crossing (20 m).
constexpr FLOAT kCrossingSpan = 20.0f / 6371000.0f;
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

// A junction of the route: its entry, node and leaving link with that link's words,
// the street identity, and the turn there.
struct Junction {
    int32_t index = 0;
    MapNode* node = nullptr;
    MapLink* leaving = nullptr;
    uint32_t attributes = 0;
    bool ramp = false;
    bool flagged = false;
    bool connector = false;
    bool roundabout = false;
    bool enterOrLeave = false;  // into or out of a roundabout
    uint32_t leaveClass = 0;
    Identity identity = kNoIdentity;  // the leaving road's, or the next one's that has one
    bool streetChanges = false;
    MapPoint before;  // the point the route comes from
    FLOAT angle = 0;  // degrees, right positive
};

// The other roads at a junction.
struct Survey {
    int competitors = 0;
    bool behind = false;
    FLOAT minAngle = 1e9f, maxAngle = -1e9f;
    FLOAT minAbsAngle = 1e9f;
    FLOAT minAbsDifference = 1e9f;
};

class ManeuverBuilder {
  public:
    explicit ManeuverBuilder(CRouter& router) : r_(router) {}

    // The records in driving order, the arrival not yet added; the running distance
    // after the last junction stays in running_.
    void Walk();
    int Store();

  private:
    Arriving StartLink();
    Junction JunctionAt(int32_t index, const Arriving& arriving, Arriving* next);
    void TurnAt(const Arriving& arriving, Junction& j) const;
    bool Announce(const Arriving& arriving, const Junction& j, Survey* survey);
    bool AdjustForKeep(const Arriving& arriving, Junction& j, const Survey& survey) const;
    uint32_t KindOf(const Arriving& arriving, const Junction& j, bool keep) const;
    bool RoadContinues(const Arriving& arriving, const Junction& j, const Survey& survey,
                       uint32_t kind) const;
    void Record(const Arriving& arriving, const Junction& j, uint32_t kind);

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

    CRouter& r_;
    std::vector<Maneuver> records_;
    FLOAT running_ = 0;
    // A left turn off a named street that the next turn may make a U-turn of.
    bool pendingLeft_ = false;
    FLOAT pendingAngle_ = 0;
    std::string pendingStreet_;
    // The last record entered a roundabout, whose exit its phrase names.
    bool enteredRoundabout_ = false;
    // The street the last record leads onto.
    Identity toldIdentity_ = kNoIdentity;
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

Arriving ManeuverBuilder::StartLink() {
    Arriving start;
    if (MapLink* link = r_.routeStartLink) {
        start.link = link;
        start.attributes = link->attributes;
        start.linkId = link->linkId;
        start.flagged = (link->shapeInfo & kShapeMajorRoad) != 0;
        start.roundabout = (link->attributes & payload::kRoundabout) != 0;
        start.identity = IdentityOf(link->linkId);
    }
    return start;
}

// a and c: the entry's node, leaving link, words and street identity.
Junction ManeuverBuilder::JunctionAt(int32_t index, const Arriving& arriving, Arriving* next) {
    const RouteEntry& entry = r_.routeList[index];
    Junction j;
    j.index = index;
    j.node = ResolveNodeRef(entry);
    j.leaving = LeavingLink(entry, j.node);
    j.attributes = entry.attributes;
    j.ramp = (entry.attributes & payload::kRamp) != 0;
    j.flagged = (entry.nodeRef & RouteEntry::kFlaggedLink) != 0;
    j.connector = (entry.attributes & payload::kConnector) != 0;
    j.leaveClass = entry.attributes & kClassMask;
    // A connector takes its roundabout bit from the entry after it.
    const uint32_t roundWord = j.connector && index + 1 < r_.routeCount
                                   ? r_.routeList[index + 1].attributes
                                   : entry.attributes;
    j.roundabout = (roundWord & payload::kRoundabout) != 0;
    j.enterOrLeave = arriving.roundabout != j.roundabout;
    next->link = j.leaving;
    next->attributes = entry.attributes;
    next->linkId = entry.linkId;
    next->flagged = j.flagged;
    next->roundabout = j.roundabout;
    next->identity = IdentityOf(entry.linkId);
    j.identity = LeavingIdentity(index, next->identity);
    j.streetChanges = arriving.identity != j.identity;
    return j;
}

// d and e: the turn from the arriving link onto the leaving one, in degrees.
void ManeuverBuilder::TurnAt(const Arriving& arriving, Junction& j) const {
    uint32_t beforeK = 0, afterK = 0;
    j.before = ChosenPoint(arriving.link, j.node, &beforeK);
    const MapPoint after = ChosenPoint(j.leaving, j.node, &afterK);
    j.angle = TurnDegrees(j.before, j.node->position, after);
    if (!j.connector && arriving.Class() > 0x80 && std::fabs(j.angle) < 30 &&
        afterK < PointsFromNode(j.leaving)) {
        const FLOAT limit = j.node == j.leaving->fromNode ? kFiftyFeet : kTwentyFeet;
        if (PointDistance(j.node->position, after, 0) < limit)
            j.angle +=
                TurnDegrees(j.node->position, after, PointFromNode(j.leaving, j.node, afterK + 1));
    }
    if (arriving.roundabout && !j.roundabout)
        j.angle = 40;
}

// h: whether the junction is told, from the turn and the other roads there.
bool ManeuverBuilder::Announce(const Arriving& arriving, const Junction& j, Survey* survey) {
    const FLOAT absAngle = std::fabs(j.angle);
    const bool arrRamp = arriving.Ramp();
    bool announce = (!arrRamp && j.ramp && arriving.identity != kNoIdentity) ||
                    (absAngle > 30 && !(arrRamp && j.ramp)) || j.enterOrLeave;
    const bool newStreetBend =
        absAngle < 40 && absAngle > 10 && j.streetChanges && j.node->UseCount() > 2;
    MapLink* const* slots = j.node->Slots();
    for (uint32_t s = 0; s < j.node->SlotCapacity(); ++s) {
        const MapLink* branch = slots[s];
        if (!branch || branch == j.leaving || branch == arriving.link || branch->IsDead() ||
            !DrivableAway(branch, j.node))
            continue;
        const FLOAT b = TurnDegrees(j.before, j.node->position, GetPointNextToNode(branch, j.node));
        const FLOAT absB = std::fabs(b);
        const FLOAT difference = b - j.angle;
        if (newStreetBend && absB <= 40)
            announce = true;
        if (absB >= 120 && std::fabs(difference) >= 120) {
            survey->behind = true;
            continue;
        }
        survey->minAngle = std::min(survey->minAngle, b);
        survey->maxAngle = std::max(survey->maxAngle, b);
        survey->minAbsAngle = std::min(survey->minAbsAngle, absB);
        survey->minAbsDifference = std::min(survey->minAbsDifference, std::fabs(difference));
        const uint32_t bClass = branch->attributes & kClassMask;
        const bool bRamp = (branch->attributes & payload::kRamp) != 0;
        // Minor roads off a road of one class, and nameless ones off a road run straight on.
        if (arriving.Class() == j.leaveClass && j.leaveClass <= 0x80 && !arrRamp && !j.ramp &&
            bClass > j.leaveClass && bClass > 0xBF)
            continue;
        if (arriving.Class() > 0x80 && j.leaveClass > 0x80 && !arrRamp && !j.ramp &&
            absAngle <= 10 && j.identity != kNoIdentity &&
            IdentityOf(branch->linkId) == kNoIdentity)
            continue;
        if (!j.flagged) {
            bool apart = false;
            if (absB > 10) {
                const FLOAT tolerance = absAngle > 10 ? 45.0f : 10.0f;
                const FLOAT d = std::fabs(difference);
                const bool far = absAngle <= absB ? d > tolerance : d >= tolerance;
                apart = far && std::fabs(absB - absAngle) >= 25;
                if (apart && arriving.Class() > 0xBF && j.leaveClass > 0xBF && bClass > 0xBF &&
                    absAngle <= 10 && absB <= 30)
                    apart = false;
            }
            if (!apart && !(branch->attributes & payload::kConnector))
                announce = true;
            if (bRamp && j.ramp)
                announce = true;
        } else if (bRamp && bClass <= 0x80 && absB <= 80 && !j.streetChanges &&
                   static_cast<int>(branch->attributes & payload::kSpeedCategoryMask) -
                           static_cast<int>(j.attributes & payload::kSpeedCategoryMask) <
                       3) {
            announce = true;
        }
        ++survey->competitors;
    }
    if ((arriving.attributes & kSpecialRoad) && (survey->competitors > 0 || absAngle > 40))
        return true;
    if (announce && j.flagged && survey->competitors < 2 && !j.streetChanges && !j.ramp &&
        absAngle <= 40)
        return j.enterOrLeave;
    if ((survey->competitors > 0 || survey->behind) && !arrRamp && !j.ramp &&
        (absAngle > 40 || (absAngle > 30 && j.streetChanges)))
        return true;
    return announce;
}

// The keep adjustment: a slight turn among close branches is told as keeping to the
// side the route takes. True when the street stays (the keep flag).
bool ManeuverBuilder::AdjustForKeep(const Arriving& arriving, Junction& j,
                                    const Survey& survey) const {
    const FLOAT absAngle = std::fabs(j.angle);
    if (!((j.leaveClass <= 0xC0 && arriving.Class() <= 0x80) || (arriving.Ramp() && j.ramp) ||
          survey.competitors == 1) ||
        absAngle > 40 || survey.competitors == 0)
        return false;
    bool adjusted = false;
    if (absAngle <= 10) {
        if (j.node->SlotCapacity() == 3 && ((j.angle > survey.maxAngle && j.angle < 0) ||
                                            (j.angle < survey.minAngle && j.angle > 0))) {
            j.angle = -j.angle;
            adjusted = true;
        }
    } else if (survey.minAbsDifference < 80) {
        const bool several = survey.competitors > 1;
        if (j.angle < survey.minAngle) {
            j.angle = j.angle > 0 && several ? -10.0f : -39.0f;
            adjusted = true;
        } else if (j.angle > survey.maxAngle) {
            j.angle = j.angle < 0 && several ? 10.0f : 39.0f;
            adjusted = true;
        }
    }
    return adjusted && !j.streetChanges;
}

// i: the kind of the maneuver.
uint32_t ManeuverBuilder::KindOf(const Arriving& arriving, const Junction& j, bool keep) const {
    const FLOAT absAngle = std::fabs(j.angle);
    const bool right = j.angle > 0;
    if (j.roundabout && !arriving.roundabout)
        return j.angle >= 0 ? kManeuverRoundaboutRight : kManeuverRoundaboutLeft;
    const bool nextIsRamp =
        j.index + 1 < r_.routeCount && (r_.routeList[j.index + 1].attributes & payload::kRamp);
    if (!arriving.Ramp() && !arriving.flagged && (j.ramp || j.flagged || nextIsRamp)) {
        const bool freeway = LeadsOntoFreeway(j.index);
        if (absAngle <= 10)
            return kManeuverStraight;
        if (absAngle <= 40)
            return freeway ? (right ? kManeuverFreewayBearRight : kManeuverFreewayBearLeft)
                           : (right ? kManeuverBearRight : kManeuverBearLeft);
        return freeway ? (right ? kManeuverFreewayRight : kManeuverFreewayLeft)
                       : (right ? kManeuverTurnRight : kManeuverTurnLeft);
    }
    if (j.leaving == arriving.link || (absAngle > 120 && !j.streetChanges) ||
        (absAngle >= 150 && absAngle <= 210))
        return kManeuverUTurn;
    const bool exit = (arriving.flagged && (!j.flagged || (!arriving.Ramp() && j.ramp))) ||
                      (arriving.roundabout && !j.roundabout);
    if (arriving.flagged && j.flagged && !exit)
        keep = true;
    const uint32_t kind = ManeuverKindFromAngle(j.angle, exit, keep);
    // An exit straight ahead has no side: it is told as a keep or straight on.
    return kind != 0 ? kind : ManeuverKindFromAngle(j.angle, false, keep);
}

// Where the road simply continues the driver is told nothing: leaving a roundabout
// whose entry was told (its phrase names the exit), a junction within the crossing
// of the maneuver just told that keeps the street, and going straight on along the
// same street where no other road runs straighter.
bool ManeuverBuilder::RoadContinues(const Arriving& arriving, const Junction& j,
                                    const Survey& survey, uint32_t kind) const {
    if (arriving.roundabout && !j.roundabout)
        return enteredRoundabout_;
    if (j.enterOrLeave || arriving.Ramp() != j.ramp || arriving.flagged != j.flagged)
        return false;
    // The street the last maneuver went onto, reached over a short piece of its own.
    if (!records_.empty() && running_ < kCrossingSpan && std::fabs(j.angle) <= 40 &&
        j.identity != kNoIdentity && j.identity == toldIdentity_)
        return true;
    return !j.streetChanges && kind == kManeuverStraight && std::fabs(j.angle) < survey.minAbsAngle;
}

// j: the record, or a U-turn of a left turn off a named street and a second left
// back onto it, at the second node.
void ManeuverBuilder::Record(const Arriving& arriving, const Junction& j, uint32_t kind) {
    if (pendingLeft_ && !records_.empty() && j.angle < 0 && pendingAngle_ + j.angle < -150 &&
        StreetText(r_.routeList[j.index].linkId, j.attributes) == pendingStreet_) {
        Maneuver& previous = records_.back();
        previous = {j.index, kManeuverUTurn, previous.distance + running_};
        pendingLeft_ = false;
    } else {
        pendingLeft_ = false;
        if (j.angle < -10 && kind != kManeuverUTurn) {
            std::string street = StreetText(arriving.linkId, arriving.attributes);
            if (IsRoadName(street.c_str())) {
                pendingLeft_ = true;
                pendingAngle_ = j.angle;
                pendingStreet_ = std::move(street);
            }
        }
        // Decided: a maneuver names the node where it happens, also after a run of
        // bends, because guidance and the screens put its arrow and road name there;
        // the run's first node would name the road before the turn.
        records_.push_back({j.index, kind, running_});
    }
    enteredRoundabout_ = kind == kManeuverRoundaboutRight || kind == kManeuverRoundaboutLeft;
    toldIdentity_ = j.identity;
    running_ = 0;
    g_lastManeuverAngle = j.angle;
}

void ManeuverBuilder::Walk() {
    Arriving arriving = StartLink();
    FLOAT carry = 0;
    bool first = true;
    for (int32_t index = 0; index < r_.routeCount; ++index) {
        // Entries of a reduced chunk's full detail cannot be resolved later.
        if (!(r_.routeList[index].nodeRef & RouteEntry::kRoutingLevel))
            continue;
        // b. The distance.
        if (first)
            running_ += r_.startPartLength;
        else if (arriving.link)
            running_ += arriving.link->Length();
        first = false;
        Arriving next;
        Junction j = JunctionAt(index, arriving, &next);
        const Arriving here = arriving;
        arriving = next;
        // Nothing to judge the junction by (a chunk gone since the route list).
        if (!j.node || !j.leaving || !here.link || j.leaving->IsDead() || here.link->IsDead())
            continue;
        TurnAt(here, j);
        // f. Gentle bends at chain nodes add up into the next junction's angle.
        const bool chain = j.node->UseCount() <= kChainUse;
        const bool last = index == r_.routeCount - 1;
        if (chain && !last && std::fabs(j.angle) < 30 && here.Ramp() == j.ramp) {
            carry += j.angle;
            continue;
        }
        j.angle += carry;
        carry = 0;
        // g. A chain node needs a sharp bend or a new street; h. nothing is told
        // before the route has moved, nor inside a roundabout.
        if ((chain && std::fabs(j.angle) <= 40 && !j.streetChanges) || running_ == 0 ||
            (here.roundabout && j.roundabout))
            continue;
        Survey survey;
        const bool announce = Announce(here, j, &survey);
        const bool arrConnector = (here.attributes & payload::kConnector) != 0;
        if (j.connector && !arrConnector)
            j.angle += ConnectorAngles(index);
        if ((arrConnector && !j.connector) || !announce) {
            g_lastManeuverAngle = j.angle;
            continue;
        }
        const bool keep = AdjustForKeep(here, j, survey);
        const uint32_t kind = KindOf(here, j, keep);
        if (RoadContinues(here, j, survey, kind)) {
            g_lastManeuverAngle = j.angle;
            continue;
        }
        Record(here, j, kind);
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
    // A route along one link has no entries: the arrival alone.
    if (routeCount < 0 || (routeCount > 0 && !routeList))
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
