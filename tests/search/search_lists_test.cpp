// The lists of the search screens on generated maps: cities, streets of a region and
// of a city, cross streets, the chosen street's range, regions and the address rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "pathlume/foundation/name_text.h"
#include "pathlume/mapdb/area_zone_file.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/street_name_list_file.h"
#include "pathlume/search/address_list.h"
#include "pathlume/search/city_list.h"
#include "pathlume/search/region_list.h"
#include "pathlume/search/street_list.h"
#include "tests/search/search_maps.h"

namespace search_test {
namespace {

std::vector<std::string> Names(const std::vector<CityEntry>& cities) {
    std::vector<std::string> names;
    for (const CityEntry& city : cities)
        names.push_back(city.displayName);
    return names;
}

std::vector<std::string> Texts(const StreetList& list) {
    std::vector<std::string> texts;
    for (const char* row : list.Rows())
        texts.push_back(row);
    return texts;
}

const char* Row(const StreetList& list, const std::string& text) {
    for (const char* row : list.Rows())
        if (text == row)
            return row;
    return nullptr;
}

class SearchListsTest : public SearchMapsTest {
  protected:
    void SetUp() override {
        SearchMapsTest::SetUp();
        alpha_ = RegionIndex("ALPHA");
        beta_ = RegionIndex("ALPHA BETA");
        ASSERT_GE(alpha_, 0);
        ASSERT_GE(beta_, 0);
    }
    CitySelection City(const std::string& name) {
        CitySelection city;
        for (const CityEntry& entry : BuildCityList(g_areaZones, alpha_)) {
            if (entry.displayName == name) {
                std::snprintf(city.displayName, sizeof city.displayName, "%s", name.c_str());
                city.recordNumber = entry.recordNumber;
                city.fileOffset = entry.fileOffset;
            }
        }
        EXPECT_NE(city.fileOffset, 0u) << name;
        return city;
    }
    int alpha_ = -1;
    int beta_ = -1;
};

TEST_F(SearchListsTest, CitiesOfARegionToldApartAndSorted) {
    EXPECT_EQ(Names(BuildCityList(g_areaZones, alpha_)),
              (std::vector<std::string>{"LA MASSANA", "RIBERA, NORTH COUNTY",
                                        "RIBERA, SOUTH COUNTY", "SANT JULIA DE LORIA"}));
    EXPECT_EQ(Names(BuildCityList(g_areaZones, beta_)), std::vector<std::string>{"ENCAMP"});
    EXPECT_TRUE(BuildCityList(g_areaZones, 200).empty());
}

TEST_F(SearchListsTest, StreetsOfARegionInTableOrderWithTheirRanges) {
    StreetList list;
    ASSERT_EQ(list.LoadRegion(static_cast<uint8_t>(alpha_)), StreetList::Outcome::kListed);
    EXPECT_EQ(list.MessageId(), 0u);
    EXPECT_EQ(Texts(list),
              (std::vector<std::string>{
                  "AVINGUDA MERITXELL", "CARRER BONAVENTURA", "CARRER DE LA UNIO",
                  "CARRER DEL BISBE", "CARRER DOCTOR VILANOVA", "CARRER FRANCESC ESCUDE",
                  "CARRER MAJOR", "CARRER NOU", "CARRER PRAT", "CARRER SANT ANTONI"}));
    StreetRecord major;
    ASSERT_EQ(list.GetSelectedName(Row(list, "CARRER MAJOR"), major), 0);
    EXPECT_EQ(major.nameOffset, NameOffset("CARRER MAJOR"));
    EXPECT_EQ(major.lowest, 1);
    EXPECT_EQ(major.highest, 20);
    EXPECT_TRUE(HasHouseNumberRange(major));
    StreetRecord column;
    ASSERT_EQ(list.GetSelectedName(Row(list, "CARRER DEL BISBE"), column), 0);
    EXPECT_FALSE(HasHouseNumberRange(column));

    // A street of another region's list is not in this one's table.
    StreetList beta;
    beta.LoadRegion(static_cast<uint8_t>(beta_));
    StreetRecord other;
    EXPECT_EQ(list.GetSelectedName(Row(beta, "CARRER SANTA ANNA"), other), 1);
    EXPECT_EQ(other.nameOffset, kNoNameReference);
}

TEST_F(SearchListsTest, ARegionWithoutStreetsShowsTheMessageRowWhichNamesNoStreet) {
    for (int region : {RegionIndex("GAMMA"), 250}) {
        SCOPED_TRACE(region);
        StreetList list;
        ASSERT_EQ(list.LoadRegion(static_cast<uint8_t>(region)), StreetList::Outcome::kListed);
        EXPECT_EQ(list.MessageId(), StreetList::kNoStreetsFound);
        EXPECT_EQ(Texts(list), std::vector<std::string>{"-- No Streets Found --"});
        EXPECT_TRUE(list.IsMessageRow(list.Rows()[0]));
        StreetRecord street;
        EXPECT_EQ(list.GetSelectedName(list.Rows()[0], street), 1);
        EXPECT_EQ(GetSelectedStreet(list.Rows()[0], nullptr, 0, true, street), 1);
    }
}

TEST_F(SearchListsTest, StreetsOfACityAndTheChosenStreetsRangeInThatCity) {
    const CitySelection ribera = City("RIBERA, SOUTH COUNTY");
    StreetList list;
    list.LoadCity(static_cast<uint8_t>(alpha_), ribera);
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"AVINGUDA MERITXELL", "CARRER BONAVENTURA",
                                                     "CARRER DOCTOR VILANOVA",
                                                     "CARRER FRANCESC ESCUDE", "CARRER MAJOR"}));
    // Francesc Escude's links from columns 1 and 2 lie in Ribera (south).
    const char* escude = Row(list, "CARRER FRANCESC ESCUDE");
    StreetRecord street;
    ASSERT_EQ(GetSelectedStreet(escude, &ribera, static_cast<uint8_t>(alpha_), false, street), 0);
    EXPECT_EQ(street.nameOffset, NameOffset("CARRER FRANCESC ESCUDE"));
    EXPECT_EQ(street.lowest, 21);
    EXPECT_EQ(street.highest, 60);
    // Without a search (an intersection's street) the range is the unsearched one.
    ASSERT_EQ(GetSelectedStreet(escude, &ribera, static_cast<uint8_t>(alpha_), true, street), 0);
    EXPECT_EQ(street.lowest, kUnsearchedLowest);
    EXPECT_EQ(street.highest, kUnsearchedHighest);
    EXPECT_FALSE(HasHouseNumberRange(street));
    // The same name in Sant Julia: the link from column 0.
    const CitySelection santJulia = City("SANT JULIA DE LORIA");
    ASSERT_EQ(GetSelectedStreet(escude, &santJulia, static_cast<uint8_t>(alpha_), false, street),
              0);
    EXPECT_EQ(street.lowest, 1);
    EXPECT_EQ(street.highest, 20);
    EXPECT_EQ(GetSelectedStreet(nullptr, &ribera, static_cast<uint8_t>(alpha_), false, street), 1);
    EXPECT_EQ(street.lowest, kNoRangeLowest);
}

