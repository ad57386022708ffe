// The points of interest on the map: the records of the categories the user shows,
// collected from "poi.bin" around the view, the 50 nearest kept in a found list that
// follows the view in steps of 2000 ft, drawn as icons with their names offered to
// the frame's labels, and listed with name and telephone number when tapped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pathlume/mapdb/poi_file.h"
#include "platform/gdi/gdi.h"

class CMapView;
class CMapLabels;
class IMapViewHost;

// A point of the found list.
struct PoiFound {
    PoiLayerEntry record;
    uint8_t category = 0;
    uint8_t subtype = 0;
    uint8_t flag = 0;  // category 8: 1 when its name was placed in this frame
};

// A point under a tap, with its name and telephone line.
struct PoiRecord {
    PoiFound entry;
    std::string name;
    std::string phone;  // "Tel: (nnn) nnn-nnnn", or empty
};

// An icon the last frame drew: its resource id, centre and size.
struct DrawnPoiIcon {
    UINT id;
    int x;
    int y;
    int size;
};

inline constexpr int kPoiCategories = formats::poi::kCategoryCount;
inline constexpr int kPoiIconCount = 36;
// The filter's code for category 8 (cities), which closes every selection.
inline constexpr uint32_t kPoiCitiesCode = 0xFFFFFF08u;
inline constexpr int kPoiSelectionRoom = 10;

// The icon of a category's sub-category: its index 0-35 and resource id. A
// sub-category past the category's icons takes the category's first.
int PoiIconIndex(uint32_t category, uint32_t subtype);
UINT PoiIconId(uint32_t category, uint32_t subtype);

// Feet between two points, longitudes scaled at the first latitude.
float PoiDistance(float longitude1, float latitude1, float longitude2, float latitude2);

// The categories the map (forDialog 0, at zoomIndex) or the icon filter (forDialog
// 1) shows, as codes: the category in the low byte, the sub-categories above it. The
// stored "DDrawPOITypes" unless skipRegistry, else the built-in choice; cities always
// close the list. The number of codes written (room for kPoiSelectionRoom).
int LoadPoiSelection(uint32_t* codes, int skipRegistry, int forDialog, int zoomIndex);

class PoiLayer {
  public:
    static constexpr int kFoundCapacity = 50;
    static constexpr float kRecollectFeet = 2000.0f;

    PoiLayer() = default;
    ~PoiLayer();
    PoiLayer(const PoiLayer&) = delete;
    PoiLayer& operator=(const PoiLayer&) = delete;

    // Reads the head of g_poiFile: 0, or 1 when it is not open or not a usable
    // "NPL7" file; the layer is then empty until the next call.
    int OpenPoiFile();
    bool IsOpen() const { return open_; }

    // Collects the shown categories' records in the cells under the view: 0, or 1 when
    // nothing can be collected (no file, an empty window).
    int CollectVisible(const uint32_t* categories, int count, const CMapView& view);
    // Collects, then keeps the 50 nearest to the point in the found list.
    int CollectInArea(const uint32_t* categories, int count, float longitude, float latitude,
                      const CMapView& view);
    // 1 when the found list must be collected again at the point: no centre yet (the
    // point becomes it) or more than 2000 ft from it.
    int NeedsRecollect(float longitude, float latitude);
    void CollectNear(const uint32_t* categories, int count, float longitude, float latitude,
                     const CMapView& view);
    // Empties the found list; the next frame collects again.
    void Forget();

    // Offers the names to the frame's labels: cities always (a city is drawn only
    // with its name), the others at the closest zooms while names are shown.
    void PlaceLabels(HDC dc, const CMapView& view, CMapLabels& labels, int topRow);
    // No names this frame: cities are not drawn.
    void DropLabels();
    // Draws the icons (none above topRow when it is above 0) and drops the icon cache.
    void Draw(HDC dc, const CMapView& view, int topRow);

    // With act 0: 1 when a point's 16 x 16 box holds the tap. Otherwise lists the
    // points under it through the host and acts on the one chosen: 1 when one was
    // hit, else 0.
    int HitTest(const CMapView& view, IMapViewHost* host, int x, int y, int act);
    // The name and, but for cities, the telephone line: 0, or 1 when a name the
    // record has cannot be read.
    int ReadPoi(PoiRecord* record, const PoiFound& entry);

    const std::vector<PoiFound>& Found() const { return found_; }
    const std::vector<DrawnPoiIcon>& DrawnIcons() const { return drawn_; }
    size_t CollectedCount() const;
    const PoiFileHead& Head() const { return head_; }

  private:
    bool Project(const CMapView& view, const PoiLayerEntry& record, int* x, int* y) const;
    void FreeDrawnItems();
    void DestroyIcons();

    PoiFileHead head_;
    bool open_ = false;
    std::vector<PoiLayerEntry> collected_[kPoiCategories];
    float centreLongitude_ = 0;
    float centreLatitude_ = 0;
    std::vector<PoiFound> found_;
    HICON icons_[kPoiIconCount] = {};
    std::vector<DrawnPoiIcon> drawn_;
};
