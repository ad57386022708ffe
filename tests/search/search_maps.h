// A small made-up network for the destination search's tests, generated once per test
// program into device maps: two regions ("Alpha" with the cities Sant Julià de
// Lòria, two Riberas in different counties and La Massana with a place of its own
// name inside it; "Alpha Beta" with Encamp) and a third ("Gamma") without roads. Rows
// of the grid are named streets with house numbers, columns streets without.
#pragma once

#include <filesystem>
#include <string>

#include "pathlume/mapdb/map_records.h"
#include "tests/support/temp_root.h"
#include "tools/discmaker/network.h"

namespace search_test {

inline constexpr int kColumns = 6;
inline constexpr int kRows = 6;
// The row streets, south to north, and the column streets, west to east.
extern const char* const kRowStreets[kRows];
extern const char* const kColumnStreets[kColumns];
// "CARRER MAJOR" (row 1) carries 1-19 odd left and 2-20 even right on every link;
// another row's link from column c carries 20c+1 .. 20c+19 and 20c+2 .. 20c+20.
inline constexpr int kMajorRow = 1;

const discmaker::Network& SearchTown();
const std::filesystem::path& SearchMapsFolder();
// Where the grid's crossing (column, row) lies.
MapPoint GridPoint(int column, int row);

// Maps opened as the program opens them: the index files and the map database.
class SearchMapsTest : public testing_support::RootsTest {
  protected:
    static void SetUpTestSuite() { SearchMapsFolder(); }
    void SetUp() override;
    void TearDown() override;
    // The az.bin index of a region's name ("ALPHA"), or -1.
    static int RegionIndex(const std::string& name);
    // The names.bin offset of a street name, or 0.
    static uint32_t NameOffset(const std::string& name);
};

}  // namespace search_test
