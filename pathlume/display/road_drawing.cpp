// The road pass: minor roads before major ones, casings before fills, each pass a
// walk over a layer's links. A link is joined with the links that continue it
// unambiguously (same draw key, the only such link at the node) into one chain,
// drawn as one polyline (2D) or one ribbon in perspective (3D).
#include <algorithm>
#include <cmath>
#include <vector>

#include "pathlume/display/map_labels.h"
#include "pathlume/display/map_render.h"
#include "pathlume/display/map_theme.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/link_iterator.h"
#include "pathlume/mapdb/map_database.h"

namespace {

constexpr float kRadiansPerDegree = 0.017453292f;

// A placeholder node stands for an overview cell that is not loaded: it has no
// position of its own, so no line may be drawn to it.
bool IsRealNode(const MapNode* node) {
    return node && node->position.latitude != ProxyNode::kLatitude;
}

uint32_t ClassOf(const MapLink& link) {
    return link.attributes & kAttrClassMask;
}

// True when the segment (a, b) touches the rectangle.
bool IsSegmentInView(int ax, int ay, int bx, int by, const RECT& r) {
    auto code = [&r](int x, int y) {
        return (x < r.left ? 1 : 0) | (x > r.right ? 2 : 0) | (y < r.top ? 4 : 0) |
               (y > r.bottom ? 8 : 0);
    };
    int ca = code(ax, ay), cb = code(bx, by);
    double x0 = ax, y0 = ay, x1 = bx, y1 = by;
    for (int guard = 0; guard < 8; ++guard) {
        if (!(ca | cb))
            return true;
        if (ca & cb)
            return false;
        const int out = ca ? ca : cb;
        double x = 0, y = 0;
        if (out & 8) {
            x = x0 + (x1 - x0) * (r.bottom - y0) / (y1 - y0);
            y = r.bottom;
        } else if (out & 4) {
            x = x0 + (x1 - x0) * (r.top - y0) / (y1 - y0);
            y = r.top;
        } else if (out & 2) {
            y = y0 + (y1 - y0) * (r.right - x0) / (x1 - x0);
            x = r.right;
        } else {
            y = y0 + (y1 - y0) * (r.left - x0) / (x1 - x0);
            x = r.left;
        }
        const int ix = static_cast<int>(std::lround(x)), iy = static_cast<int>(std::lround(y));
        if (out == ca) {
            x0 = x, y0 = y;
            ca = code(ix, iy) & ~out;
        } else {
            x1 = x, y1 = y;
            cb = code(ix, iy) & ~out;
        }
    }
    return true;
}

// The link's points from its from-node through its shape points to its to-node;
// an end at a placeholder node is left out.
template <typename F>
void ForEachLinkPoint(const MapLink& link, bool reverse, F&& visit) {
    const uint32_t shapes = link.GetShapePointCount();
    const uint32_t total = shapes + 2;
    for (uint32_t k = 0; k < total; ++k) {
        const uint32_t i = reverse ? total - 1 - k : k;
        if (i == 0) {
            if (IsRealNode(link.fromNode))
                visit(link.fromNode->position);
        } else if (i == total - 1) {
            if (IsRealNode(link.toNode))
                visit(link.toNode->position);
        } else {
            visit(link.shapePoints[i - 1]);
        }
    }
}

uint32_t LinkPointCount(const MapLink& link) {
    return link.GetShapePointCount() + 2;
}

}  // namespace

