// The desktop map installer end to end: a desktop root made by scripts/make-desktop,
// mapferry.exe run headless from it under a script, the installed map read back.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "formats/namdict.h"
#include "formats/source_disc.h"
#include "mapferry/convert/map_cut.h"
#include "mapferry/convert/region_data.h"
#include "mapferry/convert/size_tables.h"
#include "mapferry/ui/region_page.h"
#include "platform/kernel/roots.h"
#include "tests/programs/program_run.h"
#include "tests/support/cradle_child.h"
#include "tests/support/shared_data.h"
#include "tests/support/temp_root.h"
#include "tests/support/tool_run.h"

namespace {

using namespace programs_test;

// The installer's pictures as goldens (tests/programs/golden; PATHLUME_UPDATE_GOLDEN=1
// rewrites them): at most 1 % of the pixels may differ by more than 32 in a channel,
// which leaves room for the free space a drive reports.
testing::AssertionResult ShotMatchesGolden(const fs::path& shot, const std::string& name) {
    const fs::path golden =
        testing_support::RepositoryFolder() / "tests" / "programs" / "golden" / (name + ".png");
    const char* update = std::getenv("PATHLUME_UPDATE_GOLDEN");
    if (update && std::strcmp(update, "1") == 0) {
        fs::copy_file(shot, golden, fs::copy_options::overwrite_existing);
        return testing::AssertionSuccess();
    }
    auto load = [](const fs::path& png) {
        cairo_surface_t* surface = cairo_image_surface_create_from_png(png.c_str());
        if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(surface);
            return static_cast<cairo_surface_t*>(nullptr);
        }
        return surface;
    };
    cairo_surface_t* actual = load(shot);
    cairo_surface_t* expected = load(golden);
    testing::AssertionResult result = testing::AssertionSuccess();
    if (!actual || !expected) {
        result = testing::AssertionFailure() << "cannot read " << shot << " or " << golden;
    } else if (cairo_image_surface_get_width(actual) != cairo_image_surface_get_width(expected) ||
               cairo_image_surface_get_height(actual) != cairo_image_surface_get_height(expected)) {
        result = testing::AssertionFailure() << shot << " and " << golden << " differ in size";
    } else {
        const int w = cairo_image_surface_get_width(actual);
        const int h = cairo_image_surface_get_height(actual);
        long differing = 0;
        for (int y = 0; y < h; ++y) {
            const unsigned char* a =
                cairo_image_surface_get_data(actual) + y * cairo_image_surface_get_stride(actual);
            const unsigned char* b = cairo_image_surface_get_data(expected) +
                                     y * cairo_image_surface_get_stride(expected);
            for (int x = 0; x < w * 4; x += 4) {
                bool far = false;
                for (int c = 0; c < 3; ++c)
                    far = far || std::abs(a[x + c] - b[x + c]) > 32;
                differing += far ? 1 : 0;
            }
        }
        if (differing * 100 > static_cast<long>(w) * h)
            result = testing::AssertionFailure()
                     << differing << " pixels of " << shot << " differ from " << golden;
    }
    if (actual)
        cairo_surface_destroy(actual);
    if (expected)
        cairo_surface_destroy(expected);
    return result;
}

// Taps on the sheet's menu bar and File's popup, in screen pixels.
const std::string kFileEntry = "139 132";
const std::string kAboutItem = "160 153";
const std::string kExitItem = "160 173";
// On the city page: the radius trackbar's thumb, and the start of the city's text.
const std::string kRadiusThumb = "290 340";

class MapferryProgramTest : public testing::Test {
  protected:
    void SetUp() override { MakeDesktop("--town 1,1500"); }

    void MakeDesktop(const std::string& source) {
        root_ = roots_.base() / "desktop";
        const fs::path script = testing_support::RepositoryFolder() / "scripts" / "make-desktop";
        testing_support::ToolRun made = testing_support::RunTool(
            Quoted(script), source + " --preset debug " + Quoted(root_), roots_.base());
        ASSERT_EQ(made.status, 0) << made.err;
        program_ = root_ / "C" / "Program Files" / "Zanter" / "Wayscribe mapferry" / "mapferry.exe";
        ASSERT_TRUE(fs::exists(program_));
    }

