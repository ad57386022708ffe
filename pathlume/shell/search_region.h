// The region the destination search starts in.
#pragma once

class CMapView;

// The matched road's region, else the region of the drawn road nearest to the
// vehicle, else SearchRegionOr's answer.
int CurrentSearchRegion(CMapView& view);
// `region` unless it is none (255): then the first region whose street-name list
// holds streets, or 255 when there is none (or no readable list).
int SearchRegionOr(int region);
