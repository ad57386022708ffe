#include "tools/mkmaps/mkmaps.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "formats/map_container.h"
#include "mapferry/convert/installer_services.h"
#include "mapferry/convert/map_cut.h"
#include "mapferry/convert/map_generator.h"
#include "platform/kernel/kernel.h"
#include "tests/support/shared_data.h"
#include "tests/support/temp_root.h"
#include "tools/discmaker/disc_builder.h"
#include "tools/discmaker/osm.h"
#include "tools/discmaker/town.h"

namespace {

namespace fs = std::filesystem;
namespace mc = formats::map_container;

std::vector<uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

TEST(RegionListTest, ParsesRegionNumbers) {
    EXPECT_EQ(mkmaps::ParseRegionList("4"), std::vector<int>{4});
    EXPECT_EQ(mkmaps::ParseRegionList("4,28,63"), (std::vector<int>{4, 28, 63}));
    for (const char* bad : {"", ",", "4,", "x", "4x", "-1", "64", "4,,28"}) {
        EXPECT_THROW(mkmaps::ParseRegionList(bad), std::invalid_argument) << bad;
    }
}

class MkmapsTest : public testing_support::RootsTest {
  protected:
    void TearDown() override { platform::SetCurrentSide(platform::Side::Device); }

    fs::path Disc() { return roots_.base() / "disc"; }
    fs::path Maps() { return roots_.base() / "maps"; }
};

TEST_F(MkmapsTest, TownDiscBecomesTheSixteenFiles) {
    discmaker::Network town = discmaker::BuildTown(1, 300);
    discmaker::BuildDiscs(town, Disc());
    std::ostringstream out, err;
    mkmaps::Figures figures = mkmaps::Generate({Disc(), Maps(), {}}, out, err);
    EXPECT_TRUE(figures.completed) << err.str();
    EXPECT_EQ(figures.files, 16);

    // Printed in generation order, each with its size.
    std::string printed = out.str();
    size_t at = 0;
    for (const char16_t* name : kDeviceFileNames) {
        std::string narrow = platform::WideToUtf8(name);
        size_t found = printed.find("  " + narrow + "  ", at);
        ASSERT_NE(found, std::string::npos) << narrow;
        at = found;
        uint64_t size = fs::file_size(Maps() / narrow);
        EXPECT_NE(printed.find(narrow + "  " + std::to_string(size) + " bytes"), std::string::npos);
    }
    EXPECT_EQ(err.str(), "Wayscribe mapferry: Map Installation Completed.\n");

    // Each container keeps "mh.ini"'s grid and holds the cut's window.
    std::u16string program = platform::Utf8ToWide(Disc().string());
    DiscInformation info = LoadDiscInformation(program.c_str());
    std::vector<DWORD> words = {(4u << 16) | 3u, (28u << 16) | 1u};
    CMapCut* cut = BuildSelection(words.data(), 2, 0);
    ASSERT_NE(cut, nullptr);
    struct Container {
        const char* file;
        int part;
    };
    for (Container c : {Container{"mapdata1.biz", 0}, Container{"mapdatat.biz", 0},
                        Container{"mapdata2.biz", 1}}) {
        SCOPED_TRACE(c.file);
        std::vector<uint8_t> bytes = ReadBytes(Maps() / c.file);
        ASSERT_GE(bytes.size(), mc::kHeaderSize);
        mc::GridHeader head = mc::DecodeHeader(bytes.data());
        mc::GridHeader source = mc::DecodeHeader(info.mapHeaders[c.part].data());
        EXPECT_EQ(std::string(head.magic, 4), std::string(source.magic, 4));
        EXPECT_EQ(head.originLongitude, source.originLongitude);
        EXPECT_EQ(head.originLatitude, source.originLatitude);
        EXPECT_EQ(head.cellWidth, source.cellWidth);
        EXPECT_EQ(head.cellHeight, source.cellHeight);
        const CutWindow& window = cut->m_window[c.part];
        EXPECT_EQ(head.firstColumn, source.firstColumn + window.firstColumn);
        EXPECT_EQ(head.firstRow, source.firstRow + window.firstRow);
        EXPECT_EQ(head.columns, window.columnCount);
        EXPECT_EQ(head.rows, window.rowCount);
    }
    FreeMapCut();
}

TEST_F(MkmapsTest, AndorraDiscGeneratesWithoutError) {
    fs::path extract = testing_support::SharedOsmFolder() / "andorra.osm.pbf";
    if (!fs::exists(extract))
        GTEST_SKIP() << "no " << extract << ": the shared data folder is absent";
    discmaker::Network andorra = discmaker::ReadOsm(extract, "ON");
    discmaker::BuildDiscs(andorra, Disc());
    std::ostringstream out, err;
    mkmaps::Figures figures = mkmaps::Generate({Disc(), Maps(), {}}, out, err);
    EXPECT_TRUE(figures.completed) << err.str();
    EXPECT_EQ(figures.files, 16);
    EXPECT_EQ(err.str(), "Wayscribe mapferry: Map Installation Completed.\n");
    std::printf("andorra: %s\n", mkmaps::FiguresLine(figures).c_str());
}

// A run over an installed map replaces it only when it completes: a disc of another
// version leaves the folder byte for byte as it was.
TEST_F(MkmapsTest, AFailedRunKeepsTheInstalledMap) {
    discmaker::Network town = discmaker::BuildTown(1, 300);
    discmaker::BuildDiscs(town, Disc());
    std::ostringstream out, err;
    ASSERT_TRUE(mkmaps::Generate({Disc(), Maps(), {4}}, out, err).completed) << err.str();
    auto snapshot = [&] {
        std::map<std::string, std::vector<uint8_t>> files;
        for (const auto& entry : fs::directory_iterator(Maps()))
            files[entry.path().filename().string()] = ReadBytes(entry.path());
        return files;
    };
    const auto installed = snapshot();
    ASSERT_EQ(installed.size(), 16u);

    fs::path mapid = Disc() / "CD1" / "mapid.ini";
    std::vector<uint8_t> id = ReadBytes(mapid);
    std::string text(id.begin(), id.end());
    std::ofstream(mapid, std::ios::binary | std::ios::trunc)
        << text.substr(0, text.rfind(' ')) << " 99";
    err.str("");
    EXPECT_FALSE(mkmaps::Generate({Disc(), Maps(), {}}, out, err).completed);
    EXPECT_NE(err.str().find("Wrong version of Map Data CD found: 99"), std::string::npos)
        << err.str();
    EXPECT_EQ(snapshot(), installed);

    // The right disc again: the new map replaces the old whole.
    std::ofstream(mapid, std::ios::binary | std::ios::trunc) << text;
    err.str("");
    EXPECT_TRUE(mkmaps::Generate({Disc(), Maps(), {}}, out, err).completed) << err.str();
    const auto replaced = snapshot();
    EXPECT_EQ(replaced.size(), 16u);
    EXPECT_NE(replaced, installed);
}

// A disc whose map headers differ from those the program was made for is reported,
// once, and the run goes on.
TEST_F(MkmapsTest, MismatchedMapHeadersAreReportedAndTheRunGoesOn) {
    discmaker::Network town = discmaker::BuildTown(1, 300);
    discmaker::BuildDiscs(town, Disc());
    fs::path headers = Disc() / "mh.ini";
    std::vector<uint8_t> bytes = ReadBytes(headers);
    ASSERT_EQ(bytes.size(), 2 * mc::kHeaderSize);
    bytes[mc::kHeaderSize + 12] ^= 1;  // the detailed grid's first column
    std::ofstream(headers, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    std::ostringstream out, err;
    EXPECT_TRUE(mkmaps::Generate({Disc(), Maps(), {}}, out, err).completed) << err.str();
    EXPECT_EQ(err.str(),
              "ERROR: ERROR: Mismatched map data\n"
              "Wayscribe mapferry: Map Installation Completed.\n");
}

TEST_F(MkmapsTest, ARegionNotOnTheDiscIsRefused) {
    discmaker::Network town = discmaker::BuildTown(1, 300);
    discmaker::BuildDiscs(town, Disc());
    std::ostringstream out, err;
    EXPECT_THROW(mkmaps::Generate({Disc(), Maps(), {7}}, out, err), std::runtime_error);
    EXPECT_THROW(mkmaps::Generate({roots_.base() / "nothing", Maps(), {}}, out, err),
                 std::runtime_error);
}

TEST_F(MkmapsTest, CommandLine) {
    discmaker::Network town = discmaker::BuildTown(2, 300);
    discmaker::BuildDiscs(town, Disc());
    std::string command = std::string(MKMAPS_EXE) + " --disc " + Disc().string() +
                          " --regions 28 --to " + Maps().string() + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string output;
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    int status = pclose(pipe);
    EXPECT_EQ(WEXITSTATUS(status), 0) << output;
    EXPECT_NE(output.find("generated: 16 files"), std::string::npos) << output;
    EXPECT_TRUE(fs::exists(Maps() / "poi.bin"));

    // Usage errors end with 2 before anything is generated; the help with 0.
    const std::string disc = " --disc " + Disc().string();
    const std::string refused = (roots_.base() / "refused").string();
    const std::pair<std::string, int> runs[] = {
        {disc, 2},                                         // no target
        {" --to " + Maps().string(), 2},                   // no disc
        {disc + " --to", 2},                               // an option without its value
        {disc + " --to " + refused + " --regions 64", 2},  // no such region
        {disc + " --to " + refused + " --bogus", 2},       // an unknown option
        {disc + " --to " + refused + " extra", 2},         // an argument of no option
        {" --help", 0},
    };
    for (const auto& [arguments, status] : runs) {
        std::string run = std::string(MKMAPS_EXE) + arguments + " >/dev/null 2>&1";
        EXPECT_EQ(WEXITSTATUS(std::system(run.c_str())), status) << arguments;
    }
    EXPECT_FALSE(fs::exists(refused)) << "a refused run made its target folder";
}

}  // namespace
