#include "mapferry/convert/overview_geometry.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace payload = formats::chunk_payload;
using payload::Position;

namespace {

// ---- Shape reduction -------------------------------------------------------------

// A difference of two positions, longitude scaled to the start's latitude.
struct Vector {
    double y;  // latitude
    double x;  // longitude x cos(start latitude)
    double Length() const { return std::sqrt(x * x + y * y); }
};

// 1.25 degrees.
constexpr double kMaxTurnRadians = 0.021816615;
constexpr double kCosineClamp = 0.9999;

double AngleBetween(const Vector& a, const Vector& b) {
    const double lengths = a.Length() * b.Length();
    if (lengths == 0) {
        return 0;
    }
    double cosine = (a.x * b.x + a.y * b.y) / lengths;
    cosine = std::clamp(cosine, -kCosineClamp, kCosineClamp);
    return std::acos(cosine);
}

}  // namespace

std::vector<Position> ReduceShapePoints(Position start, Position end,
                                        const std::vector<Position>& points, float tolerance) {
    std::vector<Position> kept;
    const size_t n = points.size();
    if (n == 0) {
        return kept;
    }
    const double degreesToRadians = std::atan(1.0) * (1.0 / 45.0);
    const double scale = std::cos(start.latitude * degreesToRadians);
    auto difference = [scale](const Position& from, const Position& to) {
        return Vector{static_cast<double>(to.latitude) - from.latitude,
                      (static_cast<double>(to.longitude) - from.longitude) * scale};
    };

    const Vector firstDirection = difference(start, points[0]);
    Position anchor = start;
    size_t firstTested = 0;
    long lastKept = -1;
    size_t i = 0;
    while (i < n) {
        const size_t j = i + 1;
        const Position& chordEnd = j < n ? points[j] : end;
        const Vector chord = difference(anchor, chordEnd);
        const double chordLength = chord.Length();
        bool holds = true;
        for (size_t m = firstTested; m < j && holds; ++m) {
            const Vector toPoint = difference(anchor, points[m]);
            // A chord of length 0 has no line: the distance from its anchor counts.
            const double distance =
                chordLength == 0
                    ? toPoint.Length()
                    : std::fabs(toPoint.y * chord.x - toPoint.x * chord.y) / chordLength;
            holds = distance <= tolerance;
        }
        if (holds && kept.empty()) {
            holds = AngleBetween(chord, firstDirection) <= kMaxTurnRadians;
        }
        if (holds) {
            i = j;
            continue;
        }
        kept.push_back(points[j - 1]);
        lastKept = static_cast<long>(j - 1);
        if (j == n) {
            break;
        }
        anchor = points[j - 1];
        firstTested = j - 1;
    }

    // Keep the end direction at `end` true: the point where the straight final
    // approach begins. With the last point on `end` there is no final direction.
    if (!(points[n - 1] == end)) {
        const Vector finalDirection = difference(end, points[n - 1]);
        for (long x = static_cast<long>(n) - 1; x > lastKept; --x) {
            const Position& before = x > 0 ? points[x - 1] : start;
            if (!(before == end) &&
                AngleBetween(difference(end, before), finalDirection) > kMaxTurnRadians) {
                kept.push_back(points[x]);
                break;
            }
        }
    }
    return kept;
}