    // Runs the installer on the desktop root under the script; its exit status.
    // The screen as the program ended is left in LastScreen().
    int Run(const std::string& script, std::string* err) {
        const fs::path file = roots_.base() / "script.txt";
        std::ofstream(file) << script;
        fs::remove(LastScreen());
        Child child(
            program_, {},
            {"MAPFERRY_ROOT=" + root_.string(), "PATHLUME_BACKEND=headless",
             "PATHLUME_SCRIPT=" + file.string(), "PATHLUME_SCREENSHOT=" + LastScreen().string()},
            roots_.base() / "err.txt");
        const int status = child.Wait(std::chrono::seconds(60));
        *err = child.Errors();
        return status;
    }

    fs::path LastScreen() const { return roots_.base() / "last.png"; }
    fs::path Maps() const { return root_ / "C" / "Zanter Wayscribe" / "Maps"; }
    int MapFiles() const {
        int files = 0;
        for (const auto& entry : fs::directory_iterator(Maps()))
            files += entry.is_regular_file() ? 1 : 0;
        return files;
    }

    testing_support::TempRoots roots_;
    fs::path root_;
    fs::path program_;
};

TEST_F(MapferryProgramTest, InstallsAChosenRegionThenThePreparedOneOntoAPcDrive) {
    // The welcome once, California in the tree, drive C:, Generate Map, the
    // completion, Exit.
    const std::string script =
        "answer 1\n"
        "when INFORMATION press 1018\n"
        "when \"Click on the Region\" pick 1001 California\n"
        "when Total pick 1022 C:\n"
        "when \"PC Local Drive C:\" command 12321\n"
        "when \"Map Generation Completed.\" shot " +
        (roots_.base() / "generated.png").string() +
        "\n"
        "when \"Click on the Region\" command 32771\n";
    std::string err;
    ASSERT_EQ(Run(script, &err), 0) << err;
    EXPECT_FALSE(SanitizerReported(err)) << err;

    EXPECT_EQ(MapFiles(), 16);
    const std::string namdict = Slurp(Maps() / "namdict.bin");
    const auto decoded = formats::namdict::Decode(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(namdict.data()), namdict.size()));
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->entries, std::vector<uint32_t>{(4u << 16) | 3u});
    testing_support::ToolRun stat =
        testing_support::RunTool(Quoted(BinFolder() / "mapstat"), Quoted(Maps()), roots_.base());
    EXPECT_EQ(stat.status, 0) << stat.err;

    // A second run finds the installed map and asks before replacing it; Cancel keeps
    // it and takes the target back to the prompt.
    const std::string again =
        "answer 2\n"
        "when INFORMATION press 1018\n"
        "when \"Click on the Region\" pick 1001 California\n"
        "when Total pick 1022 C:\n"
        "when \"Please select target device\" command 32771\n";
    const std::string before = Slurp(Maps() / "names.bin");
    ASSERT_EQ(Run(again, &err), 0) << err;
    EXPECT_NE(err.find("Existing map data found"), std::string::npos) << err;
    EXPECT_TRUE(ShotMatchesGolden(LastScreen(), "mapferry_region_page"));
    EXPECT_EQ(Slurp(Maps() / "names.bin"), before);

    // Hawaii is copied as prepared, over the installed map once OK is given.
    const std::string hawaii =
        "answer 1\n"
        "answer 1\n"
        "when INFORMATION press 1018\n"
        "when \"Click on the Region\" pick 1001 Hawaii\n"
        "when Total pick 1022 C:\n"
        "when \"PC Local Drive C:\" command 12321\n"
        "when \"Overall Progress\" shot " +
        (roots_.base() / "copying.png").string() +
        "\n"
        "when \"Click on the Region\" command 32771\n";
    ASSERT_EQ(Run(hawaii, &err), 0) << err;
    EXPECT_NE(err.find("Map Installation Completed."), std::string::npos) << err;
    const fs::path prepared = root_ / "D" / "CD1" / "mapdata" / "hawaii";
    for (const char* name : {"names.bin", "poi.bin", "mapdata2.biz", "strabbr.bin"})
        EXPECT_EQ(Slurp(Maps() / name), Slurp(prepared / name)) << name;
    const std::string hawaiiDict = Slurp(Maps() / "namdict.bin");
    const auto hawaiiDecoded = formats::namdict::Decode(std::span<const uint8_t>(
        reinterpret_cast<const uint8_t*>(hawaiiDict.data()), hawaiiDict.size()));
    ASSERT_TRUE(hawaiiDecoded.has_value());
    EXPECT_EQ(hawaiiDecoded->entries, std::vector<uint32_t>{(11u << 16) | 1u});
    EXPECT_EQ(MapFiles(), 16);
}

