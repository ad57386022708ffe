// Single addresses of OpenStreetMap: the rules on a small extract written here, and
// the shared extracts through the discs and the generation, read back from the
// device files.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "formats/areas.h"
#include "formats/link_info.h"
#include "formats/names.h"
#include "tests/support/shared_data.h"
#include "tests/support/temp_root.h"
#include "tests/tools/recorded_addresses.h"
#include "tools/discmaker/disc_builder.h"
#include "tools/discmaker/osm.h"
#include "tools/mapstat/mapstat.h"
#include "tools/mkmaps/mkmaps.h"

namespace {

using namespace discmaker;
namespace fs = std::filesystem;
namespace li = formats::link_info;
namespace az = formats::areas;
namespace nm = formats::names;

// Two east-west streets 111 m apart at latitude 50, each drawn west to east:
// addresses north of one (its left side) and south (its right side), a building,
// one too far away, one nearer the other street, one without digits, and cities
// named by the addresses; a third street 1.1 km south with one address.
const char kAddresses[] = R"(<?xml version='1.0' encoding='UTF-8'?>
<osm version="0.6">
  <node id="1" lat="50.0000" lon="10.0000"/>
  <node id="2" lat="50.0000" lon="10.0040"/>
  <node id="3" lat="50.0010" lon="10.0000"/>
  <node id="4" lat="50.0010" lon="10.0040"/>
  <node id="6" lat="49.9900" lon="10.0000"/>
  <node id="7" lat="49.9900" lon="10.0040"/>
  <node id="5" lat="50.1000" lon="10.0020"><tag k="place" v="town"/><tag k="name" v="Bayreuth"/></node>
  <node id="11" lat="50.0002" lon="10.0005"><tag k="addr:housenumber" v="1"/><tag k="addr:street" v="Hauptstraße"/><tag k="addr:city" v="Bindlach"/></node>
  <node id="12" lat="50.0002" lon="10.0015"><tag k="addr:housenumber" v="3"/><tag k="addr:street" v="Hauptstraße"/><tag k="addr:city" v="Bindlach"/></node>
  <node id="13" lat="50.0002" lon="10.0025"><tag k="addr:housenumber" v="5b"/><tag k="addr:street" v="Hauptstraße"/><tag k="addr:city" v="Bayreuth"/></node>
  <node id="14" lat="49.9998" lon="10.0005"><tag k="addr:housenumber" v="10"/><tag k="addr:street" v="Hauptstraße"/><tag k="addr:city" v="Zeta"/></node>
  <node id="15" lat="49.9998" lon="10.0020"><tag k="addr:housenumber" v="6"/><tag k="addr:street" v="Hauptstraße"/><tag k="addr:city" v="Alpha"/></node>
  <node id="16" lat="49.9998" lon="10.0035"><tag k="addr:housenumber" v="2"/><tag k="addr:street" v="Hauptstraße"/></node>
  <node id="17" lat="50.0030" lon="10.0020"><tag k="addr:housenumber" v="99"/><tag k="addr:street" v="Hauptstraße"/></node>
  <node id="18" lat="50.0002" lon="10.0030"><tag k="addr:housenumber" v="a"/><tag k="addr:street" v="Hauptstraße"/></node>
  <node id="19" lat="50.0008" lon="10.0035"><tag k="addr:housenumber" v="7"/><tag k="addr:street" v="Hauptstraße"/></node>
  <node id="20" lat="50.0013" lon="10.0030"><tag k="addr:housenumber" v="7"/><tag k="addr:street" v="Dr.-Hans-Str."/><tag k="addr:city" v="Bayreuth"/></node>
  <node id="21" lat="50.0007" lon="10.0020"><tag k="addr:housenumber" v="9"/><tag k="addr:place" v="Dr.-Hans-Str."/></node>
  <node id="22" lat="49.9902" lon="10.0020"><tag k="addr:housenumber" v="4"/><tag k="addr:street" v="Ringweg"/><tag k="addr:city" v="Alpha"/></node>
  <node id="31" lat="50.0012" lon="10.0009"/>
  <node id="32" lat="50.0012" lon="10.0011"/>
  <node id="33" lat="50.0013" lon="10.0011"/>
  <node id="34" lat="50.0013" lon="10.0009"/>
  <way id="100"><nd ref="1"/><nd ref="2"/><tag k="highway" v="residential"/><tag k="name" v="Hauptstraße"/></way>
  <way id="101"><nd ref="3"/><nd ref="4"/><tag k="highway" v="residential"/><tag k="name" v="Dr.-Hans-Str."/></way>
  <way id="102"><nd ref="1"/><nd ref="3"/><tag k="highway" v="residential"/></way>
  <way id="103"><nd ref="6"/><nd ref="7"/><tag k="highway" v="residential"/><tag k="name" v="Ringweg"/></way>
  <way id="104"><nd ref="6"/><nd ref="1"/><tag k="highway" v="residential"/></way>
  <way id="110"><nd ref="31"/><nd ref="32"/><nd ref="33"/><nd ref="34"/><nd ref="31"/><tag k="building" v="yes"/><tag k="addr:housenumber" v="4"/><tag k="addr:street" v="Dr.-Hans-Str."/><tag k="addr:city" v="Bayreuth"/></way>
</osm>
)";

