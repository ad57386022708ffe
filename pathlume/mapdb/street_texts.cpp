#include "pathlume/mapdb/street_texts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>

#include "formats/chunk_payload.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/area_zone_file.h"
#include "pathlume/mapdb/house_numbers.h"
#include "pathlume/mapdb/index_file_io.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/name_codes.h"
#include "pathlume/mapdb/position_services.h"
#include "pathlume/mapdb/street_types.h"
#include "platform/kernel/text.h"

namespace li = formats::link_info;
using index_io::Append;

namespace {

constexpr UINT kRampTextId = 6204;    // "RAMP"
constexpr UINT kNoNameTextId = 6205;  // "NO NAME"
constexpr const char* kUnknownName = "UNKNOWN";

// The spans of the area around a crossing: 5,000 feet of latitude, as many feet
// of longitude.
constexpr FLOAT kCrossingSpanDegrees = 0.013705719f;
// Around a street's link: 2,500 feet.
constexpr FLOAT kStreetLinkRadius = 0.0068528596f;
constexpr double kDegToRad = 0.017453292;
constexpr double kMinCos = 1e-6;
// Link flag of the route search's half-links, which have no place of their own.
constexpr uint16_t kLinkSynthetic = 0x2000;
// The answers of ListCrossStreets, names or crossings.
constexpr size_t kMaxCrossAnswers = 1000;
// Room for one name with its words and range.
constexpr size_t kItemTextSize = 256;

// A record and up to `wanted` of its name items (at most kMaxNameItems); the number
// of items read, or -1 when the record cannot be read or its items fall short.
int ReadRecordItems(LinkInfoFile& reader, int32_t linkId, LinkInfoRecord& record,
                    NameItem (&items)[li::kMaxNameItems], int wanted) {
    if (reader.ReadRecord(linkId, record, false) != 0)
        return -1;
    const int count = std::min({record.ItemCount(), wanted, li::kMaxNameItems});
    return reader.ReadNameItems(items, count) == count ? count : -1;
}

// "lo-hi " of the record's house numbers in the order the driver meets them, or
// nothing when the record has no range.
void AppendHouseRange(const LinkInfoRecord& record, char* piece, size_t size) {
    int64_t lo = 9999999, hi = -9999999;
    int order = 0;
    if (record.addressWord & 0x0100) {
        lo = std::min(record.left.from, record.left.to);
        hi = std::max(record.left.from, record.left.to);
        order = record.left.from > record.left.to ? -1 : record.left.from < record.left.to ? 1 : 0;
    }
    if (record.addressWord & 0x0004) {
        lo = std::min<int64_t>({lo, record.right.from, record.right.to});
        hi = std::max<int64_t>({hi, record.right.from, record.right.to});
        if (order == 0)
            order = record.right.from > record.right.to ? -1 : 1;
    }
    if (hi < 1 || lo >= 9999999)
        return;
    const TravelDirection direction = GetPositionServices().GetTravelDirection();
    const bool highFirst =
        (direction == kTravelForward && order < 0) || (direction == kTravelBackward && order >= 1);
    char text[32];
    std::snprintf(text, sizeof text, "%lld-%lld ", static_cast<long long>(highFirst ? hi : lo),
                  static_cast<long long>(highFirst ? lo : hi));
    Append(piece, size, text);
}

// One name as shown: range, prefix direction, type before, name, type after,
// suffix direction.
void FormatItem(const LinkInfoRecord& record, const NameItem& item, const char* name,
                bool withRange, char* piece, size_t size) {
    piece[0] = '\0';
    if (withRange && (item.flags & li::kItemHouseNumbers))
        AppendHouseRange(record, piece, size);
    const char* prefix = GetDirectionText(item.direction, 0);
    if (*prefix) {
        Append(piece, size, prefix);
        Append(piece, size, " ");
    }
    const char* type = g_streetTypes.GetName(item.flags & li::kItemTypeMask);
    const bool typeBefore = (item.flags & li::kItemTypeBeforeName) != 0;
    if (typeBefore && *type) {
        Append(piece, size, type);
        // "O'" and its like join the name.
        const size_t length = std::strlen(piece);
        if (length > 0 && piece[length - 1] != '\'')
            Append(piece, size, " ");
    }
    Append(piece, size, name);
    if (!typeBefore && *type) {
        if (!(item.flags & li::kItemNoSpaceBeforeType))
            Append(piece, size, " ");
        Append(piece, size, type);
    }
    const char* suffix = GetDirectionText(item.direction, 1);
    if (*suffix) {
        Append(piece, size, " ");
        Append(piece, size, suffix);
    }
}

}  // namespace