bool CMapView::IsLinkVisible(const MapLink& link, int close) const {
    const float* b = viewBounds_;
    // Every segment is tested: a link whose ends lie off one side may bend into view.
    bool mayCross = false;
    bool first = true;
    MapPoint previous{};
    ForEachLinkPoint(link, false, [&](const MapPoint& p) {
        if (!first && !mayCross &&
            SegmentMayCrossRect(previous.longitude, previous.latitude, p.longitude, p.latitude,
                                b[0], b[1], b[2], b[3]))
            mayCross = true;
        if (first && link.GetShapePointCount() == 0 && !IsRealNode(link.toNode))
            mayCross = SegmentMayCrossRect(p.longitude, p.latitude, p.longitude, p.latitude, b[0],
                                           b[1], b[2], b[3]);
        previous = p;
        first = false;
    });
    if (!mayCross)
        return false;
    // The 3D view sees more than the flat rectangle: its bounds are the whole test.
    if (g_map3DMode.load() != 0)
        return true;
    const int g = ScaleY(8);
    const RECT grown = {viewRect_.left - g, viewRect_.top - g, viewRect_.right + g,
                        viewRect_.bottom + g};
    bool visible = false;
    first = true;
    POINT last{};
    ForEachLinkPoint(link, false, [&](const MapPoint& p) {
        if (visible)
            return;
        int x = 0, y = 0;
        MapToScreen2D(p.longitude, p.latitude, &x, &y);
        if (first ? IsSegmentInView(x, y, x, y, grown)
                  : IsSegmentInView(last.x, last.y, x, y, grown))
            visible = true;
        last = {x, y};
        first = false;
    });
    return visible;
}

namespace {

// Orientation of c against the line a-b: +1, -1 or 0.
int Turn(const POINT& a, const POINT& b, const POINT& c) {
    const int64_t cross = int64_t{b.x - a.x} * (c.y - a.y) - int64_t{b.y - a.y} * (c.x - a.x);
    return cross > 0 ? 1 : (cross < 0 ? -1 : 0);
}

// True when the segments a-b and c-d cross at a point inside both.
bool SegmentsCross(const POINT& a, const POINT& b, const POINT& c, const POINT& d) {
    const int t1 = Turn(a, b, c), t2 = Turn(a, b, d), t3 = Turn(c, d, a), t4 = Turn(c, d, b);
    return t1 * t2 < 0 && t3 * t4 < 0;
}

}  // namespace

void CMapView::UntwistRibbon(MapPoint* mapOutline, int count, POINT* screen, float* flatFloats,
                             bool skipFirst) {
    const int n = count / 2;
    for (int i = skipFirst ? 1 : 0; i + 1 < n; ++i) {
        const int a = i, b = i + 1;                      // edge i of the first side
        const int c = count - 1 - i, d = count - 2 - i;  // its mirror on the second side
        if (screen[a].y == screen[b].y && screen[c].y == screen[d].y)
            continue;
        if (!SegmentsCross(screen[a], screen[b], screen[c], screen[d]))
            continue;
        std::swap(screen[b], screen[d]);
        std::swap(mapOutline[b], mapOutline[d]);
        if (flatFloats) {
            std::swap(flatFloats[2 * b], flatFloats[2 * d]);
            std::swap(flatFloats[2 * b + 1], flatFloats[2 * d + 1]);
        }
    }
}

float CMapView::GetRoadHalfWidth3D(const MapLink& link) const {
    const uint32_t roadClass = ClassOf(link);
    const bool major = (link.shapeInfo & kShapeMajorRoad) != 0;
    static constexpr float kMajor[6] = {1.6266275e-5f, 2.8465980e-5f, 4.0665687e-5f,
                                        4.7841982e-5f, 4.7841982e-5f, 4.7841982e-5f};
    static constexpr float kMiddle[6] = {1.2199705e-5f, 2.4399411e-5f, 3.6599118e-5f,
                                         4.3057786e-5f, 4.3057786e-5f, 4.3057786e-5f};
    static constexpr float kMinor[6] = {1.2199705e-5f, 2.4399411e-5f, 3.6599118e-5f,
                                        4.3057786e-5f, 2.3920991e-5f, 4.3057786e-5f};
    const int z = zoomIndex_ < 0 ? 0 : zoomIndex_;
    const int column = z <= 2 ? z : (z <= 4 ? 3 : (z == 5 ? 4 : 5));
    float width = 0;
    if ((roadClass == 0x40 || roadClass == 0x80) && major)
        width = kMajor[column];
    else if (roadClass == 0x40 || roadClass == 0x80 || roadClass == 0xC0)
        width = kMiddle[column];
    else if (roadClass == 0x100 || roadClass == 0x140)
        width = kMinor[column];
    if ((link.attributes & kAttrTypeNarrow) && !(link.attributes & kAttrTypeRoad))
        width *= 0.25f;
    return width;
}