TEST_F(SearchListsTest, CrossStreetsOnceSortedAndNeverTheFirstStreet) {
    const uint32_t major = NameOffset("CARRER MAJOR");
    StreetList any;
    any.LoadCrossStreets(g_mapDatabase, static_cast<uint8_t>(alpha_), major, -1);
    EXPECT_EQ(Texts(any),
              (std::vector<std::string>{"CARRER BONAVENTURA", "CARRER DEL BISBE",
                                        "CARRER DOCTOR VILANOVA", "CARRER SANT ANTONI"}));
    StreetRecord second;
    ASSERT_EQ(GetSelectedStreet(Row(any, "CARRER DEL BISBE"), nullptr, 0, true, second), 0);
    EXPECT_EQ(second.nameOffset, NameOffset("CARRER DEL BISBE"));
    EXPECT_EQ(second.lowest, kUnsearchedLowest);

    const CitySelection santJulia = City("SANT JULIA DE LORIA");
    StreetList inCity;
    inCity.LoadCrossStreets(g_mapDatabase, static_cast<uint8_t>(alpha_), major,
                            static_cast<int32_t>(santJulia.fileOffset));
    EXPECT_EQ(Texts(inCity), (std::vector<std::string>{"CARRER DEL BISBE", "CARRER SANT ANTONI"}));

    StreetList none;
    none.LoadCrossStreets(g_mapDatabase, static_cast<uint8_t>(beta_), major,
                          static_cast<int32_t>(santJulia.fileOffset));
    EXPECT_EQ(none.MessageId(), StreetList::kNoIntersectionFound);
    EXPECT_EQ(Texts(none), std::vector<std::string>{"-- No Intersection Found --"});
    EXPECT_EQ(CountStreetRecords(static_cast<uint8_t>(alpha_), major), 3u);
    EXPECT_EQ(CountStreetRecords(static_cast<uint8_t>(beta_), major), 2u);
}

