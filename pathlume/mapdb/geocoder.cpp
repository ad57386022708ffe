#include "pathlume/mapdb/geocoder.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <utility>

#include "formats/link_info.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/dest_list.h"
#include "pathlume/foundation/name_text.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/area_zone_file.h"
#include "pathlume/mapdb/house_numbers.h"
#include "pathlume/mapdb/lfo_index_file.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/name_codes.h"
#include "pathlume/mapdb/position_services.h"
#include "pathlume/mapdb/router_services.h"
#include "pathlume/mapdb/street_name.h"
#include "pathlume/mapdb/street_types.h"
#include "platform/afx/afx_app.h"
#include "platform/afx/afx_wnd.h"

namespace li = formats::link_info;

namespace {

constexpr double kDegToRad = 0.017453292;
constexpr double kMinCos = 1e-6;
// Half of the 5,000 ft area loaded around a found place, in degrees of latitude.
constexpr FLOAT kHalfAreaDegrees = 0.006852859f;
constexpr FLOAT kAreaDegrees = 0.013705719f;
// Where the geocoder's place sits in layer 2 and the matched location's tag.
constexpr int kRouteLayer = 3;
constexpr int kOriginLayer = 4;
constexpr uint32_t kPlacedTag = 4;
// Every item a record can count (the low 7 bits of its flags).
constexpr int kMaxStoredItems = li::kItemCountMask;

std::mutex g_hookLock;
AddressListHook g_addressListHook;

std::u16string Widen(const char* text) {
    std::u16string wide;
    for (const char* c = text ? text : ""; *c; ++c)
        wide.push_back(static_cast<unsigned char>(*c));
    return wide;
}

std::string Upper(const char* text) {
    std::string upper(text ? text : "");
    for (char& c : upper) {
        const unsigned char u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7))
            c = static_cast<char>(u - 0x20);
    }
    return upper;
}

// The decimal number the slot begins with; -1 when it begins with none, -2 when it
// is too large for 31 bits.
int32_t HouseNumberOf(const std::string& digits) {
    int64_t value = 0;
    size_t i = 0;
    for (; i < digits.size() && digits[i] >= '0' && digits[i] <= '9'; ++i) {
        value = value * 10 + (digits[i] - '0');
        if (value > INT32_MAX)
            return -2;
    }
    return i == 0 ? -1 : static_cast<int32_t>(value);
}

// The offset of the stored name equal to `name` among the names that begin with
// its first two letters, or 0. The run is in byte order but names compare with
// blanks, brackets and accents aside, so the whole run is read.
uint32_t FindNameId(const std::string& name) {
    if (name.size() < 1)
        return 0;
    const auto entry = LookupNamesBigram(name[0], name.size() > 1 ? name[1] : '\0');
    if (!entry)
        return 0;
    uint32_t offset = entry->firstOffset;
    char stored[kNameBufferSize];
    for (uint32_t k = 0; k < entry->count; ++k) {
        const int length = ReadNamesBinString(offset, stored);
        if (length <= 0 || length >= kNameBufferSize)
            return 0;
        if (CompareNoCase(stored, name.c_str(), -1) == 0)
            return offset;
        offset += 1 + static_cast<uint32_t>(length);
    }
    return 0;
}

// Skips the record's items after the first (already read); false on a short read.
bool SkipItems(int count) {
    NameItem skipped[li::kMaxNameItems];
    for (int left = count; left > 0;) {
        const int n = std::min(left, li::kMaxNameItems);
        if (g_linkInfo.ReadNameItems(skipped, n) != n)
            return false;
        left -= n;
    }
    return true;
}

class CandidateCollector {
  public:
    explicit CandidateCollector(AddressSearch& search) : search_(search) {}

    bool Taken() const { return search_.takenByDirection; }