char* LoadStringText(UINT id, char* buffer, size_t size) {
    if (size == 0)
        return buffer;
    WCHAR wide[kStreetWordSize];
    char narrow[kStreetWordSize] = "";
    if (LoadResString(id, wide, static_cast<int>(kStreetWordSize), FALSE)) {
        const int written = WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow,
                                                static_cast<int>(sizeof narrow), nullptr, nullptr);
        narrow[written > 0 ? std::min<size_t>(written, sizeof narrow - 1) : 0] = '\0';
    }
    buffer[0] = '\0';
    Append(buffer, size, narrow);
    return buffer;
}

char* FormatHouseRange(LinkInfoFile& reader, int32_t linkId, int selector, char* buffer,
                       size_t size, uint32_t* nameId, bool withRange) {
    if (size == 0)
        return buffer;
    buffer[0] = '\0';
    if (linkId == kNoRecordLinkId) {
        Append(buffer, size, kUnknownName);
        return buffer;
    }
    if (!g_namesFile.IsOpen() || selector < kPrimaryNames)
        return buffer;
    LinkInfoRecord record;
    NameItem items[li::kMaxNameItems];
    const int wanted = selector >= 0 ? selector + 1 : li::kMaxNameItems;
    const int count = ReadRecordItems(reader, linkId, record, items, wanted);
    if (count < 0)
        return buffer;
    for (int i = 0; i < count; ++i) {
        if ((selector >= 0 && i != selector) ||
            (selector == kPrimaryNames && !(items[i].flags & li::kItemPrimary)))
            continue;
        char name[kNameBufferSize];
        ReadNamesBinString(items[i].name, name);
        if (!name[0])
            continue;
        if (nameId)
            *nameId = items[i].name;
        char piece[kItemTextSize];
        FormatItem(record, items[i], name, withRange && i == 0, piece, sizeof piece);
        if (buffer[0])
            Append(buffer, size, "/");
        Append(buffer, size, piece);
    }
    return buffer;
}

char* GetLinkStreetName(LinkInfoFile& reader, int32_t linkId, uint32_t linkAttributes, int selector,
                        char* buffer, size_t size, bool withRange) {
    FormatHouseRange(reader, linkId, selector, buffer, size, nullptr, withRange);
    if (size > 0 && !buffer[0]) {
        LoadStringText(
            (linkAttributes & formats::chunk_payload::kRamp) ? kRampTextId : kNoNameTextId, buffer,
            size);
    }
    return buffer;
}

int GetRouteName(LinkInfoFile& reader, int32_t linkId, char* buffer, size_t size) {
    if (size > 0)
        buffer[0] = '\0';
    if (linkId == kNoRecordLinkId || !g_namesFile.IsOpen())
        return 0;
    LinkInfoRecord record;
    NameItem items[li::kMaxNameItems];
    const int count = ReadRecordItems(reader, linkId, record, items, li::kMaxNameItems);
    for (int i = 0; i < count; ++i) {
        const int routeClass =
            (items[i].flags >> li::kItemRouteClassShift) & li::kItemRouteClassMask;
        if (routeClass < 1 || routeClass > 3)
            continue;
        char name[kNameBufferSize];
        ReadNamesBinString(items[i].name, name);
        if (size > 0)
            Append(buffer, size, name);
        return routeClass;
    }
    return 0;
}

int FormatAddressText(AddressHit* out, char* line, size_t lineSize, char* number, size_t numberSize,
                      bool leftOnly) {
    if (lineSize > 0)
        line[0] = '\0';
    if (number && numberSize > 0)
        number[0] = '\0';
    const MapLocation& location = g_vehicleLocation;
    const MapLink* link = location.link;
    // Without a matched link there is no address (and no cosine to divide by).
    if (!link || !link->fromNode || !link->toNode)
        return 1;
    MapPoint point = location.position;
    if (!location.stale) {
        if (!(location.cosLat != 0))
            return 1;
        point.latitude = location.lat;
        point.longitude = location.scaledLon / location.cosLat;
    }
    LinkInfoRecord record;
    if (g_linkInfo.ReadRecord(link->linkId, record, false) != 0)
        return 1;
    int32_t left = -1, right = -1;
    HouseNumbersAtPoint(*link, record, static_cast<int32_t>(location.segment), point, &left,
                        &right);
    int32_t shown = -1;
    int side = kSideEither;
    if (left >= 1) {
        shown = left;
        side = kSideLeft;
    } else if (!leftOnly && right >= 0) {
        shown = right;
        side = kSideRight;
    }
    if (out)
        *out = {link->linkId, record.cellWord, side, point.latitude, point.longitude};

    char street[kStreetTextSize];
    GetLinkStreetName(g_linkInfo, link->linkId, link->attributes, 0, street, sizeof street, false);
    char place[kPlaceTextSize];
    g_areaZones.FormatPlaceText(record, place, sizeof place, kSideLeft, true);
    if (!street[0] || !place[0])
        return 1;
    if (shown >= 0) {
        std::snprintf(line, lineSize, "%d %s\n%s", shown, street, place);
        if (number && numberSize > 0)
            std::snprintf(number, numberSize, "%d", shown);
    } else {
        std::snprintf(line, lineSize, "%s\n%s", street, place);
    }
    return 0;
}