// One frame's road passes.
class RoadPass {
  public:
    RoadPass(CMapView& view, int changed, int close, HDC dc, MapGdiSet& set, CMapLabels& labels,
             IconLabelList& icons)
        : view_(view),
          changed_(changed),
          close_(close),
          dc_(dc),
          set_(set),
          labels_(labels),
          icons_(icons),
          view3D_(g_map3DMode.load() != 0) {
        const int z = view.zoomIndex_;
        if (view3D_)
            classCut_ =
                (z >= 0 && z <= 3) ? 0x140 : (z == 4 ? 0x100 : (z >= 5 && z <= 8 ? 0xC0 : 0));
        else
            classCut_ = z < 11 ? 0x140 : 0;
        const int level = std::clamp(z, 0, CMapTheme::kLevels - 1);
        casingCut_ = static_cast<uint32_t>(view3D_ ? g_mapTheme.levelClassLimitB[level]
                                                   : g_mapTheme.levelClassLimitA[level]);
        avoidMarks_ = (GetMapRoute().GetState() & kRouteStateAvoidMarksApplied) != 0;
        vehicleLink_ = g_vehicleLocation.GetLink(false);
        streetLabels_ = !(g_options2.load() & kOptions2NoStreetLabels);
        majorOnly_ =
            view.guidanceFlag_ && vehicleLink_ && (vehicleLink_->shapeInfo & kShapeMajorRoad) != 0;
        points_.reserve(CMapView::kChainPoints);
        backward_.reserve(CMapView::kChainPoints);
    }

    void Run() {
        const uint32_t limit = view_.roadClassLimit_;
        if (close_ && changed_) {
            RestoreShapes(0);
            if (limit > kRoadClassMajorLimit)
                RestoreShapes(1);
        }
        if (limit > kRoadClassMajorLimit && casingCut_ >= 0xC1)
            Pass(1, true, [](uint32_t) { return true; });
        Pass(0, true, [](uint32_t c) { return c > 0x80; });
        if (limit > kRoadClassMajorLimit)
            Pass(1, false, [](uint32_t) { return true; });
        Pass(0, false, [](uint32_t c) { return c > 0x80; });
        Pass(0, true, [](uint32_t c) { return c <= 0x80; });
        Pass(0, false, [](uint32_t c) { return c <= 0x80; });
    }

  private:
    // At close zoom the roads are drawn with all their shape points. A chain reaches
    // into chunks its pass has not walked yet, so every loaded chunk of the layer gets
    // its points back before the first pass: casing and fill then follow one shape.
    void RestoreShapes(int layerIndex) {
        MapLayer& layer = g_mapDatabase.layers[layerIndex];
        if (!layer.directory || layer.windowX0 == kNoWindow || layer.windowW <= 0)
            return;
        LinkIterator it;
        it.SelectLayer(g_mapDatabase, 1, layerIndex == 1 ? 1 : 0);
        if (it.Init(layer, 0, 0, layer.windowW - 1, layer.windowH - 1, 0x1C0,
                    layerIndex == 0 ? 2 : 0) != 0)
            return;
        while (it.Next()) {
        }
    }

