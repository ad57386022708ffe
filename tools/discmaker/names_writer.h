// The name files of data disc 1 ("names.raw", "nameidx.bin", "stnl.raw",
// "lsr.raw", "lsrs.raw", "sttypes.raw") and the street-type abbreviations
// ("strabbr.bin") of discs 2 and 3, and the numbering they give every street name,
// street type and exit sign, which the link information writer stores in its
// records. docs/formats/names.md says how the network's names become these files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "formats/names.h"
#include "tools/discmaker/disc_layout.h"
#include "tools/discmaker/network.h"

namespace discmaker {

// Route classes of a numbered road's name, as the map view picks its shield.
enum class RouteClass : uint8_t {
    None = 0,        // a street name
    Interstate = 1,  // "I-5"
    UsRoute = 2,     // "US-101"
    Other = 3,       // "CA-1", "CG-2", any other numbered road
};

// Readers use at most this many names of a link.
inline constexpr int kMaxLinkNames = 7;

// One name of a link, in the order its link information record lists them: the
// street name first, then the road's route numbers; at most 7.
struct LinkName {
    uint32_t nameNumber = 0;  // in "names.raw"
    uint16_t typeCode = 0;    // street type in "sttypes.raw", 0 none
    bool typeBeforeName = false;
    RouteClass routeClass = RouteClass::None;
    bool houseNumbers = false;  // the name carries the link's house-number ranges
    bool primary = false;       // the name guidance and the map show for the link
    uint8_t directions = 0;     // prefix direction << 4 | suffix direction (formats/names.h)
};

// Per link of the network its names. Links of one street name, highway number and
// numbering share one list, so a network of millions of links holds a few thousand.
class LinkNameTable {
  public:
    const std::vector<LinkName>& operator[](size_t link) const {
        return m_lists[m_listOfLink[link]];
    }
    size_t size() const { return m_listOfLink.size(); }
    bool empty() const { return m_listOfLink.empty(); }
    const std::vector<LinkName>& back() const { return (*this)[size() - 1]; }

    // Every link starts with the empty list.
    void Resize(size_t links) {
        m_lists.assign(1, {});
        m_listOfLink.assign(links, 0);
    }
    uint32_t AddList(std::vector<LinkName> names) {
        m_lists.push_back(std::move(names));
        return static_cast<uint32_t>(m_lists.size() - 1);
    }
    void Assign(size_t link, uint32_t list) { m_listOfLink[link] = list; }

  private:
    std::vector<std::vector<LinkName>> m_lists{1};
    std::vector<uint32_t> m_listOfLink;
};

struct NameTables {
    // The names of "names.raw" by name number, as written (upper case, single-byte).
    std::vector<std::string> names;
    // The street types of "sttypes.raw": entry k is the name of code k + 1.
    std::vector<std::string> streetTypes;
    // Per link of the network: its names, and its record in "lsr.raw" (kNone: none).
    LinkNameTable linkNames;
    std::vector<uint32_t> linkNamePair;
    uint32_t namePairCount = 0;  // records of "lsr.raw"
    uint64_t bytesWritten = 0;   // all files written

    // The number of a name as written, kNone when it is not in "names.raw".
    uint32_t NameNumber(std::string_view text) const;
    // The code of a street type as written, 0 when it is not in "sttypes.raw".
    uint16_t TypeCode(std::string_view text) const;

    // The look-ups behind NameNumber and TypeCode.
    std::map<std::string, uint32_t, std::less<>> numberOfName;
    std::map<std::string, uint16_t, std::less<>> codeOfType;
};

// Writes the disc-1 name files into `disc1MapData` and "strabbr.bin" into the
// mapdata folders of discs 2 and 3 (layout.mapData[1], [2]), creating the folders
// when needed. Throws std::runtime_error when a file cannot be written or the
// network has more names than the files can number.
NameTables WriteNameFiles(const Network& network, const DiscLayout& layout,
                          const std::filesystem::path& disc1MapData);

// A text from the network as the name files store it (formats/names.h).
using formats::names::ToNameText;

}  // namespace discmaker
