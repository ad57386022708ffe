#include "mapferry/convert/overview_geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "tests/mapferry/convert/disc_fixture_maps.h"

namespace {

using maps_fixture::ChunkBuilder;
using maps_fixture::kRoad;
using maps_fixture::P;
namespace payload = formats::chunk_payload;
using payload::Position;

// ---- Shape reduction -------------------------------------------------------------

TEST(ReduceShapePointsTest, KeepsOnlyWhereTheLineBends) {
    struct Case {
        const char* what;
        Position start;
        Position end;
        std::vector<Position> points;
        std::vector<Position> kept;
    };
    const Case cases[] = {
        {"a straight run within 1/1024 degree of the line and 1.25 degrees of both ends",
         P(0, 0),
         P(0, 0.1f),
         {P(0, 0.02f), P(0.0001f, 0.04f), P(0, 0.06f), P(-0.0001f, 0.08f)},
         {}},
        {"a right-angle corner keeps its point as the anchor of the next chord",
         P(0, 0),
         P(0.02f, 0.02f),
         {P(0, 0.01f), P(0, 0.02f), P(0.01f, 0.02f)},
         {P(0, 0.02f)}},
        {"a final approach that bends more than 1.25 degrees keeps the point where it begins",
         P(0, 0),
         P(0.0105f, 0.03f),
         {P(0.01f, 0), P(0.01f, 0.01f), P(0.01f, 0.02f)},
         {P(0.01f, 0), P(0.01f, 0.02f)}},
        {"a last point on the end node leaves no final direction to keep",
         P(0, 0),
         P(0, 0.02f),
         {P(0, 0.01f), P(0, 0.02f)},
         {}},
        {"a spike back onto the start is a chord of length 0 and keeps its tip",
         P(0, 0),
         P(0.02f, 0),
         {P(0.01f, 0), P(0, 0)},
         {P(0.01f, 0)}},
        {"points all on one place are chords of length 0 throughout",
         P(0, 0),
         P(0, 0),
         {P(0, 0), P(0, 0), P(0, 0)},
         {}},
    };
    for (const Case& c : cases) {
        const std::vector<Position> kept =
            ReduceShapePoints(c.start, c.end, c.points, kCompanionShapeTolerance);
        EXPECT_EQ(kept, c.kept) << c.what;
    }
}

TEST(ReduceShapePointsTest, KeepsAnOrderedSubsetOfFinitePoints) {
    std::mt19937 random(42);
    std::uniform_real_distribution<float> step(-0.003f, 0.003f);
    for (int round = 0; round < 200; ++round) {
        const size_t n = 1 + random() % 60;
        std::vector<Position> points;
        Position at = P(45.0f, -100.0f);
        const Position start = at;
        for (size_t i = 0; i < n; ++i) {
            // Some repeated points, so that chords of length 0 come up.
            if (random() % 4 != 0)
                at = P(at.latitude + step(random), at.longitude + 0.002f + step(random));
            points.push_back(at);
        }
        const Position end =
            random() % 3 == 0 ? points.back() : P(at.latitude, at.longitude + 0.01f);
        const std::vector<Position> kept =
            ReduceShapePoints(start, end, points, kCompanionShapeTolerance);
        ASSERT_LE(kept.size(), n);
        size_t next = 0;
        for (const Position& point : kept) {
            ASSERT_TRUE(std::isfinite(point.latitude) && std::isfinite(point.longitude));
            while (next < n && !(points[next] == point))
                ++next;
            ASSERT_LT(next, n) << "round " << round << ": a kept point out of order";
            ++next;
        }
    }
}

// ---- The companion chunk ---------------------------------------------------------

payload::Chunk Companion(ChunkBuilder& builder) {
    const std::vector<uint8_t> bytes = builder.Bytes();
    std::vector<uint8_t> companion;
    const int length = BuildCompanionChunk(bytes.data(), bytes.size(), &companion);
    EXPECT_EQ(length, static_cast<int>(companion.size()));
    payload::Chunk chunk;
    EXPECT_EQ(payload::DecodeChunk(companion.data(), companion.size(), chunk), companion.size())
        << "the companion is one whole chunk";
    return chunk;
}

// N0 - N1 - N2 - N3, zig-zag, three links of lengths 1, 2 and 4 whose middle nodes
// have two links each; a spur of another class ends at N0, so the chain stops there.
struct Chain {
    ChunkBuilder builder;
    uint16_t n[5];
    Chain(uint32_t firstAttributes = kRoad, bool firstReversed = false,
          std::vector<uint8_t> middleRestrictions = {}, uint32_t restAttributes = kRoad) {
        n[0] = builder.Node(P(0, 0));
        n[1] = builder.Node(P(0.01f, 0), std::move(middleRestrictions));
        n[2] = builder.Node(P(0.01f, 0.01f));
        n[3] = builder.Node(P(0.02f, 0.01f));
        n[4] = builder.Node(P(-0.01f, -0.01f));
        builder.Sc(n[4], n[0], 10, kRoad | 0x80, {}, 8.0f);  // another class: never joined
        if (firstReversed)
            builder.Sc(n[1], n[0], 11, firstAttributes, {}, 1.0f);
        else
            builder.Sc(n[0], n[1], 11, firstAttributes, {}, 1.0f);
        builder.Sc(n[1], n[2], 12, restAttributes, {}, 2.0f);
        builder.Sc(n[2], n[3], 13, restAttributes, {}, 4.0f);
    }
};

TEST(CompanionChunkTest, JoinsAChainOfTwoLinkNodesIntoOneLink) {
    Chain chain;
    const payload::Chunk chunk = Companion(chain.builder);
    // N1 and N2 are gone; N0, N3 and N4 are renumbered 0, 1, 2.
    ASSERT_EQ(chunk.nodes.size(), 3u);
    EXPECT_EQ(chunk.nodes[1].position, P(0.02f, 0.01f));
    ASSERT_EQ(chunk.scLinks.size(), 2u);
    const payload::LinkRecord& joined = chunk.scLinks[1];
    EXPECT_EQ(joined.body.length, 7.0f);
    EXPECT_EQ(joined.fromRef, 0);
    EXPECT_EQ(joined.toRef, 1);
    EXPECT_EQ(joined.body.linkId, 13) << "the link that took the others over keeps its own value";
    // Its slots are those of the first part at N0 and of the last part at N3.
    EXPECT_EQ(joined.slots, payload::SlotByte(1, 0));
    // Both former nodes are corners of the zig-zag and stay as shape points.
    EXPECT_EQ(joined.ShapeCount(), 2u);
    EXPECT_EQ(chunk.auxPoints, (std::vector<Position>{P(0.01f, 0), P(0.01f, 0.01f)}));
    EXPECT_EQ(chunk.header.auxCount, 2);
    // The spur keeps its nodes under their new numbers.
    EXPECT_EQ(chunk.scLinks[0].fromRef, 2);
    EXPECT_EQ(chunk.scLinks[0].toRef, 0);
    // N0 has two slots, N3 and N4 one: one slot word.
    EXPECT_EQ(chunk.header.slotWords, 1);
}

TEST(CompanionChunkTest, JoinsOnlyLinksThatMayBecomeOne) {
    const uint32_t oneWay = (kRoad & ~payload::kDirectionMask) | payload::kDirectionForward;
    struct Case {
        const char* what;
        Chain chain;
        size_t links;  // sc links of the companion, the spur included
    };
    Case cases[] = {
        {"attributes that differ under the mask keep both links", Chain(kRoad | 0x0100), 3},
        {"a difference outside the mask does not count", Chain(kRoad | 0x08000000), 2},
        {"a turn restriction between the two links keeps both",
         Chain(kRoad, false, {payload::RestrictionByte(0, 1)}), 3},
        {"a restriction naming an empty slot does not count",
         Chain(kRoad, false, {payload::RestrictionByte(0, 5)}), 2},
        {"a two-way link running the other way is joined", Chain(kRoad, true), 2},
        {"one-way links in one direction are joined", Chain(oneWay, false, {}, oneWay), 2},
        {"a one-way link running the other way would be reversed: kept",
         Chain(oneWay, true, {}, oneWay), 3},
    };
    for (Case& c : cases) {
        const payload::Chunk chunk = Companion(c.chain.builder);
        EXPECT_EQ(chunk.scLinks.size(), c.links) << c.what;
    }
    // Taking the others over from its first node N1, the reversed link N1 -> N0
    // becomes N3 -> N0, its points in that order.
    Chain reversed(kRoad, true);
    reversed.builder.chunk.scLinks[1].body.shapeInfo = 1;
    reversed.builder.chunk.auxPoints = {P(0.005f, 0.004f)};  // a bend on N1 -> N0
    const payload::Chunk chunk = Companion(reversed.builder);
    ASSERT_EQ(chunk.scLinks.size(), 2u);
    EXPECT_EQ(chunk.nodes[chunk.scLinks[1].fromRef].position, P(0.02f, 0.01f));
    EXPECT_EQ(chunk.nodes[chunk.scLinks[1].toRef].position, P(0, 0));
    EXPECT_EQ(chunk.auxPoints,
              (std::vector<Position>{P(0.01f, 0.01f), P(0.01f, 0), P(0.005f, 0.004f)}));
}

TEST(CompanionChunkTest, NeverJoinsBeyond1023ShapePoints) {
    ChunkBuilder builder;
    const uint16_t a = builder.Node(P(0, 0));
    const uint16_t b = builder.Node(P(0, 1));
    const uint16_t c = builder.Node(P(0, 2));
    // Zig-zags of 0.01 degree survive the reduction whole.
    auto zigzag = [](float from, size_t count) {
        std::vector<Position> points;
        for (size_t i = 0; i < count; ++i)
            points.push_back(P(i % 2 ? 0.01f : -0.01f, from + 0.9f * (i + 1) / (count + 1)));
        return points;
    };
    builder.Sc(a, b, 1, kRoad, zigzag(0, 600));
    builder.Sc(b, c, 2, kRoad, zigzag(1, 500));
    const payload::Chunk chunk = Companion(builder);
    ASSERT_EQ(chunk.scLinks.size(), 2u) << "600 + 1 + 500 points do not fit one link";
    for (const payload::LinkRecord& link : chunk.scLinks)
        EXPECT_LE(link.ShapeCount(), payload::kMaxShapePoints);
}

TEST(CompanionChunkTest, EdLinksKeepTheirNodesAndFollowTheRenumbering) {
    ChunkBuilder builder;
    const uint16_t a = builder.Node(P(0, 0));
    const uint16_t b = builder.Node(P(0, 0.01f));
    const uint16_t c = builder.Node(P(0, 0.02f));
    const uint16_t d = builder.Node(P(0.01f, 0.02f));
    builder.Sc(a, b, 1);
    builder.Sc(b, c, 2);
    builder.Border(payload::kSideNorth, P(0.04f, 0.02f));
    // From d to the first border node (own nodes come first: index 4).
    builder.Ed(d, 4, 3, kRoad, {P(0.02f, 0.02f), P(0.03f, 0.02f)});
    builder.Ed(c, d, 4);
    const payload::Chunk chunk = Companion(builder);
    // b joins a - b - c; c and d stay because ed links use them.
    ASSERT_EQ(chunk.nodes.size(), 3u);
    ASSERT_EQ(chunk.scLinks.size(), 1u);
    ASSERT_EQ(chunk.edLinks.size(), 2u);
    EXPECT_EQ(chunk.edLinks[0].fromRef, 2);
    EXPECT_EQ(chunk.edLinks[0].toRef, 3) << "the border node follows the own nodes";
    EXPECT_EQ(chunk.edLinks[0].ShapeCount(), 0u) << "a straight line north needs no point";
    EXPECT_EQ(chunk.edLinks[1].fromRef, 1);
    EXPECT_EQ(chunk.edLinks[1].toRef, 2);
    EXPECT_EQ(chunk.sideNodes[payload::kSideNorth], (std::vector<Position>{P(0.04f, 0.02f)}));
}

// One link with two shape points between two nodes.
ChunkBuilder OneCurvedLink() {
    ChunkBuilder builder;
    const uint16_t a = builder.Node(P(0, 0));
    const uint16_t b = builder.Node(P(0, 1));
    builder.Sc(a, b, 1, kRoad, {P(0.5f, 0.5f), P(0.2f, 0.7f)});
    return builder;
}

// The chunk with its link's second node beyond the chunk's nodes.
std::vector<uint8_t> BadNodeReference(ChunkBuilder builder) {
    builder.chunk.scLinks[0].toRef = 9;
    return builder.Bytes();
}

TEST(CompanionChunkTest, ShortOrBrokenChunksWriteNothing) {
    ChunkBuilder builder = OneCurvedLink();
    const std::vector<uint8_t> good = builder.Bytes();
    std::vector<uint8_t> out;

    EXPECT_EQ(BuildCompanionChunk(good.data(), 27, &out), kClipHeaderUnread);
    EXPECT_EQ(BuildCompanionChunk(good.data(), 28 + 12, &out), kClipShapesUnread);
    EXPECT_TRUE(out.empty());

    const std::vector<uint8_t> bytes = BadNodeReference(builder);
    EXPECT_EQ(BuildCompanionChunk(bytes.data(), bytes.size(), &out), kClipRecordsBad);

    ChunkBuilder shapesBeyond = builder;
    shapesBeyond.chunk.scLinks[0].body.shapeInfo = 3;  // 3 points of the 2 there are
    const std::vector<uint8_t> beyond = shapesBeyond.Bytes();
    EXPECT_EQ(BuildCompanionChunk(beyond.data(), beyond.size(), &out), kClipShapesUnread);
    EXPECT_TRUE(out.empty());
}

// ---- The container writer's call -------------------------------------------------

TEST(ClipMapGeometryTest, ReadsTheCellBackAndWritesItsCompanionOrNothing) {
    ChunkBuilder builder = OneCurvedLink();
    const std::vector<uint8_t> good = builder.Bytes();
    std::vector<uint8_t> expected;
    ASSERT_GT(BuildCompanionChunk(good.data(), good.size(), &expected), 28);

    const std::vector<uint8_t> bad = BadNodeReference(builder);
    std::vector<uint8_t> placeholder = good;
    std::fill(placeholder.begin(), placeholder.begin() + 28, 0);
    const std::vector<uint8_t> earlier = {0xAB, 0xCD};

    struct Case {
        const char* what;
        std::vector<uint8_t> main;    // the main output from the cell's raw chunk on
        const uint8_t* header;        // the 28 bytes handed over
        std::vector<uint8_t> before;  // the companion output so far
        int result;
    };
    const Case cases[] = {
        {"a whole chunk", good, good.data(), {}, static_cast<int>(expected.size())},
        {"the header handed over counts, not the placeholder written",
         placeholder,
         good.data(),
         {},
         static_cast<int>(expected.size())},
        {"written after what the companion output already holds", good, good.data(), earlier,
         static_cast<int>(expected.size())},
        {"a main output too short for the header",
         {good.begin(), good.begin() + 27},
         good.data(),
         earlier,
         kClipHeaderUnread},
        {"a main output cut in the shape points",
         {good.begin(), good.begin() + 28 + 12},
         good.data(),
         earlier,
         kClipShapesUnread},
        {"records that do not hold together", bad, bad.data(), earlier, kClipRecordsBad},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> companion = c.before;
        EXPECT_EQ(ClipMapGeometry(c.header, c.main, &companion), c.result) << c.what;
        std::vector<uint8_t> written = c.before;
        if (c.result >= 28)
            written.insert(written.end(), expected.begin(), expected.end());
        EXPECT_EQ(companion, written) << c.what;
    }
}

}  // namespace
