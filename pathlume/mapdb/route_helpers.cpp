// Small questions the route search asks of nodes and links.
#include "pathlume/mapdb/map_records.h"

namespace {

// A run of pass-through nodes longer than this is taken as no dead end: the walk
// must end even on a ring that does not come back to its start node.
constexpr int kMaxPassThroughSteps = 1 << 16;

bool IsPassThrough(const MapNode* node) {
    return node->slotCount == 2 && node->UseCount() == 2;
}

// A node whose one hooked link is all there is: not a border stub or placeholder,
// where the road goes on into a chunk that is not loaded.
bool EndsTheRoad(const MapNode* node) {
    return node->UseCount() == 1 && node->slotCount != MapNode::kSingleSlot &&
           node->position.latitude != ProxyNode::kLatitude;
}

}  // namespace

int MapNode::LeadsToDeadEnd(const MapLink* link, const MapNode* node) {
    if (!node)
        return 0;
    if (EndsTheRoad(node))
        return 1;
    const MapNode* current = node;
    const MapLink* cameBy = link;
    for (int step = 0; IsPassThrough(current); ++step) {
        if (step == kMaxPassThroughSteps)
            return 0;
        const MapLink* next = current->Slots()[0];
        if (next == cameBy)
            next = current->Slots()[1];
        if (!next)
            return 0;
        const MapNode* following = next->fromNode == current ? next->toNode : next->fromNode;
        // A closed ring of pass-through nodes has no end at all.
        if (!following || following == node)
            return 0;
        current = following;
        cameBy = next;
    }
    return EndsTheRoad(current) ? 1 : 0;
}

void MapLink::GetEndPositions(uint32_t k, MapPoint* a, MapPoint* b) const {
    const uint32_t n = GetShapePointCount();
    // Past the last segment means the last segment: callers stepping one too far get
    // positions on the link rather than stale outputs.
    if (k > n)
        k = n;
    const MapNode* from = fromNode;
    const MapNode* to = toNode;
    if (a) {
        if (k == 0) {
            if (from)
                *a = from->position;
        } else {
            *a = shapePoints[k - 1];
        }
    }
    if (b) {
        if (k == n) {
            if (to)
                *b = to->position;
        } else {
            *b = shapePoints[k];
        }
    }
}
