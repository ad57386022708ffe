// Addresses both ways on a folder of device map files: a typed address to the
// places on the map that carry it, and a point to the street nearest to it, with
// the program's own search, index readers and map database. Nothing is shown,
// routed or written.
#pragma once

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace geocode {

struct Query {
    bool reverse = false;
    std::string text;  // the address, or the point as given
    double latitude = 0;
    double longitude = 0;
};

struct Candidate {
    int32_t link = 0;
    int side = 0;  // 1 left, -1 right, 0 either
    double latitude = 0;
    double longitude = 0;
    std::string street;  // the link's street text with its range
    std::string place;   // the side's place text with the area code
};

struct Answer {
    Query query;
    std::string result;   // "found", "parse error", "street not found", ...
    std::string message;  // the text the program would show, when not found
    // Forward.
    std::string houseText, street, direction, typeText, area, city;
    std::vector<Candidate> candidates;
    // Reverse.
    int32_t link = 0;
    double distanceMetres = 0;
    std::string range;  // the street text with its range
    int32_t left = -1, right = -1;
    double latitude = 0, longitude = 0;
    bool Found() const { return result == "found"; }
};

struct Report {
    std::vector<Answer> answers;
    size_t found = 0;
    double msPerQuery = 0;
    double msPerQueryAfterFirst = 0;
    double openMs = 0;
};

// Splits "STREET LINE, CITY[, STATE]" into its two or three parts, trimmed; none
// when the count is wrong or a part is empty (the state may be left out).
std::optional<std::vector<std::string>> SplitAddress(const std::string& text);

// The folder holds no usable map; the text is one line.
class MapError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Opens the folder's maps and answers the queries in order. Throws MapError when
// the map database cannot open the folder's map files.
Report Run(const std::filesystem::path& folder, const std::vector<Query>& queries);

void PrintText(const Report& report, std::ostream& out);
void PrintJson(const Report& report, std::ostream& out);
// "queries N, found F, X ms per query, map opened in Y ms"
std::string FiguresLine(const Report& report);

}  // namespace geocode
