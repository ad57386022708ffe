// The destination search's hot paths: "Street First" over a region of 100,000 street
// names (a fixture) and one keystroke's narrowing of that list; the city, address and
// intersection lists on real extracts; and Set Destination and a keyboard screen from
// DoModal to their first frame at VGA.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench/mapdb_bench_maps.h"
#include "formats/little_endian.h"
#include "formats/name_index.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/foundation/screen_draw.h"
#include "pathlume/foundation/text_list_wnd.h"
#include "pathlume/mapdb/area_zone_file.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/map_index_files.h"
#include "pathlume/mapdb/name_codes.h"
#include "pathlume/search/address_list.h"
#include "pathlume/search/city_list.h"
#include "pathlume/search/set_destination_dlg.h"
#include "pathlume/search/street_entry_dlg.h"
#include "pathlume/search/street_list.h"
#include "platform/user/user.h"

namespace {

namespace fs = std::filesystem;
namespace ni = formats::name_index;

constexpr size_t kFixtureStreets = 100000;

// ---- "Street First" on the fixture ---------------------------------------------------

// 100,000 different street names as a region's list holds them: a name, a second
// word, a type and a number, in name order.
std::vector<std::string> FixtureNames() {
    const char* const first[] = {"ACORN", "BAY",  "BIRCH", "CEDAR", "CHERRY", "ELM",   "FOREST",
                                 "GLEN",  "HILL", "LAKE",  "MAIN",  "MAPLE",  "MILL",  "OAK",
                                 "PARK",  "PINE", "RIDGE", "RIVER", "SPRING", "VALLEY"};
    const char* const second[] = {"CREEK", "GROVE", "HOLLOW", "POINT", "CREST",
                                  "BROOK", "FIELD", "FORD",   "GATE",  "HAVEN"};
    const char* const type[] = {"AVE", "BLVD", "CT", "DR", "LN", "PL", "RD", "ST", "WAY", "TER"};
    std::vector<std::string> names;
    for (const char* f : first)
        for (const char* s : second)
            for (const char* t : type)
                for (int n = 1; names.size() < kFixtureStreets && n <= 50; ++n)
                    names.push_back(std::string(f) + " " + s + " " + t + " " + std::to_string(n));
    return names;
}

// Writes "names.bin" and "stnl.bin" of one region holding the names into the folder.
void WriteStreetFixture(const fs::path& folder) {
    const std::vector<std::string> names = FixtureNames();
    std::string namesBin = "NAME";
    std::vector<ni::StreetItem> items;
    uint32_t nameBytes = 0;
    for (const std::string& name : names) {
        items.push_back({static_cast<uint32_t>(namesBin.size()), 1, 999});
        namesBin += static_cast<char>(name.size());
        namesBin += name;
        nameBytes += static_cast<uint32_t>(name.size() + 1);
    }
    std::ofstream(folder / "names.bin", std::ios::binary) << namesBin;
    std::string stnl(ni::kStreetListEntriesOffset + ni::kStreetEntrySize, '\0');
    std::copy(ni::kStreetListMagic, ni::kStreetListMagic + 4, stnl.begin());
    formats::StoreU32(reinterpret_cast<uint8_t*>(stnl.data() + 4), 1);
    ni::EncodeStreetEntry(
        {static_cast<uint32_t>(stnl.size()), static_cast<uint32_t>(items.size()), nameBytes},
        reinterpret_cast<uint8_t*>(stnl.data() + ni::kStreetListEntriesOffset));
    for (const ni::StreetItem& item : items) {
        uint8_t bytes[ni::kStreetItemSize];
        ni::EncodeStreetItem(item, bytes);
        stnl.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
    }
    std::ofstream(folder / "stnl.bin", std::ios::binary) << stnl;
}

void FillList(CTextListWnd& list, const StreetList& streets) {
    list.ownsItems = 0;
    for (const char* row : streets.Rows())
        list.AddItem(row, 0);
}

void BM_StreetFirstLoad(benchmark::State& state) {
    size_t rows = 0;
    for (auto _ : state) {
        StreetList streets;
        benchmark::DoNotOptimize(streets.LoadRegion(0));
        CTextListWnd list;
        FillList(list, streets);
        rows = static_cast<size_t>(list.GetCount());
    }
    state.counters["rows"] = static_cast<double>(rows);
}

// The list narrowed to "MA", then one more letter typed.
void BM_StreetFirstKeystroke(benchmark::State& state) {
    StreetList streets;
    streets.LoadRegion(0);
    CTextListWnd list;
    FillList(list, streets);
    for (auto _ : state) {
        state.PauseTiming();
        list.FindTyped("MA", FALSE);
        state.ResumeTiming();
        const int row = list.FindTyped("MAP", FALSE);
        list.EnsureVisibleUp(row, FALSE);
        benchmark::DoNotOptimize(row);
    }
}

int RunFixture(int& argc, char** argv) {
    std::string pattern = (fs::temp_directory_path() / "search_bench-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        return 1;
    const fs::path folder = pattern;
    WriteStreetFixture(folder);
    mapdb_bench::SetDataFolder(folder);
    g_namesFile.OpenInFolder(g_dataFolder, u"names.bin", kDataFileRead, nullptr);
    std::printf(
        "Data: a fixture region of %zu street names (\"names.bin\" and \"stnl.bin\" written by the "
        "bench). BM_StreetFirstLoad: the region's list read in 64 KB windows and put into a list "
        "window. BM_StreetFirstKeystroke: the list narrowed from \"MA\" to \"MAP\".\n",
        kFixtureStreets);
    benchmark::RegisterBenchmark("BM_StreetFirstLoad", BM_StreetFirstLoad)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_StreetFirstKeystroke", BM_StreetFirstKeystroke)
        ->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    g_namesFile.Close();
    g_dataFolder[0] = 0;
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return 0;
}

// ---- Lists and screens on an extract -------------------------------------------------

struct ExtractLists {
    int region = 0;
    StreetRecord street;       // the street with the most links
    StreetRecord crossStreet;  // one that meets it
};

// Of the first streets of the region with the most, the one with the most rows.
ExtractLists PickStreets(CMapDatabase& db) {
    constexpr size_t kStreetsTried = 300;
    ExtractLists picked;
    size_t most = 0;
    for (size_t region = 0; region < g_areaZones.AreaCount(); ++region) {
        StreetList streets;
        streets.LoadRegion(static_cast<uint8_t>(region));
        if (streets.Rows().size() > most) {
            most = streets.Rows().size();
            picked.region = static_cast<int>(region);
        }
    }
    size_t best = 0;
    {
        const size_t region = static_cast<size_t>(picked.region);
        StreetList streets;
        streets.LoadRegion(static_cast<uint8_t>(region));
        size_t tried = 0;
        for (const char* row : streets.Rows()) {
            if (++tried > kStreetsTried)
                break;
            if (streets.IsMessageRow(row))
                continue;
            AddressListQuery query;
            query.first.nameOffset = GetRowNameOffset(row);
            query.region = static_cast<uint8_t>(region);
            const size_t rows = BuildAddressRows(db, query).size();
            if (rows > best) {
                best = rows;
                streets.GetSelectedName(row, picked.street);
            }
        }
    }
    StreetList crossing;
    crossing.LoadCrossStreets(db, static_cast<uint8_t>(picked.region), picked.street.nameOffset,
                              -1);
    if (!crossing.Rows().empty())
        picked.crossStreet.nameOffset = GetRowNameOffset(crossing.Rows()[0]);
    return picked;
}

ExtractLists g_picked;
CMapDatabase* g_db = nullptr;

void BM_CityList(benchmark::State& state) {
    size_t rows = 0;
    for (auto _ : state)
        rows = BuildCityList(g_areaZones, g_picked.region).size();
    state.counters["rows"] = static_cast<double>(rows);
}

void BM_AddressList(benchmark::State& state) {
    AddressListQuery query;
    query.first = g_picked.street;
    query.region = static_cast<uint8_t>(g_picked.region);
    size_t rows = 0;
    for (auto _ : state)
        rows = BuildAddressRows(*g_db, query).size();
    state.counters["rows"] = static_cast<double>(rows);
}

void BM_IntersectionList(benchmark::State& state) {
    AddressListQuery query;
    query.first = g_picked.street;
    query.second = g_picked.crossStreet;
    query.region = static_cast<uint8_t>(g_picked.region);
    size_t rows = 0;
    for (auto _ : state)
        rows = BuildAddressRows(*g_db, query).size();
    state.counters["rows"] = static_cast<double>(rows);
}

// DoModal to the end of the first frame: the screen ends itself once it has painted.
template <class Screen>
class TimedScreen : public Screen {
  public:
    using Screen::Screen;
    BOOL OnInitDialog() override {
        const BOOL result = Screen::OnInitDialog();
        platform::CallWhenIdle(this->m_hWnd, [this] { this->EndDialog(IDCANCEL); });
        return result;
    }
};

void BM_SetDestinationFirstFrame(benchmark::State& state) {
    for (auto _ : state) {
        TimedScreen<CSetDestinationDlg> screen(nullptr);
        screen.DoModal();
    }
}

void BM_StreetKeyboardFirstFrame(benchmark::State& state) {
    for (auto _ : state) {
        TimedScreen<CStreetEntryDlg> screen(nullptr, nullptr, nullptr, CStreetEntryDlg::kStreet,
                                            static_cast<uint8_t>(g_picked.region));
        screen.DoModal();
    }
}

void UseVgaScreen() {
    platform::SetScreenMode(480, 640, 192);
    g_screenScaleX.store(2.0f);
    g_screenScaleY.store(2.0f);
    g_screenWidth.store(480);
    g_screenHeight.store(640);
    for (auto [font, height, weight] :
         {std::tuple{&g_fontBold21, 21, FW_BOLD}, std::tuple{&g_fontBold18, 18, FW_BOLD},
          std::tuple{&g_fontBold14, 14, FW_BOLD}, std::tuple{&g_fontRegular14, 14, FW_NORMAL},
          std::tuple{&g_fontBold12, 12, FW_BOLD}, std::tuple{&g_fontRegular12, 12, FW_NORMAL}})
        CreateScaledFont(font, height, weight, nullptr);
}

int RunExtract(const char* extract, int& argc, char** argv) {
    return mapdb_bench::RunOnExtractMaps(
        "search_bench", extract, argc, argv, [&](CMapDatabase& db) {
            g_db = &db;
            g_picked = PickStreets(db);
            char street[kNameBufferSize] = "";
            char cross[kNameBufferSize] = "";
            ReadNamesBinString(g_picked.street.nameOffset, street);
            ReadNamesBinString(g_picked.crossStreet.nameOffset, cross);
            char region[128] = "";
            g_areaZones.FormatAreaName(static_cast<size_t>(g_picked.region), region, sizeof region);
            std::printf(
                "Data: the device files of %s. BM_CityList: the cities of %s. BM_AddressList: "
                "every "
                "address of %s (the street with the most rows) in the region. BM_IntersectionList: "
                "where %s crosses it. BM_SetDestinationFirstFrame, BM_StreetKeyboardFirstFrame: "
                "DoModal to the end of the first frame at VGA (480x640, 192 dpi), the keyboard "
                "with "
                "the region's streets.\n",
                extract, region, street, cross);
            const std::string prefix =
                std::string(extract).substr(0, std::string(extract).find('.'));
            benchmark::RegisterBenchmark((prefix + "/BM_CityList").c_str(), BM_CityList)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark((prefix + "/BM_AddressList").c_str(), BM_AddressList)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark((prefix + "/BM_IntersectionList").c_str(),
                                         BM_IntersectionList)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark((prefix + "/BM_SetDestinationFirstFrame").c_str(),
                                         BM_SetDestinationFirstFrame)
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark((prefix + "/BM_StreetKeyboardFirstFrame").c_str(),
                                         BM_StreetKeyboardFirstFrame)
                ->Unit(benchmark::kMillisecond);
            return true;
        });
}

}  // namespace

// --data=fixture (the default), --data=andorra or --data=north-bayreuth chooses what is
// measured; each run measures one.
int main(int argc, char** argv) {
    std::string data = "fixture";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--data=", 0) == 0) {
            data = arg.substr(7);
            for (int j = i; j + 1 < argc; ++j)
                argv[j] = argv[j + 1];
            --argc;
            --i;
        }
    }
    UseVgaScreen();
    if (data == "fixture") {
        benchmark::Initialize(&argc, argv);
        if (benchmark::ReportUnrecognizedArguments(argc, argv))
            return 1;
        return RunFixture(argc, argv);
    }
    if (data == "andorra")
        return RunExtract("andorra.osm.pbf", argc, argv);
    if (data == "north-bayreuth")
        return RunExtract("north-bayreuth.osm.gz", argc, argv);
    std::fprintf(stderr, "search_bench: --data is fixture, andorra or north-bayreuth\n");
    return 2;
}
