// Taking a chunk out of the cache. While two neighbouring cells are both loaded
// their common border is one side record whose links run from an interior node of
// one cell straight to an interior node of the other; purging one of them gives
// that side fresh border nodes where the purged cell's end nodes were, so that the
// survivor's links end at records that stay. Sides towards no loaded neighbour are
// freed with the cell.
//
// The operations are members of MapChunk (map_records.h), defined in chunk_purge.cpp:
//   MapChunk::RebuildLevels(layer, dx, dy, force)  purge window cell (dx, dy)
//   MapChunk::Unload(layerIndex, clear)            free the chunk's own storage
//   MapChunk::Clear()                              zero the record
// Callers: the window's cell drop, the out-of-memory path of a chunk load (force),
// the link iteration when it swaps a chunk for its main-file version.
#pragma once

#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/map_records.h"

// The program is shutting down: nothing is reloaded, and links of chunks that go are
// not unhooked from chunks that go with them.
bool ShuttingDown();