TEST_F(MapferryProgramTest, InstallsOneSubAreaChosenOnThePicture) {
    // California on the picture opens its sub-area dialog: North only, OK.
    const std::string script =
        "answer 1\n"
        "when INFORMATION press 1018\n"
        // The picture's California, below the sheet's menu bar.
        "when \"Click on the Region\" tap 380 320\n"
        "when South pick 1026 North\n"
        "when North press 1\n"
        "when California/North pick 1022 C:\n"
        "when \"PC Local Drive C:\" command 12321\n"
        "when \"Map Generation Completed.\" shot " +
        (roots_.base() / "generated.png").string() +
        "\n"
        "when \"Click on the Region\" command 32771\n";
    std::string err;
    ASSERT_EQ(Run(script, &err), 0) << err;
    EXPECT_FALSE(SanitizerReported(err)) << err;
    EXPECT_EQ(MapFiles(), 16);
    const std::string namdict = Slurp(Maps() / "namdict.bin");
    const auto decoded = formats::namdict::Decode(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(namdict.data()), namdict.size()));
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->entries, std::vector<uint32_t>{(4u << 16) | 1u});
    EXPECT_EQ(decoded->names, std::vector<std::string>{"North"});
    testing_support::ToolRun stat =
        testing_support::RunTool(Quoted(BinFolder() / "mapstat"), Quoted(Maps()), roots_.base());
    EXPECT_EQ(stat.status, 0) << stat.err;
}

TEST_F(MapferryProgramTest, ClosingAtTheFirstFrameEndsTheProgramWelcomeAndAll) {
    // The close comes as the page first draws, before the welcome is up: the welcome
    // that follows goes with the sheet instead of holding the program open.
    std::string err;
    EXPECT_EQ(Run("when \"Click on the Region\" close\n", &err), 0) << err;
    EXPECT_FALSE(SanitizerReported(err)) << err;
}

TEST_F(MapferryProgramTest, FileOnTheMenuBarShowsAboutAndExits) {
    // The sheet is centred on the 1024x768 screen: File sits at the left of the menu
    // bar under the caption, its popup below it with About first and Exit second. The
    // page drawn again where About was arms the second tap.
    const std::string script =
        "when INFORMATION press 1018\n"
        "when \"Click on the Region\" tap " +
        kFileEntry +
        "\n"
        "when mapferry... tap " +
        kAboutItem +
        "\n"
        "when 1.0.5.5NA press 1\n"
        "when \"Click on the Region\" tap " +
        kFileEntry +
        "\n"
        "when Exit tap " +
        kExitItem + "\n";
    std::string err;
    ASSERT_EQ(Run(script, &err), 0) << err;
    EXPECT_FALSE(SanitizerReported(err)) << err;
}

TEST_F(MapferryProgramTest, EscapeLeavesTheSheetOpen) {
    // Escape on the page; a second later Generate Map still reaches the page, which
    // asks for a target.
    const std::string script =
        "answer 1\n"
        "when INFORMATION press 1018\n"
        "when \"Click on the Region\" key ESCAPE\n"
        "at 3000 command 12321\n"
        "at 4000 command 32771\n";
    std::string err;
    ASSERT_EQ(Run(script, &err), 0) << err;
    EXPECT_NE(err.find("Please select a target device"), std::string::npos) << err;
}

