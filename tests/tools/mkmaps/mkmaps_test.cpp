#include "tools/mkmaps/mkmaps.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "formats/map_container.h"
#include "formats/map_set.h"
#include "mapferry/convert/installer_services.h"
#include "mapferry/convert/map_cut.h"
#include "mapferry/convert/map_generator.h"
#include "platform/kernel/kernel.h"
#include "tests/support/killed_swap_folder.h"
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

// A swap into the target killed at one of its renames is finished, or undone, by
// the next run, even one that fails: the target then holds the old map or the new
// one whole (formats/map_set_test kills at every rename).
TEST_F(MkmapsTest, TheNextRunSettlesASwapKilledHalfWay) {
    discmaker::Network town = discmaker::BuildTown(1, 300);
    discmaker::BuildDiscs(town, Disc());
    std::ostringstream out, err;
    const fs::path fresh = roots_.base() / "fresh";
    ASSERT_TRUE(mkmaps::Generate({Disc(), Maps(), {4}}, out, err).completed) << err.str();
    ASSERT_TRUE(mkmaps::Generate({Disc(), fresh, {}}, out, err).completed) << err.str();
    auto snapshot = [](const fs::path& folder) {
        std::map<std::string, std::vector<uint8_t>> files;
        for (const auto& entry : fs::directory_iterator(folder))
            files[entry.path().filename().string()] = ReadBytes(entry.path());
        return files;
    };
    const auto before = snapshot(Maps()), after = snapshot(fresh);
    ASSERT_NE(before, after);

    // The disc of another version makes every run below fail.
    fs::path mapid = Disc() / "CD1" / "mapid.ini";
    std::vector<uint8_t> id = ReadBytes(mapid);
    const std::string text(id.begin(), id.end());
    std::ofstream(mapid, std::ios::binary | std::ios::trunc)
        << text.substr(0, text.rfind(' ')) << " 99";
    const fs::path installed = roots_.base() / "installed";
    fs::copy(Maps(), installed);
    // Operations of the swap: 0 the commit, 1-3 the first file set aside and
    // moved in, 46-48 "names.bin" last, then the deletes of the old files.
    for (int kill : {0, 1, 2, 3, 25, 46, 47, 48, 49, 60}) {
        SCOPED_TRACE("killed at operation " + std::to_string(kill));
        fs::remove_all(Maps());
        fs::copy(installed, Maps());
        for (const char16_t* name : kDeviceFileNames) {
            fs::copy_file(fresh / platform::WideToUtf8(name),
                          Maps() / platform::WideToUtf8(StagingName(name)));
        }
        formats::map_set::HostSwapFolder real(Maps());
        testing_support::KilledSwapFolder killed(real, kill);
        ASSERT_FALSE(formats::map_set::InstallStagedMap(killed, kDeviceFileNames));
        EXPECT_FALSE(mkmaps::Generate({Disc(), Maps(), {}}, out, err).completed);
        EXPECT_TRUE(snapshot(Maps()) == (kill == 0 ? before : after));
    }
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

// ---- Damaged discs and killed runs ----------------------------------------------

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// Flips one bit in the compressed stream of each of the container's cells (the
// first cells may lie outside the regions generated).
void FlipBitInBlocks(const fs::path& container) {
    std::vector<uint8_t> bytes = ReadBytes(container);
    ASSERT_GE(bytes.size(), mc::kHeaderSize);
    const mc::GridHeader grid = mc::DecodeHeader(bytes.data());
    int flipped = 0;
    for (uint32_t i = 0; i < mc::CellCount(grid); ++i) {
        const uint32_t offset = mc::LoadU32(bytes.data() + mc::CellEntryOffset(i));
        if (offset == 0)
            continue;
        // The first byte of the zlib stream: its header no longer checks.
        ASSERT_LT(offset + 8u, bytes.size());
        bytes[offset + 8] ^= 0x01;
        ++flipped;
    }
    ASSERT_GT(flipped, 0) << "no cell in " << container;
    WriteBytes(container, bytes);
}

// Moves the last column of the region data's first span item to 0x10000, far
// outside the grid but inside what the file format allows.
void SpanOutOfGrid(const fs::path& regionData) {
    std::vector<uint8_t> bytes = ReadBytes(regionData);
    ASSERT_GE(bytes.size(), 4u);
    const size_t firstItem = 4 + 64 * size_t{mc::LoadU32(bytes.data())};
    ASSERT_GE(bytes.size(), firstItem + 12);
    mc::StoreU32(bytes.data() + firstItem + 8, 0x10000);
    WriteBytes(regionData, bytes);
}

void CutInHalf(const fs::path& file) {
    std::vector<uint8_t> bytes = ReadBytes(file);
    bytes.resize(bytes.size() / 2);
    WriteBytes(file, bytes);
}

// The lowest bit of the cell height's mantissa.
void FlipCellHeight(const fs::path& container) {
    std::vector<uint8_t> bytes = ReadBytes(container);
    bytes.at(mc::kCellHeightOffset) ^= 0x01;
    WriteBytes(container, bytes);
}

struct ToolRun {
    int status = -1;
    std::string output;
};

class MkmapsDamageTest : public MkmapsTest {
  protected:
    void SetUp() override {
        MkmapsTest::SetUp();
        fs::create_directories(Temporary());
    }
    // The runs' own temporary folder, where their private roots lie.
    fs::path Temporary() { return roots_.base() / "tmp"; }
    std::string Tool(const fs::path& to) {
        return std::string(MKMAPS_EXE) + " --disc " + Disc().string() + " --to " + to.string();
    }
    std::string Command(const fs::path& to) {
        return "TMPDIR=" + Temporary().string() + " " + Tool(to);
    }
    ToolRun Run(const fs::path& to) {
        ToolRun run;
        FILE* pipe = popen((Command(to) + " 2>&1").c_str(), "r");
        if (!pipe)
            return run;
        char buffer[512];
        while (fgets(buffer, sizeof buffer, pipe))
            run.output += buffer;
        const int raw = pclose(pipe);
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        return run;
    }
    std::vector<std::string> Leftovers() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(Temporary()))
            names.push_back(entry.path().filename().string());
        return names;
    }
};

