// Roads to avoid and the detour mark. The avoid list keeps its links in route-entry
// form (node reference, chunk, link id, attributes); a key is resolved only while
// its chunk is loaded and its slot still holds that link, so a chunk record reused
// for another cell is never marked.
#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/heap.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/route/route_hooks.h"
#include "pathlume/route/router.h"
#include "pathlume/route/router_internal.h"
#include "platform/afx/afx.h"
#include "platform/user/user.h"

CAvoidList g_avoidList;

namespace {

bool SameKey(const RouteEntry& a, const RouteEntry& b) {
    return a.nodeRef == b.nodeRef && a.chunk == b.chunk && a.linkId == b.linkId &&
           a.attributes == b.attributes;
}

void Mark(const RouteEntry& key) {
    MapNode* node = ResolveNodeRef(key.nodeRef, key.chunk, key.linkId);
    if (!node)
        return;
    const uint32_t slot = key.Slot();
    if (slot < node->SlotCapacity() && node->Slots()[slot])
        node->Slots()[slot]->attributes |= kAttrAvoidMark;
}

}  // namespace

void CAvoidList::Clear() {
    for (Node** head : {&listA, &listB}) {
        while (Node* node = *head) {
            *head = node->next;
            RouterHeapFree(node);
        }
    }
}

bool CAvoidList::Add(const RouteEntry& key) {
    Node** head = (key.nodeRef & RouteEntry::kRoutingLevel) ? &listB : &listA;
    for (const Node* node = *head; node; node = node->next) {
        if (SameKey(node->key, key))
            return true;
    }
    Node* node = nullptr;
    ++g_oomQuietDepth;
    try {
        node = static_cast<Node*>(RouterHeapAlloc(sizeof(Node)));
    } catch (CMemoryException* e) {
        e->Delete();
    }
    --g_oomQuietDepth;
    if (!node) {
        g_outOfMemory = 0;
        return false;
    }
    node->key = key;
    node->next = *head;
    *head = node;
    return true;
}

void CAvoidList::ApplyMarks(const MapChunk* chunk) {
    for (const Node* node = listB; node; node = node->next) {
        if (!chunk || node->key.chunk == chunk)
            Mark(node->key);
    }
    if (chunk && (chunk->flags & kChunkFromFileT))
        return;
    for (const Node* node = listA; node; node = node->next) {
        if ((!chunk || node->key.chunk == chunk) && node->key.chunk &&
            !(node->key.chunk->flags & kChunkFromFileT))
            Mark(node->key);
    }
}

int CAvoidList::Count() const {
    int count = 0;
    for (const Node* head : {listA, listB}) {
        for (const Node* node = head; node; node = node->next)
            ++count;
    }
    return count;
}

void CRouter::SetAvoidMarks(int on) {
    if (on) {
        state |= kRouterAvoidMarksApplied;
        return;
    }
    if (!(state & kRouterAvoidMarksApplied))
        return;
    g_avoidList.Clear();
    ForEachRouteChunk(
        [](MapChunk& chunk, void*) {
            for (uint32_t i = 0; chunk.nodes && i < chunk.header.nodeCount; ++i) {
                MapNode* node = chunk.nodes[i];
                for (uint32_t s = 0; node && s < node->SlotCapacity(); ++s) {
                    if (MapLink* link = node->Slots()[s])
                        link->attributes &= ~kAttrAvoidMark;
                }
            }
        },
        nullptr);
    state &= ~kRouterAvoidMarksApplied;
}

uint32_t CRouter::SetDetourBit(int on) {
    if (on) {
        const uint32_t previous = state;
        state |= kRouterDetourActive;
        return previous;
    }
    detourWord = 0;
    state &= ~kRouterDetourActive;
    return 0;
}

void CRouter::SetDetour(int on) {
    SetAvoidMarks(0);
    if (on) {
        SetDetourBit(1);
        return;
    }
    if (!(state & kRouterDetourActive))
        return;
    SetDetourBit(0);
    if (IMainView* view = g_mainView.load())
        PostMessageW(view->GetViewWindow(), WM_USER, kViewResumeTrip, 1);
}

int CRouter::RequestRecalc(int recalculation, int noGuidance) {
    const DWORD recalc = RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"Recalc", 1);
    GetRouteGuidance().ResetAnnouncements(true);
    IMainView* view = g_mainView.load();
    if (view && view->GetReplayFlag())
        GetRouteGuidance().SetReplayWord(-1);
    MapLink* link = g_vehicleLocation.GetLink(false);
    return SearchRoute(link, g_vehicleLocation.segment, g_vehicleLocation.position,
                       routeDestLink ? &destLinkCopy : request.link, destSegment, destPoint,
                       recalc != 0 ? recalculation : 0, noGuidance);
}