namespace {

// ---- The companion chunk ---------------------------------------------------------

constexpr uint16_t kShapeWordCountBits = 0x0FFF;  // the count and the database's bits
constexpr uint32_t kNoLink = std::numeric_limits<uint32_t>::max();

struct WorkLink {
    payload::LinkRecord record;
    std::vector<Position> points;
    bool alive = true;
    uint32_t From() const { return record.fromRef & payload::kRefIndexMask; }
    uint32_t To() const { return record.toRef & payload::kRefIndexMask; }
};

struct WorkNode {
    std::vector<uint32_t> links;  // sc link numbers, one per end that touches the node
    bool touchedByEdLink = false;
    std::array<uint32_t, 16> slotLink{};  // sc link number + 1 per slot, 0 empty
};

bool IsOneWay(uint32_t attributes) {
    const uint32_t direction = attributes & payload::kDirectionMask;
    return direction == payload::kDirectionForward || direction == payload::kDirectionBackward;
}

// Joins the link onto the other link of its from-node while that node qualifies.
void JoinChain(uint32_t index, std::vector<WorkLink>& links, std::vector<WorkNode>& nodes,
               const std::vector<payload::NodeRecord>& nodeRecords) {
    WorkLink& link = links[index];
    for (;;) {
        const uint32_t shared = link.From();
        if (shared == link.To()) {
            return;  // a loop has no far end to take over
        }
        WorkNode& node = nodes[shared];
        if (node.touchedByEdLink || node.links.size() != 2) {
            return;
        }
        const uint32_t otherIndex = node.links[0] == index ? node.links[1] : node.links[0];
        if (otherIndex == index || !links[otherIndex].alive) {
            return;
        }
        WorkLink& other = links[otherIndex];
        if ((other.record.body.attributes & kJoinAttributeMask) !=
            (link.record.body.attributes & kJoinAttributeMask)) {
            return;
        }
        for (uint8_t turn : nodeRecords[shared].name) {
            if (node.slotLink[turn >> 4] != 0 && node.slotLink[turn & 0x0F] != 0) {
                return;  // a turn restriction between the two links
            }
        }
        // The other link may run towards the shared node or away from it.
        const bool otherRunsAway = other.From() == shared;
        // Reversing a one-way link would turn its direction round.
        if (otherRunsAway && IsOneWay(other.record.body.attributes)) {
            return;
        }
        const size_t joinedCount = other.points.size() + 1 + link.points.size();
        if (joinedCount > payload::kMaxShapePoints) {
            return;  // the shape word counts at most 1,023 points
        }
        const uint16_t farRef = otherRunsAway ? other.record.toRef : other.record.fromRef;
        const uint32_t farSlot =
            otherRunsAway ? other.record.slots >> 4 : other.record.slots & 0x0F;

        std::vector<Position> joined;
        joined.reserve(joinedCount);
        if (otherRunsAway) {
            joined.assign(other.points.rbegin(), other.points.rend());
        } else {
            joined.assign(other.points.begin(), other.points.end());
        }
        joined.push_back(nodeRecords[shared].position);
        joined.insert(joined.end(), link.points.begin(), link.points.end());
        link.points = std::move(joined);
        link.record.body.length += other.record.body.length;
        link.record.fromRef = farRef;
        link.record.slots = static_cast<uint8_t>((link.record.slots & 0xF0) | farSlot);
        other.alive = false;

        WorkNode& far = nodes[farRef & payload::kRefIndexMask];
        std::replace(far.links.begin(), far.links.end(), otherIndex, index);
        far.slotLink[farSlot] = index + 1;
        node.links.clear();
        node.slotLink.fill(0);
    }
}

}  // namespace

