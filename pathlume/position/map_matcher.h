// The map matcher: turns each queued GPS fix into a position on a road link and
// writes it into g_vehicleLocation. It keeps up to ten competing path hypotheses,
// each a link with an accumulated error and a filtered offset (bias) between the fix
// and the road, extends them through their links' end nodes as the vehicle moves,
// and, while a route exists, prefers a route link that scores nearly as well.
//
// Positions are held in the flat frame x = longitude x cos(latitude), y = latitude,
// in degrees, so that squared differences are squared distances.
#pragma once

#include <cstdint>

#include "pathlume/mapdb/map_records.h"

class CMapDatabase;

// Candidate and hypothesis count limit.
inline constexpr int kMaxHypotheses = 10;

class CMapMatcher {
  public:
    // The constants and the registry's defaults; LoadSettings reads the registry.
    CMapMatcher();
    ~CMapMatcher() = default;

    // Reads the matcher's registry values (the program does it once at start, after
    // the device root is chosen).
    void LoadSettings();

    // 0 when a fix was matched on the first pass, 1 otherwise (nothing queued, held,
    // outside the map, or matched only after a retry).
    int Snap(int startMode, int wholeWindow, uint32_t classLimit);
    // 1 at once while the position hold is set; otherwise Snap(0, 0, 0) while it
    // returns 0 and fewer than budget ms have passed.
    int SnapWithTimeout(DWORD budgetMs);
    // Forgets the hypotheses; keepLinks 0 first lets the runners-up go.
    void Reset(int keepLinks);
    void ReleaseOtherHypothesisLinks();
    // At shutdown: lets every hypothesis link go.
    void ReleaseHypothesisLinks();
    int HasHypothesisLink(const MapLink* candidate) const;
    // After a chunk reload moved the matched location to `replacement`.
    void ReplaceLastHypothesisLink(MapLink* replacement);
    // The score of one segment for (pointX, pointY); also sets crossTerm.
    FLOAT ScoreSegment(FLOAT x1, FLOAT y1, FLOAT x2, FLOAT y2, FLOAT* outFootX, FLOAT* outFootY);

    // The database the matcher works on (g_mapDatabase unless a test gives another).
    CMapDatabase* database = nullptr;

    FLOAT pointX = 0, pointY = 0;
    FLOAT sourceBiasX[kMaxHypotheses] = {}, sourceBiasY[kMaxHypotheses] = {};
    FLOAT biasX[kMaxHypotheses] = {}, biasY[kMaxHypotheses] = {};
    FLOAT footX[kMaxHypotheses] = {}, footY[kMaxHypotheses] = {};
    FLOAT beta = 0;
    FLOAT ratio = 0;
    FLOAT lastFixX = 0, lastFixY = 0;
    FLOAT moveX = 0, moveY = 0;
    FLOAT step2 = 0;
    // One second at 5 and at 100 mph: a step of 7.33 ft and 146.7 ft, squared.
    FLOAT minStep2 = 4.0407919e-10f, maxStep2 = 1.6163168e-7f;
    FLOAT crossTerm = 0;
    FLOAT angleWeight = 0, instWeight = 0;
    int32_t noBackward = 0, noForward = 0;
    int32_t numDist = kMaxHypotheses;
    FLOAT error[kMaxHypotheses] = {};
    MapLink* link[kMaxHypotheses] = {};
    FLOAT routeAllowance = 0;
    int32_t numPathsChecked = 10;
    FLOAT maxRouteAdjDist = 0;
    int32_t routeAdjOnlyHwy = 1;
    FLOAT maxBias = 5.0e-4f;  // compared squared: 182 ft
    FLOAT chordCos2Limit = 0.25f;
    FLOAT lostDist2 = 7.5e-8f;
    FLOAT offLinkDist2 = 5.0e-9f;
    FLOAT acceptCross = 0.25f;
    FLOAT acceptDist2 = 1.0e-7f;

    // 1 while the vehicle is held on a route link that is not the best hypothesis.
    int32_t routeSnap = 0;
    // Fixes in a row far off a link of the kinds that count (0 to 4).
    int32_t offLinkCount = 0;

  private:
    struct Candidate;
    struct Pass;

    // What identifies a hypothesis' link once its chunk may have gone: its id, kind
    // and class, kept when the slot is set.
    struct SlotKey {
        int32_t linkId = 0;
        uint32_t attributes = 0;
        uint16_t flags = 0;
    };

    void Configure(DWORD (*value)(LPCWSTR name, DWORD fallback));
    void SetOneWay(const MapLink& scored);
    // The lowest of angleWeight x crossTerm + score (weighted) or score over the
    // link's segments, with its foot, cross term and segment.
    FLOAT ScoreLink(const MapLink& scored, bool weighted, FLOAT* outFootX, FLOAT* outFootY,
                    FLOAT* outCross, uint32_t* outSegment);
    void FreshSearch(Pass& pass, int startMode, int wholeWindow, uint32_t classLimit);
    void Track(Pass& pass, const MapLink* previousLink);
    void UpdateHypotheses(Pass& pass);
    void PreferRoute(Pass& pass);
    // Holds: every counted link a hypothesis or the matched location names carries
    // 0x100 and one count of theirs, however many of them name it.
    bool Names(const MapLink* candidate, int skipSlot) const;
    void TakeHold(MapLink* held);
    // Gives up the hold of a link no slot and not the location names any more;
    // `flags` is the copy kept when it was named (a plain link is never read).
    void DropHold(MapLink* old, uint16_t flags);
    void SetSlot(int slot, MapLink* newLink);
    // After chunks were freed: plain links of the hypotheses and of the matched
    // location are found again by id near their foot, or dropped.
    void FollowReloads();
    MapLink* FindAgain(const SlotKey& key, const MapPoint& near);

    SlotKey keys_[kMaxHypotheses];
    FLOAT cosLat_ = 1;  // of the fix being matched
    uint32_t seenGeneration_ = 0;
};

// The program's one matcher.
extern CMapMatcher g_mapMatcher;