namespace {

// One walk of ListCrossStreets: the answers so far and their limits.
class CrossStreetSearch {
  public:
    CrossStreetSearch(CMapDatabase& database, uint32_t nameId, int32_t city, bool secondStreet,
                      uint32_t secondNameId)
        : database_(database),
          nameId_(nameId),
          city_(city),
          secondStreet_(secondStreet),
          secondNameId_(secondNameId) {}

    bool Full() const { return answers_.size() >= kMaxCrossAnswers; }
    std::vector<CrossStreet> Take() { return std::move(answers_); }

    // The crossings of the street's link whose record is at `offset`.
    void VisitStreetLink(int32_t offset) {
        LinkInfoRecord record;
        if (g_linkInfo.ReadRecord(offset, record, false) != 0)
            return;
        if (city_ != -1 && !record.HasPlace(city_))
            return;
        uint32_t cellWord = record.cellWord;
        MapPoint centre;
        int layer = 0;
        const int loaded =
            database_.LoadAreaAroundCell(3, cellWord, kStreetLinkRadius, &centre, &layer);
        MapLink* link = database_.FindLink(layer, centre, offset, 7, 0);
        if (!link || (link->flags & kLinkSynthetic))
            return;
        char streetText[kStreetTextSize] = "";
        if (secondStreet_ && !StreetNameOnLink(offset, streetText, sizeof streetText))
            return;
        // The loads below may replace the chunks that hold the link: its ends are
        // kept by position and the link is looked up again.
        const MapPoint ends[2] = {link->fromNode->position, link->toNode->position};
        for (const bool atFrom : {true, false}) {
            const MapPoint& at = ends[atFrom ? 0 : 1];
            if (loaded == 0) {
                const double c = std::max(std::cos(at.latitude * kDegToRad), kMinCos);
                database_.LoadArea(3, at, static_cast<FLOAT>(kCrossingSpanDegrees / c),
                                   kCrossingSpanDegrees, 0, 0, true, true);
            }
            // The detailed layer's copy of the link meets every street at the node;
            // the overview's meets only the major ones.
            const int endTest = atFrom ? 1 : 2;
            link = database_.FindLink(3, at, offset, 7, endTest);
            if (!link)
                link = database_.FindLink(layer, centre, offset, 7, 0);
            if (!link)
                return;
            const MapNode* node = atFrom ? link->fromNode : link->toNode;
            if (!node || node->UseCount() <= 1)
                continue;
            VisitNode(*link, *node, record, atFrom, streetText);
            if (Full())
                return;
        }
    }

  private:
    // The full name of the street on its link (its first item of that name).
    bool StreetNameOnLink(int32_t offset, char* text, size_t size) {
        LinkInfoRecord record;
        NameItem items[li::kMaxNameItems];
        const int count = ReadRecordItems(g_linkInfo, offset, record, items, li::kMaxNameItems);
        for (int i = 0; i < count; ++i) {
            if (items[i].name == nameId_) {
                FormatHouseRange(g_linkInfo, offset, i, text, size, nullptr, false);
                return text[0] != '\0';
            }
        }
        return false;
    }

    void VisitNode(const MapLink& link, const MapNode& node, const LinkInfoRecord& streetRecord,
                   bool atFrom, const char* streetText) {
        for (uint32_t s = 0; s < node.SlotCapacity() && !Full(); ++s) {
            const MapLink* other = node.Slots()[s];
            if (!other || other == &link || (other->flags & kLinkSynthetic))
                continue;
            LinkInfoRecord record;
            NameItem items[li::kMaxNameItems];
            if (g_linkInfo.ReadRecord(other->linkId, record, false) != 0 ||
                record.ItemCount() < 1 || record.ItemCount() > li::kMaxNameItems)
                continue;
            const int count = record.ItemCount();
            if (g_linkInfo.ReadNameItems(items, count) != count)
                continue;
            for (int i = 0; i < count && !Full(); ++i) {
                if (items[i].name == nameId_)
                    continue;
                if (secondStreet_)
                    AddCrossing(*other, node, record, streetRecord, items, i, atFrom, streetText);
                else
                    AddName(items[i].name);
            }
        }
    }

    void AddName(uint32_t id) {
        if (names_.count(id))
            return;
        char name[kNameBufferSize];
        ReadNamesBinString(id, name);
        if (!name[0])
            return;
        names_.insert(id);
        answers_.push_back({name, id, {}});
    }