int BuildCompanionChunk(const uint8_t* chunk, size_t size, std::vector<uint8_t>* companion) {
    companion->clear();
    if (size < payload::kHeaderSize) {
        return kClipHeaderUnread;
    }
    const payload::ChunkHeader header = payload::DecodeHeader(chunk);
    if (header.scLinkCount > 0 &&
        uint64_t{header.auxCount} * payload::kPositionSize > size - payload::kHeaderSize) {
        return kClipShapesUnread;
    }
    payload::Chunk source;
    if (payload::DecodeChunk(chunk, size, source) == 0) {
        return kClipRecordsBad;
    }

    const uint32_t nodeCount = header.nodeCount;
    std::vector<WorkNode> nodes(nodeCount);
    std::vector<WorkLink> links(source.scLinks.size());
    size_t nextPoint = 0;
    for (size_t i = 0; i < links.size(); ++i) {
        WorkLink& link = links[i];
        link.record = source.scLinks[i];
        const size_t count = link.record.ShapeCount();
        if (count > source.auxPoints.size() - nextPoint) {
            return kClipShapesUnread;
        }
        link.points.assign(source.auxPoints.begin() + nextPoint,
                           source.auxPoints.begin() + nextPoint + count);
        nextPoint += count;
        // The overview network has no node of another chunk to refer to.
        if ((link.record.fromRef | link.record.toRef) & payload::kRefOverview ||
            link.From() >= nodeCount || link.To() >= nodeCount) {
            return kClipRecordsBad;
        }
        const uint32_t ends[2] = {link.From(), link.To()};
        const uint32_t slots[2] = {link.record.slots & 0x0Fu,
                                   static_cast<uint32_t>(link.record.slots) >> 4};
        for (int end = 0; end < 2; ++end) {
            nodes[ends[end]].links.push_back(static_cast<uint32_t>(i));
            nodes[ends[end]].slotLink[slots[end]] = static_cast<uint32_t>(i) + 1;
        }
    }
    // Positions an ed link's references may name: own nodes, then the border nodes
    // of sides 0 to 3.
    std::vector<Position> borderNodes;
    for (const auto& side : source.sideNodes) {
        borderNodes.insert(borderNodes.end(), side.begin(), side.end());
    }
    auto positionOf = [&](uint16_t ref, Position* position) {
        const uint32_t index = ref & payload::kRefIndexMask;
        if (ref & payload::kRefOverview) {
            return false;
        }
        if (index < nodeCount) {
            *position = source.nodes[index].position;
        } else if (index - nodeCount < borderNodes.size()) {
            *position = borderNodes[index - nodeCount];
        } else {
            return false;
        }
        return true;
    };
    for (const payload::LinkRecord& link : source.edLinks) {
        for (uint16_t ref : {link.fromRef, link.toRef}) {
            const uint32_t index = ref & payload::kRefIndexMask;
            if (!(ref & payload::kRefOverview) && index < nodeCount) {
                nodes[index].touchedByEdLink = true;
            }
        }
    }

    for (uint32_t i = 0; i < links.size(); ++i) {
        if (links[i].alive) {
            JoinChain(i, links, nodes, source.nodes);
        }
    }

    for (WorkLink& link : links) {
        if (!link.alive || link.points.empty()) {
            continue;
        }
        link.points =
            ReduceShapePoints(source.nodes[link.From()].position, source.nodes[link.To()].position,
                              link.points, kCompanionShapeTolerance);
    }
    std::vector<payload::LinkRecord> edLinks = source.edLinks;
    for (payload::LinkRecord& link : edLinks) {
        Position start, end;
        if (link.inlinePoints.empty() || !positionOf(link.fromRef, &start) ||
            !positionOf(link.toRef, &end)) {
            continue;
        }
        link.inlinePoints =
            ReduceShapePoints(start, end, link.inlinePoints, kCompanionShapeTolerance);
        link.body.shapeInfo =
            static_cast<uint16_t>((link.body.shapeInfo & ~kShapeWordCountBits) |
                                  static_cast<uint16_t>(link.inlinePoints.size()));
    }

    // Keep the nodes a link still uses, in their order.
    std::vector<uint32_t> newIndex(nodeCount, kNoLink);
    std::vector<bool> used(nodeCount, false);
    for (const WorkLink& link : links) {
        if (link.alive) {
            used[link.From()] = used[link.To()] = true;
        }
    }
    for (uint32_t n = 0; n < nodeCount; ++n) {
        if (nodes[n].touchedByEdLink) {
            used[n] = true;
        }
    }
    payload::Chunk result;
    result.header = header;
    uint32_t slotWords = 0;
    uint32_t extraBytes = 0;
    for (uint32_t n = 0; n < nodeCount; ++n) {
        if (!used[n]) {
            continue;
        }
        newIndex[n] = static_cast<uint32_t>(result.nodes.size());
        const payload::NodeRecord& node = source.nodes[n];
        slotWords += node.SlotCount() > 0 ? node.SlotCount() - 1 : 0;
        extraBytes += payload::RoundedNameBytes(static_cast<uint32_t>(node.name.size()));
        result.nodes.push_back(node);
    }
    const uint32_t keptNodes = static_cast<uint32_t>(result.nodes.size());
    // Border nodes are numbered on after the chunk's own nodes, so they move with
    // the node count.
    auto renumber = [&](uint16_t ref) {
        const uint32_t index = ref & payload::kRefIndexMask;
        const uint16_t flags = ref & ~payload::kRefIndexMask;
        if (ref & payload::kRefOverview) {
            return ref;
        }
        const uint32_t moved = index < nodeCount ? newIndex[index] : index - nodeCount + keptNodes;
        return static_cast<uint16_t>(flags | (moved & payload::kRefIndexMask));
    };
    uint32_t auxCount = 0;
    for (WorkLink& link : links) {
        if (!link.alive) {
            continue;
        }
        payload::LinkRecord record = link.record;
        record.fromRef = renumber(record.fromRef);
        record.toRef = renumber(record.toRef);
        record.body.shapeInfo =
            static_cast<uint16_t>((record.body.shapeInfo & ~kShapeWordCountBits) |
                                  static_cast<uint16_t>(link.points.size()));
        result.auxPoints.insert(result.auxPoints.end(), link.points.begin(), link.points.end());
        auxCount += static_cast<uint32_t>(link.points.size());
        result.scLinks.push_back(std::move(record));
    }
    for (payload::LinkRecord& link : edLinks) {
        link.fromRef = renumber(link.fromRef);
        link.toRef = renumber(link.toRef);
    }
    result.edLinks = std::move(edLinks);
    result.sideNodes = source.sideNodes;
    if (auxCount > 0xFFFF || slotWords > 0xFFFF || extraBytes > 0xFFFF) {
        return kClipRecordsBad;
    }
    result.header.nodeCount = static_cast<uint16_t>(keptNodes);
    result.header.scLinkCount = static_cast<uint16_t>(result.scLinks.size());
    result.header.auxCount = static_cast<uint16_t>(auxCount);
    result.header.slotWords = static_cast<uint16_t>(slotWords);
    result.header.extraBytes = static_cast<uint16_t>(extraBytes);
    *companion = payload::EncodeChunk(result);
    return static_cast<int>(companion->size());
}

int ClipMapGeometry(const uint8_t* chunkHeader, std::span<const uint8_t> mainOutput,
                    std::vector<uint8_t>* companionOutput) {
    if (mainOutput.size() < payload::kHeaderSize) {
        return kClipHeaderUnread;
    }
    std::vector<uint8_t> chunk(mainOutput.begin(), mainOutput.end());
    std::copy(chunkHeader, chunkHeader + payload::kHeaderSize, chunk.begin());
    std::vector<uint8_t> companion;
    const int length = BuildCompanionChunk(chunk.data(), chunk.size(), &companion);
    if (length >= static_cast<int>(payload::kHeaderSize)) {
        companionOutput->insert(companionOutput->end(), companion.begin(), companion.end());
    }
    return length;
}