    template <typename Classes>
    void Pass(int layerIndex, bool casing, Classes classes) {
        MapLayer& layer = g_mapDatabase.layers[layerIndex];
        if (!layer.directory || layer.windowX0 == kNoWindow || layer.windowW <= 0)
            return;
        LinkIterator it;
        const int32_t* cells = view_.cellBounds_;
        const bool whole = layerIndex != 0;
        if (it.Init(layer, whole ? 0 : cells[0], whole ? 0 : cells[2],
                    whole ? layer.windowW - 1 : cells[1], whole ? layer.windowH - 1 : cells[3],
                    0x1C0, layerIndex == 0 ? 2 : 0) != 0)
            return;
        chained_.clear();
        while (MapLink* link = it.Next()) {
            const uint32_t roadClass = ClassOf(*link);
            if (!classes(roadClass))
                continue;
            if (roadClass > classCut_ && !(link->attributes & kAttrSpecialDashed))
                continue;
            if (view3D_ && (link->shapeInfo & kShapeOnRoute))
                continue;
            if (link->attributes & kAttrChained)
                continue;
            if (casing && roadClass > casingCut_)
                continue;
            bool visible = false;
            bool label = false;
            if (!changed_ || (!casing && roadClass <= casingCut_)) {
                visible = (link->shapeInfo & kShapeDrawn) != 0;
                label = visible && (link->flags & kLinkLabelAllowed);
            } else {
                link->shapeInfo &= static_cast<uint16_t>(~kShapeDrawn);
                link->flags &= static_cast<uint16_t>(~kLinkLabelAllowed);
                visible = view_.IsLinkVisible(*link, close_);
                label = visible;
            }
            // The casing pass decides for its fill pass: the bit must carry that
            // decision, or a road with a casing would never be labelled.
            if (label)
                link->flags |= kLinkLabelAllowed;
            if (casing || (labels_.Count() >= CMapLabels::kCapacity && icons_.Full()))
                label = false;
            if (!visible) {
                if (link != vehicleLink_ || view_.zoomIndex_ > 3)
                    continue;
                label = true;
            }
            BuildChain(*link);
            if (view3D_)
                DrawRibbon(*link, casing);
            else
                DrawPolyline(*link, casing);
            if (!casing && label)
                LabelChain(*link);
            if (!casing) {
                view_.figures_.linksDrawn += static_cast<int>(chainLinks_.size());
                ++view_.figures_.chains;
            }
        }
        // Marks of links chained in this pass go with it, walked or not: a mark left
        // on a link outside the walk would hide it in the next frame.
        for (MapLink* link : chained_)
            link->attributes &= ~kAttrChained;
    }

    // The point of a map position in the chain's frame: screen pixels in 2D, the
    // map position itself in 3D.
    MapPoint ChainPoint(const MapPoint& p) const {
        if (view3D_)
            return p;
        int x = 0, y = 0;
        view_.MapToScreen2D(p.longitude, p.latitude, &x, &y);
        return MapPoint{static_cast<FLOAT>(y), static_cast<FLOAT>(x)};
    }

    void AppendLink(const MapLink& link, bool reverse, std::vector<MapPoint>& to) {
        ForEachLinkPoint(link, reverse, [&](const MapPoint& p) {
            const MapPoint q = ChainPoint(p);
            if (to.empty() || to.back().latitude != q.latitude ||
                to.back().longitude != q.longitude)
                to.push_back(q);
        });
    }

    bool NodeInView(const MapNode* node) const {
        if (view3D_) {
            const float* b = view_.viewBounds_;
            const MapPoint& p = node->position;
            return p.longitude >= b[0] && p.longitude <= b[2] && -p.latitude >= b[1] &&
                   -p.latitude <= b[3];
        }
        int x = 0, y = 0;
        view_.MapToScreen2D(node->position.longitude, node->position.latitude, &x, &y);
        return IsSegmentInView(x, y, x, y, view_.viewRect_);
    }