std::string LastLine(const std::string& text) {
    const size_t end = text.find_last_not_of('\n');
    if (end == std::string::npos)
        return {};
    const size_t start = text.rfind('\n', end);
    return text.substr(start == std::string::npos ? 0 : start + 1, end - (start + 1) + 1);
}

// Each damage of a disc ends the run with 1 and a line naming the damaged file;
// the target gets nothing and the run's temporary folders are gone, whether the
// run ended by itself or through a fatal report.
TEST_F(MkmapsDamageTest, DamagedDiscsFailNamingTheFile) {
    struct Case {
        const char* name;
        void (*damage)(const fs::path& disc);
        const char* named;  // a file the output names
    };
    const Case cases[] = {
        {"empty sttypes.raw",
         [](const fs::path& disc) { WriteBytes(disc / "CD1" / "mapdata" / "sttypes.raw", {}); },
         "sttypes.raw: the file is empty"},
        {"empty strabbr.bin",
         [](const fs::path& disc) {
             for (const char* cd : {"CD2", "CD3"})
                 WriteBytes(disc / cd / "mapdata" / "strabbr.bin", {});
         },
         "strabbr.bin: the file is empty"},
        {"sttypes.raw cut short",
         [](const fs::path& disc) { CutInHalf(disc / "CD1" / "mapdata" / "sttypes.raw"); },
         "sttypes.raw: holds fewer street types than its count"},
        {"strabbr.bin cut short",
         [](const fs::path& disc) {
             for (const char* cd : {"CD2", "CD3"})
                 CutInHalf(disc / cd / "mapdata" / "strabbr.bin");
         },
         "strabbr.bin: does not end with"},
        {"a span of rgndata2.in out of the grid",
         [](const fs::path& disc) { SpanOutOfGrid(disc / "rgndata2.in"); }, "rgndata2.in"},
        {"a span of rgndata1.in out of the grid",
         [](const fs::path& disc) { SpanOutOfGrid(disc / "rgndata1.in"); }, "rgndata1.in"},
        {"a flipped bit in a block of mapdata1.raz",
         [](const fs::path& disc) { FlipBitInBlocks(disc / "CD1" / "mapdata" / "mapdata1.raz"); },
         "mapdata1"},
        {"a flipped bit in a block of mapdata21.raz",
         [](const fs::path& disc) { FlipBitInBlocks(disc / "CD1" / "mapdata" / "mapdata21.raz"); },
         "mapdata2"},
        {"another grid in mapdata22.raz",
         [](const fs::path& disc) { FlipCellHeight(disc / "CD2" / "mapdata" / "mapdata22.raz"); },
         "mapdata22.raz: its grid is not"},
        // Made without a fault the converters see, refused by the map database.
        {"cells of the detailed grid that are not powers of two",
         [](const fs::path& disc) {
             for (int n = 1; n <= 3; ++n) {
                 const std::string cd = "CD" + std::to_string(n);
                 FlipCellHeight(disc / cd / "mapdata" / ("mapdata2" + std::to_string(n) + ".raz"));
             }
         },
         "mapdata2.biz: its cells are not powers of two"},
        {"a magic of az.raw",
         [](const fs::path& disc) {
             std::vector<uint8_t> bytes = ReadBytes(disc / "CD1" / "mapdata" / "az.raw");
             bytes.at(0) ^= 0x20;
             WriteBytes(disc / "CD1" / "mapdata" / "az.raw", bytes);
         },
         "az.raw: does not begin with"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(Disc());
        discmaker::Network town = discmaker::BuildTown(1, 300);
        discmaker::BuildDiscs(town, Disc());
        c.damage(Disc());
        const fs::path to = roots_.base() / "target";
        fs::remove_all(to);
        const ToolRun run = Run(to);
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_NE(run.output.find(c.named), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("generated"), std::string::npos) << run.output;
        // The sanitizer build reports undefined behaviour without failing the run.
        EXPECT_EQ(run.output.find("runtime error"), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("Sanitizer"), std::string::npos) << run.output;
        EXPECT_EQ(LastLine(run.output).rfind("mkmaps: failed: ", 0), 0u) << run.output;
        EXPECT_TRUE(!fs::exists(to) || fs::is_empty(to)) << "a partial target";
        EXPECT_EQ(Leftovers(), std::vector<std::string>{}) << "a temporary folder is left";
    }
}

// A run killed with SIGKILL leaves its private root; the next run removes it and
// gives the same files as a run that was never interrupted.
TEST_F(MkmapsDamageTest, ARunAfterAKilledOneIsCompleteAndIdentical) {
    discmaker::Network town = discmaker::BuildTown(1, 300);
    discmaker::BuildDiscs(town, Disc());
    const fs::path clean = roots_.base() / "clean";
    ASSERT_EQ(Run(clean).status, 0);
    ASSERT_EQ(Leftovers(), std::vector<std::string>{});

    // Killed once the first file has been made.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const std::string command = "exec " + Tool(Maps()) + " >/dev/null 2>&1";
        setenv("TMPDIR", Temporary().c_str(), 1);
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    bool started = false;
    for (int i = 0; i < 4000 && !started; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::error_code error;
        for (fs::recursive_directory_iterator it(Temporary(), error), end; !error && it != end;
             it.increment(error)) {
            if (it->path().filename() == "names.bin.new")
                started = true;
        }
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(started) << "the run never made its first file";
    ASSERT_TRUE(WIFSIGNALED(status)) << "the run ended before it was killed";
    const std::vector<std::string> left = Leftovers();
    ASSERT_EQ(left.size(), 1u) << "the killed run's root";
    // The run in it dies with the tool, a moment later.
    const pid_t run = static_cast<pid_t>(std::stol(left[0].substr(std::string("mkmaps-").size())));
    for (int i = 0; i < 1000 && kill(run, 0) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));

    const ToolRun rerun = Run(Maps());
    EXPECT_EQ(rerun.status, 0) << rerun.output;
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
    for (const char16_t* name : kDeviceFileNames) {
        const std::string file = platform::WideToUtf8(name);
        EXPECT_EQ(ReadBytes(Maps() / file), ReadBytes(clean / file)) << file;
    }
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(Maps()))
        ++files;
    EXPECT_EQ(files, 16u);
}

}  // namespace
