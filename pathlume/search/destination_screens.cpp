#include "pathlume/search/destination_screens.h"

#include <memory>

#include "pathlume/foundation/app_services.h"
#include "pathlume/mapdb/area_zone_file.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/search/address_list_dlg.h"
#include "pathlume/search/city_entry_dlg.h"
#include "pathlume/search/contacts_dlg.h"
#include "pathlume/search/destination_chains.h"
#include "pathlume/search/destination_list_dlg.h"
#include "pathlume/search/house_number_dlg.h"
#include "pathlume/search/input_method_dlg.h"
#include "pathlume/search/poi_entry.h"
#include "pathlume/search/region_entry_dlg.h"
#include "pathlume/search/select_address_dlg.h"
#include "pathlume/search/set_destination_dlg.h"
#include "pathlume/search/street_entry_dlg.h"

namespace {

class ProgramScreens final : public DestinationScreens {
  public:
    ProgramScreens(CWnd* parent, IMainView* view, uint8_t region)
        : parent_(parent), view_(view), region_(region) {}

    int SetDestination() override { return Run(CSetDestinationDlg(parent_)); }
    int InputMethod(uint8_t region, bool) override {
        region_ = region;
        return Run(CInputMethodDlg(parent_, region));
    }
    int RegionEntry(uint8_t region, uint8_t* chosen) override {
        CRegionEntryDlg screen(region, parent_);
        const int result = Run(screen);
        if (result == IDOK)
            *chosen = screen.GetSelectedRegion();
        return result;
    }
    int CityEntry(uint8_t region, CitySelection* city) override {
        CCityEntryDlg screen(parent_, region);
        const int result = Run(screen);
        return result == IDOK && screen.GetSelectedCity(city) != 0 ? IDCANCEL : result;
    }
    int StreetEntry(const StreetRequest& request, StreetRecord* street) override {
        CStreetEntryDlg screen(
            parent_, request.city, request.first,
            request.secondStreet ? CStreetEntryDlg::kSecondStreet : CStreetEntryDlg::kStreet,
            request.region);
        const int result = Run(screen);
        if (result != IDOK)
            return result;
        int found = 1;
        if (request.secondStreet)
            found = screen.GetSelectedStreet(nullptr, street, true);
        else if (request.city)
            found = screen.GetSelectedStreet(request.city, street, request.nameOnly);
        else
            found = screen.GetSelectedName(street);
        return found == 0 ? IDOK : IDCANCEL;
    }
    int HouseNumber(const StreetRecord& street, int32_t* number) override {
        CHouseNumberDlg screen(parent_, &street);
        const int result = Run(screen);
        *number = screen.m_houseNumber;
        return result;
    }
    int AddressList(const AddressRequest& request) override {
        AddressListQuery query;
        query.first = request.first;
        if (request.second)
            query.second = *request.second;
        query.houseNumber = request.houseNumber;
        query.region = request.region;
        query.city = request.city;
        return Run(CAddressListDlg(parent_, query, g_mapDatabase, view_));
    }
    int Contacts(ContactAddresses& addresses, std::u16string* name) override {
        return Run(CContactsDlg(name, &addresses, parent_));
    }
    int SelectAddress(const std::string& lines, const ContactAddresses& addresses,
                      const std::u16string& name) override {
        char label[128] = "";
        g_areaZones.FormatAreaName(region_, label, sizeof label);
        return Run(CSelectAddressDlg(parent_, lines, addresses, name, label));
    }
    int DestinationList(int kind) override {
        return RunDestinationListScreen(parent_, view_, kind);
    }
    int PointsOfInterest(int button, uint8_t region) override {
        return RunPointsOfInterestSearch(parent_, button, region);
    }
    void ShowWarning(unsigned messageId, const char16_t* heading) override {
        ShowWarningBox(parent_, messageId, heading);
    }
    uint32_t CountStreetRecords(uint8_t region, uint32_t nameOffset) override {
        return ::CountStreetRecords(region, nameOffset);
    }

  private:
    template <class Screen>
    static int Run(Screen&& screen) {
        return static_cast<int>(screen.DoModal());
    }

    CWnd* parent_;
    IMainView* view_;
    uint8_t region_;
};

}  // namespace

int RunDestinationSearchScreens(CWnd* parent, IMainView* view, uint8_t region) {
    ProgramScreens screens(parent, view, region);
    return RunDestinationChains(screens, region);
}

int RunDestinationListScreen(CWnd* parent, IMainView* view, int kind) {
    if (kind == kFavoritesList)
        return static_cast<int>(CFavoritesDlg(parent, g_mapDatabase, view).DoModal());
    return static_cast<int>(CRecentDlg(parent, g_mapDatabase, view).DoModal());
}

int RunAddressListScreen(CWnd* parent, uint32_t nameId, int32_t city, int32_t houseNumber,
                         uint8_t region) {
    AddressListQuery query;
    query.first.nameOffset = nameId;
    query.city = city;
    query.houseNumber = houseNumber;
    query.region = region;
    return static_cast<int>(
        CAddressListDlg(parent, query, g_mapDatabase, g_mainView.load()).DoModal());
}