    // Walks from `node`, leaving `from`, while exactly one other link of the same
    // draw key continues the road there.
    void Walk(MapLink& start, MapLink* from, MapNode* node, std::vector<MapPoint>& to) {
        const uint32_t key = GetRecordDrawFlags(start);
        while (IsRealNode(node) && chainLinks_.size() < CMapView::kChainLinks) {
            MapLink* next = nullptr;
            int same = 0;
            MapLink* const* slots = node->Slots();
            for (uint32_t i = 0; i < node->SlotCapacity(); ++i) {
                MapLink* other = slots[i];
                if (!other || other == from || other->IsDead())
                    continue;
                if (GetRecordDrawFlags(*other) == key) {
                    ++same;
                    next = other;
                }
            }
            // A ring closes on a link already in the chain: it stops there.
            if (same != 1 || next == &start || (next->attributes & kAttrChained))
                return;
            if (points_.size() + backward_.size() + LinkPointCount(*next) > CMapView::kChainPoints)
                return;
            const bool reverse = next->toNode == node;
            next->attributes |= kAttrChained;
            chained_.push_back(next);
            const size_t before = to.size();
            AppendLink(*next, reverse, to);
            chainLinks_.push_back({next, &to == &backward_, before, to.size()});
            MapNode* far = reverse ? next->fromNode : next->toNode;
            if (!IsRealNode(far) || !NodeInView(far))
                return;
            from = next;
            node = far;
        }
    }

    struct ChainLink {
        MapLink* link;
        bool backward;
        size_t first;
        size_t end;
    };

    void BuildChain(MapLink& link) {
        points_.clear();
        backward_.clear();
        chainLinks_.clear();
        AppendLink(link, false, points_);
        chainLinks_.push_back({&link, false, 0, points_.size()});
        // Backwards from the from-node (points gathered away from the chain), then
        // forwards from the to-node.
        if (!points_.empty()) {
            backward_.push_back(points_.front());
            Walk(link, &link, link.fromNode, backward_);
            Walk(link, &link, link.toNode, points_);
        }
        // The chain in the order of travel: the backward part reversed, without the
        // shared first point.
        if (backward_.size() > 1) {
            std::vector<MapPoint> whole(backward_.rbegin(), backward_.rend() - 1);
            whole.insert(whole.end(), points_.begin(), points_.end());
            points_.swap(whole);
        }
    }

    bool MayCarryLabel(const MapLink& link) const {
        const uint32_t a = link.attributes;
        if (!streetLabels_ || (a & kAttrNoLabel))
            return false;
        if ((a & kAttrTypeNarrow) && !(a & kAttrTypeRoad))
            return false;
        if (majorOnly_ && !(link.shapeInfo & kShapeMajorRoad))
            return false;
        return GetRoadDrawClass(link) <= view_.detailLevel_;
    }

    // 3D keeps the labels of short minor links off the crowded far zooms.
    bool Labelled3D(const MapLink& link) const {
        const int z = view_.zoomIndex_;
        if (z <= 2)
            return true;
        const float length = link.Length();
        const uint32_t rank = link.attributes & kAttrSpeedRankMask;
        if (length <= 5e-5f)
            return rank <= 5;
        if (z >= 4 && length <= 0.001f)
            return rank <= 5;
        if (z >= 5)
            return rank < 3;
        return true;
    }

    // Offers the street name of every link of the chain just drawn.
    void LabelChain(MapLink& first) {
        const int drawClass = GetRoadDrawClass(first);
        for (const ChainLink& part : chainLinks_) {
            MapLink& link = *part.link;
            if (!MayCarryLabel(link))
                continue;
            if (labels_.Count() >= CMapLabels::kCapacity && icons_.Full())
                return;
            if (view3D_) {
                if (!Labelled3D(link) || !IsRealNode(link.fromNode) || !IsRealNode(link.toNode))
                    continue;
                POINT a{}, b{};
                if (!view_.WorldToScreen(link.fromNode->position.longitude,
                                         link.fromNode->position.latitude, &a.x, &a.y, 0, 0,
                                         nullptr, nullptr) ||
                    !view_.WorldToScreen(link.toNode->position.longitude,
                                         link.toNode->position.latitude, &b.x, &b.y, 0, 0, nullptr,
                                         nullptr))
                    continue;
                view_.PlaceStreetLabel(a, b, drawClass, nullptr, 2, link, labels_, icons_, dc_);
                continue;
            }
            labelPoints_.clear();
            ForEachLinkPoint(link, false, [&](const MapPoint& p) {
                POINT q{};
                view_.MapToScreen2D(p.longitude, p.latitude, &q.x, &q.y);
                if (labelPoints_.empty() || labelPoints_.back().x != q.x ||
                    labelPoints_.back().y != q.y)
                    labelPoints_.push_back(q);
            });
            if (labelPoints_.size() < 2)
                continue;
            view_.PlaceStreetLabel(labelPoints_.front(), labelPoints_.back(), drawClass,
                                   labelPoints_.data(), static_cast<int>(labelPoints_.size()), link,
                                   labels_, icons_, dc_);
        }
    }

