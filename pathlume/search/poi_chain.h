// Which point-of-interest screen follows which answer: the categories, the picker or
// the food types, the list options (with a region change or a city), then the name
// search or the nearby list. The screens are behind PoiScreens, which the program
// fills with its dialogs and the tests with scripted answers.
#pragma once

#include <cstdint>

#include "pathlume/search/city_list.h"

// The list options' choice bits (the low byte of their answer).
inline constexpr uint32_t kPoiSortByName = 0x00;
inline constexpr uint32_t kPoiChangeRegion = 0x04;
inline constexpr uint32_t kPoiByCity = 0x08;
inline constexpr uint32_t kPoiSortByDistance = 0x10;
inline constexpr uint32_t kPoiListAll = 0x80;
// The categories with their own follow-up.
inline constexpr int kPoiLodging = 4;
inline constexpr int kPoiRestaurant = 6;
// The city centres' selection code: category 8, every sub-category.
inline constexpr uint32_t kCityCentreCode = 0xFF08;
// A picker's or the food types' answer for a sub-category: bit 31 and the code.
inline constexpr uint32_t kPickedBit = 0x80000000u;
inline constexpr uint32_t kPickedAll = 0x800000FFu;

class PoiScreens {
  public:
    // The categories: the category negated, 2 back, another positive answer.
    virtual int Category() = 0;
    // The sub-category picker of a category, or the food types for restaurants.
    virtual int Picker(int category) = 0;
    // The list options for the selection code in the region.
    virtual int Options(uint32_t code, uint8_t region) = 0;
    // IDOK with the chosen region (kNoRegion when none could be taken).
    virtual int RegionEntry(uint8_t region, uint8_t* chosen) = 0;
    virtual int CityEntry(uint8_t region, CitySelection* city) = 0;
    // The name search with the options' answer: 1 after a route or Fav, 539 after
    // Origin, 2 back.
    virtual int NameSearch(uint32_t selection, uint32_t city, uint8_t region) = 0;
    // The nearby list with the options' answer as its mode word.
    virtual int Nearby(uint32_t mode) = 0;

  protected:
    ~PoiScreens() = default;
};

// The selection code of a category and its picker's answer.
uint32_t PoiSelectionCode(int category, int picked);

// "Points of Interest" (504) or "City Center" (505) until a place is chosen (the last
// screen's answer), Home is pressed (that screen's answer, g_homeKeyPressed kept), or
// the driver goes back from the first screen (IDCANCEL).
int RunPoiChain(PoiScreens& screens, int button, uint8_t region);