    // A record of the street in the city, with its item `item`: accepted when it
    // carries the number (or none was given) and its direction is the one asked
    // for. `side` is the side found, for a record already tested.
    void Offer(int32_t offset, const LinkInfoRecord& record, const NameItem& item, int side,
               bool sideKnown) {
        const int32_t number = search_.houseNumber;
        if (number >= 0 && !sideKnown) {
            if (!(item.flags & li::kItemHouseNumbers))
                return;
            if (SideCarriesNumber(record, kSideLeft, number))
                side = kSideLeft;
            else if (SideCarriesNumber(record, kSideRight, number))
                side = kSideRight;
            else
                return;
        }
        const AddressCandidate candidate{offset, record.cellWord, side};
        if (search_.direction.empty()) {
            // The same record may come from both passes: it is one place.
            for (const AddressCandidate& known : search_.candidates) {
                if (known.recordOffset == offset && known.side == side)
                    return;
            }
            search_.candidates.push_back(candidate);
            return;
        }
        const char* text = GetDirectionText(item.direction, 0);
        if (!text[0])
            text = GetDirectionText(item.direction, 1);
        if (search_.direction == text) {
            search_.candidates.assign(1, candidate);
            search_.takenByDirection = true;
        }
    }

  private:
    AddressSearch& search_;
};

// Pass 1: the records of the name's letter pair whose first name is the street.
void LetterPairPass(AddressSearch& search, int typeA, int typeB, CandidateCollector& collector) {
    uint32_t count = 0;
    const int32_t first = g_linkInfo.FindLetterPair(
        search.street[0], search.street.size() > 1 ? search.street[1] : 0, &count);
    if (first < 0)
        return;
    int32_t offset = first;
    for (uint32_t k = 0; k < count && !collector.Taken(); ++k) {
        LinkInfoRecord record;
        if (g_linkInfo.ReadRecord(offset, record, true) != 0)
            return;
        const int items = record.ItemCount();
        if (items > 0 && !SkipItems(items - 1))
            return;
        const int32_t here = offset;
        offset = g_linkInfo.File().Tell();
        if (items < 1 || items > li::kMaxNameItems || !record.HasPlace(search.city) ||
            record.firstItem.name != search.nameId)
            continue;
        const int type = record.firstItem.flags & li::kItemTypeMask;
        if (!(typeA == 0 && typeB == 0) && type != typeA && type != typeB)
            continue;
        collector.Offer(here, record, record.firstItem, kSideEither, false);
    }
}

// Pass 2: the "lfoidx.bin" list of the name, which holds the names records carry
// after their first.
void IndexPass(AddressSearch& search, CandidateCollector& collector) {
    LfoIndexFile index;
    if (index.Open(static_cast<uint32_t>(search.areaIndex), search.nameId, search.houseNumber) != 0)
        return;
    NameItem items[kMaxStoredItems];
    while (!collector.Taken()) {
        const uint32_t offset = index.NextRecord();
        if (offset == 0)
            break;
        LinkInfoRecord record;
        int side = kSideEither;
        // An unreadable record is passed over, as in the letter-pair pass.
        if (g_linkInfo.ReadRecord(static_cast<int32_t>(offset), record, false) != 0 ||
            MatchHouseNumberOnLink(search.houseNumber, record, &side, search.city, false) != 1)
            continue;
        const int count = record.ItemCount();
        if (g_linkInfo.ReadNameItems(items, count) != count)
            continue;
        for (int i = 0; i < count && !collector.Taken(); ++i) {
            if (items[i].name != search.nameId ||
                (search.houseNumber >= 0 && !(items[i].flags & li::kItemHouseNumbers)))
                continue;
            collector.Offer(static_cast<int32_t>(offset), record, items[i], side, true);
        }
    }
    index.Close();
}

void Fail(AddressSearch& search, AddressResult result, UINT messageId) {
    search.result = result;
    search.messageId = messageId;
    search.candidates.clear();
}

void CopyCut(char* target, size_t size, const std::string& text) {
    const size_t n = std::min(text.size(), size - 1);
    std::memcpy(target, text.data(), n);
    target[n] = '\0';
}

}  // namespace