TEST_F(SearchListsTest, RegionsWithStreetsEachRowKeepingItsOwnRegion) {
    StreetNameListFile streets;
    ASSERT_NE(streets.Open(), nullptr);
    const std::vector<RegionRow> rows = BuildRegionList(g_areaZones, &streets, alpha_);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].label, "ALPHA (AL)");
    EXPECT_EQ(rows[0].region, alpha_);
    EXPECT_EQ(rows[1].label, "ALPHA BETA (AB)");
    EXPECT_EQ(rows[1].region, beta_);
    // The label of ALPHA BETA begins with ALPHA: a lookup by label finds ALPHA.
    EXPECT_EQ(g_areaZones.FindArea(rows[1].label.c_str()), alpha_);
    EXPECT_TRUE(BuildRegionList(g_areaZones, nullptr, alpha_).empty());
}

TEST_F(SearchListsTest, AddressRowsOncePerPlaceSortedByPlace) {
    AddressListQuery query;
    query.first.nameOffset = NameOffset("CARRER MAJOR");
    query.region = static_cast<uint8_t>(alpha_);
    query.houseNumber = 12;
    std::vector<std::string> texts;
    for (const AddressRow& row : BuildAddressRows(g_mapDatabase, query))
        texts.push_back(row.text);
    // 12 lies on the links from columns 1 and 2 in Ribera: one row.
    EXPECT_EQ(texts,
              (std::vector<std::string>{"12 CARRER MAJOR\nRIBERA, SOUTH COUNTY",
                                        "12 CARRER MAJOR\nSANT JULIA DE LORIA, SOUTH COUNTY"}));
    query.houseNumber = -1;
    texts.clear();
    for (const AddressRow& row : BuildAddressRows(g_mapDatabase, query))
        texts.push_back(row.text);
    EXPECT_EQ(texts, (std::vector<std::string>{"CARRER MAJOR\nRIBERA, SOUTH COUNTY",
                                               "CARRER MAJOR\nSANT JULIA DE LORIA, SOUTH COUNTY"}));
    query.houseNumber = 12;
    query.city = static_cast<int32_t>(City("SANT JULIA DE LORIA").fileOffset);
    ASSERT_EQ(BuildAddressRows(g_mapDatabase, query).size(), 1u);
    query.houseNumber = 99;
    EXPECT_TRUE(BuildAddressRows(g_mapDatabase, query).empty());

    AddressListQuery crossing;
    crossing.first.nameOffset = query.first.nameOffset;
    crossing.second = StreetRecord{NameOffset("CARRER DOCTOR VILANOVA"), 0, 0};
    crossing.region = static_cast<uint8_t>(alpha_);
    const std::vector<AddressRow> rows = BuildAddressRows(g_mapDatabase, crossing);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].text, "CARRER MAJOR\nCARRER DOCTOR VILANOVA, RIBERA, SOUTH COUNTY, AL");
    LocatedAddress located;
    ASSERT_TRUE(LocateAddress(g_mapDatabase, rows[0], crossing, 3, located));
    EXPECT_NEAR(located.point.latitude, GridPoint(2, kMajorRow).latitude, 1e-5);
    EXPECT_NEAR(located.point.longitude, GridPoint(2, kMajorRow).longitude, 1e-5);
    EXPECT_EQ(StoredAddressText(rows[0], crossing)[0], '\x01');
}

}  // namespace
}  // namespace search_test
