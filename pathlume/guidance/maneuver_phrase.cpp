#include "pathlume/guidance/maneuver_phrase.h"

#include <cstring>

#include "pathlume/route/maneuver_list.h"
#include "pathlume/route/maneuver_texts.h"

namespace {

bool IsUturnKind(uint32_t kind) {
    return kind == kManeuverUTurn || kind == kManeuverUTurnIfPossible;
}

// Words after which the chime would talk over a sign or the arrival.
bool IsQuietWord(int w) {
    return w == word::kExitL || w == word::kExitR || w == word::kEntFwyL || w == word::kEntFwyR ||
           w == word::kDest || w == word::kDestOn;
}

bool IsTurnLikeKind(uint32_t kind) {
    return kind == kManeuverTurnRight || kind == kManeuverTurnLeft || kind == kManeuverBearRight ||
           kind == kManeuverBearLeft || kind == kManeuverSharpRight || kind == kManeuverSharpLeft;
}

// The road part: "onto"/"follow", the highway number and its direction or "fwy".
void AppendRoadPart(PhraseBuffer& phrase, const ManeuverFacts& m) {
    std::string text = m.roadText;
    if (size_t colon = text.find(':'); colon != std::string::npos) {
        text.erase(0, colon + 1);
        while (!text.empty() && text.front() == ' ') {
            text.erase(0, 1);
        }
    }
    if (size_t slash = text.find('/'); slash != std::string::npos) {
        text.resize(slash);
    }
    const int number = ParseHighwayNumber(text.c_str(), m.roadClass);
    if (!(m.flagged || m.ramp || number >= 0) || number < 1 || number > 999) {
        return;
    }
    const int w = ManeuverPhraseId(m.kind);
    phrase.Append((w == word::kKeepL || w == word::kKeepR || w == word::kStraight) ? word::kFollow
                                                                                   : word::kOnto);
    AppendHighwayNumber(phrase, number);
    const size_t n = text.size();
    if (n >= 2 && text[n - 2] == ' ' && std::strchr("NSEW", text[n - 1])) {
        static constexpr int kCompass[] = {word::kNorth, word::kSouth, word::kEast, word::kWest};
        phrase.Append(kCompass[std::strchr("NSEW", text[n - 1]) - "NSEW"]);
    } else if (text.find("FWY") != std::string::npos || text.find("FREEWAY") != std::string::npos ||
               text.find("I-") != std::string::npos || m.flagged) {
        phrase.Append(word::kFwy);
    }
}

// "then" "uturn", or "thenimm" and the following maneuver, when it follows closely.
void AppendFollowingManeuver(PhraseBuffer& phrase, const PhraseRequest& r) {
    const ManeuverFacts* next = r.following;
    if (!next || r.maneuver.roundabout) {
        return;
    }
    const uint32_t kind = r.maneuver.kind;
    if (IsUturnKind(kind) && IsTurnLikeKind(next->kind)) {
        return;
    }
    if ((kind == kManeuverKeepLeft && next->kind == kManeuverKeepLeft) ||
        (kind == kManeuverKeepRight && next->kind == kManeuverKeepRight)) {
        return;
    }
    const double reach = (r.vehicleFlagged ? 2640.0 : 350.0) * kRadiansPerFoot;
    if (next->distanceFromPrevious > reach) {
        return;
    }
    if (IsUturnKind(next->kind)) {
        phrase.Append(word::kThen);
        phrase.Append(word::kUturn);
        return;
    }
    phrase.Append(word::kThenImm);
    if (AppendManeuverWords(phrase, *next)) {
        AppendRoadPart(phrase, *next);
    }
}

}  // namespace