const char* AddressResultText(AddressResult result) {
    switch (result) {
        case AddressResult::kFound:
            return "found";
        case AddressResult::kParseError:
            return "parse error";
        case AddressResult::kStreetNotFound:
            return "street not found";
        case AddressResult::kTypeNotFound:
            return "type not found";
        case AddressResult::kCityNotFound:
            return "city not found";
        case AddressResult::kNotFound:
            break;
    }
    return "not found";
}

AddressSearch FindAddress(const char* streetLine, const char* city, const char* state,
                          const char* label) {
    AddressSearch search;
    CStreetName parser;
    parser.Parse(Widen(streetLine).c_str(), Widen(label).c_str());
    char fields[kStreetExportSize];
    search.parseErrors = parser.ExportFields(fields);
    auto field = [&](CStreetName::Field f) { return std::string(fields + f * kStreetFieldSize); };
    search.houseText = field(CStreetName::kHouseText);
    search.street = field(CStreetName::kStreet);
    search.direction = field(CStreetName::kDirection);
    search.typeText = field(CStreetName::kPrefixType);
    search.typeWord = field(CStreetName::kPrefixWord);

    // Without a typed number the parse errors are passed over. A missing
    // "strabbr.bin" (0x1) has had its own box and stops nothing.
    const uint32_t stopping = kStreetErrorNoStreet | kStreetErrorNoHouseNumber;
    if (!search.houseText.empty()) {
        const int32_t number = HouseNumberOf(field(CStreetName::kHouseDigits));
        if (number == -2) {
            // Too large for a number: as a number that is not numeric.
            search.parseErrors |= kStreetErrorNoHouseNumber;
        } else {
            search.houseNumber = number;
        }
        if (search.parseErrors & stopping) {
            const bool noStreet = search.parseErrors & kStreetErrorNoStreet;
            const bool noNumber = search.parseErrors & kStreetErrorNoHouseNumber;
            Fail(search, AddressResult::kParseError,
                 noStreet && noNumber ? 6062u
                 : noStreet           ? 6063u
                                      : 6064u);
            return search;
        }
    }

    // The typed name, then the names it makes with the type word or the suffix word
    // the parser took off ("CARRER DE LES ESCOLES", "PARK AVE"): a stored name may
    // hold the word, and then no type is asked for. A later one is tried when the
    // names before it give no street in the place.
    struct NameChoice {
        std::string street;
        uint32_t nameId = 0;
        bool typeInName = false;
    };
    std::vector<NameChoice> names;
    const std::string suffixWord = field(CStreetName::kSuffixWord);
    for (const auto& [text, typeInName] :
         {std::pair<std::string, bool>{search.street, false},
          {search.typeWord.empty() ? std::string() : search.typeWord + " " + search.street, true},
          {suffixWord.empty() ? std::string() : search.street + " " + suffixWord, true}}) {
        if (text.empty())
            continue;
        if (const uint32_t id = FindNameId(text))
            names.push_back({text, id, typeInName});
    }
    if (names.empty()) {
        Fail(search, AddressResult::kStreetNotFound, kMsgStreetNotFound);
        return search;
    }
    int typeA = g_streetTypes.FindCode(search.typeText.c_str());
    const int typeB = g_streetTypes.FindCode(search.typeWord.c_str());
    if (typeA == -1)
        typeA = typeB;
    // The typed type matters only for the typed name.
    if (typeA == -1)
        std::erase_if(names, [](const NameChoice& name) { return !name.typeInName; });
    if (names.empty()) {
        Fail(search, AddressResult::kTypeNotFound, kMsgTypeNotFound);
        return search;
    }

    search.areaIndex = g_areaZones.FindArea(state ? state : "");
    // A city and a county may share a name: each place of the name is tried in turn.
    const std::vector<int32_t> places =
        g_areaZones.FindPlaces(Upper(city).c_str(), search.areaIndex);
    if (places.empty()) {
        Fail(search, AddressResult::kCityNotFound, kMsgCityNotFound);
        return search;
    }
    search.city = places.front();
    search.street = names.front().street;
    search.nameId = names.front().nameId;
    if (!g_linkInfo.IsOpen() || g_linkInfo.Seek(static_cast<uint32_t>(search.areaIndex)) != 0) {
        Fail(search, AddressResult::kNotFound, kMsgAddressNotFound);
        return search;
    }

    for (const NameChoice& name : names) {
        for (const int32_t place : places) {
            search.street = name.street;
            search.nameId = name.nameId;
            search.city = place;
            CandidateCollector collector(search);
            LetterPairPass(search, name.typeInName ? 0 : typeA, name.typeInName ? 0 : typeB,
                           collector);
            // Also when the letter pair holds nothing: a street known only by a later
            // name of its records is in the index alone.
            if (!collector.Taken())
                IndexPass(search, collector);
            if (!search.candidates.empty()) {
                search.result = AddressResult::kFound;
                return search;
            }
        }
    }
    search.street = names.front().street;
    search.nameId = names.front().nameId;
    search.city = places.front();
    Fail(search, AddressResult::kNotFound, kMsgAddressNotFound);
    return search;
}

