#include "pathlume/search/destination_chains.h"

#include <optional>

#include "pathlume/foundation/app_services.h"
#include "pathlume/search/region_list.h"
#include "platform/kernel/wintypes.h"

namespace {

constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

// A chain either goes back to the screen before it or ends the flow with a result.
struct Step {
    bool back = true;
    int result = 0;
};
constexpr Step kBack{};
Step End(int result) {
    return {false, result};
}

bool HomePressed() {
    return g_homeKeyPressed.load() != 0;
}

class Chains {
  public:
    Chains(DestinationScreens& screens, uint8_t region) : screens_(screens), region_(region) {}

    int Run() {
        for (;;) {
            const int button = screens_.SetDestination();
            if (HomePressed())
                return button;
            if (button == kIdCancel)
                return kFlowClosed;
            std::optional<Step> step;
            switch (button) {
                case kButtonAddress:
                    step = AddressChain(false);
                    break;
                case kButtonIntersection:
                    step = AddressChain(true);
                    break;
                case kButtonPointsOfInterest:
                case kButtonCityCenter:
                    step = Screen(screens_.PointsOfInterest(button, region_), {kIdCancel});
                    break;
                case kButtonContacts:
                    step = ContactsChain();
                    break;
                case kButtonFavorites:
                    step = Screen(screens_.DestinationList(kFavoritesList), {kIdCancel});
                    break;
                case kButtonRecent:
                    step = Screen(screens_.DestinationList(kRecentList), {kIdCancel});
                    break;
                default:
                    break;
            }
            if (step && !step->back)
                return step->result;
        }
    }

  private:
    // A screen whose listed results go back and whose others end the flow.
    static Step Screen(int result, std::initializer_list<int> back) {
        if (HomePressed())
            return End(result);
        for (int b : back) {
            if (result == b)
                return kBack;
        }
        return End(result);
    }

    Step AddressChain(bool intersection) {
        for (;;) {
            const int method = screens_.InputMethod(region_, intersection);
            if (HomePressed())
                return End(method);
            Step step;
            switch (method) {
                case kButtonChangeRegion: {
                    uint8_t chosen = kNoRegion;
                    const int result = screens_.RegionEntry(region_, &chosen);
                    if (HomePressed())
                        return End(result);
                    // A region the files refuse leaves the flow's region as it was.
                    if (result == kIdOk && chosen != kNoRegion)
                        region_ = chosen;
                    continue;
                }
                case kButtonStreetFirst:
                    step = StreetFirst(intersection);
                    break;
                case kButtonCityFirst:
                    step = CityFirst(intersection);
                    break;
                case kIdCancel:
                    return kBack;
                default:
                    continue;
            }
            if (!step.back)
                return step;
        }
    }

    Step StreetFirst(bool intersection) {
        for (;;) {
            StreetRecord street;
            StreetRequest request;
            request.region = region_;
            request.nameOnly = intersection;
            const int result = screens_.StreetEntry(request, &street);
            if (HomePressed())
                return End(result);
            if (result == kStreetListNoMemory) {
                screens_.ShowWarning(kMsgNoMemoryForStreets, u"");
                if (HomePressed())
                    return End(result);
                return kBack;
            }
            if (result != kIdOk)
                return kBack;
            Step step;
            if (!intersection) {
                step = HouseAndList(street, -1);
            } else if (screens_.CountStreetRecords(region_, street.nameOffset) >
                       kMaxStreetRecordsWithoutCity) {
                // Too many links to walk: the driver is asked for the city first.
                screens_.ShowWarning(kMsgTooManyRecords, u"Intersection");
                if (HomePressed())
                    return End(kIdCancel);
                step = CityFirst(true);
                if (step.back)
                    return kBack;
            } else {
                step = SecondStreetAndList(street, nullptr);
            }
            if (!step.back)
                return step;
        }
    }

    Step CityFirst(bool intersection) {
        for (;;) {
            CitySelection city;
            const int result = screens_.CityEntry(region_, &city);
            if (HomePressed())
                return End(result);
            if (result != kIdOk)
                return kBack;
            for (;;) {
                StreetRecord street;
                StreetRequest request;
                request.city = &city;
                request.region = region_;
                request.nameOnly = intersection;
                const int entry = screens_.StreetEntry(request, &street);
                if (HomePressed())
                    return End(entry);
                if (entry != kIdOk)
                    break;
                const int32_t cityId = static_cast<int32_t>(city.fileOffset);
                const Step step = intersection ? SecondStreetAndList(street, &city)
                                               : HouseAndList(street, cityId);
                if (!step.back)
                    return step;
            }
        }
    }

    // The house number, when the street has a range, and the address list; back from
    // the list returns to the house number, or to the street without one.
    Step HouseAndList(const StreetRecord& street, int32_t city) {
        for (;;) {
            int32_t number = -1;
            if (HasHouseNumberRange(street)) {
                const int result = screens_.HouseNumber(street, &number);
                if (HomePressed())
                    return End(result);
                if (result != kIdOk)
                    return kBack;
            }
            AddressRequest request;
            request.first = street;
            request.houseNumber = number;
            request.region = region_;
            request.city = city;
            const int list = screens_.AddressList(request);
            if (HomePressed())
                return End(list);
            if (list == kResultOrigin)
                return End(kResultOrigin);
            if (!HasHouseNumberRange(street))
                return kBack;
        }
    }

    Step SecondStreetAndList(const StreetRecord& first, const CitySelection* city) {
        for (;;) {
            StreetRecord second;
            StreetRequest request;
            request.secondStreet = true;
            request.city = city;
            request.first = &first;
            request.region = region_;
            request.nameOnly = true;
            const int result = screens_.StreetEntry(request, &second);
            if (HomePressed())
                return End(result);
            if (result != kIdOk)
                return kBack;
            AddressRequest list;
            list.first = first;
            list.second = &second;
            list.region = region_;
            list.city = city ? static_cast<int32_t>(city->fileOffset) : -1;
            const int answer = screens_.AddressList(list);
            if (HomePressed())
                return End(answer);
            if (answer == kResultOrigin)
                return End(kResultOrigin);
        }
    }

    Step ContactsChain() {
        for (;;) {
            ContactAddresses addresses;
            std::u16string name;
            const int result = screens_.Contacts(addresses, &name);
            if (HomePressed())
                return End(result);
            if (result != kIdOk)
                return kBack;
            const int chosen =
                screens_.SelectAddress(JoinContactAddresses(addresses), addresses, name);
            if (HomePressed() || chosen != kIdCancel)
                return End(chosen);
        }
    }

    DestinationScreens& screens_;
    uint8_t region_;
};

}  // namespace

int RunDestinationChains(DestinationScreens& screens, uint8_t region) {
    return Chains(screens, region).Run();
}