TEST_F(MapferryProgramTest, TheWelcomeShowsOnceWhileHelpOptionsIsZeroOrUnreadable) {
    // "HelpOptions" as the registry file holds it; any value but a zero read in four
    // bytes or fewer keeps the welcome away.
    struct Case {
        const char* value;
        bool welcome;
    };
    const Case cases[] = {
        {nullptr, true},               // no value
        {"dword:00000000", true},      //
        {"dword:00000001", false},     //
        {"dword:ffffffff", false},     //
        {"hex:05,00", false},          // two bytes, read as 5
        {"hex:01,02,03,04,05", true},  // longer than four bytes: the default 0
        {"\"no\"", true},              // text of six bytes
    };
    // With the welcome: it comes once, and not again when the region page is shown
    // again (a welcome in front would have no tree to pick in).
    const std::string withWelcome =
        "when INFORMATION press 1018\n"
        "when \"Click on the Region\" pick 12320 City/Radius\n"
        "when \"Create a custom map\" pick 12320 Regions\n"
        "when \"Click on the Region\" pick 1001 California\n"
        "when Total pick 1022 C:\n"
        "when \"PC Local Drive C:\" command 32771\n";
    const std::string without =
        "when \"Click on the Region\" pick 1001 California\n"
        "when Total pick 1022 C:\n"
        "when \"PC Local Drive C:\" command 32771\n";
    for (const Case& c : cases) {
        std::ofstream registry(root_ / ".pl-registry", std::ios::trunc);
        if (c.value) {
            registry << "[HKEY_CURRENT_USER\\Software\\Zanterhoff\\Wayscribe mapferry]\n"
                     << "\"HelpOptions\"=" << c.value << "\n";
        }
        registry.close();
        std::string err;
        EXPECT_EQ(Run(c.welcome ? withWelcome : without, &err), 0)
            << (c.value ? c.value : "no value") << "\n"
            << err;
    }
}

TEST_F(MapferryProgramTest, ChoicesUpTo512MegabytesStandAndOneOfMoreIsUndone) {
    // The size tables made so that California's northern half alone is 512 MB and the
    // two halves 513 MB: the estimates of this very program, measured here on the
    // desktop's tables, then the halves' "names.bin" shares raised in "sizeinfo.sz".
    const fs::path folder = program_.parent_path();
    platform::SetDesktopRoot(root_);
    platform::SetCurrentSide(platform::Side::Desktop);
    const char16_t* programFolder = u"C:\\Program Files\\Zanter\\Wayscribe mapferry";
    for (int layer = 0; layer < 3; ++layer)
        RegionData(layer).Load(layer, programFolder);
    ASSERT_EQ(SizeTables().Load(programFolder), CSizeTables::kLoaded);
    const DWORD north = (4u << 16) | 1u;
    const DWORD south = (4u << 16) | 2u;
    const uint64_t northBytes = EstimateChoiceBytes({north});
    const uint64_t bothBytes = EstimateChoiceBytes({(4u << 16) | 3u});
    FreeMapCut();
    platform::SetCurrentSide(platform::Side::Device);
    ASSERT_GT(northBytes, 0u);
    const uint64_t northRaise = (512ull << 20) - northBytes;
    ASSERT_LT(bothBytes + northRaise, 513ull << 20);
    const uint64_t southRaise = (513ull << 20) - bothBytes - northRaise;

    namespace sd = formats::source_disc;
    std::string table = Slurp(folder / "sizeinfo.sz");
    auto word = [&](size_t offset) -> uint32_t {
        uint32_t value = 0;
        std::memcpy(&value, table.data() + offset, 4);  // little-endian host
        return value;
    };
    int raised = 0;
    for (uint32_t i = 0; i < word(sd::kSizeInfoCountOffset); ++i) {
        const size_t record = sd::kSizeInfoRecordsOffset + i * sd::kSizeInfoRecordSize;
        const uint32_t key = word(record + sd::kSizeKey * 4);
        if (key != north && key != south)
            continue;
        const size_t names = record + sd::kSizeFirstFileWord * 4;
        const uint32_t value =
            word(names) + static_cast<uint32_t>(key == north ? northRaise : southRaise);
        std::memcpy(table.data() + names, &value, 4);
        ++raised;
    }
    ASSERT_EQ(raised, 2);
    std::ofstream(folder / "sizeinfo.sz", std::ios::binary | std::ios::trunc) << table;

    // North: 512 MB, no question. South on top: 513 MB, the limit message, and South
    // taken off again, which shows 512 MB once more.
    const std::string script =
        "answer 1\n"
        "when INFORMATION press 1018\n"
        "when \"Click on the Region\" pick 1001 California/North\n"
        "when \"512 MB\" pick 1001 California/South\n"
        "when \"512 MB\" command 32771\n";
    std::string err;
    ASSERT_EQ(Run(script, &err), 0) << err;
    const std::string limit = "Map data exceeds size limit.";
    const size_t first = err.find(limit);
    ASSERT_NE(first, std::string::npos) << err;
    EXPECT_EQ(err.find(limit, first + 1), std::string::npos) << "asked once: " << err;
}

