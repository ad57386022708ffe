// Helpers the router's source files share; not for other modules.
#pragma once

#include "pathlume/mapdb/map_records.h"
#include "platform/kernel/wintypes.h"

// The router's warning box: caption 6007, text `textId` (the fallback without a
// string table).
void ShowRouteMessage(UINT textId, LPCWSTR fallback);
// The loaded chunk of layers 0, 4 or 3 that holds the node, and its index there.
bool NodeChunkOf(const MapNode* node, MapChunk** chunkOut, uint32_t* indexOut);
// Calls `visit` for every loaded chunk of layers 0, 4 and 3.
void ForEachRouteChunk(void (*visit)(MapChunk&, void*), void* context);