    HPEN FillOrCasingPen(const MapLink& link, bool casing, int drawClass) const {
        const uint32_t a = link.attributes;
        const int c = drawClass - 1;
        if (a & kAttrSpecialDashed)
            return set_.dashed;
        if (a & kAttrSpecialB)
            return set_.pens[casing ? kPenF : kPenB][c];
        if ((a & kAttrTypeNarrow) && !(a & kAttrTypeRoad))
            return set_.pens[casing ? kPenG : kPenC][c];
        if (!(a & (kAttrTypeRoad | kAttrTypeNarrow)))
            return set_.pens[casing ? kPenH : kPenD][c];
        if (!casing)
            return set_.pens[kPenA][c];
        const uint32_t roadClass = ClassOf(link);
        const int z = view_.zoomIndex_;
        const bool withCasing = (roadClass <= 0xC0 && z < 9) || (roadClass > 0xC0 && z <= 3);
        return set_.pens[withCasing ? kPenE : kPenA][c];
    }

    void MarkChainDrawn() {
        for (const ChainLink& part : chainLinks_)
            SetRecordMarkFlag(*part.link, 1);
    }

    void DrawPolyline(MapLink& link, bool casing) {
        MarkChainDrawn();
        if (points_.size() < 2)
            return;
        const int drawClass = GetRoadDrawClass(link);
        HPEN avoided = nullptr;
        HPEN pen = nullptr;
        if (avoidMarks_ && (link.attributes & kAttrAvoidMark)) {
            const uint32_t roadClass = ClassOf(link);
            // Class 0x000 has no width of its own: it takes the first class's.
            const int index =
                roadClass == 0xC0 ? 2 : (roadClass == 0x100 ? 3 : (roadClass == 0x140 ? 4 : 1));
            avoided = CreatePen(PS_SOLID, g_mapTheme.SelectedWidth(index + 1) + 2, 0xC000C0);
            pen = avoided;
        } else {
            pen = FillOrCasingPen(link, casing, drawClass);
        }
        screen_.resize(points_.size());
        for (size_t i = 0; i < points_.size(); ++i)
            screen_[i] = {static_cast<LONG>(points_[i].longitude),
                          static_cast<LONG>(points_[i].latitude)};
        HGDIOBJ old = SelectObject(dc_, pen);
        Polyline(dc_, screen_.data(), static_cast<int>(screen_.size()));
        SelectObject(dc_, old);
        if (avoided)
            DeleteObject(avoided);
    }

    HBRUSH RibbonBrush(const MapLink& link) const {
        const uint32_t a = link.attributes;
        if (a & kAttrSpecialDashed)
            return set_.brushes[kSpecialDashed];
        if (a & kAttrSpecialB)
            return set_.brushes[kSpecialB];
        if ((a & kAttrTypeNarrow) && !(a & kAttrTypeRoad))
            return set_.brushes[kSpecialNarrow];
        if (!(a & (kAttrTypeRoad | kAttrTypeNarrow)))
            return set_.brushes[kSpecialNoType];
        return set_.brushes[4 + GetRoadDrawClass(link) - 1];
    }

    HPEN RibbonPen(const MapLink& link, bool casing) const {
        const uint32_t a = link.attributes;
        const int c = GetRoadDrawClass(link) - 1;
        const bool typed = (a & (kAttrTypeRoad | kAttrTypeNarrow)) != 0;
        if (!casing) {
            if (a & kAttrSpecialDashed)
                return set_.dashed;
            return set_.pens[typed ? kPenA : kPenD][c];
        }
        if ((a & kAttrTypeNarrow) && !(a & kAttrTypeRoad))
            return set_.pens[kPenG][c];
        if (!typed && !(a & kAttrSpecialDashed))
            return set_.pens[kPenH][c];
        return set_.pens[kPenE][c];
    }

