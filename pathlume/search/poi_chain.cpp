#include "pathlume/search/poi_chain.h"

#include "pathlume/foundation/app_services.h"
#include "pathlume/search/destination_chains.h"
#include "pathlume/search/region_list.h"
#include "platform/kernel/wintypes.h"
#include "platform/user/user.h"

namespace {

bool HomePressed() {
    return g_homeKeyPressed.load() != 0;
}

// What the list options lead to.
enum class Next { kOptionsAgain, kCategories, kEnd };

class PoiChain {
  public:
    PoiChain(PoiScreens& screens, uint8_t region) : screens_(screens), region_(region) {}

    int Categories() {
        for (;;) {
            const int category = screens_.Category();
            if (HomePressed() || (category > 0 && category != IDCANCEL))
                return category;
            if (category == IDCANCEL)
                return IDCANCEL;
            const int c = -category;
            int picked = 0;
            if (c != kPoiLodging) {
                picked = screens_.Picker(c);
                if (HomePressed())
                    return picked;
                // Only the close key goes back: "Select All" (0x800000FF) is a choice.
                if (picked == IDCANCEL)
                    continue;
            }
            if (Options(PoiSelectionCode(c, picked)) == Next::kEnd)
                return result_;
        }
    }

    // The city centres: back from their options leaves the chain.
    int CityCentres() { return Options(kCityCentreCode) == Next::kEnd ? result_ : IDCANCEL; }

  private:
    Next Options(uint32_t code) {
        for (;;) {
            const int answer = screens_.Options(code, region_);
            if (HomePressed())
                return End(answer);
            if (answer == IDCANCEL)
                return Next::kCategories;
            const auto selection = static_cast<uint32_t>(answer);
            const uint32_t choice = selection & 0xFF;
            int shown = IDCANCEL;
            if (choice == kPoiChangeRegion) {
                uint8_t chosen = kNoRegion;
                const int result = screens_.RegionEntry(region_, &chosen);
                if (HomePressed())
                    return End(result);
                if (result == IDOK && chosen != kNoRegion)
                    region_ = chosen;
                continue;
            }
            if ((choice & 0x7F) == kPoiSortByName) {
                shown = screens_.NameSearch(selection, 0, region_);
            } else if (choice == kPoiSortByDistance) {
                shown = screens_.Nearby(selection);
            } else if (choice == kPoiByCity) {
                CitySelection city;
                const int result = screens_.CityEntry(region_, &city);
                if (HomePressed())
                    return End(result);
                if (result != IDOK)
                    continue;
                shown = screens_.NameSearch(selection, city.fileOffset, region_);
            } else if ((choice & 0x7F) == IDCANCEL) {
                return Next::kCategories;
            } else {
                continue;
            }
            if (HomePressed() || shown != IDCANCEL)
                return End(shown);
        }
    }

    Next End(int result) {
        result_ = result;
        return Next::kEnd;
    }

    PoiScreens& screens_;
    uint8_t region_;
    int result_ = IDCANCEL;
};

}  // namespace

uint32_t PoiSelectionCode(int category, int picked) {
    return static_cast<uint32_t>(category) | (static_cast<uint32_t>(picked) << 8);
}

int RunPoiChain(PoiScreens& screens, int button, uint8_t region) {
    PoiChain chain(screens, region);
    return button == kButtonCityCenter ? chain.CityCentres() : chain.Categories();
}