class AddressTest : public testing_support::RootsTest {
  protected:
    Network Read() {
        const fs::path path = roots_.base() / "addresses.osm";
        std::ofstream(path, std::ios::binary) << kAddresses;
        return ReadOsm(path, "ON");
    }
    static const Link& Named(const Network& net, const std::string& name) {
        for (const Link& link : net.links) {
            if (link.name->FullText() == name)
                return link;
        }
        throw std::runtime_error("no link " + name);
    }
};

TEST_F(AddressTest, SidesTakeTheirRangesDirectionsParitiesAndCities) {
    const Network net = Read();
    const Link& main = Named(net, "Hauptstraße");
    // North: 1, 3, 5 and 7 (nearer the other street, but not of its name) every
    // 71 m from 36 m, growing eastwards, so the 286 m link runs from 1 to 9; 99 lies
    // 333 m away. South: 10, 6, 2 falling eastwards from 36 m every 107 m.
    EXPECT_EQ(main.left, (HouseRange{1, 9, Parity::Odd}));
    EXPECT_EQ(main.right, (HouseRange{12, 2, Parity::Even}));
    // Periods are dropped from street names; the building counts at its centre and
    // the address by place name finds the street too. A lone 9 just past the
    // middle falls towards the to-node, ending at 1 there, and so starts at 17.
    const Link& hans = Named(net, "Dr-Hans-Str");
    EXPECT_EQ(hans.left, (HouseRange{2, 9, Parity::Mixed}));
    EXPECT_EQ(hans.right, (HouseRange{17, 1, Parity::Odd}));
    EXPECT_EQ(net.addressesRead, 12u) << "the number without digits is no address";
    EXPECT_EQ(net.addressesPlaced, 11u);

    // Most of the north side name Bindlach, a new city at their mean; the south side
    // is a tie, won by the first name in byte order; the side without a city keeps
    // the area of today's rule; Bayreuth is the town node's area.
    const Area& bindlach = net.areas.at(main.leftArea);
    EXPECT_EQ(bindlach.name, "Bindlach");
    EXPECT_EQ(bindlach.kind, AreaKind::City);
    EXPECT_NEAR(bindlach.center.lat, 50.0002, 1e-9);
    EXPECT_NEAR(bindlach.center.lon, 10.0010, 1e-9);
    EXPECT_EQ(net.areas.at(bindlach.parent).kind, AreaKind::County);
    EXPECT_EQ(net.areas.at(main.rightArea).name, "Alpha");
    EXPECT_EQ(net.areas.at(hans.leftArea).name, "Bayreuth");
    EXPECT_EQ(hans.rightArea, Named(net, "").leftArea);
    // A side without addresses, in no city's boundary, is in the other side's city.
    const Link& ring = Named(net, "Ringweg");
    EXPECT_EQ(net.areas.at(ring.leftArea).name, "Alpha");
    EXPECT_EQ(ring.rightArea, ring.leftArea);
    int bayreuths = 0, zetas = 0;
    for (const Area& area : net.areas) {
        bayreuths += area.name == "Bayreuth";
        zetas += area.name == "Zeta";
    }
    EXPECT_EQ(bayreuths, 1);
    EXPECT_EQ(zetas, 0) << "a city that wins no side is not made";
}

TEST_F(AddressTest, FiguresLineCountsAddresses) {
    Network net = Read();
    BuildFigures figures = BuildDiscs(net, roots_.base() / "disc");
    EXPECT_NE(FiguresLine(figures).find(", addresses 11 placed of 12, km of road:"),
              std::string::npos)
        << FiguresLine(figures);
}

// ---- The shared extracts --------------------------------------------------------

using Bytes = std::vector<uint8_t>;

Bytes ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The records of the installed "linkinfo.bin", with the texts of their names and
// places from "names.bin" and "az.bin".
struct DeviceRecords {
    struct Side {
        int32_t low = 0, high = 0;
        li::Parity parity = li::kParityNone;
        std::string place;
    };
    struct Entry {
        std::vector<std::string> names;
        std::array<Side, 2> sides;  // left, right
    };
    std::vector<Entry> records;