TEST_F(MapferryProgramTest, TypingCompletesTheStateAndAnUnknownCityIsNamedInvalid) {
    // The keys reach the state combo from the radius thumb round the tabs; "c"
    // completes to California, whose city list loads, and Tab goes on to the city
    // field. A city typed that is in no list becomes "Invalid City Name" when the
    // focus leaves it.
    const std::string script =
        "when INFORMATION press 1018\n"
        "when \"Click on the Region\" pick 12320 City/Radius\n"
        "when \"Create a custom map\" tap " +
        kRadiusThumb +
        "\n"
        "when \"25 (40)\" key TAB\n"
        "when \"Please select target device\" key TAB\n"
        "when \"Please select a region\" key C\n"
        "when \"Please select a city\" key TAB\n"
        "when \"Please select a city\" key Z\n"
        "when z key Z\n"
        "when zz key Z\n"
        "when zzz tap " +
        kRadiusThumb +
        "\n"
        "when \"Invalid City Name\" command 32771\n";
    std::string err;
    ASSERT_EQ(Run(script, &err), 0) << err;
    EXPECT_FALSE(SanitizerReported(err)) << err;
}

TEST_F(MapferryProgramTest, ASecondStartHandsOverToTheRunningInstaller) {
    // The first shows its sheet and stays; the second finds it and ends at once.
    const fs::path shown = roots_.base() / "first.png";
    const fs::path script = roots_.base() / "first.txt";
    std::ofstream(script) << "when INFORMATION shot " << shown.string() << "\n";
    Child first(program_, {},
                {"MAPFERRY_ROOT=" + root_.string(), "PATHLUME_BACKEND=headless",
                 "PATHLUME_SCRIPT=" + script.string()},
                roots_.base() / "first-err.txt");
    const auto started = Clock::now();
    while (!fs::exists(shown) && Clock::now() - started < std::chrono::seconds(60))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(fs::exists(shown)) << first.Errors();

    // Without the hand-over the second would wait for its own sheet to be closed, and
    // the run would time out.
    std::string err;
    EXPECT_EQ(Run("", &err), 0) << err;
    EXPECT_EQ(first.Wait(std::chrono::milliseconds(0)), -1) << "the first one ended";
}

class MapferryAndorraTest : public MapferryProgramTest {
  protected:
    void SetUp() override {
        const fs::path andorra = testing_support::SharedOsmFolder() / "andorra.osm.pbf";
        if (!fs::exists(andorra))
            GTEST_SKIP() << "the Andorra extract is not there: " << andorra;
        MakeDesktop("--osm " + Quoted(andorra) + " --state CA");
    }
};

