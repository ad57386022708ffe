#include "pathlume/route/maneuver_texts.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

#include "formats/chunk_payload.h"
#include "formats/link_info.h"
#include "pathlume/mapdb/index_file_io.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/lsr_files.h"
#include "pathlume/mapdb/street_texts.h"
#include "pathlume/route/router.h"

namespace {

namespace payload = formats::chunk_payload;
namespace li = formats::link_info;
using index_io::Append;

struct KindRow {
    UINT textId;  // 0: no text
    char glyph;
    int bitmap;
};

// Kinds 1 to 20; the arrival's text depends on the destination side. Every kind the
// builder makes has a text, so no line of a route list is left without one.
constexpr KindRow kKinds[] = {
    {6096, 'C', 226}, {6097, 'D', 228}, {6098, '2', 220}, {6099, 'E', 239}, {6101, '0', 218},
    {6102, '1', 216}, {6106, '3', 226}, {6107, '4', 228}, {6109, '5', 222}, {6108, '6', 224},
    {6110, '7', 234}, {6111, '8', 236}, {6235, '9', 200}, {6104, 'A', 230}, {6104, 'B', 232},
    {6103, '0', 218}, {6105, '1', 216}, {6103, '3', 226}, {6105, '4', 228}, {6100, 'E', 239},
};
constexpr KindRow kUnknownKind = {0, '?', 200};
constexpr UINT kOnTheRightId = 6222;
constexpr UINT kOnTheLeftId = 6223;
constexpr UINT kRampId = 6204;
constexpr UINT kNoNameId = 6205;
constexpr UINT kExitWordId = 6234;

const KindRow& RowOf(uint32_t kind) {
    return kind >= 1 && kind <= std::size(kKinds) ? kKinds[kind - 1] : kUnknownKind;
}

// Links whose own name does not name the road: connectors and roundabouts.
constexpr uint32_t kUnnamedRoadBits = payload::kConnector | payload::kRoundabout;

// The request's short name (a house number or "-..."), which need not end in a NUL.
std::string_view ShortName(const CRouter& router) {
    const char* name = router.request.shortName;
    return {name, strnlen(name, sizeof router.request.shortName)};
}

char* StreetName(int32_t linkId, uint32_t attributes, char* buffer, size_t size) {
    return GetLinkStreetName(g_linkInfo, linkId, attributes, kPrimaryNames, buffer, size, false);
}

// Whether a route entry can be read at all: one made on a reduced chunk's full
// detail (bit 31 clear) is not while the chunk holds the reduced network again.
bool IsReadable(const RouteEntry& entry) {
    return !(entry.chunk && (entry.chunk->flags & kChunkFromFileT) &&
             !(entry.nodeRef & RouteEntry::kRoutingLevel));
}

void Copy(char* buffer, size_t size, std::string_view text) {
    if (size == 0)
        return;
    buffer[0] = '\0';
    Append(buffer, size, text);
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

bool IsLetter(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}
bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// "I-80", "US-6": a letter, then "-" or a letter and "-", then a digit.
bool IsDesignation(std::string_view piece) {
    if (piece.size() < 3 || !IsLetter(piece[0]))
        return false;
    if (piece[1] == '-')
        return IsDigit(piece[2]);
    return IsLetter(piece[1]) && piece[2] == '-' && piece.size() > 3 && IsDigit(piece[3]);
}

size_t CompareLength(std::string_view piece) {
    const size_t blank = piece.find(' ');
    if (blank == std::string_view::npos)
        return piece.size();
    std::string_view next = piece.substr(blank + 1);
    next = next.substr(0, next.find(' '));
    for (std::string_view direction : {"NORTH", "EAST", "SOUTH", "WEST"}) {
        if (next == direction)
            return blank + 2;
    }
    return piece.size();
}

}  // namespace

bool IsRoadName(const char* name) {
    if (!name[0])
        return false;
    char word[kStreetWordSize];
    for (UINT id : {kRampId, kNoNameId}) {
        if (std::strcmp(name, LoadStringText(id, word, sizeof word)) == 0)
            return false;
    }
    return true;
}

int ManeuverIconId(uint32_t kind) {
    return RowOf(kind).bitmap;
}

char GetManeuverGlyphText(uint32_t kind, char* buffer, size_t size, int destinationSide) {
    const KindRow& row = RowOf(kind);
    if (buffer && size > 0) {
        UINT id = row.textId;
        if (kind == kManeuverArrival &&
            (destinationSide == kSideRight || destinationSide == kSideLeft))
            id = destinationSide == kSideRight ? kOnTheRightId : kOnTheLeftId;
        buffer[0] = '\0';
        if (id != 0)
            LoadStringText(id, buffer, size);
    }
    return row.glyph;
}

int DestinationSide(const CRouter& router) {
    const int32_t sideWord = static_cast<int32_t>(router.request.areaCode);
    if (sideWord == kSideRight || sideWord == kSideLeft)
        return router.destPart == 2 ? -sideWord : sideWord;
    if (!router.routeList || router.routeCount <= 0)
        return kSideUnknown;
    const RouteEntry& last = router.routeList[router.routeCount - 1];
    const std::string_view name = ShortName(router);
    LinkInfoRecord record;
    if (name.empty() || name.front() == '-' || g_linkInfo.ReadRecord(last.linkId, record, false))
        return kSideUnknown;
    const uint16_t word = record.addressWord;
    if ((word & 0x3000) == 0x2000 || (word & 0xC000) == 0x8000)
        return kSideUnknown;
    const size_t digit = name.find_last_of("0123456789");
    if (digit == std::string_view::npos)
        return kSideUnknown;
    const bool odd = (name[digit] - '0') % 2 != 0;
    int side = kSideUnknown;
    if ((word & li::kLeftKindMask) == li::kLeftRangeKind << li::kLeftKindShift) {
        const uint16_t parity = word & 0xC000;
        if (parity == 0x8000 || (parity == 0xC000 && odd) || (parity == 0x4000 && !odd))
            side = kSideLeft;
    }
    if ((word & li::kRightKindMask) == li::kRightRangeKind << li::kRightKindShift) {
        const uint16_t parity = word & 0x3000;
        if (parity == 0x2000 || (parity == 0x1000 && !odd) || (parity == 0x3000 && odd))
            side = kSideRight;
    }
    // The ranges' sides are seen from the from-node: a route that enters the link at
    // its to-node sees them the other way round.
    const MapNode* node = ResolveNodeRef(last);
    if (side != kSideUnknown && node && last.Slot() < node->SlotCapacity()) {
        const MapLink* link = node->Slots()[last.Slot()];
        if (link && link->fromNode && link->toNode && node == link->toNode)
            side = -side;
    }
    return side;
}

std::vector<RouteDesignation> FindRouteDesignations(const char* sign) {
    std::vector<RouteDesignation> found;
    std::string_view text(sign);
    char exitWord[kStreetWordSize];
    LoadStringText(kExitWordId, exitWord, sizeof exitWord);
    const size_t exitLength = std::strlen(exitWord);
    if (exitLength > 0 && text.size() > exitLength && text.substr(0, exitLength) == exitWord &&
        text[exitLength] == ' ') {
        const size_t colon = text.find(": ");
        if (colon != std::string_view::npos)
            text.remove_prefix(colon + 2);
    }
    if (text.find('/') == std::string_view::npos)
        return found;
    while (true) {
        const size_t slash = text.find('/');
        const std::string_view piece = Trimmed(text.substr(0, slash));
        if (IsDesignation(piece))
            found.push_back({std::string(piece), CompareLength(piece)});
        if (slash == std::string_view::npos)
            break;
        text.remove_prefix(slash + 1);
    }
    return found;
}

void MatchSignToNames(const std::vector<std::string>& names, char* buffer, size_t size) {
    if (size == 0)
        return;
    const std::vector<RouteDesignation> designations = FindRouteDesignations(buffer);
    if (designations.size() < 2)
        return;
    for (const std::string& name : names) {
        if (name.empty())
            continue;
        for (const RouteDesignation& designation : designations) {
            const size_t n = std::min(name.size(), designation.compareLength);
            if (designation.text.compare(0, n, name, 0, n) != 0)
                continue;
            const std::string chosen =
                name.size() < designation.text.size() ? designation.text : name;
            Copy(buffer, size, chosen);
            return;
        }
    }
}

void MatchSignToRoute(const CRouter& router, const Maneuver& maneuver, char* buffer, size_t size) {
    if (!router.routeList || maneuver.routeIndex < 0)
        return;
    // Decided: the names read are those of the road the ramps lead onto: ramp
    // entries are passed over, then flagged (freeway) entries are read in a row, or
    // the first other entry alone, because a ramp is never flagged and its sign names
    // the road at its far end.
    std::vector<std::string> names;
    char name[kStreetTextSize];
    for (int32_t i = maneuver.routeIndex; i + 1 < router.routeCount; ++i) {
        const RouteEntry& entry = router.routeList[i];
        if (entry.attributes & payload::kRamp)
            continue;
        const bool flagged = (entry.nodeRef & RouteEntry::kFlaggedLink) != 0;
        if (IsReadable(entry)) {
            StreetName(entry.linkId, entry.attributes, name, sizeof name);
            if (IsRoadName(name))
                names.emplace_back(name);
        }
        if (!flagged)
            break;
    }
    MatchSignToNames(names, buffer, size);
}

char* GetManeuverRoadName(const CRouter& router, const Maneuver& maneuver, char* buffer,
                          size_t size) {
    if (size == 0)
        return buffer;
    buffer[0] = '\0';
    if (!router.routeList || router.routeCount <= 0)
        return buffer;
    // The arrival names the destination link, which the last entry carries (its
    // pointer may have gone with a chunk reload; the entry's id and word stay).
    const bool arrival = maneuver.routeIndex < 0 || maneuver.routeIndex >= router.routeCount;
    const RouteEntry& entry =
        router.routeList[arrival ? router.routeCount - 1 : maneuver.routeIndex];
    if (!arrival && (entry.attributes & kAttrDirectionMask) != kAttrDirectionMask &&
        maneuver.kind != kManeuverArrival) {
        LinkInfoRecord record;
        if (g_linkInfo.ReadRecord(entry.linkId, record, false) == 0 &&
            static_cast<int32_t>(record.namePair) >= 0) {
            LsrFiles signs;
            if (signs.Open() == 0 &&
                signs.GetName(static_cast<int32_t>(record.namePair), buffer, size) == 0)
                MatchSignToRoute(router, maneuver, buffer, size);
            signs.Close();
        }
    }
    if (buffer[0])
        return buffer;
    StreetName(entry.linkId, entry.attributes, buffer, size);
    if (!(entry.attributes & kUnnamedRoadBits) && IsRoadName(buffer))
        return buffer;
    buffer[0] = '\0';
    if (arrival)
        return buffer;
    char name[kStreetTextSize];
    for (int32_t i = maneuver.routeIndex + 1; i < router.routeCount; ++i) {
        const RouteEntry& next = router.routeList[i];
        if (!IsReadable(next) || (next.attributes & kUnnamedRoadBits))
            continue;
        StreetName(next.linkId, next.attributes, name, sizeof name);
        if (IsRoadName(name)) {
            Copy(buffer, size, name);
            break;
        }
    }
    return buffer;
}

char* FormatManeuverRoadName(const CRouter& router, char* buffer, const Maneuver& maneuver,
                             bool withText, size_t size) {
    if (size == 0)
        return nullptr;
    buffer[0] = '\0';
    const std::string_view name = ShortName(router);
    if (maneuver.routeIndex < 0 && !name.empty() && name.front() != '-') {
        Append(buffer, size, name);
        Append(buffer, size, " ");
        if (router.routeList && router.routeCount > 0) {
            const RouteEntry& last = router.routeList[router.routeCount - 1];
            char street[kStreetTextSize];
            Append(buffer, size, StreetName(last.linkId, last.attributes, street, sizeof street));
        }
    } else {
        GetManeuverRoadName(router, maneuver, buffer, size);
    }
    if (!withText)
        return buffer[0] ? buffer : nullptr;
    char text[kManeuverTextSize];
    GetManeuverGlyphText(maneuver.kind, text, sizeof text,
                         maneuver.kind == kManeuverArrival ? DestinationSide(router) : 0);
    Append(buffer, size, " ");
    Append(buffer, size, text);
    return buffer;
}
