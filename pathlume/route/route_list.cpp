// The route list: the search's back-links from the vehicle's virtual node to the
// destination's, turned into one entry per node the route passes, in driving order.
//
// Decided: every entry names a node of the network the search ran on, and a chunk
// read from "mapdatat.biz" is not swapped for its "mapdata1.biz" version to list
// the nodes its joined links pass, because the companion chunks number their nodes
// afresh (an index does not carry over) and a reload would move the links and
// nodes the router and the vehicle's position hold. Such a link keeps the length of
// the links it joins; only its shape is thinned.
#include <new>
#include <unordered_set>
#include <vector>

#include "pathlume/foundation/heap.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/route/route_list.h"
#include "pathlume/route/router_internal.h"
#include "platform/afx/afx.h"
#include "platform/kernel/msgbox.h"

namespace {

// "Options2" bit 31: diagnostic checks on, so an inconsistent route list is shown.
constexpr DWORD kDiagnosticsBit = 0x80000000;

class RouteListBuilder {
  public:
    explicit RouteListBuilder(CRouter& router) : r_(router) {}

    // 0 with the entries in entries_, or the error number (1 a back-link leads
    // nowhere or round in a circle, 2 a node cannot be named, kNoEntry a route
    // without a node between its ends: along one link, which has no entries).
    int Walk();
    static constexpr int kNoEntry = 3;

    // Takes the on-route marks off again after a failed build.
    void Unmark() {
        for (MapLink* link : marked_)
            link->shapeInfo &= static_cast<uint16_t>(~kShapeOnRoute);
    }

    std::vector<RouteEntry> entries_;
    std::vector<MapLink*> marked_;
    FLOAT length_ = 0;

  private:
    // The real link a search link stands for: a half-link at a route end is its
    // whole link.
    MapLink* RealLink(MapLink* link) const {
        if (!(link->flags & kLinkSynthetic))
            return link;
        if (link == r_.halfLinks[0] || link == r_.halfLinks[1])
            return r_.searchStartLink ? r_.searchStartLink : link;
        if (link == r_.halfLinks[2] || link == r_.halfLinks[3])
            return r_.searchDestLink ? r_.searchDestLink : link;
        return link;
    }

    CRouter& r_;
};

int RouteListBuilder::Walk() {
    MapNode* node = r_.startVirtualNode;
    uint32_t slot = r_.requiredStartSlot;
    // Every (node, slot) state is passed at most once on a sound chain: a corrupt
    // one that cycles ends here.
    std::unordered_set<const NodeSearchState*> passed;
    for (;;) {
        if (!node->searchState || slot >= node->SlotCapacity() ||
            !passed.insert(&node->searchState[slot]).second)
            return 1;
        MapLink* link = node->Slots()[slot];
        if (!link)
            return 1;
        MapNode* next = link->fromNode == node ? link->toNode : link->fromNode;
        if (!next)
            return 1;
        const uint32_t nextSlot = node->searchState[slot].bytes[0] & search_state::kBackSlotMask;
        MapLink* real = RealLink(link);
        if (!(real->shapeInfo & kShapeOnRoute)) {
            real->shapeInfo |= kShapeOnRoute;
            marked_.push_back(real);
        }
        if (!(link->flags & kLinkSynthetic))
            length_ += link->Length();
        if (next == r_.destVirtualNode)
            return entries_.empty() ? kNoEntry : 0;
        if (next != r_.startVirtualNode) {
            // The entry of the node reached: the link by which the route leaves it.
            if (nextSlot >= next->SlotCapacity() || !next->Slots()[nextSlot])
                return 1;
            const MapLink* leaving = RealLink(next->Slots()[nextSlot]);
            RouteEntry entry{};
            uint32_t index = 0;
            if (!NodeChunkOf(next, &entry.chunk, &index))
                return 2;
            entry.nodeRef = index | (nextSlot << RouteEntry::kSlotShift) |
                            RouteEntry::kRoutingLevel |
                            ((leaving->shapeInfo & kShapeMajorRoad) ? RouteEntry::kFlaggedLink : 0);
            entry.linkId = leaving->linkId;
            entry.attributes = leaving->attributes;
            entries_.push_back(entry);
        }
        // A pass through the vehicle's own position names no node: the entry before
        // it already leaves by the vehicle's whole link.
        node = next;
        slot = nextSlot;
    }
}

}  // namespace

bool LinkKeyOf(const MapLink* link, RouteEntry* key) {
    if (!link || !link->fromNode || link->IsDead())
        return false;
    uint32_t index = 0;
    MapChunk* chunk = nullptr;
    if (!NodeChunkOf(link->fromNode, &chunk, &index))
        return false;
    key->nodeRef = index | (link->FromSlot() << RouteEntry::kSlotShift) | RouteEntry::kRoutingLevel;
    key->chunk = chunk;
    key->linkId = link->linkId;
    key->attributes = link->attributes;
    return true;
}

int CRouter::BuildRouteList() {
    if (!destVirtualNode || !startVirtualNode)
        return 0;
    g_heap.Compact();
    routeLength = 0;
    remainingLength = 0;
    nextManeuverDistance = 0;
    FreeRouteList();
    int error = 0;
    RouteEntry* array = nullptr;
    size_t count = 0;
    RouteListBuilder builder(*this);
    try {
        error = builder.Walk();
        if (error == RouteListBuilder::kNoEntry)
            error = 0;
        if (error == 0) {
            count = builder.entries_.size();
            if (count > 0) {
                array = static_cast<RouteEntry*>(g_heap.Alloc(count * sizeof(RouteEntry)));
                std::copy(builder.entries_.begin(), builder.entries_.end(), array);
            }
            routeLength = builder.length_;
        }
    } catch (CMemoryException* e) {
        e->Delete();
        builder.Unmark();
        return 1;
    } catch (const std::bad_alloc&) {
        builder.Unmark();
        return 1;
    }
    if (error != 0) {
        builder.Unmark();
        if (RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"Options2", 0) & kDiagnosticsBit)
            MessageBoxW(nullptr, error == 1 ? u"BUILDROUTELIST ERROR 1" : u"BUILDROUTELIST ERROR 2",
                        u"", MB_OK);
        return 1;
    }
    routeList = array;
    routeCount = static_cast<int32_t>(count);
    destVirtualNode = count > 0 ? ResolveNodeRef(routeList[0]) : nullptr;
    startVirtualNode = count > 0 ? ResolveNodeRef(routeList[count - 1]) : nullptr;
    return 0;
}