TEST_F(MapferryAndorraTest, InstallsTheMapAroundACityOntoAPcDrive) {
    // The City/Radius tab, California, Andorra la Vella, radius 2 (50 miles), drive C:.
    const std::string script =
        "answer 1\n"
        "when INFORMATION press 1018\n"
        "when \"Click on the Region\" pick 12320 City/Radius\n"
        "when \"Create a custom map\" pick 1014 California\n"
        "when \"Please select a city\" pick 1015 Andorra la Vella\n"
        "when MB pick 1016 2\n"
        "when \"50 (80)\" pick 1022 C:\n"
        "when \"PC Local Drive C:\" command 12321\n"
        "when \"Map Generation Completed.\" shot " +
        (roots_.base() / "generated.png").string() +
        "\n"
        "when MB command 32771\n";
    std::string err;
    ASSERT_EQ(Run(script, &err), 0) << err;
    EXPECT_FALSE(SanitizerReported(err)) << err;
    EXPECT_NE(err.find("Map Installation Completed."), std::string::npos) << err;
    EXPECT_EQ(MapFiles(), 16);
    const std::string namdict = Slurp(Maps() / "namdict.bin");
    const auto decoded = formats::namdict::Decode(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(namdict.data()), namdict.size()));
    ASSERT_TRUE(decoded.has_value());
    EXPECT_TRUE(ShotMatchesGolden(LastScreen(), "mapferry_city_page"));
    EXPECT_EQ(decoded->kind, formats::namdict::Dictionary::Kind::City);
    EXPECT_EQ(decoded->state, "California");
    EXPECT_EQ(decoded->city, "Andorra la Vella");
    EXPECT_EQ(decoded->radius, "50 (80)");
    testing_support::ToolRun stat = testing_support::RunTool(
        Quoted(BinFolder() / "mapstat"), Quoted(Maps()) + " --at 42.5063,1.5218", roots_.base());
    EXPECT_EQ(stat.status, 0) << stat.err;
    EXPECT_NE(stat.out.find("link"), std::string::npos) << stat.out;
}

// The cradled handheld: a make-device root with the town's map on its card, served by
// the cradle, and the installer on the Andorra desktop.
class MapferryCradleTest : public MapferryAndorraTest {
  protected:
    void SetUp() override {
        MapferryAndorraTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        device_ = roots_.base() / "device";
        const fs::path script = testing_support::RepositoryFolder() / "scripts" / "make-device";
        testing_support::ToolRun made = testing_support::RunTool(
            Quoted(script), "--town 1,300 --words none --preset debug " + Quoted(device_),
            roots_.base());
        ASSERT_EQ(made.status, 0) << made.err;
        cradle_.emplace(device_, std::vector<std::string>{}, roots_.base() / "cradle.dock");
        ASSERT_TRUE(cradle_->Ready()) << cradle_->Errors();
        cradle_->UseForDesktop();
    }
    void TearDown() override { unsetenv("MAPFERRY_CRADLE"); }

    fs::path CardMaps() const { return device_ / "Storage Card" / "Zanter Wayscribe" / "Maps"; }
    fs::path MemoryMaps() const {
        return device_ / "Program Files" / "Zanter" / "Wayscribe" / "Maps";
    }

    fs::path device_;
    std::optional<testing_support::CradleChild> cradle_;
};