int ResolveAddressHit(CMapDatabase& database, const AddressCandidate& candidate,
                      int32_t houseNumber, int layerIndex, ResolvedAddress& out) {
    out = ResolvedAddress{};
    LinkInfoRecord record;
    if (g_linkInfo.ReadRecord(candidate.recordOffset, record, false) != 0)
        return 1;
    uint32_t cellWord = candidate.cellWord;
    MapPoint centre;
    int cellLayer = 0;
    database.LoadAreaAroundCell(layerIndex, cellWord, kHalfAreaDegrees, &centre, &cellLayer);
    MapLink* link = database.FindLink(cellLayer, centre, candidate.recordOffset, 7, 0);
    if (!link)
        return 1;
    out.link = link;
    PositionForHouseNumber(*link, record, houseNumber, candidate.side, &out.shapeIndex, &out.point,
                           &out.exact);
    return 0;
}

void SetAddressListHook(AddressListHook hook) {
    std::lock_guard<std::mutex> lock(g_hookLock);
    g_addressListHook = std::move(hook);
}

int ShowMapMessage(UINT id) {
    const std::u16string text = LoadResStringOr(id, u"");
    const std::u16string caption = LoadResStringOr(6044, u"Error");
    CWnd* main = GetAppMainWindow();
    MessageBoxW(main ? main->m_hWnd : nullptr, text.c_str(), caption.c_str(),
                MB_OKCANCEL | MB_ICONERROR);
    if (g_homeKeyPressed.exchange(0) != 0)
        return 1;
    return 0;
}

void PlaceVehicleAt(CMapDatabase& database, MapLink* link, int32_t segment, const MapPoint& point) {
    if (IMainView* view = g_mainView.load())
        view->SetPanMode(TRUE);
    const FLOAT c = static_cast<FLOAT>(std::max(std::cos(point.latitude * kDegToRad), kMinCos));
    g_vehicleLocation.Set(link, kPlacedTag);
    g_vehicleLocation.linkId = link->linkId;
    g_vehicleLocation.cosLat = c;
    g_vehicleLocation.scaledLon = point.longitude * c;
    g_vehicleLocation.lat = point.latitude;
    g_vehicleLocation.SetShapeIndex(static_cast<uint32_t>(segment));
    g_vehicleLocation.SetPosition(point);
    g_vehicleLocation.stale = 0;
    database.LoadArea(2, point, kAreaDegrees / c, kAreaDegrees, 0, 0, true, true);
    GetPositionServices().ResetMatcher();
    GetRouterServices().SetOriginPoint(point);
    // The place is saved, not the receiver's fix: it is where the driver said they are.
    GetPositionServices().SaveLastPosition(&point);
}

void RequestRouteFromVehicle(const RouteTarget& target) {
    MapLink* start = g_vehicleLocation.GetLink(true);
    // Without a matched position there is no start to route from (and its flat
    // longitude cannot be turned back into degrees).
    if (!start || g_vehicleLocation.cosLat == 0)
        return;
    const MapPoint from{g_vehicleLocation.lat,
                        g_vehicleLocation.scaledLon / g_vehicleLocation.cosLat};
    GetRouterServices().CalculateRoute(start, g_vehicleLocation.segment, from, target);
}