    explicit DeviceRecords(const fs::path& maps) {
        const Bytes info = ReadBytes(maps / "linkinfo.bin");
        const Bytes names = ReadBytes(maps / "names.bin");
        const Bytes areas = ReadBytes(maps / "az.bin");
        auto nameAt = [&](uint32_t offset) {
            if (offset + 1 > names.size() || offset + 1 + names[offset] > names.size())
                return std::string();
            return std::string(names.begin() + offset + 1,
                               names.begin() + offset + 1 + names[offset]);
        };
        auto placeAt = [&](int32_t offset) {
            az::PlaceRecord place;
            if (offset < 0 || static_cast<size_t>(offset) >= areas.size() ||
                !az::DecodePlaceRecord(areas.data() + offset, areas.size() - offset, place)) {
                return std::string();
            }
            return std::string(place.text);
        };
        const uint32_t entries = li::LoadU32(info.data() + li::kEntryCountOffset);
        for (uint32_t e = 0; e < entries; ++e) {
            const li::Entry entry = li::DecodeEntry(info.data() + li::EntryOffset(e));
            size_t at = entry.blockOffset + li::kPairTableSize;
            for (uint32_t r = 0; r < entry.recordCount; ++r) {
                li::Record record;
                const size_t size = li::DecodeRecord(info.data() + at, info.size() - at, record);
                if (size == 0) {
                    ADD_FAILURE() << "record " << r << " of entry " << e << " runs past the file";
                    return;
                }
                at += size;
                Entry out;
                for (const li::NameItem& item : record.items)
                    out.names.push_back(nameAt(item.name));
                const uint16_t word = record.addressWord;
                if (li::LeftKind(word) != 0) {
                    out.sides[0] = {std::min(record.left.from, record.left.to),
                                    std::max(record.left.from, record.left.to),
                                    li::LeftParity(word), placeAt(record.leftPlace)};
                }
                if (li::RightKind(word) != 0) {
                    out.sides[1] = {std::min(record.right.from, record.right.to),
                                    std::max(record.right.from, record.right.to),
                                    li::RightParity(word), placeAt(record.rightPlace)};
                }
                records.push_back(std::move(out));
            }
        }
    }

    // The sides of the street's records, for a failure's message.
    std::string Sides(const std::string& street) const {
        std::ostringstream text;
        for (const Entry& record : records) {
            if (std::find(record.names.begin(), record.names.end(), street) == record.names.end())
                continue;
            text << "\n ";
            for (const Side& side : record.sides)
                text << " [" << side.low << "-" << side.high << " parity " << side.parity << " "
                     << side.place << "]";
        }
        return text.str();
    }

    // Whether a record of the street holds the number on a side of the city.
    bool Holds(const std::string& street, int32_t number, const std::string& city) const {
        for (const Entry& record : records) {
            if (std::find(record.names.begin(), record.names.end(), street) == record.names.end())
                continue;
            for (const Side& side : record.sides) {
                const bool parity = side.parity == li::kParityBoth ||
                                    (side.parity == li::kParityEven && number % 2 == 0) ||
                                    (side.parity == li::kParityOdd && number % 2 == 1);
                if (parity && number >= side.low && number <= side.high && side.place == city)
                    return true;
            }
        }
        return false;
    }
};

struct ExtractCase {
    const char* file;
    // mapstat's km per class value 1 to 5 before single addresses came in (the
    // classes as highway kinds map onto them now: the totals are the same roads).
    std::array<double, 5> km;
};

class ExtractAddressTest : public testing_support::RootsTest,
                           public testing::WithParamInterface<ExtractCase> {};

TEST_P(ExtractAddressTest, AddressesArePlacedAndReadBackFromTheDevice) {
    const ExtractCase& c = GetParam();
    const fs::path extract = testing_support::SharedOsmFolder() / c.file;
    if (!fs::exists(extract))
        GTEST_SKIP() << "no " << extract << ": the shared OpenStreetMap data is not here";
    Network net = ReadOsm(extract);
    ASSERT_GT(net.addressesRead, 250u);
    EXPECT_GE(net.addressesPlaced * 5, net.addressesRead * 4)
        << net.addressesPlaced << " placed of " << net.addressesRead;

    const fs::path disc = roots_.base() / "disc", maps = roots_.base() / "maps";
    BuildDiscs(net, disc);
    std::ostringstream out, err;
    ASSERT_TRUE(mkmaps::Generate({disc, maps, {}}, out, err).completed) << err.str();

    const DeviceRecords records(maps);
    const std::vector<testing_support::RecordedAddress> recorded =
        testing_support::RecordedAddresses()[c.file];
    ASSERT_EQ(recorded.size(), 10u);
    for (const testing_support::RecordedAddress& r : recorded) {
        const std::string street =
            nm::ToNameText(ParseStreetName(r.street).FullText(), nm::kMaxWrittenNameLength);
        const std::string city = nm::ToNameText(r.city, nm::kMaxWrittenNameLength);
        EXPECT_TRUE(records.Holds(street, static_cast<int32_t>(r.LeadingNumber()), city))
            << r.element << ": " << r.street << " " << r.number << ", " << r.city
            << ", records of the street:" << records.Sides(street);
    }

    mapstat::Options options;
    options.folder = maps;
    const mapstat::Report report = mapstat::Examine(options);
    for (int value = 1; value <= 5; ++value)
        EXPECT_NEAR(report.network[value].km, c.km[value - 1], 0.0005) << "class " << value;
}

INSTANTIATE_TEST_SUITE_P(
    Extracts, ExtractAddressTest,
    testing::Values(ExtractCase{"north-bayreuth.osm.gz", {21.878, 5.449, 10.477, 42.882, 136.850}},
                    ExtractCase{"krems.osm.gz", {0, 33.401, 8.365, 9.538, 63.748}}),
    [](const testing::TestParamInfo<ExtractCase>& info) {
        return std::string(info.param.file).substr(0, 5) == "north" ? "NorthBayreuth" : "Krems";
    });

}  // namespace