    void DrawRibbon(MapLink& link, bool casing) {
        MarkChainDrawn();
        const size_t n = points_.size();
        if (n < 2)
            return;
        const float halfWidth = view_.GetRoadHalfWidth3D(link);
        const float c = std::max(std::cos(view_.centreLatitude_ * kRadiansPerDegree), 0.01f);
        outline_.resize(2 * n);
        for (size_t i = 0; i < n; ++i) {
            const MapPoint& a = points_[i > 0 ? i - 1 : 0];
            const MapPoint& b = points_[i + 1 < n ? i + 1 : n - 1];
            float dx = (b.longitude - a.longitude) * c, dy = b.latitude - a.latitude;
            const float length = std::sqrt(dx * dx + dy * dy);
            if (length > 0) {
                dx /= length;
                dy /= length;
            }
            // Across the direction of travel: left side first, the right side after it
            // in reverse.
            const float offLon = -dy * halfWidth / c, offLat = dx * halfWidth;
            outline_[i] = {points_[i].latitude + offLat, points_[i].longitude + offLon};
            outline_[2 * n - 1 - i] = {points_[i].latitude - offLat, points_[i].longitude - offLon};
        }
        screen_.resize(outline_.size());
        floats_.resize(2 * outline_.size());
        for (size_t i = 0; i < outline_.size(); ++i) {
            int x = 0, y = 0;
            ProjectToScreen3D(view_.projection_, outline_[i].longitude, outline_[i].latitude, &x,
                              &y, &floats_[2 * i], &floats_[2 * i + 1]);
            screen_[i] = {x, y};
        }
        CMapView::UntwistRibbon(outline_.data(), static_cast<int>(outline_.size()), screen_.data(),
                                floats_.data(), false);
        HGDIOBJ oldPen = SelectObject(dc_, RibbonPen(link, casing));
        HGDIOBJ oldBrush =
            SelectObject(dc_, casing ? GetStockObject(NULL_BRUSH) : RibbonBrush(link));
        POINT first{};
        ClipRibbon3D(view_, dc_, screen_.data(), &first, static_cast<int>(screen_.size()),
                     floats_.data(), 0, std::sin(view_.tilt_), std::cos(view_.tilt_));
        SelectObject(dc_, oldPen);
        SelectObject(dc_, oldBrush);
    }

    CMapView& view_;
    int changed_;
    int close_;
    HDC dc_;
    MapGdiSet& set_;
    CMapLabels& labels_;
    IconLabelList& icons_;
    bool view3D_;
    bool streetLabels_ = true;
    bool majorOnly_ = false;
    std::vector<POINT> labelPoints_;
    uint32_t classCut_ = 0x140;
    uint32_t casingCut_ = 0x140;
    bool avoidMarks_ = false;
    MapLink* vehicleLink_ = nullptr;
    std::vector<MapPoint> points_;    // the chain in its frame (x in longitude, y in latitude)
    std::vector<MapPoint> backward_;  // the part gathered backwards from the first link
    std::vector<ChainLink> chainLinks_;
    std::vector<MapLink*> chained_;
    std::vector<POINT> screen_;
    std::vector<MapPoint> outline_;
    std::vector<float> floats_;
};

void CMapView::DrawRoads2D(int changed, int close, HDC dc, MapGdiSet& set, CMapLabels& labels,
                           IconLabelList& icons) {
    RoadPass(*this, changed, close, dc, set, labels, icons).Run();
}

void CMapView::DrawRoads3D(int changed, int close, HDC dc, MapGdiSet& set, CMapLabels& labels,
                           IconLabelList& icons) {
    RoadPass(*this, changed, close, dc, set, labels, icons).Run();
}
