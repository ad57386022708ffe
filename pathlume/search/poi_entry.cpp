#include "pathlume/search/poi_entry.h"

#include "pathlume/search/destination_screens.h"
#include "pathlume/search/food_type_dlg.h"
#include "pathlume/search/poi_category_dlg.h"
#include "pathlume/search/poi_chain.h"
#include "pathlume/search/poi_options_dlg.h"
#include "pathlume/search/poi_search_dlg.h"
#include "pathlume/search/poi_select_dlg.h"
#include "platform/kernel/wintypes.h"
#include "platform/user/user.h"

namespace {

class ProgramPoiScreens final : public PoiScreens {
  public:
    explicit ProgramPoiScreens(CWnd* parent) : parent_(parent) {}

    int Category() override { return Run(CPoiCategoryDlg(parent_)); }
    int Picker(int category) override {
        if (category == kPoiRestaurant)
            return Run(CFoodTypeDlg(parent_));
        return RunPoiPicker(parent_, category);
    }
    int Options(uint32_t code, uint8_t region) override {
        return Run(CPoiOptionsDlg(parent_, code, region));
    }
    int RegionEntry(uint8_t region, uint8_t* chosen) override {
        return RunRegionEntryScreen(parent_, region, chosen);
    }
    int CityEntry(uint8_t region, CitySelection* city) override {
        return RunCityEntryScreen(parent_, region, city);
    }
    int NameSearch(uint32_t selection, uint32_t city, uint8_t region) override {
        const int result = Run(CPoiSearchDlg(parent_, selection, city, region));
        // Origin there made a place the start, as OK does.
        return result == 539 ? IDOK : result;
    }
    int Nearby(uint32_t mode) override {
        const int result = RunPoiNearbyScreen(parent_, mode);
        return result == 539 ? IDOK : result;
    }

  private:
    template <class Screen>
    static int Run(Screen&& screen) {
        return static_cast<int>(screen.DoModal());
    }

    CWnd* parent_;
};

}  // namespace

int RunPointsOfInterestSearch(CWnd* parent, int button, uint8_t region) {
    ProgramPoiScreens screens(parent);
    return RunPoiChain(screens, button, region);
}
