// The destination flow's decisions: which screen follows which answer, where back
// leads, and that Home ends the whole flow. The screens themselves are behind
// DestinationScreens, which the program fills with its dialogs and the tests with
// scripted answers.
#pragma once

#include <cstdint>
#include <string>

#include "pathlume/search/city_list.h"
#include "pathlume/search/contact_addresses.h"
#include "pathlume/search/street_list.h"

// The Set Destination screen's buttons.
inline constexpr int kButtonAddress = 500;
inline constexpr int kButtonFavorites = 501;
inline constexpr int kButtonIntersection = 502;
inline constexpr int kButtonRecent = 503;
inline constexpr int kButtonPointsOfInterest = 504;
inline constexpr int kButtonCityCenter = 505;
inline constexpr int kButtonContacts = 506;
// The input method screen's buttons.
inline constexpr int kButtonStreetFirst = 551;
inline constexpr int kButtonCityFirst = 552;
inline constexpr int kButtonChangeRegion = 554;
// Results.
inline constexpr int kResultOrigin = 539;  // a place was made the starting point
inline constexpr int kResultNav = 540;     // a list's Nav
inline constexpr int kStreetListNoMemory = 48573;
// The list kinds.
inline constexpr int kRecentList = 0;
inline constexpr int kFavoritesList = 1;
// What the flow answers when the driver closed it.
inline constexpr int kFlowClosed = 0xBDBD;
// Messages of the flow.
inline constexpr unsigned kMsgTooManyRecords = 6017;
inline constexpr unsigned kMsgNoMemoryForStreets = 6281;
// More records than this under a first street want a city first.
inline constexpr uint32_t kMaxStreetRecordsWithoutCity = 250;

// What a street screen is opened for.
struct StreetRequest {
    bool secondStreet = false;            // the cross street of an intersection
    const CitySelection* city = nullptr;  // City First
    const StreetRecord* first = nullptr;  // the intersection's first street
    uint8_t region = 0;
    bool nameOnly = false;  // the first street of an intersection: no range search
};

// The address list's arguments.
struct AddressRequest {
    StreetRecord first;
    const StreetRecord* second = nullptr;
    int32_t houseNumber = -1;
    uint8_t region = 0;
    int32_t city = -1;
};

class DestinationScreens {
  public:
    // Each runs its screen and answers the screen's result.
    virtual int SetDestination() = 0;
    virtual int InputMethod(uint8_t region, bool intersection) = 0;
    // IDOK with the chosen region (kNoRegion when none could be taken).
    virtual int RegionEntry(uint8_t region, uint8_t* chosen) = 0;
    virtual int CityEntry(uint8_t region, CitySelection* city) = 0;
    // IDOK with the street, IDCANCEL, or kStreetListNoMemory.
    virtual int StreetEntry(const StreetRequest& request, StreetRecord* street) = 0;
    virtual int HouseNumber(const StreetRecord& street, int32_t* number) = 0;
    // 539 after Origin, 1 closed, 2 after Nav or when nothing was found.
    virtual int AddressList(const AddressRequest& request) = 0;
    virtual int Contacts(ContactAddresses& addresses, std::u16string* name) = 0;
    // IDOK after Nav or Fav, 539 after Origin, IDCANCEL closed.
    virtual int SelectAddress(const std::string& lines, const ContactAddresses& addresses,
                              const std::u16string& name) = 0;
    // The favourites or recent screen: 540, 539 or IDCANCEL.
    virtual int DestinationList(int kind) = 0;
    // Points of interest (504) or city centres (505): IDCANCEL goes back.
    virtual int PointsOfInterest(int button, uint8_t region) = 0;
    // The warning box ("Warning", "Confirm", "Cancel") with the message and heading.
    virtual void ShowWarning(unsigned messageId, const char16_t* heading) = 0;
    // How many records "linkinfo.bin" files under the street as its first name.
    virtual uint32_t CountStreetRecords(uint8_t region, uint32_t nameOffset) = 0;

  protected:
    ~DestinationScreens() = default;
};

// Set Destination and every chain after it, in the region given, until a place is
// chosen, the driver closes Set Destination (kFlowClosed) or a screen is left with
// Home (the result of that screen; g_homeKeyPressed stays set). A started route
// search also sets the flag, which so ends the flow after Nav.
int RunDestinationChains(DestinationScreens& screens, uint8_t region);