TEST_F(MapferryCradleTest, InstallsACityOntoTheCardAndASubAreaIntoMainMemory) {
    // City mode onto the storage card, over the town's map once OK is given.
    const std::string city =
        "answer 1\n"
        "answer 1\n"
        "when INFORMATION press 1018\n"
        "when \"Click on the Region\" pick 12320 City/Radius\n"
        "when \"Create a custom map\" pick 1014 California\n"
        "when \"Please select a city\" pick 1015 Andorra la Vella\n"
        "when MB pick 1016 2\n"
        "when \"50 (80)\" pick 1022 PocketPC Storage Card\n"
        "when \"Please select a storage card device\" press 1\n"
        "when \"PocketPC Storage Card\" command 12321\n"
        "when MB command 32771\n";
    std::string err;
    ASSERT_EQ(Run(city, &err), 0) << err << cradle_->Errors();
    EXPECT_FALSE(SanitizerReported(err)) << err;
    EXPECT_NE(err.find("Existing map data found"), std::string::npos) << err;
    EXPECT_NE(err.find("Map Installation Completed."), std::string::npos) << err;
    int files = 0;
    for (const auto& entry : fs::directory_iterator(CardMaps()))
        files += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 16);
    const std::string namdict = Slurp(CardMaps() / "namdict.bin");
    const auto decoded = formats::namdict::Decode(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(namdict.data()), namdict.size()));
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->city, "Andorra la Vella");
    EXPECT_EQ(decoded->radius, "50 (80)");
    testing_support::ToolRun stat =
        testing_support::RunTool(Quoted(BinFolder() / "mapstat"),
                                 Quoted(CardMaps()) + " --at 42.5063,1.5218", roots_.base());
    EXPECT_EQ(stat.status, 0) << stat.err;

    // Region mode, the northern half of California only, into main memory.
    const std::string memory =
        "answer 1\n"
        "when INFORMATION press 1018\n"
        "when \"Click on the Region\" pick 1001 California/North\n"
        "when Total pick 1022 PocketPC Main Memory\n"
        "when \"Connecting to Pocket PC\" shot " +
        (roots_.base() / "connecting.png").string() +
        "\n"
        "when \"Click on the Region\" command 12321\n"
        "when \"Click on the Region\" command 32771\n";
    ASSERT_EQ(Run(memory, &err), 0) << err << cradle_->Errors();
    EXPECT_NE(err.find("Map Installation Completed."), std::string::npos) << err;
    testing_support::ToolRun memoryStat = testing_support::RunTool(
        Quoted(BinFolder() / "mapstat"), Quoted(MemoryMaps()), roots_.base());
    EXPECT_EQ(memoryStat.status, 0) << memoryStat.err;
    const std::string memoryDict = Slurp(MemoryMaps() / "namdict.bin");
    const auto memoryDecoded = formats::namdict::Decode(std::span<const uint8_t>(
        reinterpret_cast<const uint8_t*>(memoryDict.data()), memoryDict.size()));
    ASSERT_TRUE(memoryDecoded.has_value());
    EXPECT_EQ(memoryDecoded->entries, std::vector<uint32_t>{(4u << 16) | 1u});
}

TEST_F(MapferryCradleTest, ALinkDroppedInThePreparedCopyKeepsTheCardsMap) {
    // The cradle drops the link at the third file written: the error is offered,
    // Abort (3) ends the copy, and the card's map is the one it had.
    cradle_.reset();
    cradle_.emplace(device_, std::vector<std::string>{"--drop-after-writes", "3"},
                    roots_.base() / "cradle.dock");
    ASSERT_TRUE(cradle_->Ready()) << cradle_->Errors();
    cradle_->UseForDesktop();
    std::map<std::string, std::string> before;
    for (const auto& entry : fs::directory_iterator(CardMaps()))
        before[entry.path().filename().string()] = Slurp(entry.path());
    const std::string script =
        "answer 1\n"
        "answer 3\n"
        "when INFORMATION press 1018\n"
        "when \"Click on the Region\" pick 1001 Hawaii\n"
        "when Total pick 1022 PocketPC Storage Card\n"
        "when \"Please select a storage card device\" press 1\n"
        "when \"Click on the Region\" command 12321\n"
        "when \"Click on the Region\" command 32771\n";
    std::string err;
    ASSERT_EQ(Run(script, &err), 0) << err << cradle_->Errors();
    EXPECT_FALSE(SanitizerReported(err)) << err;
    EXPECT_NE(err.find("Error"), std::string::npos) << err;
    EXPECT_EQ(err.find("Map Installation Completed."), std::string::npos) << err;
    std::map<std::string, std::string> after;
    for (const auto& entry : fs::directory_iterator(CardMaps()))
        after[entry.path().filename().string()] = Slurp(entry.path());
    EXPECT_EQ(after, before);
}

}  // namespace
