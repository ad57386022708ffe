// Route-entry keys of links: how the roads to avoid and the tools name a link so
// that it is found again after the chunk holding it was reloaded.
#pragma once

#include "pathlume/route/router.h"

// The key of a link: its from-node's index in the loaded chunk that holds it, the
// link's slot there, the routing-level mark, the link's id and attribute word.
// False when no loaded chunk of layers 0, 3 and 4 holds the node.
bool LinkKeyOf(const MapLink* link, RouteEntry* key);