int GeocodeAddress(const char* streetLine, const char* city, const char* state, const char* label,
                   const char* caption, int /*ignored*/, BOOL setOrigin, BOOL listFlag,
                   BOOL favouritesOnly) {
    CWnd* main = GetAppMainWindow();
    if (main)
        main->SetForegroundWindow();
    // Taken down (reset) before a message or a list is shown.
    std::optional<CWaitCursor> wait;
    wait.emplace();

    AddressSearch search = FindAddress(streetLine, city, state, label);
    if (search.result != AddressResult::kFound) {
        wait.reset();
        return ShowMapMessage(search.messageId);
    }
    const bool single = search.candidates.size() == 1 && search.candidates[0].recordOffset != 0;
    if (!single) {
        wait.reset();
        AddressListHook hook;
        {
            std::lock_guard<std::mutex> lock(g_hookLock);
            hook = g_addressListHook;
        }
        if (!hook)
            return 0;
        AddressListRequest request;
        request.nameId = search.nameId;
        request.cityPlace = search.city == 0 ? -1 : search.city;
        request.houseNumber = search.houseNumber;
        request.areaIndex = static_cast<uint8_t>(search.areaIndex);
        return hook(main ? main->GetParent() : nullptr, request);
    }

    const AddressCandidate& candidate = search.candidates[0];
    GetRouterServices().ClearAvoidMarks();
    GetRouterServices().ResetRoute();
    ResolvedAddress place;
    if (ResolveAddressHit(g_mapDatabase, candidate, search.houseNumber,
                          setOrigin ? kOriginLayer : kRouteLayer, place) != 0) {
        wait.reset();
        return ShowMapMessage(kMsgAddressNotFound);
    }

    char houseText[16] = "";
    if (search.houseNumber >= 0)
        std::snprintf(houseText, sizeof houseText, "%d", search.houseNumber);
    if (setOrigin) {
        PlaceVehicleAt(g_mapDatabase, place.link, place.shapeIndex, place.point);
        if (IMainView* view = g_mainView.load())
            view->SetPanCentre(place.point.latitude, place.point.longitude);
    } else {
        RouteTarget target;
        target.Clear();
        target.link = place.link;
        target.segment = static_cast<DWORD>(place.shapeIndex);
        target.lat = place.point.latitude;
        target.lon = place.point.longitude;
        CopyCut(target.shortName, sizeof target.shortName, houseText);
        target.areaCode = static_cast<DWORD>(candidate.side);
        if (!favouritesOnly)
            RequestRouteFromVehicle(target);
    }

    const std::string addressText = Upper((std::string(streetLine ? streetLine : "") + "\n" +
                                           (city ? city : "") + ", " + (state ? state : ""))
                                              .c_str());
    if (caption)
        CopyCut(g_destinationText, sizeof g_destinationText, Upper(caption));
    else if (!addressText.empty())
        CopyCut(g_destinationText, sizeof g_destinationText, addressText);
    const AddressHit hit{candidate.recordOffset, candidate.cellWord, candidate.side,
                         place.point.latitude, place.point.longitude};

    IMainView* view = g_mainView.load();
    if (favouritesOnly) {
        wait.reset();
        if (view)
            view->AddToFavorites(hit, 0, addressText.c_str(), houseText, caption, FALSE, FALSE);
        return 1;
    }
    if (!setOrigin) {
        const DestPlace destination = hit.ToDestPlace();
        RewriteItinerary(nullptr, &destination, addressText.c_str(), houseText, caption);
    }
    if (view) {
        view->AddToFavorites(hit, 1, addressText.c_str(), houseText, caption, FALSE, FALSE);
        view->AddToFavorites(hit, 0, addressText.c_str(), houseText, caption, listFlag, FALSE);
    }
    return 1;
}