bool AppendManeuverWords(PhraseBuffer& phrase, const ManeuverFacts& m) {
    const int w = ManeuverPhraseId(m.kind);
    if (w < 0) {
        return false;
    }
    switch (w) {
        case word::kExitL:
        case word::kExitR:
            phrase.Append(word::kExit);
            phrase.Append(w == word::kExitL ? word::kOnLeft : word::kOnRight);
            break;
        case word::kEntFwyL:
        case word::kEntFwyR:
            phrase.Append(word::kEntFwy);
            phrase.Append(w == word::kEntFwyL ? word::kOnLeft : word::kOnRight);
            break;
        case word::kDest:
        case word::kDestOn:
            phrase.Append(w);
            if (m.destinationSide == kSideRight) {
                phrase.Append(word::kOnRight);
            } else if (m.destinationSide == kSideLeft) {
                phrase.Append(word::kOnLeft);
            }
            break;
        default:
            phrase.Append(w);
            break;
    }
    if (!IsUturnKind(m.kind) && m.roundabout) {
        AppendRoundaboutExitWords(phrase, m.exitNumber);
    }
    return true;
}

bool ComposeManeuverPhrase(const PhraseRequest& r, PhraseState& state, PhraseBuffer& phrase) {
    const ManeuverFacts& m = r.maneuver;
    const StageDistances stages = ComputeStageDistances(
        r.units, r.vehicleFlagged, m.kind, r.vehicleClass, r.gpsSpeed, r.categorySpeed);
    const bool arrival = m.kind == kManeuverArrival;
    if (arrival && r.distance < stages.now) {
        state.arrivalZone = true;
    }
    const int maneuverWord = ManeuverPhraseId(m.kind);
    bool withFollowing = false;
    bool chimeOnly = false;
    if (r.isNew) {
        state.firstDistance = r.distance;
        if (m.kind == kManeuverUTurnIfPossible &&
            state.lastSpokenKind == static_cast<int>(kManeuverUTurnIfPossible)) {
            return false;
        }
        if (AppendFirstAnnouncementDistance(phrase, r.distance, stages, r.units)) {
            state.lastSpokenKind = static_cast<int>(m.kind);
            return !r.muted;
        }
        withFollowing = r.distance <= stages.nearDist || r.vehicleClass <= 0x80;
    } else {
        // Held back only after a first announcement (none yet after a route reset).
        if (state.firstDistance > 0 && r.distance >= state.firstDistance / 2 &&
            r.distance >= stages.now) {
            state.lastSpokenKind = static_cast<int>(m.kind);
            return false;
        }
        auto crossed = [&](FLOAT at, uint32_t bit) {
            return r.previousDistance > at && r.distance <= at && !(state.stageBits & bit);
        };
        int stage = -1;
        if (crossed(stages.now, kStageNow)) {
            stage = 0;
        } else if (!arrival && crossed(stages.nearDist, kStageNear)) {
            stage = 1;
        } else if (crossed(stages.mid, kStageMid)) {
            stage = 2;
        } else if (crossed(stages.far, kStageFar)) {
            stage = 3;
        }
        if (stage < 0) {
            if (r.mayGoStraight && r.distance > 2 * stages.nearDist) {
                phrase.Append(word::kStraight);
                return true;
            }
            return false;
        }
        static constexpr uint32_t kBits[] = {kStageNow, kStageNear, kStageMid, kStageFar};
        state.stageBits |= kBits[stage];
        if (stage == 0) {
            chimeOnly = !r.vehicleFlagged && !r.noChime && !IsQuietWord(maneuverWord);
        } else {
            AppendStageDistance(phrase, stage, r.units, r.vehicleFlagged, m.kind, r.vehicleClass,
                                r.sameSideTurnBefore);
        }
        withFollowing = stage == 1 || r.vehicleClass <= 0x80;
    }
    if (chimeOnly) {
        phrase.Append(word::kChime);
        state.lastSpokenKind = static_cast<int>(m.kind);
        return !r.muted;
    }
    if (r.muted || !AppendManeuverWords(phrase, m)) {
        state.lastSpokenKind = static_cast<int>(m.kind);
        return false;
    }
    if (!IsUturnKind(m.kind)) {
        const bool roadPartDue = r.distance >= stages.nearDist || !(state.stageBits & kStageMid);
        if (roadPartDue) {
            AppendRoadPart(phrase, m);
        }
        if (withFollowing) {
            AppendFollowingManeuver(phrase, r);
        }
    }
    if (r.isNew && r.distance <= stages.now && !r.vehicleFlagged && !r.noChime &&
        !IsQuietWord(maneuverWord)) {
        phrase.Append(word::kChime);
    }
    state.lastSpokenKind = static_cast<int>(m.kind);
    return true;
}