    // The side whose place text names the city: left when the city is among the
    // left references (at the to-node the crossing record's alternative and extra
    // with the street's place).
    int CrossingSide(const LinkInfoRecord& street, const LinkInfoRecord& crossing,
                     bool atFrom) const {
        if (city_ == -1)
            return kSideLeft;
        const LinkInfoRecord& others = atFrom ? street : crossing;
        return street.leftPlace == city_ || others.leftAlternative == city_ ||
                       others.leftExtra == city_
                   ? kSideLeft
                   : kSideRight;
    }

    void AddCrossing(const MapLink& other, const MapNode& node, const LinkInfoRecord& record,
                     const LinkInfoRecord& streetRecord, const NameItem (&items)[li::kMaxNameItems],
                     int item, bool atFrom, const char* streetText) {
        if (items[item].name != secondNameId_)
            return;
        char crossingText[kStreetTextSize];
        FormatHouseRange(g_linkInfo, other.linkId, item, crossingText, sizeof crossingText, nullptr,
                         false);
        char place[kPlaceTextSize];
        g_areaZones.FormatPlaceText(record, place, sizeof place,
                                    CrossingSide(streetRecord, record, atFrom), true);
        if (!streetText[0] || !crossingText[0] || !place[0])
            return;
        std::string text = std::string(streetText) + "\n" + crossingText + ", " + place;
        for (const CrossStreet& answer : answers_) {
            if (answer.text == text)
                return;
        }
        AddressHit hit{other.linkId, record.cellWord, kSideLeft, node.position.latitude,
                       node.position.longitude};
        answers_.push_back({std::move(text), secondNameId_, hit});
    }

    CMapDatabase& database_;
    const uint32_t nameId_;
    const int32_t city_;
    const bool secondStreet_;
    const uint32_t secondNameId_;
    std::set<uint32_t> names_;
    std::vector<CrossStreet> answers_;
};

}  // namespace

namespace {

// The record offsets of the street's links in the area: the records of its letter
// pair in "linkinfo.bin" whose first name it is, then those "lfoidx.bin" lists for
// it, which holds only the names records carry after their first.
std::vector<int32_t> LinksOfStreet(LfoIndexFile& reader, uint32_t area, uint32_t nameId) {
    std::vector<int32_t> links;
    char name[kNameBufferSize];
    if (ReadNamesBinString(nameId, name) >= static_cast<int>(kNameBufferSize) || !name[0])
        return links;
    std::set<int32_t> seen;
    auto add = [&](int32_t offset) {
        if (offset > 0 && seen.insert(offset).second)
            links.push_back(offset);
    };

    const uint32_t savedArea = g_linkInfo.CurrentArea();
    uint32_t count = 0;
    int32_t offset = -1;
    if (g_linkInfo.Seek(area) == 0)
        offset = g_linkInfo.FindLetterPair(name[0], name[1], &count);
    g_linkInfo.Seek(savedArea);
    for (uint32_t k = 0; offset > 0 && k < count; ++k) {
        LinkInfoRecord record;
        if (g_linkInfo.ReadRecord(offset, record, true) != 0)
            break;
        if (record.ItemCount() > 0 && record.firstItem.name == nameId)
            add(offset);
        // The next record follows the rest of this one's items.
        NameItem skipped[li::kMaxNameItems];
        for (int left = record.ItemCount() - 1; left > 0;) {
            const int n = std::min(left, li::kMaxNameItems);
            if (g_linkInfo.ReadNameItems(skipped, n) != n)
                return links;
            left -= n;
        }
        offset = g_linkInfo.File().Tell();
    }

    if (reader.OpenArea(area) == 0) {
        bool found = false;
        li::LfoName pair;
        for (uint32_t i = 0; reader.ReadNamePair(i, pair) == 0; ++i) {
            if (pair.name != nameId) {
                // The table is sorted by name: past the street's pairs the walk ends.
                if (found && static_cast<int32_t>(pair.name) > 0)
                    break;
                continue;
            }
            found = true;
            if (reader.OpenList(pair.list, -1) != 0)
                continue;
            while (const uint32_t record = reader.NextRecord())
                add(static_cast<int32_t>(record));
        }
        reader.Close();
    }
    return links;
}

}  // namespace

std::vector<CrossStreet> ListCrossStreets(CMapDatabase& database, LfoIndexFile& reader,
                                          uint32_t area, uint32_t nameId, int32_t city,
                                          bool secondStreet, uint32_t secondNameId) {
    CrossStreetSearch search(database, nameId, city, secondStreet, secondNameId);
    for (int32_t offset : LinksOfStreet(reader, area, nameId)) {
        search.VisitStreetLink(offset);
        if (search.Full())
            break;
    }
    return search.Take();
}
